#!/usr/bin/env bash
# Makes a minimal Debian root with debootstrap, or keeps the one already there.
#   tools/make-root.sh DIR SUITE [PACKAGE,PACKAGE...]
# The root is made from the mirror that apt on this machine uses. A root is reused when an
# earlier run finished it for the same suite and packages (DIR/.made-by-make-root says
# which); an unfinished one is removed and made again. Needs root.
set -euo pipefail

dir=${1:?usage: make-root.sh DIR SUITE [PACKAGES]}
suite=${2:?usage: make-root.sh DIR SUITE [PACKAGES]}
packages=${3:-}
stamp="$dir/.made-by-make-root"
want="$suite minbase $packages"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  echo "make-root: reusing $dir ($want)"
  exit 0
fi

# The mirror: the first URI of a deb822 stanza for a plain suite (not -security or
# -updates), else the first "deb" line of sources.list.
mirror() {
  local sources=/etc/apt/sources.list.d/debian.sources
  if [ -f "$sources" ]; then
    awk '
      /^[[:space:]]*$/ { if (uri != "" && plain) { print uri; exit } uri = ""; plain = 0; next }
      /^URIs:/   { uri = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i !~ /-/) plain = 1 }
      END        { if (uri != "" && plain) print uri }
    ' "$sources" | head -n 1
  elif [ -f /etc/apt/sources.list ]; then
    awk '$1 == "deb" { print ($2 ~ /^\[/ ? $3 : $2); exit }' /etc/apt/sources.list
  fi
}
uri=$(mirror)
[ -n "$uri" ] || { echo "make-root: no Debian mirror found in apt's sources" >&2; exit 1; }

if [ -e "$dir" ]; then
  # Never remove a folder that something is still mounted under (a bind of /dev or /proc).
  if findmnt -rn -o TARGET | grep -q "^$(realpath "$dir")\(/\|$\)"; then
    echo "make-root: $dir has mounts under it; unmount them first" >&2
    exit 1
  fi
  echo "make-root: removing the unfinished root $dir"
  rm -rf --one-file-system "$dir"
fi

if ! command -v debootstrap >/dev/null; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
fi

mkdir -p "$dir"
include=()
[ -n "$packages" ] && include=(--include="$packages")
echo "make-root: debootstrap $suite into $dir from $uri"
debootstrap --variant=minbase "${include[@]}" "$suite" "$dir" "$uri" >"$dir.debootstrap.log" 2>&1 || {
  tail -n 30 "$dir.debootstrap.log" >&2
  echo "make-root: debootstrap failed (log: $dir.debootstrap.log)" >&2
  exit 1
}
echo "$want" >"$stamp"
