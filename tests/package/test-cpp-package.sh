#!/usr/bin/env bash
# make test-cpp-package: installs the C++ package from the CMake build BUILD into a fresh
# prefix, checks the installed headers, builds examples/cpp from a copy outside the tree
# against that prefix alone (with CMake, and once more with pkg-config), runs it against the
# installed orvek-sim on HOST and compares its output with quickstart.expected (@HOST@ for HOST).
# It also checks the licences installed in share/doc/liborvek, and builds every C++ block of
# the manual (docs/*.md, each a whole program) against the installed package.
#   tests/package/test-cpp-package.sh BUILD [HOST]
set -euo pipefail
build=$(cd "$1" && pwd)
host=${2:-127.0.230.1}
tree=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/orvek-cpp-package.XXXXXX)
prefix=$work/prefix
sim=""
stop_sim() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; sim=""; fi
}
trap 'stop_sim; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

echo "--- cmake --install $build --prefix $prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
(cd "$prefix" && find . -type f | sort | sed 's|^\./|  |')

echo "--- installed headers"
"$tree/tests/package/check-headers.sh" "$prefix" "$tree"

echo "--- examples/cpp built outside the tree with find_package(liborvek)"
cp -r "$tree/examples/cpp" "$work/example"
cmake -S "$work/example" -B "$work/example/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$work/configure.log" \
  || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/example/build" >"$work/build.log" || { cat "$work/build.log"; exit 1; }

echo "--- the same program built with pkg-config --cflags --libs liborvek"
pc_flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs liborvek)
echo "  $pc_flags"
# shellcheck disable=SC2086  # the flags are words
"${CXX:-g++}" -O1 -o "$work/quickstart-pc" "$work/example/quickstart.cpp" $pc_flags

echo "--- the licences in share/doc/liborvek"
for file in LICENSE licenses/simdjson.txt licenses/fmt.txt; do
  cmp -s "$tree/$file" "$prefix/share/doc/liborvek/$file" || { echo "share/doc/liborvek/$file is missing or differs" >&2; exit 1; }
done
echo "  LICENSE and the licences of simdjson and fmt"

echo "--- the manual's C++ blocks (docs/*.md), each built against the installed package"
mkdir -p "$work/manual"
python3 - "$tree/docs" "$work/manual" <<'PY'
import pathlib, re, sys
docs, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
for page in sorted(docs.rglob("*.md")):
    text = page.read_text(encoding="utf-8")
    for match in re.finditer(r"^```cpp\n(.*?)^```$", text, re.M | re.S):
        line = text.count("\n", 0, match.start()) + 1
        (out / f"{page.stem}-{line}.cpp").write_text(match[1], encoding="utf-8")
PY
blocks=("$work"/manual/*.cpp)
[ -f "${blocks[0]}" ] || { echo "no C++ block found in docs/" >&2; exit 1; }
for block in "${blocks[@]}"; do
  # shellcheck disable=SC2086  # the flags are words
  "${CXX:-g++}" -std=c++23 -O1 -Wall -Wextra -Werror -o "${block%.cpp}" "$block" $pc_flags 2>"$work/block.log" \
    || { cat "$work/block.log"; echo "docs: $(basename "$block" .cpp) does not build" >&2; exit 1; }
  echo "  $(basename "$block" .cpp | sed 's/-\([0-9]*\)$/.md line \1/'): built"
done

echo "--- both against the installed orvek-sim on $host"
"$prefix/bin/orvek-sim" --host "$host" >"$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q '^orvek-sim listening' "$work/sim.out" && break
  kill -0 "$sim" 2>/dev/null || { cat "$work/sim.out"; echo "orvek-sim did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^orvek-sim listening' "$work/sim.out" || { echo "orvek-sim was not ready within 10 s" >&2; exit 1; }
sed "s/@HOST@/$host/" "$tree/tests/package/quickstart.expected" >"$work/expected.txt"
for program in "$work/example/build/quickstart" "$work/quickstart-pc"; do
  "$program" "$host" >"$work/out.txt" || { cat "$work/out.txt"; echo "$program failed" >&2; exit 1; }
  diff -u "$work/expected.txt" "$work/out.txt" \
    || { echo "$program: unexpected output" >&2; exit 1; }
done
echo "  output as expected, twice"
# Without a controller the program must say so and fail.
stop_sim
if "$work/example/build/quickstart" "$host" >"$work/out.txt" 2>"$work/err.txt"; then
  echo "quickstart succeeded without a controller" >&2; exit 1
fi
grep -q "^cannot reach the controller at $host: Connection refused (os error 111)$" "$work/err.txt" \
  || { cat "$work/err.txt"; echo "unexpected failure text" >&2; exit 1; }
echo "test-cpp-package: passed"
