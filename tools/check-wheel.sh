#!/bin/bash
# Proves one wheel where its interpreter lives: runs inside a root (tools/in-root.sh) that has
# that interpreter and nothing of this project but the folder this script is in, which holds
# the wheel (wheel/), the wheels the tests need (test-deps/, with test-deps/requirements.txt
# naming those this interpreter has), examples/, tests/python/ and pyproject.toml (the tests'
# settings). No network: liborvek is installed from its wheel's file alone, with no index.
#   check-wheel.sh PYTHON [full|emulated]
# full: the Python test suite, orvek-sim and the examples. emulated (a CPU run through qemu,
# where Python is 100 to 300 times slower): the import, the same numbers as every other cell,
# orvek-sim answering, the quickstart, a realtime run of a few hundred cycles and the value
# tests (poses, motion targets, path files, payload).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=${1:?usage: check-wheel.sh PYTHON [full|emulated]}
mode=${2:-full}
venv=/opt/liborvek-venv-$("$python" -c 'import sys; print("%d%d" % sys.version_info[:2])')
host=127.0.0.1

step() { echo "--- check-wheel: $*"; }

step "a virtual environment with $("$python" --version) ($(uname -m))"
rm -rf "$venv"
"$python" -m venv "$venv"
py=$venv/bin/python
# No byte-compiling at install: under qemu it costs minutes; the tests compile what they import.
pip=("$py" -m pip install -q --no-index --no-compile --disable-pip-version-check)

wheel=$(ls "$here"/wheel/*.whl)
step "pip install --no-index $(basename "$wheel") (the file alone: it depends on nothing)"
"${pip[@]}" "$wheel"
step "the tests' own dependencies: $(tr '\n' ' ' <"$here/test-deps/requirements.txt")"
"${pip[@]}" --find-links "$here/test-deps" -r "$here/test-deps/requirements.txt"

step "import liborvek"
cd /  # so that nothing beside the tests can be imported instead of the installed module
"$py" - <<'EOF'
import pathlib, platform, sysconfig
import liborvek
site = pathlib.Path(sysconfig.get_path("platlib"))
assert pathlib.Path(liborvek.__file__).parent == site, liborvek.__file__
assert (site / "liborvek-stubs" / "__init__.pyi").is_file(), "the type stubs are missing"
print(liborvek.__file__, platform.machine())
print(sorted(n for n in dir(liborvek) if not n.startswith("_")))
EOF

step "orvek-sim on $host, and the examples against it"
ready=$(mktemp)
"$venv/bin/orvek-sim" --host "$host" >"$ready" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 300); do
  grep -q '^orvek-sim listening' "$ready" && break
  kill -0 $sim 2>/dev/null || { echo "check-wheel: orvek-sim did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^orvek-sim listening' "$ready" || { echo "check-wheel: orvek-sim was not ready within 30 s" >&2; exit 1; }
cat "$ready"
for example in quickstart realtime; do
  step "examples/$example.py"
  "$py" "$here/examples/$example.py" "$host"
done
kill $sim && wait $sim || true

cd "$here"
if [ "$mode" = full ]; then
  step "the Python tests against the installed module"
  "$py" -m pytest -q -p no:cacheprovider -rs tests/python
  if "$py" -c 'import mypy' 2>/dev/null; then
    step "the installed type stubs against the installed module"
    shown=$(MYPY_CACHE_DIR=/tmp/mypy-cache "$py" -m mypy.stubtest liborvek --allowlist stubtest-allowlist.txt 2>&1) ||
      { echo "$shown"; exit 1; }
    echo "stubtest: $shown"
  fi
else
  step "the same numbers as every cell, and the value tests"
  "$py" -m pytest -q -p no:cacheprovider -rs -k "not leak" \
    tests/python/test_golden_numbers.py tests/python/test_pose.py tests/python/test_values.py \
    tests/python/test_robot.py::test_path_files tests/python/test_robot.py::test_set_load_sends_mass_and_centroid_only \
    tests/python/test_robot.py::test_euler_and_quat_targets_go_out_as_six_numbers \
    tests/python/test_robot.py::test_frames_and_rel_flag
fi
