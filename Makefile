# Convenience wrapper around CMake and CTest.
BUILD ?= build
BUILD_ASAN ?= build-asan
BUILD_RELEASE ?= build-release
BUILD_PACKAGE ?= build-package
JOBS ?= $(shell nproc)
WINDOWS_BUILD ?= build-windows

.PHONY: all deps test-deps build demo check check-sanitize check-release package check-package \
  clean windows check-windows dist bench

all: build

deps:
	scripts/install-deps

# ImageMagick decodes pages in the tests that check outputs with a reader other than libtiff;
# it, exiftool and GDAL also write the real-world pages the lossless tests split.
test-deps:
	scripts/install-deps libgtest-dev imagemagick libimage-exiftool-perl gdal-bin

# A developer's build: the program and the tests, warnings as errors.
build: deps test-deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFOLICANT_BUILD_TESTS=ON \
	  -DFOLICANT_WERROR=ON >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Makes a three-page sample with the project's own code and splits it into demo/out. Builds only
# the program and the sample maker, and needs no GoogleTest: a fresh build directory is
# configured without the tests, an existing one keeps its settings.
demo: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DFOLICANT_BUILD_TESTS=OFF) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target folicant folicant_make_sample
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo/out
	$(BUILD)/folicant_make_sample $(BUILD)/demo/sample.tif
	cd $(BUILD)/demo && ../folicant sample.tif /pout /l
	@echo "--- pages written to $(BUILD)/demo/out:" && ls -l $(BUILD)/demo/out
	@echo "--- $(BUILD)/demo/folicant.log:" && tr -d '\r' < $(BUILD)/demo/folicant.log

check: build test-deps
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

check-sanitize: deps test-deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DFOLICANT_SANITIZE=ON \
	  -DFOLICANT_WERROR=ON >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure -j $(JOBS)

# The tests against an optimised, hardened build: -O3, fortified libc calls, stack protector, PIE,
# full RELRO (BIND_NOW); warnings as errors. The hardening is checked on that build and on the
# program that the Debian package ships, taken out of dist/folicant_*.deb. With clang:
#   make check-release BUILD_RELEASE=build-clang CC=clang CXX=clang++
HARDENING = -D_FORTIFY_SOURCE=3 -fstack-protector-strong
check-release: deps test-deps package
	cmake -S . -B $(BUILD_RELEASE) -DCMAKE_BUILD_TYPE=Release -DFOLICANT_WERROR=ON \
	  -DCMAKE_C_COMPILER=$(CC) -DCMAKE_CXX_COMPILER=$(CXX) -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
	  "-DCMAKE_C_FLAGS=$(HARDENING)" "-DCMAKE_CXX_FLAGS=$(HARDENING)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro,-z,now" >/dev/null
	cmake --build $(BUILD_RELEASE) -j $(JOBS)
	scripts/check-hardening $(BUILD_RELEASE)/folicant
	scripts/check-hardening dist/folicant_*.deb
	cd $(BUILD_RELEASE) && ctest --output-on-failure -j $(JOBS)

# dist/folicant_VERSION_amd64.deb: program, man page, README, changelogs and the copyright file,
# with its dependencies computed by dpkg-shlibdeps. VERSION is the CMake project's, with
# +gitYYYYMMDD.HASH for a commit that is not the release's tag (cmake/version.cmake).
package:
	scripts/build-package $(BUILD_PACKAGE)

# Checks that package with lintian (no error or warning), installs it with apt-get, runs it on the
# sample, finds its man page, removes it.
check-package: package
	scripts/check-package $(BUILD_PACKAGE)

# folicant.exe for 64-bit Windows, cross-compiled with mingw-w64: $(WINDOWS_BUILD)/bin/folicant.exe
windows:
	scripts/build-windows $(WINDOWS_BUILD)

# The end-to-end tests against folicant.exe under wine, and its usage box on a virtual display.
check-windows: build
	scripts/test-windows $(WINDOWS_BUILD) $(BUILD)

# dist/folicant-windows.zip: folicant.exe, the README, the man page as text (with the build's
# version), the licence and the notices of the libraries linked into folicant.exe.
dist: windows
	scripts/dist-windows $(WINDOWS_BUILD)

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_RELEASE) $(BUILD_PACKAGE)

# Times folicant against cp, split, Pillow and ImageMagick on a generated corpus (see
# BENCHMARKS.md); takes about half an hour and a few GB under bench/out. Not part of check.
bench:
	bench/run
