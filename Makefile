# The two commands: `make test` and `make demo`. `make` builds dist/.
# `make bench` writes docs/benchmarks.md.
BUILD   := build
JOBS    ?= 2
CMAKE   := cmake -G Ninja -Wno-dev
ROOT    := $(CURDIR)

.PHONY: all deps configure build test demo bench fuzz clean
WINDOWS_DELIVERABLES := src/QAV_Flinter.dll tools/analyze/flinter-analyze.exe
STRIP_x86   := i686-w64-mingw32-strip
STRIP_x64   := x86_64-w64-mingw32-strip
STRIP_linux := strip
# ship FLAVOUR, FILES: the build tree's files (which keep their symbols for the
# tests) into dist/FLAVOUR/, without symbols and debug sections.
ship = for f in $(2); do $(STRIP_$(1)) -o dist/$(1)/$$(basename $$f) $(BUILD)/$(1)/$$f || exit 1; done

all: build
	rm -rf dist && mkdir -p dist/x86 dist/x64 dist/linux
	$(call ship,x86,$(WINDOWS_DELIVERABLES))
	$(call ship,x64,$(WINDOWS_DELIVERABLES))
	$(call ship,linux,tools/analyze/flinter-analyze)
	@echo "dist/ is ready"

deps:
	@bash scripts/install-deps.sh

$(BUILD)/native/build.ninja: | deps
	$(CMAKE) -S . -B $(BUILD)/native -DFLINTER_TARGET=native -DFLINTER_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
$(BUILD)/linux/build.ninja: | deps
	$(CMAKE) -S . -B $(BUILD)/linux -DFLINTER_TARGET=linux -DFLINTER_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
$(BUILD)/x86/build.ninja: | deps
	$(CMAKE) -S . -B $(BUILD)/x86 -DFLINTER_TARGET=x86 -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/toolchain-mingw-x86.cmake
$(BUILD)/x64/build.ninja: | deps
	$(CMAKE) -S . -B $(BUILD)/x64 -DFLINTER_TARGET=x64 -DCMAKE_TOOLCHAIN_FILE=$(ROOT)/cmake/toolchain-mingw-x64.cmake

configure: $(BUILD)/native/build.ninja $(BUILD)/linux/build.ninja $(BUILD)/x86/build.ninja $(BUILD)/x64/build.ninja

build: configure
	cmake --build $(BUILD)/linux -j$(JOBS)
	cmake --build $(BUILD)/native -j$(JOBS)
	cmake --build $(BUILD)/x86 -j$(JOBS)
	cmake --build $(BUILD)/x64 -j$(JOBS)

# One CTest run over the three flavours, so that it ends with one summary. The
# Wine session it starts runs until stopped: stopped however the run ends.
test: all
	cp cmake/CTestTestfile.top.cmake $(BUILD)/CTestTestfile.cmake
	cd $(BUILD) && trap 'bash $(ROOT)/scripts/wine-prefix.sh stop' EXIT && trap 'exit 130' INT TERM && \
	  ctest -j$(JOBS) --output-on-failure

demo: all
	@bash scripts/demo.sh

# Benchmarks, figures only (never part of `make test`): programs under
# build/<flavour>/, each run for x86 and x64 under Wine by scripts/bench.sh,
# which puts what it prints into its own section of docs/benchmarks.md.
BENCHMARKS := tests/net/http_benchmark tests/addin/startup_benchmark tests/addin/selection_change_benchmark

bench: $(BUILD)/x86/build.ninja $(BUILD)/x64/build.ninja
	cmake --build $(BUILD)/x86 -j$(JOBS)
	cmake --build $(BUILD)/x64 -j$(JOBS)
	bash scripts/bench.sh $(BENCHMARKS)

# A longer fuzzing run of the header evaluation (clang + libFuzzer).
FUZZ_SECONDS ?= 300
fuzz: | deps
	$(CMAKE) -S . -B $(BUILD)/fuzz -DFLINTER_TARGET=fuzz -DFLINTER_FUZZ=ON -DFLINTER_TESTS=OFF \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD)/fuzz -j$(JOBS) --target fuzz_evaluate_header
	mkdir -p $(BUILD)/fuzz/corpus && cp samples/*.eml $(BUILD)/fuzz/corpus/
	$(BUILD)/fuzz/fuzz/fuzz_evaluate_header -dict=fuzz/evaluate_header.dict -max_len=4096 \
	  -max_total_time=$(FUZZ_SECONDS) $(BUILD)/fuzz/corpus

clean:
	-bash scripts/wine-prefix.sh stop
	rm -rf $(BUILD) dist
