#!/usr/bin/env bash
# The C++ tests, the module, the simulator and the Python tests under AddressSanitizer and
# UndefinedBehaviorSanitizer; any report fails. Run by `make test-sanitize`, or alone:
#   tools/test-sanitize.sh BUILD_DIR PYTHON
# (PYTHON: the environment's interpreter, which has pytest.)
# Every report aborts the process and is also written to BUILD_DIR/reports, so a report in a
# process whose exit status no test looks at (a simulator) still fails the run. CPython keeps
# its objects alive at exit, so leak detection is off in the Python process only
# (test_leaks.py watches memory and reference counts). The C++ runtime is preloaded with the
# sanitizer's, which must find its exception functions when it starts, before Python loads
# the module.
set -euo pipefail
build=$(realpath -m "${1:?usage: test-sanitize.sh BUILD_DIR PYTHON}")
python=${2:?usage: test-sanitize.sh BUILD_DIR PYTHON}
cd "$(dirname "$0")/.."
reports=$build/reports
common="abort_on_error=1:halt_on_error=1:log_path=$reports/report"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/report"

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVEK_SANITIZE=ON -DORVEK_BUILD_PYTHON=ON -DPython_EXECUTABLE="$(tools/find-python.sh)"
cmake --build "$build"
rm -rf "$reports" && mkdir -p "$reports"
(cd "$build" && ASAN_OPTIONS="$common:detect_leaks=1" ctest --output-on-failure --timeout 300)
ASAN_OPTIONS="$common:detect_leaks=0" LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libstdc++.so)" \
  PYTHONPATH="$build/src/ffi" ORVEK_SIM="$build/sim/orvek-sim" \
  "$python" -m pytest -q -p no:cacheprovider tests/python
if ls "$reports"/report* >/dev/null 2>&1; then
  echo "sanitizer reports:"
  cat "$reports"/report*
  exit 1
fi
