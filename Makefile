# The two commands of the README:
#   make run   [ARGS="--debug ..."]   build, then start the player in its program folder
#   make test                         build, then run every test: the normal pass,
#                                     then the sanitizer pass (ASan + UBSan, leaks)
# Each installs the Debian packages it needs first (scripts/install-deps.sh).
# More for developers:
#   make test-fast        the normal pass alone (or: make test SANITIZE=0)
#   make test-sanitize    the sanitizer pass alone (build folder build-sanitize)
#   make lint             clang-tidy and cppcheck over src/, and the files
#                         clang-format would change
#   make coverage         line coverage per folder (build folder build-coverage)
#   make format           clang-format (.clang-format) over every C++ file in place
#   make bench            build and run the benchmarks
#   make install          build, then install for this user: the program folder to
#                         PREFIX (~/.local/share/vesperon), the launcher and the icon
#                         under DATA_HOME (~/.local/share); DESTDIR is honoured, and
#                         NO_BUILD=1 installs what BUILD holds without building
#   make uninstall-desktop  remove the launcher and the icon
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
SANITIZE ?= 1
JOBS ?= $(shell nproc)
PREFIX ?= $(HOME)/.local/share/vesperon
DATA_HOME ?= $(or $(XDG_DATA_HOME),$(HOME)/.local/share)
export MAKEFLAGS := --no-print-directory
export JOBS
CMAKE_FLAGS ?=
# ccache, when installed, keeps rebuilds of several work trees cheap; CMake
# reads these at the first configure of a build folder.
ifneq ($(shell command -v ccache 2>/dev/null),)
export CMAKE_C_COMPILER_LAUNCHER ?= ccache
export CMAKE_CXX_COMPILER_LAUNCHER ?= ccache
endif

.PHONY: all deps configure build run test test-fast test-sanitize lint coverage format bench install uninstall-desktop clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@cd $(BUILD)/program && ./vesperon $(ARGS)

test: test-fast
ifneq ($(SANITIZE),0)
	@scripts/run-sanitized-tests.sh $(SANITIZE_BUILD)
endif

test-fast: build
	@scripts/run-tests.sh $(BUILD)

test-sanitize: deps
	@scripts/run-sanitized-tests.sh $(SANITIZE_BUILD)

lint: build
	@scripts/lint.sh $(BUILD)

coverage: deps
	@scripts/coverage.sh

format:
	@git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

bench: build
	@scripts/run-benchmarks.sh $(BUILD)

install: $(if $(NO_BUILD),,build)
	@scripts/install-desktop.sh install "$(BUILD)" "$(DESTDIR)" "$(PREFIX)" "$(DATA_HOME)"

uninstall-desktop:
	@scripts/install-desktop.sh uninstall "$(BUILD)" "$(DESTDIR)" "$(PREFIX)" "$(DATA_HOME)"

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-coverage build-fuzz
