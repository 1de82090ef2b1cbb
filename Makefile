# Thin wrappers over CMake and CTest. `make run` and `make test` are the two commands.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps build run test test-asan test-fuzz fuzz bench package format clean

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

# The fuzz targets (clang, libFuzzer): CTest runs each over its corpus and briefly on fresh
# inputs; `make fuzz` runs each for FUZZ_SECONDS and keeps the inputs that reach new code.
$(FUZZ_BUILD)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCORVELLE_FUZZ=ON -DCORVELLE_ENGINE_ONLY=ON -DBUILD_TESTING=ON

test-fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS)

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	for target in $(FUZZ_BUILD)/tests/fuzz/fuzz_*; do \
	    [ -x "$$target" ] || continue; \
	    name=$$(basename $$target); echo "== $$name"; \
	    tests/fuzz/run-fuzz $$target tests/fuzz/corpus/$$name $(FUZZ_SECONDS) --keep || exit 1; \
	done

test: build test-asan test-fuzz
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
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
