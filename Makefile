# The one entry point for people and CI. `make test` and `make demo` work on a fresh
# machine: they install what is missing, build, and run.
SHELL := /bin/bash
.DEFAULT_GOAL := test

VENV       := .venv
VPY        := $(VENV)/bin/python
VBIN       := $(abspath $(VENV)/bin)
BUILD      := build
CPP_BUILD  := $(BUILD)/cpp
APT_PACKAGES := libsimdjson-dev libgtest-dev libbenchmark-dev
SUDO       := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
export PATH := $(VBIN):$(PATH)

.PHONY: test test-cpp test-python deps build-cpp install demo clean

# --- set-up -----------------------------------------------------------------

deps: $(BUILD)/.deps
$(BUILD)/.deps: Makefile
	@missing=""; for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi
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

# --- demo -------------------------------------------------------------------

# Runs the examples against a simulator on 127.0.0.1 that lives only as long as the demo:
# the trap stops it however the recipe ends. examples/realtime.py runs when it exists.
DEMO_HOST := 127.0.0.1

demo: install
	@set -eu; \
	ready=$$(mktemp); \
	$(VBIN)/orvek-sim --host $(DEMO_HOST) >"$$ready" & sim=$$!; \
	trap 'kill $$sim 2>/dev/null || true; wait $$sim 2>/dev/null || true; rm -f "$$ready"' EXIT; \
	trap 'exit 130' INT TERM; \
	for _ in $$(seq 100); do \
	  grep -q '^orvek-sim listening' "$$ready" && break; \
	  kill -0 $$sim 2>/dev/null || { echo "make demo: orvek-sim did not start" >&2; exit 1; }; \
	  sleep 0.1; \
	done; \
	grep -q '^orvek-sim listening' "$$ready" || { echo "make demo: orvek-sim was not ready within 10 s" >&2; exit 1; }; \
	cat "$$ready"; \
	echo "--- examples/quickstart.py"; \
	$(VPY) examples/quickstart.py $(DEMO_HOST); \
	if [ -f examples/realtime.py ]; then \
	  echo "--- examples/realtime.py"; \
	  $(VPY) examples/realtime.py $(DEMO_HOST); \
	fi

clean:
	rm -rf $(BUILD)
