# Front door of the repository: see README.md.
BUILD_DIR ?= build
ASAN_DIR ?= build-asan
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
VST_DIR ?= $(HOME)/.vst
BUNDLE := Vellamor-ZUL

.PHONY: all deps configure build demo test install uninstall clean

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

install: build
	@scripts/install.sh install $(BUILD_DIR) "$(VST_DIR)"

uninstall:
	@scripts/install.sh uninstall $(BUILD_DIR) "$(VST_DIR)"

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) demo.wav
