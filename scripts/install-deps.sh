#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that
# are missing. Quick when everything is present: apt-get update runs only when
# something has to be installed.
set -euo pipefail

# The one list of packages the project needs.
PACKAGES=(
  g++
  make
  cmake
  pkg-config
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libeigen3-dev
  libnanoflann-dev
  libqhull-dev
  libcli11-dev
  nlohmann-json3-dev
)

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
