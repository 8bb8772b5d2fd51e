# Set-up, build, run and test Torvi. Each target installs what is missing first.
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test demo asan fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS)

run: build
	./$(BUILD_DIR)/src/torvi

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD_DIR)

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="-DTORVI_SANITIZE=ON -DTORVI_BUILD_BENCH=OFF"

# The picture-reader fuzzers, one after the other, FUZZ_SECONDS each.
FUZZ_SECONDS ?= 600
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTORVI_BUILD_FUZZ=ON -DTORVI_BUILD_GUI=OFF \
		-DTORVI_BUILD_BENCH=OFF >/dev/null
	@sh scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) build-asan build-fuzz
