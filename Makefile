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
