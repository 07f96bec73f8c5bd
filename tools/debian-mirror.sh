#!/usr/bin/env bash
# Prints the Debian mirror that apt on this machine uses: the first URI of a deb822 stanza for
# a plain suite (not -security or -updates), else the first "deb" line of sources.list.
set -euo pipefail
sources=/etc/apt/sources.list.d/debian.sources
uri=""
if [ -f "$sources" ]; then
  uri=$(awk '
    /^[[:space:]]*$/ { if (uri != "" && plain) { print uri; exit } uri = ""; plain = 0; next }
    /^URIs:/   { uri = $2 }
    /^Suites:/ { for (i = 2; i <= NF; i++) if ($i !~ /-/) plain = 1 }
    END        { if (uri != "" && plain) print uri }
  ' "$sources" | head -n 1)
elif [ -f /etc/apt/sources.list ]; then
  uri=$(awk '$1 == "deb" { print ($2 ~ /^\[/ ? $3 : $2); exit }' /etc/apt/sources.list)
fi
[ -n "$uri" ] || { echo "debian-mirror: no Debian mirror found in apt's sources" >&2; exit 1; }
echo "$uri"
