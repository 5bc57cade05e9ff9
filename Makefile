# A thin wrapper over the CMake presets, so that a newcomer needs two commands.
PRESET ?= release
BUILD_DIR = build/$(PRESET)
CMAKE_FLAGS ?=

.PHONY: run test build configure test-sanitize memcheck bench float-sweep fuzz clean

run: configure
	cmake --build $(BUILD_DIR) --target tu_mardo
	$(BUILD_DIR)/tu_mardo/tu_mardo

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure --no-tests=error -j 2

build: configure
	cmake --build $(BUILD_DIR)

# Flags given on the command line always reach the build folder, a configured one included.
configure:
	@if [ -n "$(CMAKE_FLAGS)" ] || [ ! -f $(BUILD_DIR)/CMakeCache.txt ]; then \
	  cmake --preset $(PRESET) $(CMAKE_FLAGS); fi

test-sanitize:
	$(MAKE) test PRESET=sanitize

memcheck: build
	tests/valgrind_suite $(BUILD_DIR)

bench:
	bench/run_kernels

float-sweep: configure
	cmake --build $(BUILD_DIR) --target float_sweep
	$(BUILD_DIR)/tests/float_sweep

fuzz:
	bench/run_fuzzers 60

clean:
	rm -rf build
