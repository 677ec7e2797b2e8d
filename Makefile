# Front door of the repository: see README.md.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := vornsnd scale chunk events smf sfz lv2state
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
VST_DIR ?= $(HOME)/.vst
LV2_DIR ?= $(HOME)/.lv2
BUNDLE := Vellamor-ZUL

.PHONY: all deps configure build demo test fuzz install uninstall clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

build: configure
	@ninja -C $(BUILD_DIR) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS, after replaying the saved crash inputs;
# the corpus grows in $(FUZZ_DIR)/corpus, new crash inputs land in
# $(FUZZ_DIR)/crashes.
fuzz: deps
	@cmake -S fuzz -B $(FUZZ_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
	@ninja -C $(FUZZ_DIR) -j $(JOBS)
	@$(FUZZ_DIR)/fuzz_seeds $(FUZZ_DIR)/corpus
	@# The factory content of a normal build, where there is one (the sound
	@# files are megabytes, too large to fuzz; the writer's seeds stand in).
	@if [ -f $(BUILD_DIR)/content/demo.mid ]; then \
	  cp $(BUILD_DIR)/content/demo.mid $(FUZZ_DIR)/corpus/smf/factory-demo; \
	  for f in $(BUILD_DIR)/content/Sounds/Banks/Quillmark/Vellamor/Scale/*.txt; do \
	    cp "$$f" "$(FUZZ_DIR)/corpus/scale/factory-$$(basename "$$f" .txt | tr ' ' '_')"; done; \
	  (cat $(BUILD_DIR)/Vellamor-ZUL/Resources/res00165.bnk; printf '\000\004') \
	    > $(FUZZ_DIR)/corpus/chunk/factory-bank; fi
	@mkdir -p $(FUZZ_DIR)/crashes
	@set -e; for t in $(FUZZ_TARGETS); do \
	  if [ ! -x $(FUZZ_DIR)/$${t}_fuzz ]; then echo "fuzz $$t: not built (no LV2 headers)"; continue; fi; \
	  if [ -n "$$(ls -A tests/regression/inputs/$$t 2>/dev/null)" ]; then \
	    $(FUZZ_DIR)/$${t}_fuzz tests/regression/inputs/$$t/* 2>$(FUZZ_DIR)/$$t-replay.log; fi; \
	  echo "fuzz $$t: $(FUZZ_SECONDS) s"; \
	  $(FUZZ_DIR)/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=3072 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/crashes/$$t- \
	    $(FUZZ_DIR)/corpus/$$t 2>$(FUZZ_DIR)/$$t.log || { tail -40 $(FUZZ_DIR)/$$t.log; exit 1; }; \
	  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' $(FUZZ_DIR)/$$t.log | tail -2; \
	done

install: build
	@scripts/install.sh install $(BUILD_DIR) "$(VST_DIR)" "$(LV2_DIR)"

uninstall:
	@scripts/install.sh uninstall $(BUILD_DIR) "$(VST_DIR)" "$(LV2_DIR)"

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) demo.wav
