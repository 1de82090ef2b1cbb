# Thin wrappers over CMake and CTest. `make run` and `make test` are the two commands.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps build run test test-asan bench package format clean

all: build

deps:
	./scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/src/app/corvelle

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	    -DCORVELLE_SANITIZE=ON -DCORVELLE_ENGINE_ONLY=ON

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

test: build test-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(BENCH_BUILD)/build.ninja:
	./scripts/install-deps --bench
	cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	    -DCORVELLE_BUILD_BENCH=ON -DBUILD_TESTING=OFF

bench: $(BENCH_BUILD)/build.ninja
	./scripts/install-deps --bench
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	./scripts/run-benchmarks $(BENCH_BUILD)

# The Debian package, in $(BUILD)/package/.
package: build
	./scripts/install-deps --package
	cd $(BUILD) && cpack

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
