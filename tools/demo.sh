#!/usr/bin/env bash
# Runs the examples against an orvek-sim that lives only as long as the demo, with orvek-view
# showing the arm meanwhile. Run by `make demo`, or alone (after `make install`):
#   tools/demo.sh BIN HOST VIEW_PORT HOLD LOG [SCREENSHOT.png]
# BIN: the environment's bin folder (python, orvek-sim, orvek-view). The simulator listens on
# HOST and logs to LOG with the arm's joints at 100 Hz, for orvek-plot; the viewer serves
# http://127.0.0.1:VIEW_PORT/ (a demo whose viewer cannot start still runs); HOLD keeps both up
# that many seconds after the examples. SCREENSHOT: headless Chromium (make test-view installs
# it) takes a picture of the page during the quickstart's joint move. The trap stops every
# process however the script ends.
set -euo pipefail
usage="usage: demo.sh BIN HOST VIEW_PORT HOLD LOG [SCREENSHOT.png]"
bin=${1:?$usage}
host=${2:?$usage}
port=${3:?$usage}
hold=${4:?$usage}
log=${5:?$usage}
screenshot=${6:-}
cd "$(dirname "$0")/.."

mkdir -p "$(dirname "$log")"
ready=$(mktemp)
viewed=$(mktemp)
view=""
shot=""
"$bin/orvek-sim" --host "$host" --log "$log" --log-joints 100 >"$ready" &
sim=$!
trap 'for p in $view $sim; do kill $p 2>/dev/null || true; wait $p 2>/dev/null || true; done; rm -f "$ready" "$viewed"' EXIT
trap 'exit 130' INT TERM

# Waits up to TENTHS tenths of a second for a line starting with TEXT in FILE while PID lives.
wait_for() {
  local text=$1 file=$2 pid=$3 tenths=$4
  for _ in $(seq "$tenths"); do
    grep -q "^$text" "$file" && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  grep -q "^$text" "$file"
}

wait_for "orvek-sim listening" "$ready" $sim 100 || { echo "make demo: orvek-sim did not start within 10 s" >&2; exit 1; }
cat "$ready"
"$bin/orvek-view" "$host" --port "$port" >"$viewed" 2>&1 &
view=$!
if wait_for "orvek-view: http" "$viewed" $view 100; then
  echo "$(cat "$viewed") -- open it in a browser to watch the arm"
else
  echo "make demo: the viewer did not start, going on without it: $(cat "$viewed")" >&2
  view=""
fi
if [ -n "$screenshot" ] && [ -n "$view" ]; then
  "$bin/python" -m orvek_tools.snapshot "http://127.0.0.1:$port/" "$screenshot" >"$viewed" &
  shot=$!
  wait_for "page open" "$viewed" $shot 300 || true
fi
for example in quickstart realtime; do
  echo "--- examples/$example.py"
  "$bin/python" "examples/$example.py" "$host"
done
if [ -n "$shot" ]; then wait $shot && grep '^screenshot' "$viewed"; fi
sleep "$hold"
echo "the run, plotted: $bin/orvek-plot $log -o run.png"
