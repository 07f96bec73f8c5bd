#!/usr/bin/env bash
# Installs those of the named distribution packages that are missing, with sudo when not
# root; does nothing when all are there. `--no-install-recommends` first leaves out what
# the packages merely recommend.
set -euo pipefail
options=()
if [ "${1:-}" = --no-install-recommends ]; then options+=("$1"); shift; fi
missing=()
# Installed means "install ok installed": a package removed with its configuration left
# behind is still known to dpkg, and is missing.
installed() { [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]; }
for package in "$@"; do installed "$package" || missing+=("$package"); done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=()
[ "$(id -u)" = 0 ] || sudo=(sudo)
echo "installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${options[@]}" "${missing[@]}"
