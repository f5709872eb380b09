# The two commands: `make test` and `make demo`. `make` builds dist/; `make msi`
# the Windows Installer packages alone (dist/*.msi).
# `make bench` writes docs/benchmarks.md; `make fuzz`, `make hostile` and
# `make faults` and `make journeys` write their sections of
# docs/reliability.md; `make soak` runs the soak alone.
BUILD   := build
JOBS    ?= 2
CMAKE   := cmake -G Ninja -Wno-dev
ROOT    := $(CURDIR)

.PHONY: all deps configure build msi test demo bench fuzz hostile faults soak journeys clean
WINDOWS_DELIVERABLES := src/QAV_Flinter.dll tools/analyze/flinter-analyze.exe
STRIP_x86   := i686-w64-mingw32-strip
STRIP_x64   := x86_64-w64-mingw32-strip
STRIP_linux := strip
# ship FLAVOUR, FILES: the build tree's files (which keep their symbols for the
# tests) into dist/FLAVOUR/, without symbols and debug sections.
ship = for f in $(2); do $(STRIP_$(1)) -o dist/$(1)/$$(basename $$f) $(BUILD)/$(1)/$$f || exit 1; done
# The packages that installer/CMakeLists.txt builds in each Windows tree.
VERSION  := $(shell sed -n 's/^project.QAV_Flinter VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
PACKAGES := $(foreach f,x86 x64,$(foreach s,.msi -user.msi,$(BUILD)/$(f)/installer/QAV_Flinter-$(VERSION)-$(f)$(s)))

all: build
	rm -rf dist && mkdir -p dist/x86 dist/x64 dist/linux
	$(call ship,x86,$(WINDOWS_DELIVERABLES))
	$(call ship,x64,$(WINDOWS_DELIVERABLES))
	$(call ship,linux,tools/analyze/flinter-analyze)
	cp $(PACKAGES) dist/
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

# The x86 and x64 packages, per machine and per user, into dist/.
msi: $(BUILD)/x86/build.ninja $(BUILD)/x64/build.ninja
	cmake --build $(BUILD)/x86 -j$(JOBS) --target msi_packages
	cmake --build $(BUILD)/x64 -j$(JOBS) --target msi_packages
	mkdir -p dist && cp $(PACKAGES) dist/
	@ls dist/*.msi

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
# which puts what it prints into its own section of docs/benchmarks.md, with
# each figure beside the one the page held before the run (--compare: a
# figure that moved past 1.25x the same way in both flavours is named).
# Built by `make`, which also leaves the stripped deliverables whose sizes
# bench.sh notes (--sizes).
BENCHMARKS := benchmarks/http_benchmark benchmarks/startup_benchmark benchmarks/selection_change_benchmark \
  benchmarks/evaluation_benchmark benchmarks/spam_report_benchmark benchmarks/memory_benchmark

bench: all
	bash scripts/bench.sh --compare --sizes=dist $(BENCHMARKS)

# Fuzzing of the portable core (clang + libFuzzer, ASan + UBSan): every target
# in fuzz/ for FUZZ_SECONDS each, one after the other (FUZZ_TARGETS picks some,
# e.g. FUZZ_TARGETS=update_page); scripts/fuzz.sh ends with a table of what
# each found. Not part of `make test`.
FUZZ_SECONDS ?= 120
FUZZ_TARGETS ?=
fuzz: | deps
	$(CMAKE) -S . -B $(BUILD)/fuzz -DFLINTER_TARGET=fuzz -DFLINTER_FUZZ=ON -DFLINTER_TESTS=OFF \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD)/fuzz -j$(JOBS) --target fuzz_evaluate_header fuzz_stored_definition \
	  fuzz_settings_values fuzz_update_page
	bash scripts/fuzz.sh $(BUILD)/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The hostile update server campaign (not part of `make test`): the settings
# window's update check against hostile answers, x86 and x64 under Wine, each
# scenario run to its end and destroyed while it runs. Writes its table into
# docs/reliability.md; exit status 1 when a check failed.
HOSTILE := campaigns/hostile_update_campaign
hostile: $(BUILD)/x86/build.ninja $(BUILD)/x64/build.ninja
	cmake --build $(BUILD)/x86 -j$(JOBS) --target hostile_update_campaign
	cmake --build $(BUILD)/x64 -j$(JOBS) --target hostile_update_campaign
	bash scripts/bench.sh --page=docs/reliability.md --by="make hostile" $(HOSTILE)

# The soak alone (1,000 selection changes, 100 explorer and 100 connection
# cycles; `make test` runs it too), x86 and x64 under Wine: it prints the
# resource counts at its start and end and fails when they differ.
SOAK := tests/addin/addin_soak_tests.exe
soak: $(BUILD)/x86/build.ninja $(BUILD)/x64/build.ninja
	cmake --build $(BUILD)/x86 -j$(JOBS) --target addin_soak_tests
	cmake --build $(BUILD)/x64 -j$(JOBS) --target addin_soak_tests
	trap 'bash $(ROOT)/scripts/wine-prefix.sh stop' EXIT; status=0; \
	for flavour in x86 x64; do \
	  echo "== soak, $$flavour"; \
	  bash scripts/wine-run.sh $$flavour $(BUILD)/$$flavour/$(SOAK) --gtest_color=no || status=1; \
	done; exit $$status

# The fault-injection sweep (not part of `make test`): every host member the
# add-in calls fails in turn, x86 and x64 under Wine, each run in a process of
# its own (campaigns/fault_sweep.cpp). Writes its table into
# docs/reliability.md; exit status 1 when a run crashed, hung, showed a spoiled
# result as good or left a host reference or sink.
SWEEP := campaigns/fault_sweep/fault_sweep
faults: $(BUILD)/x86/build.ninja $(BUILD)/x64/build.ninja
	cmake --build $(BUILD)/x86 -j$(JOBS) --target fault_sweep
	cmake --build $(BUILD)/x64 -j$(JOBS) --target fault_sweep
	bash scripts/bench.sh --page=docs/reliability.md --by="make faults" $(SWEEP)

# Random user journeys (not part of `make test`, which runs a fixed handful):
# JOURNEYS random journeys of STEPS steps a flavour, made from the seeds SEED,
# SEED+1..., x86 and x64 under Wine with its heap checking, each journey in a
# process of its own and each failing one shrunk (journeys/journey_runner.cpp).
# About ten minutes here with the defaults. Writes its section of
# docs/reliability.md; exit status 1 when a journey failed.
JOURNEYS ?= 200
STEPS   ?= 50
SEED    ?= 1
journeys: $(BUILD)/x86/build.ninja $(BUILD)/x64/build.ninja
	cmake --build $(BUILD)/x86 -j$(JOBS) --target journey_runner
	cmake --build $(BUILD)/x64 -j$(JOBS) --target journey_runner
	FLINTER_JOURNEYS=$(JOURNEYS) FLINTER_STEPS=$(STEPS) FLINTER_SEED=$(SEED) FLINTER_WINEDEBUG=warn+heap \
	  bash scripts/bench.sh --page=docs/reliability.md --by="make journeys" journeys/journey_runner

clean:
	-bash scripts/wine-prefix.sh stop
	rm -rf $(BUILD) dist
