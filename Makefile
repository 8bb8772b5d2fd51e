# Set-up, build, run and test Torvi. Each target installs what is missing
# first, and only what it needs (scripts/install-deps.sh PROFILE).
BUILD_DIR ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test helgrind demo deb asan fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh run

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS)

# Only the two programs: the tests and benchmarks need more packages.
run: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target torvi torvi-measure
	./$(BUILD_DIR)/src/torvi

test:
	@bash scripts/install-deps.sh test
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTORVI_BUILD_TESTS=ON -DTORVI_BUILD_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j$(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

demo: configure
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target torvi-measure
	@bash scripts/demo.sh $(BUILD_DIR)

# The Debian package torvi_VERSION_amd64.deb in this folder, built in its own
# folder with Debian's hardening flags, then checked by lintian.
DEB_DIR ?= build-deb
deb:
	@bash scripts/install-deps.sh deb
	@bash scripts/make-deb.sh $(DEB_DIR) $(JOBS) $(CMAKE_FLAGS)

# Only the threaded engine under Helgrind (make test runs it too).
helgrind:
	@bash scripts/install-deps.sh test
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTORVI_BUILD_TESTS=ON -DTORVI_BUILD_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j$(JOBS) --target engine_tests torvi-measure
	bash tests/helgrind.sh $(BUILD_DIR)

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan:
	$(MAKE) test BUILD_DIR=build-asan CMAKE_FLAGS="-DTORVI_SANITIZE=ON -DTORVI_BUILD_BENCH=OFF"

# The picture-reader fuzzers, one after the other, FUZZ_SECONDS each.
FUZZ_SECONDS ?= 600
fuzz:
	@bash scripts/install-deps.sh fuzz
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DTORVI_BUILD_FUZZ=ON -DTORVI_BUILD_GUI=OFF \
		-DTORVI_BUILD_TESTS=OFF -DTORVI_BUILD_BENCH=OFF >/dev/null
	@sh scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) build-asan build-fuzz $(DEB_DIR) torvi_*.deb
