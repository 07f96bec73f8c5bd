#!/usr/bin/env bash
# Checks the headers installed under PREFIX/include/liborvek: each compiles alone as a
# translation unit (with the project's warnings as errors, as a user's strict build would
# see them), and the include closure of each stays within the installed headers and the
# compiler's own: no simdjson, nothing from the source tree.
#   tests/package/check-headers.sh PREFIX [SOURCE_TREE]
set -euo pipefail
prefix=$(cd "$1" && pwd)
tree=${2:-$(cd "$(dirname "$0")/../.." && pwd)}
cxx=${CXX:-g++}
flags=(-std=c++23 -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Werror -I"$prefix/include")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mapfile -t headers < <(cd "$prefix/include" && find liborvek -name '*.hpp' | sort)
[ ${#headers[@]} -gt 0 ] || { echo "no headers under $prefix/include/liborvek" >&2; exit 1; }
failed=0
for header in "${headers[@]}"; do
  printf '#include <%s>\n' "$header" >"$work/tu.cpp"
  if ! "$cxx" "${flags[@]}" -fsyntax-only -MD -MF "$work/tu.d" "$work/tu.cpp" 2>"$work/errors"; then
    echo "$header does not compile on its own:" >&2; head -n 20 "$work/errors" >&2; failed=1; continue
  fi
  # One dependency per word, line continuations and the rule's target dropped.
  deps=$(tr -s ' \\\n' '\n' <"$work/tu.d" | grep -v -e ':$' -e '^$' -e '/tu\.cpp$')
  if bad=$(grep -v "^$prefix/" <<<"$deps" | grep -i -e simdjson -e "^$tree/"); then
    echo "$header reaches headers that must stay behind the library's boundary:" >&2
    echo "$bad" >&2; failed=1
  fi
done
[ $failed = 0 ] || exit 1
echo "installed headers: ${#headers[@]}, each compiles alone, none reaches simdjson or the source tree"
