# Thin wrapper over CMake. `make run` and `make test` are the README's two commands.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
CTEST_ARGS ?=
# No "Entering directory" chatter from the builds below.
MAKEFLAGS += --no-print-directory

.PHONY: deps configure build run test bench format format-check clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Without a display there is no point in installing and building first: say so at once.
run:
	@scripts/run.sh --check
	@$(MAKE) build
	@scripts/run.sh $(BUILD_DIR)/src/app/ivra

test: build
	@cmake --build $(BUILD_DIR) --target format-check
	@scripts/headless.sh ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) $(CTEST_ARGS)

bench: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target bench_programs
	@scripts/headless.sh cmake --build $(BUILD_DIR) --target bench

format: configure
	@cmake --build $(BUILD_DIR) --target format

format-check: configure
	@cmake --build $(BUILD_DIR) --target format-check

clean:
	rm -rf $(BUILD_DIR)
