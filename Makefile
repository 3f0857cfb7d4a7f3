# Convenience wrapper around CMake and CTest.
BUILD ?= build
BUILD_ASAN ?= build-asan
JOBS ?= $(shell nproc)
WINDOWS_BUILD ?= build-windows

.PHONY: all deps test-deps build demo check check-sanitize clean windows check-windows dist bench

all: build

deps:
	scripts/install-deps

# ImageMagick decodes pages in the tests that check outputs with a reader other than libtiff.
test-deps:
	scripts/install-deps imagemagick

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Makes a three-page sample with the project's own code and splits it into demo/out.
demo: build
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo/out
	$(BUILD)/tests/folicant_make_sample $(BUILD)/demo/sample.tif
	cd $(BUILD)/demo && ../folicant sample.tif /pout /l
	@echo "--- pages written to $(BUILD)/demo/out:" && ls -l $(BUILD)/demo/out
	@echo "--- $(BUILD)/demo/folicant.log:" && tr -d '\r' < $(BUILD)/demo/folicant.log

check: build test-deps
	cd $(BUILD) && ctest --output-on-failure

check-sanitize: deps test-deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DFOLICANT_SANITIZE=ON >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure

# folicant.exe for 64-bit Windows, cross-compiled with mingw-w64: $(WINDOWS_BUILD)/bin/folicant.exe
windows:
	scripts/build-windows $(WINDOWS_BUILD)

# The end-to-end tests against folicant.exe under wine, and its usage box on a virtual display.
check-windows: build
	scripts/test-windows $(WINDOWS_BUILD) $(BUILD)

# dist/folicant-windows.zip: folicant.exe and the README.
dist: windows
	rm -rf $(WINDOWS_BUILD)/dist dist/folicant-windows.zip && mkdir -p $(WINDOWS_BUILD)/dist dist
	cp $(WINDOWS_BUILD)/bin/folicant.exe README.md $(WINDOWS_BUILD)/dist/
	cd $(WINDOWS_BUILD)/dist && cmake -E tar cf $(CURDIR)/dist/folicant-windows.zip --format=zip \
	  folicant.exe README.md
	@echo "packed dist/folicant-windows.zip"

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)

# Times folicant against cp, split, Pillow and ImageMagick on a generated corpus (see
# BENCHMARKS.md); takes about half an hour and a few GB under bench/out. Not part of check.
bench:
	bench/run
