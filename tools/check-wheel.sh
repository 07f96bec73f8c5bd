#!/bin/bash
# Runs inside the root that `make test-wheel` makes: a machine that has python3.13 and
# nothing of this project but the folder this script is in, which holds the wheel (wheel/),
# the wheels the tests need (test-deps/), examples/, tests/python/ and pyproject.toml
# (the tests' settings). liborvek is installed from its wheel's file; what it depends on
# (the viewer's server, the plot extra) from test-deps/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
venv=/opt/liborvek-venv
host=127.0.0.1

step() { echo "--- test-wheel: $*"; }

step "a virtual environment with $(python3.13 --version)"
rm -rf "$venv"
python3.13 -m venv "$venv"
py=$venv/bin/python

wheel=$(ls "$here"/wheel/*.whl)
step "pip install --no-index $(basename "$wheel")[plot] (its dependencies from test-deps/)"
"$py" -m pip install -q --no-index --disable-pip-version-check --find-links "$here/test-deps" "$wheel[plot]"
"$py" -m pip install -q --no-index --disable-pip-version-check --find-links "$here/test-deps" pytest numpy

step "import liborvek"
cd /  # so that nothing beside the tests can be imported instead of the installed module
"$py" - <<'EOF'
import pathlib, sysconfig
import liborvek
site = pathlib.Path(sysconfig.get_path("platlib"))
assert pathlib.Path(liborvek.__file__).parent == site, liborvek.__file__
assert (site / "liborvek-stubs" / "__init__.pyi").is_file(), "the type stubs are missing"
print(liborvek.__file__)
print(sorted(n for n in dir(liborvek) if not n.startswith("_")))
EOF

step "orvek-sim on $host, and the examples against it"
ready=$(mktemp)
"$venv/bin/orvek-sim" --host "$host" >"$ready" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$ready"' EXIT
for _ in $(seq 100); do
  grep -q '^orvek-sim listening' "$ready" && break
  kill -0 $sim 2>/dev/null || { echo "test-wheel: orvek-sim did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^orvek-sim listening' "$ready" || { echo "test-wheel: orvek-sim was not ready within 10 s" >&2; exit 1; }
cat "$ready"
for example in quickstart realtime; do
  step "examples/$example.py"
  "$py" "$here/examples/$example.py" "$host"
done
kill $sim && wait $sim || true

step "the Python tests against the installed module"
cd "$here"
"$py" -m pytest -q -p no:cacheprovider -rs tests/python
