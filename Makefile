# Entry points: each target installs what is missing, configures, builds (-j2) and runs.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# Keep the nested builds from announcing every directory they enter.
MAKEFLAGS += --no-print-directory
CMAKE_FLAGS ?=
# Extra Debian packages for the set-up; `make demo` adds Graphviz to lay out its graph.
SETUP_PACKAGES ?=

.PHONY: all setup configure build test demo clean

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

clean:
	rm -rf $(BUILD_DIR)

# Benchmarks: an optimised build of its own; prints medians of repeated runs, then the tables.
BENCH_DIR ?= build-bench
BENCH_ARGS ?= --benchmark_repetitions=7 --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true \
	--benchmark_enable_random_interleaving=true
.PHONY: bench
bench: setup
	@cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DORV_BUILD_BENCHMARKS=ON \
		-DORV_BUILD_TESTS=OFF -DORV_BUILD_EXAMPLES=OFF >/dev/null
	@cmake --build $(BENCH_DIR) -j$(JOBS) --target orv-bench
	@$(BENCH_DIR)/benchmarks/orv-bench $(BENCH_ARGS)
