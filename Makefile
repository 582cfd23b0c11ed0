# The README's two commands: `make demo` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= 2
CMAKE_ARGS ?=

.PHONY: all deps configure build test demo view bench test-asan fuzz clean

all: build

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAXLUMORA_BENCH=ON $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

demo: build
	$(BUILD)/host/axlumora demo

# The viewer (Qt) on the demo's DICOM output; the demo runs first when it has not yet.
view: build
	test -f demo-out/demo.dcm || $(BUILD)/host/axlumora demo
	$(BUILD)/host/axlumora view demo-out/demo.dcm

bench: build
	$(BUILD)/bench/axlumora_bench

# Libraries, public headers, CMake package, pkg-config file, host and docs under PREFIX.
PREFIX ?= /usr/local
.PHONY: install
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DAXLUMORA_SANITIZE=ON -DAXLUMORA_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j$(JOBS)

# Each libFuzzer target for FUZZ_SECONDS, from the seed corpus in tests/data/seeds. A single
# allocation above 2 GiB fails the run; the resident limit leaves room for the sanitizer's
# allocator, whose caches grow over millions of small runs (FuzzSetDib runs 19 000 a second).
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS ?= FuzzLoadMemory FuzzFileInfo FuzzSetDib FuzzAnnLoad FuzzDicomScanner FuzzCorrectionFile \
                FuzzRawFile FuzzRegistryText FuzzScript
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAXLUMORA_FUZZ=ON -DAXLUMORA_BENCH=OFF \
		"-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target $(FUZZ_TARGETS)
	for t in $(FUZZ_TARGETS); do \
		seeds=tests/data/seeds; [ -d $$seeds/$$t ] && seeds=$$seeds/$$t; \
		mkdir -p $(FUZZ_BUILD)/corpus/$$t && \
		LSAN_OPTIONS=suppressions=fuzz/lsan.supp ASAN_OPTIONS=quarantine_size_mb=64 \
		$(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=3072 -malloc_limit_mb=2048 -max_len=1048576 \
			-artifact_prefix=$(FUZZ_BUILD)/$$t- $(FUZZ_BUILD)/corpus/$$t $$seeds || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
