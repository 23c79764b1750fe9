#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that
# are missing. Quick when everything is present: apt-get update runs only when
# something has to be installed. With --fuzz it also installs what only `make fuzz`
# needs, so that `make build` and `make test` stay lean.
set -euo pipefail

# The one list of packages the project needs.
PACKAGES=(
  g++
  make
  cmake
  pkg-config
  ccache
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libeigen3-dev
  libnanoflann-dev
  libqhull-dev
  libcli11-dev
  nlohmann-json3-dev
  # workbench window (source/): Qt 5 widgets and OpenGL, icons rendered from SVG,
  # and a virtual display with Mesa's software OpenGL for its tests
  qtbase5-dev
  qtbase5-dev-tools
  libgl-dev
  libgl1-mesa-dri
  librsvg2-bin
  # translations: lupdate/lrelease build resources/translations/*.ts, Qt's own German
  # texts (dialog buttons, file and colour dialogs) come with qttranslations5-l10n
  qttools5-dev-tools
  qttranslations5-l10n
  # the interface font: "Segoe UI" where installed, else Open Sans (same designer, a
  # humanist sans of nearly the same widths and heights)
  fonts-open-sans
  xvfb
  xauth
  # the generator of the bundled sample scan
  python3
)

# The fuzz build (make fuzz): clang with libFuzzer's runtime, and LLVM's OpenMP, which
# the configuration looks for with clang as the compiler.
FUZZ_PACKAGES=(
  clang
  libclang-rt-14-dev
  libomp-dev
)
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES+=("${FUZZ_PACKAGES[@]}")
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
