# Entry points: each target installs what is missing, configures, builds (-j2) and runs.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# Keep the nested builds from announcing every directory they enter.
MAKEFLAGS += --no-print-directory
CMAKE_FLAGS ?=
# Seconds each fuzzer runs in `make fuzz` (`make fuzz-long`: 900), and which fuzzers (all if empty).
FUZZ_SECONDS ?= 60
FUZZERS ?=
# Extra Debian packages for the set-up; `make demo` adds Graphviz to lay out its graph.
SETUP_PACKAGES ?=

.PHONY: all setup configure build test demo demo-vulkan report-check clean sanitize tsan valgrind qt6 fuzz fuzz-build fuzz-long docs package \
	consumers package-check

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

# The demo's pipeline on Vulkan compute, on the first device with a compute queue (Mesa's
# software device, lavapipe, on a machine without a GPU), with the validation layer on.
demo-vulkan: SETUP_PACKAGES += vulkan
demo-vulkan: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target orv-vulkan orv-demo-image-check
	@$(BUILD_DIR)/examples/vulkan/orv-vulkan --validation --out $(BUILD_DIR)/vulkan-out
	@$(BUILD_DIR)/examples/demo/orv-demo-image-check $(BUILD_DIR)/vulkan-out/vulkan-frame.png 256 \
		--luma 0.25 0.8

# The demo's report.html rendered by headless Chromium into $(BUILD_DIR)/report-check, and the
# screenshot checked for content.
report-check: SETUP_PACKAGES += graphviz chromium
report-check: build
	@scripts/report_check.sh $(BUILD_DIR)

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
	@scripts/setup.sh qt6 clang
	@cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DORV_QT_MAJOR=6 $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-qt6 -j$(JOBS)
	@cd build-qt6 && ctest --output-on-failure -j$(JOBS)
	@$(MAKE) --no-print-directory demo BUILD_DIR=build-qt6 CMAKE_FLAGS="-DORV_QT_MAJOR=6 $(CMAKE_FLAGS)" >/dev/null

# libFuzzer targets (clang, ASan+UBSan) in build-fuzz. FUZZERS names a subset ("graph json").
fuzz-build:
	@scripts/setup.sh clang
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DORV_BUILD_FUZZERS=ON \
		-DORV_BUILD_TESTS=OFF -DORV_BUILD_EXAMPLES=OFF -DORV_SANITIZE=address,undefined $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-fuzz -j$(JOBS)

# Each fuzzer for FUZZ_SECONDS from its committed corpus, which stays as it is.
fuzz: fuzz-build
	@scripts/fuzz.sh build-fuzz $(FUZZ_SECONDS) $(FUZZERS)

# A campaign: each fuzzer for FUZZ_SECONDS (900 unless given), then the inputs that reach new
# coverage are merged into fuzz/corpus/<fuzzer>/, to be committed. See fuzz/README.md.
fuzz-long: FUZZ_SECONDS = 900
fuzz-long: fuzz-build
	@scripts/fuzz.sh --merge build-fuzz $(FUZZ_SECONDS) $(FUZZERS)

# The API reference in $(BUILD_DIR)/docs/html; undocumented public API fails it.
docs: SETUP_PACKAGES += doxygen graphviz
docs: configure
	@cmake --build $(BUILD_DIR) --target docs

# Debian packages (runtime, its debug symbols as a .ddeb, and development) of a release build
# (with -g, which the runtime package strips off) for /usr, written to
# $(PACKAGE_DIR)/packages. CMAKE_FLAGS=-DORV_QT_MAJOR=6 packs the Qt 6 build (the Qt 6 packages
# have names of their own).
PACKAGE_DIR ?= build-package
package: SETUP_PACKAGES += dpkg-dev file $(if $(findstring ORV_QT_MAJOR=6,$(CMAKE_FLAGS)),qt6)
package: setup
	@cmake -S . -B $(PACKAGE_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O3 -DNDEBUG -g" \
		-DCMAKE_INSTALL_PREFIX=/usr -DORV_BUILD_TESTS=OFF -DORV_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(PACKAGE_DIR) -j$(JOBS)
	@rm -rf $(PACKAGE_DIR)/packages
	@cd $(PACKAGE_DIR) && cpack -G DEB >/dev/null
	@ls $(PACKAGE_DIR)/packages/*.deb $(PACKAGE_DIR)/packages/*.ddeb

# The installed library as hosts use it, through CMake and pkg-config: the Qt 5 and Qt 6 builds
# installed side by side into one prefix, then a static build; the host is built at -O2 with
# warnings as errors, by GCC and clang. Reuses build and build-qt6. Then hosts that build the
# source tree as part of themselves (FetchContent, add_subdirectory): the library alone, without
# -Werror.
consumers:
	@scripts/setup.sh qt6 clang
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target OrvCore
	@cmake -S . -B build-qt6 -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DORV_QT_MAJOR=6 $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-qt6 -j$(JOBS) --target OrvCore
	@cmake -S . -B build-static -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DBUILD_SHARED_LIBS=OFF \
		-DORV_BUILD_TESTS=OFF -DORV_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-static -j$(JOBS)
	@cmake "-DINSTALL_FROM=$(BUILD_DIR);build-qt6" -DPREFIX=build-consumers/both \
		-DWORK_DIR=build-consumers/both-work -DSOURCE=tests/consumer \
		"-DPACKAGES=OrvCore:5;OrvCore5:5;OrvCore6:6" -P tests/consumer/run_consumer.cmake
	@cmake -DINSTALL_FROM=build-static -DPREFIX=build-consumers/static \
		-DWORK_DIR=build-consumers/static-work -DSOURCE=tests/consumer \
		-DPACKAGES=OrvCore:5 -P tests/consumer/run_consumer.cmake
	@cmake -DORV_SOURCE=. -DSOURCE=tests/consumer -DWORK_DIR=build-consumers/vendored -DJOBS=$(JOBS) \
		-P tests/consumer/run_vendored.cmake

# Both Qt majors' packages installed together into /usr with apt-get, the consumer built
# against each, then the packages removed again.
package-check:
	@$(MAKE) package
	@$(MAKE) package PACKAGE_DIR=build-package-qt6 CMAKE_FLAGS="-DORV_QT_MAJOR=6 $(CMAKE_FLAGS)"
	@scripts/package_check.sh build-package/packages build-package-qt6/packages

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-qt6 build-fuzz build-static build-consumers \
		build-package build-package-qt6

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
