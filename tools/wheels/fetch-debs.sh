#!/usr/bin/env bash
# Downloads Debian packages of any suite and architecture into a folder and unpacks them there,
# without touching this machine's apt: apt runs with a configuration and state of its own
# under STATE, reading the mirror from this machine's apt sources.
#   tools/wheels/fetch-debs.sh STATE SUITE ARCH DEST PACKAGE...
# Used for the Python headers of interpreters this machine does not have (libpython3.X-dev).
# A package already unpacked in DEST (DEST/.fetched lists them) is not fetched again.
set -euo pipefail
[ $# -ge 5 ] || { echo "usage: fetch-debs.sh STATE SUITE ARCH DEST PACKAGE..." >&2; exit 2; }
state=$1 suite=$2 arch=$3 dest=$4
shift 4

mkdir -p "$dest"
wanted=()
for package in "$@"; do
  grep -qxF "$package" "$dest/.fetched" 2>/dev/null || wanted+=("$package")
done
[ ${#wanted[@]} -gt 0 ] || exit 0

uri=$("$(dirname "$0")/../debian-mirror.sh")
conf="$state/$suite-$arch"
mkdir -p "$conf/lists/partial" "$conf/archives/partial" "$conf/debs"
cat >"$conf/sources.list" <<EOF
deb [arch=$arch signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri $suite main
EOF
apt_options=(
  -o "Dir::Etc::SourceList=$conf/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
  -o "Dir::State::Lists=$conf/lists" -o "Dir::State::Status=/dev/null"
  -o "Dir::Cache::Archives=$conf/archives" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
  -o "APT::Architectures::=$arch" -o "APT::Architecture=$arch"
  -o "Acquire::Check-Valid-Until=false" -o "Debug::NoLocking=1"
  -o "APT::Sandbox::User=root"
)
# The lists are fetched once a day at most.
if [ -z "$(find "$conf/lists" -maxdepth 1 -name '*Packages*' -mmin -1440 2>/dev/null)" ]; then
  apt-get "${apt_options[@]}" -qq update
fi
cd "$conf/debs"
apt-get "${apt_options[@]}" -qq download "${wanted[@]/%/:$arch}"
for package in "${wanted[@]}"; do
  deb=$(ls -t "${package}"_*_"$arch".deb | head -n 1)
  dpkg-deb -x "$deb" "$dest"
  echo "$package" >>"$dest/.fetched"
done
