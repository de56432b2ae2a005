# Thin wrapper over CMake + Ninja. `make run` and `make test` are the two set-up commands.
JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
BUILD     ?= build
ASANBUILD ?= build-asan
CLANGBUILD ?= build-clang
FUZZBUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TEST_SECONDS ?= 30
# make test builds with every warning as an error, as CI does.
CMAKE_FLAGS ?= -DORVELLE_WERROR=ON

.PHONY: format format-check lint all deps build build-asan build-fuzz run test test-plain test-asan test-clang test-fuzz fuzz fuzz-corpus bench bench-table bench-peers bench-jobs clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

$(ASANBUILD)/build.ninja:
	cmake -S . -B $(ASANBUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVELLE_SANITIZE=ON -DORVELLE_BENCH=OFF -DORVELLE_GUI=OFF $(CMAKE_FLAGS)

# The Python module is also linked into the project folder, so a python3
# started here imports it after `make` (elsewhere: PYTHONPATH=build/python).
build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	@for m in $(BUILD)/python/orvelle.*.so; do if [ -e "$$m" ]; then ln -sfn "$$m" .; fi; done

build-asan: deps $(ASANBUILD)/build.ninja
	cmake --build $(ASANBUILD) -j $(JOBS)

run: build
	@bash scripts/run-main.sh $(BUILD)

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASANBUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The golden hashes again with clang: the same seeds must give the same bits
# with either compiler (the plain and sanitized builds cover gcc at -O2 and -O0).
$(CLANGBUILD)/build.ninja:
	cmake -S . -B $(CLANGBUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVELLE_GUI=OFF -DORVELLE_BENCH=OFF $(CMAKE_FLAGS)

test-clang: deps $(CLANGBUILD)/build.ninja
	cmake --build $(CLANGBUILD) -j $(JOBS) --target test_golden
	$(CLANGBUILD)/tests/golden/test_golden

# The fuzzers: clang with libFuzzer, AddressSanitizer and UBSan over every
# library. `make fuzz` runs each target FUZZ_SECONDS; `make test` runs each
# briefly on its seed corpus.
$(FUZZBUILD)/build.ninja:
	cmake -S . -B $(FUZZBUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVELLE_FUZZ=ON -DORVELLE_TESTS=OFF -DORVELLE_GUI=OFF -DORVELLE_BENCH=OFF -DORVELLE_PYTHON=OFF $(CMAKE_FLAGS)

build-fuzz: deps $(FUZZBUILD)/build.ninja
	cmake --build $(FUZZBUILD) -j $(JOBS)

fuzz: build-fuzz
	bash fuzz/run.sh $(FUZZBUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

test-fuzz: build-fuzz
	bash fuzz/run.sh $(FUZZBUILD) $(FUZZ_TEST_SECONDS)

# Rewrites the committed seed corpora with our own writers.
fuzz-corpus: build
	rm -rf fuzz/corpus
	$(BUILD)/fuzz/fuzz_make_corpus fuzz/corpus

test: test-plain test-asan test-clang test-fuzz

# Style: clang-format over every C++ source (.clang-format); format-check
# fails on any difference, as CI does before make test.
SOURCE_DIRS = app bench cli codecs core effects fuzz generator maps python recipe tests
CXX_FILES = $(shell find $(SOURCE_DIRS) -name '*.cpp' -o -name '*.h' | sort)
format:
	@clang-format -i $(CXX_FILES)

format-check: deps
	@clang-format --dry-run --Werror $(CXX_FILES) && echo "format: $(words $(CXX_FILES)) files as .clang-format says"

# clang-tidy's bug-prone, performance and complexity checks (.clang-tidy)
# over the programs, libraries, benchmarks and fuzz targets; any finding fails.
LINT_DIRS = app bench cli codecs core effects fuzz generator maps python recipe
lint: build
	run-clang-tidy -p $(BUILD) -quiet -j $(JOBS) '^$(CURDIR)/($(subst $(eval) ,|,$(LINT_DIRS)))/'

# Google Benchmark suites (every effect at 2048 x 2048 on 1 and all threads,
# GenerateTexture, re-render at 5000 x 5000, row blending). Narrow them with
# BENCH_ARGS='--benchmark_filter=Median --benchmark_repetitions=3'.
BENCH_ARGS ?=
bench: build
	$(BUILD)/bench/bench_orvelle $(BENCH_ARGS)

# The effect benchmarks as one Markdown table with the per-effect goals.
bench-table:
	@bash bench/effects-table.sh $(TABLE_ARGS)

# Side by side with the other image tools, and whole command-line jobs;
# PEERS_ARGS=--quick for a shorter run. Both install what they need.
bench-peers:
	@bash bench/compare-peers.sh $(PEERS_ARGS)

bench-jobs:
	@bash bench/whole-jobs.sh $(JOBS_ARGS)

clean:
	rm -rf $(BUILD) $(ASANBUILD) $(CLANGBUILD) $(FUZZBUILD)
