# Entry points: `make run` starts the workbench, `make test` builds and runs every test.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test test-sanitize test-sanitize-gui bench format clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

SAMPLE := build/sample/sample_part.xyz
SAMPLE_BOSS := build/sample/sample_boss.xyz

$(SAMPLE): scripts/make-sample.py
	@mkdir -p build/sample
	python3 scripts/make-sample.py $(SAMPLE) 300000 --boss $(SAMPLE_BOSS)

# The workbench with the bundled sample; without a display, the command-line tool shows
# the sample's numbers and fits the cylinder of its boss instead.
run: build $(SAMPLE)
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
		build/source/tessaro $(abspath $(SAMPLE)); \
	else \
		echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running tessaro-cli on the sample instead."; \
		build/cli/tessaro-cli info $(SAMPLE) && \
		build/cli/tessaro-cli fit cylinder $(SAMPLE_BOSS) --direction 0,0,1 --point -25,5,20 --radius 15; \
	fi

# The window tests (label gui) run on a virtual X server with Mesa's software OpenGL.
test: build
	cd build && LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1600x1200x24" \
		ctest --output-on-failure -j $(JOBS)

# Every test that needs no display, built with AddressSanitizer and UBSan.
test-sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=ON -DTESSARO_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) -LE gui

# The window tests (the user journeys among them) in the sanitizer build, on a virtual X
# server; leak checks are off, since Mesa and Qt keep allocations until exit.
test-sanitize-gui: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=ON -DTESSARO_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS) --target test_gui test_user
	cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
		LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1600x1200x24" \
		ctest --output-on-failure -j $(JOBS) -L gui

bench: build
	@for b in build/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan
