#!/usr/bin/env bash
# Installs those of the named distribution packages that are missing, with sudo when not
# root; does nothing when all are there. `--no-install-recommends` first leaves out what
# the packages merely recommend.
set -euo pipefail
options=()
if [ "${1:-}" = --no-install-recommends ]; then options+=("$1"); shift; fi
missing=()
for package in "$@"; do dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package"); done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)
echo "installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${options[@]}" "${missing[@]}"
