# Convenience wrapper around CMake and CTest.
BUILD ?= build
BUILD_ASAN ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: all deps build demo check check-sanitize clean

all: build

deps:
	scripts/install-deps

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

check: build
	cd $(BUILD) && ctest --output-on-failure

check-sanitize: deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DFOLICANT_SANITIZE=ON >/dev/null
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ctest --output-on-failure

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
