# A thin wrapper over the CMake presets, so that a newcomer needs two commands.
PRESET ?= release
BUILD_DIR = build/$(PRESET)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
PACKAGES = $(CURDIR)/build/packages

.PHONY: run test build configure install package release test-sanitize memcheck bench float-sweep fuzz format format-check web clean

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

# The program, its manual page and README under PREFIX; build/release/install_manifest.txt
# lists what was installed (xargs rm < build/release/install_manifest.txt takes it away).
install: configure
	cmake --build $(BUILD_DIR) --target tu_mardo
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# build/packages: a .deb and a .tar.gz of the Linux program for x86-64 and each other CPU (the
# cross-built ones static), and a .zip of each Windows program (64- and 32-bit). Built without
# the tests, in folders of their own, from the presets of the targets.
PACKAGED_PRESETS = linux-aarch64 linux-i686 linux-s390x linux-armhf linux-riscv64 linux-ppc64el \
  windows windows-i686
package:
	cmake -S . -B build/package-linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DTU_MARDO_TESTS=OFF
	cmake --build build/package-linux
	cd build/package-linux && cpack -B $(PACKAGES)
	for preset in $(PACKAGED_PRESETS); do \
	  cmake --preset $$preset -B build/package-$$preset -DTU_MARDO_TESTS=OFF && \
	  cmake --build build/package-$$preset && \
	  (cd build/package-$$preset && cpack -B $(PACKAGES)) || exit 1; \
	done
	rm -rf $(PACKAGES)/_CPack_Packages
	ls -l $(PACKAGES)

# A release: every package of make package, built afresh, checked (lintian over the Debian
# packages, the Windows programs under Wine) and summed in build/packages/SHA256SUMS.
release:
	rm -rf build/package-* $(PACKAGES)
	$(MAKE) package
	tests/scripts/release_check $(PACKAGES)
	cd $(PACKAGES) && sha256sum *.deb *.tar.gz *.zip > SHA256SUMS
	cat $(PACKAGES)/SHA256SUMS

test-sanitize:
	$(MAKE) test PRESET=sanitize

memcheck: build
	tests/scripts/valgrind_suite $(BUILD_DIR)

bench:
	bench/run_kernels

float-sweep: configure
	cmake --build $(BUILD_DIR) --target float_sweep
	$(BUILD_DIR)/tests/float_sweep

fuzz:
	bench/run_fuzzers 60

# The benchmark in a browser tab: builds the WebAssembly program, the page and the command line's
# edition for node (needs Debian's emscripten, node and npm), and serves the page on
# http://127.0.0.1:8000/ (WEB_PORT=...).
WEB_PORT ?= 8000
web:
	@[ -d web/node_modules ] || (cd web && npm ci --no-audit --no-fund)
	@[ -f build/wasm/CMakeCache.txt ] || cmake --preset wasm
	cmake --build build/wasm --target site tu_mardo
	node web/serve.mjs build/wasm/web/site $(WEB_PORT)

# The tree as .clang-format has it: `make format` rewrites, `make format-check` (CI) only looks.
FORMATTED = git ls-files '*.cpp' '*.hpp'
format:
	$(FORMATTED) | xargs clang-format -i --style=file

format-check:
	$(FORMATTED) | xargs clang-format --dry-run --Werror --style=file

clean:
	rm -rf build
