#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) and runs each for SECONDS. Run by `make fuzz` and
# `make fuzz-long`, or alone:
#   tools/fuzz.sh BUILD_DIR SECONDS TARGET...
# Each target starts from the generated seeds (fuzz_seeds: valid and nearly valid examples of
# its input), the committed seeds of fuzz/seeds/TARGET (inputs that once found a fault, and the
# real forms of replies and requests) and
# whatever corpus earlier runs left in BUILD_DIR/corpus. A crash, a broken property or an input
# running longer than 10 s fails; its input is left in BUILD_DIR/artifacts.
set -euo pipefail
build=$(realpath -m "${1:?usage: fuzz.sh BUILD_DIR SECONDS TARGET...}")
seconds=${2:?usage: fuzz.sh BUILD_DIR SECONDS TARGET...}
shift 2
cd "$(dirname "$0")/.."

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=fuzz/toolchain.cmake -DORVEK_BUILD_FUZZ=ON -DORVEK_BUILD_TESTS=OFF
cmake --build "$build" --target fuzz_all
"$build/fuzz/fuzz_seeds" "$build/seeds"
mkdir -p "$build/artifacts"
for target in "$@"; do
  mkdir -p "$build/corpus/$target"
  found=()
  [ -d "fuzz/seeds/$target" ] && found=("fuzz/seeds/$target")
  log=$build/fuzz-$target.log
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" "$build/corpus/$target" "$build/seeds/$target" "${found[@]}" \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz_$target failed: see $log and $build/artifacts"
    exit 1
  fi
  runs=$(grep -o 'number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*')
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*')
  echo "fuzz_$target: $runs inputs in $seconds s, coverage $coverage edges, no failure"
done
