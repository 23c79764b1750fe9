# Entry points: `make run` starts the workbench, `make test` builds and runs every test.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test test-sanitize test-sanitize-gui bench fuzz fuzz-build fuzz-corpus format clean

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

# Every test that needs no display, built with AddressSanitizer and UBSan. The files of
# several GiB (label slow) are left out unless SANITIZE_SLOW=1: under the sanitizers they
# take minutes and their shadow memory.
SANITIZE_LABELS := $(if $(SANITIZE_SLOW),gui,gui|slow)
test-sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTESSARO_SANITIZE=ON -DTESSARO_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS) -LE "$(SANITIZE_LABELS)"

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

# Fuzzing of the file readers with libFuzzer (clang, in build-fuzz so the gcc builds stay
# as they are): every target in fuzz/targets runs FUZZ_SECONDS seconds on the seeds of
# scripts/make-fuzz-seeds.py and the kept corpus fuzz/corpus/<target>. New inputs go to
# build-fuzz/corpus, crashes to build-fuzz/findings; `make fuzz-corpus` minimises both
# corpora into fuzz/corpus, which test_fuzz_replay replays in every test build.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := $(basename $(notdir $(wildcard fuzz/targets/*.cpp)))
FUZZ_FLAGS ?= -rss_limit_mb=2048 -timeout=10 -print_final_stats=1

fuzz-build:
	@scripts/install-deps.sh --fuzz
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTESSARO_FUZZ=ON -DTESSARO_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	rm -rf build-fuzz/seeds && python3 scripts/make-fuzz-seeds.py build-fuzz/seeds

fuzz: fuzz-build
	@mkdir -p build-fuzz/findings
	@for t in $(FUZZ_TARGETS); do \
		echo "== fuzz_$$t: $(FUZZ_SECONDS) s"; \
		mkdir -p build-fuzz/corpus/$$t fuzz/corpus/$$t; \
		build-fuzz/fuzz/fuzz_$$t build-fuzz/corpus/$$t fuzz/corpus/$$t build-fuzz/seeds/$$t \
			-max_total_time=$(FUZZ_SECONDS) -artifact_prefix=build-fuzz/findings/$$t- \
			$(FUZZ_FLAGS) || exit 1; \
	done

fuzz-corpus: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
		rm -rf build-fuzz/merged/$$t && mkdir -p build-fuzz/merged/$$t build-fuzz/corpus/$$t fuzz/corpus/$$t; \
		build-fuzz/fuzz/fuzz_$$t -merge=1 build-fuzz/merged/$$t fuzz/corpus/$$t \
			build-fuzz/corpus/$$t build-fuzz/seeds/$$t $(FUZZ_FLAGS) || exit 1; \
		rm -rf fuzz/corpus/$$t && mv build-fuzz/merged/$$t fuzz/corpus/$$t; \
	done
	@du -sh fuzz/corpus

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-fuzz
