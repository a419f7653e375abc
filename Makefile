# Entry points: each target installs what is missing, configures, builds (-j2) and runs.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# Keep the nested builds from announcing every directory they enter.
MAKEFLAGS += --no-print-directory
CMAKE_FLAGS ?=
# Seconds each fuzzer runs in `make fuzz`.
FUZZ_SECONDS ?= 60
# Extra Debian packages for the set-up; `make demo` adds Graphviz to lay out its graph.
SETUP_PACKAGES ?=

.PHONY: all setup configure build test demo clean sanitize tsan valgrind qt6 fuzz

all: build

setup:
	@scripts/setup.sh $(SETUP_PACKAGES)

configure: setup
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

demo: SETUP_PACKAGES += graphviz
demo: build
	@$(BUILD_DIR)/examples/demo/orv-demo

# The whole suite under AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer.
sanitize: setup
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-asan -j$(JOBS)
	@cd build-asan && ctest --output-on-failure -j$(JOBS)

# The tests labelled "threaded" (files that start threads) under ThreadSanitizer.
tsan: setup
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DORV_SANITIZE=thread $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-tsan -j$(JOBS)
	@cd build-tsan && ctest --output-on-failure -j$(JOBS) -L threaded

# Every test executable of the Qt 5 build under memcheck, leaks included; "Heavy" cases skipped.
valgrind: build
	@scripts/setup.sh valgrind
	@scripts/valgrind.sh $(BUILD_DIR)

# The library, tests and demo against Qt 6.
qt6:
	@scripts/setup.sh qt6
	@cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DORV_QT_MAJOR=6 $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-qt6 -j$(JOBS)
	@cd build-qt6 && ctest --output-on-failure -j$(JOBS)
	@$(MAKE) --no-print-directory demo BUILD_DIR=build-qt6 CMAKE_FLAGS="-DORV_QT_MAJOR=6 $(CMAKE_FLAGS)" >/dev/null

# libFuzzer targets (clang, ASan+UBSan), each run for FUZZ_SECONDS from its seed corpus.
fuzz:
	@scripts/setup.sh clang
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DORV_BUILD_FUZZERS=ON \
		-DORV_BUILD_TESTS=OFF -DORV_BUILD_EXAMPLES=OFF -DORV_SANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-fuzz -j$(JOBS)
	@scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-qt6 build-fuzz

# Benchmarks: an optimised build of its own; prints medians of repeated runs, then the tables.
BENCH_DIR ?= build-bench
BENCH_ARGS ?= --orv_processes=3 --benchmark_repetitions=5 --benchmark_min_time=0.05 \
	--benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true
.PHONY: bench
bench: SETUP_PACKAGES += libtbb-dev
bench: setup
	@cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_BENCHMARKS=ON \
		-DORV_BUILD_TESTS=OFF -DORV_BUILD_EXAMPLES=OFF >/dev/null
	@cmake --build $(BENCH_DIR) -j$(JOBS) --target orv-bench
	@$(BENCH_DIR)/benchmarks/orv-bench $(BENCH_ARGS)
