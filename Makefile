# The two commands of the README:
#   make run   [ARGS="--debug ..."]   build, then start the player in its program folder
#   make test                         build, then run every test
# Each installs the Debian packages it needs first (scripts/install-deps.sh).
BUILD ?= build
JOBS ?= $(shell nproc)
export MAKEFLAGS := --no-print-directory
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@cd $(BUILD)/program && ./vesperon $(ARGS)

test: build
	@scripts/run-tests.sh $(BUILD)

bench: build
	@scripts/run-benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD)
