#!/usr/bin/env bash
# Prints the path of a working CPython 3.13 interpreter, or fails.
# pyenv's python3.13 shim can fail while the interpreter behind it works, so every
# candidate is run before it is chosen.
set -u
candidates=()
[ -n "${PYTHON313:-}" ] && candidates+=("$PYTHON313")
candidates+=(python3.13 /usr/bin/python3.13 /usr/local/bin/python3.13)
for root in "${PYENV_ROOT:-$HOME/.pyenv}" /root/.pyenv /opt/pyenv; do
  for dir in "$root"/versions/3.13*; do
    [ -x "$dir/bin/python3.13" ] && candidates+=("$dir/bin/python3.13")
  done
done
for candidate in "${candidates[@]}"; do
  path=$(command -v "$candidate" 2>/dev/null) || continue
  if "$path" -c 'import sys; assert sys.version_info[:2] == (3, 13)' >/dev/null 2>&1; then
    "$path" -c 'import sys; print(sys.executable)'
    exit 0
  fi
done
echo "find-python: no working CPython 3.13 found (set PYTHON313=/path/to/python3.13)" >&2
exit 1
