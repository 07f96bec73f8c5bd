#!/usr/bin/env bash
# Makes a minimal Debian root with debootstrap, or keeps the one already there.
#   tools/make-root.sh [--arch ARCH] [--foreign-arch ARCH] DIR SUITE [PACKAGE,PACKAGE...]
# --arch: the root's own architecture (default: this machine's); a foreign one runs through
# qemu-user and binfmt_misc. --foreign-arch: a second architecture the root's apt installs
# packages of (multiarch), named as PACKAGE:ARCH.
# The root is made from the mirror that apt on this machine uses: debootstrap lays down the
# minimal base, then apt inside the root installs the packages, so that virtual packages and
# alternatives resolve as on a real machine. A root is reused when an earlier run finished it
# for the same suite, architectures and packages (DIR/.made-by-make-root says which); an
# unfinished one is removed and made again. Needs root.
set -euo pipefail

arch=$(dpkg --print-architecture)
foreign=""
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2; shift 2 ;;
    --foreign-arch) foreign=$2; shift 2 ;;
    *) break ;;
  esac
done
usage="usage: make-root.sh [--arch ARCH] [--foreign-arch ARCH] DIR SUITE [PACKAGES]"
dir=${1:?$usage}
suite=${2:?$usage}
packages=${3:-}
stamp="$dir/.made-by-make-root"
want="$suite $arch${foreign:++$foreign} minbase $packages"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  echo "make-root: reusing $dir ($want)"
  exit 0
fi

uri=$("$(dirname "$0")/debian-mirror.sh")

if [ -e "$dir" ]; then
  # Never remove a folder that something is still mounted under (a bind of /dev or /proc).
  if findmnt -rn -o TARGET | grep -q "^$(realpath "$dir")\(/\|$\)"; then
    echo "make-root: $dir has mounts under it; unmount them first" >&2
    exit 1
  fi
  echo "make-root: removing the unfinished root $dir"
  rm -rf --one-file-system "$dir"
fi

"$(dirname "$0")/apt-install.sh" --no-install-recommends debootstrap
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
  "$(dirname "$0")/enable-qemu.sh" "$arch"
fi

# A suite newer than this debootstrap (forky on Debian 12's) is made as the unstable one is.
script=()
[ -e "/usr/share/debootstrap/scripts/$suite" ] || script=(/usr/share/debootstrap/scripts/sid)

mkdir -p "$dir"
log="$dir.debootstrap.log"
echo "make-root: debootstrap $suite ($arch) into $dir from $uri"
debootstrap --variant=minbase --arch="$arch" "$suite" "$dir" "$uri" "${script[@]}" >"$log" 2>&1 || {
  tail -n 30 "$log" >&2
  echo "make-root: debootstrap failed (log: $log)" >&2
  exit 1
}

# A suite past its Release file's Valid-Until date (an old testing snapshot) is still the one
# asked for.
echo 'Acquire::Check-Valid-Until "false";' >"$dir/etc/apt/apt.conf.d/99make-root"
if [ -n "$foreign" ]; then
  chroot "$dir" dpkg --add-architecture "$foreign"
fi
if [ -n "$packages" ]; then
  echo "make-root: installing ${packages//,/ }"
  cp /etc/resolv.conf "$dir/etc/resolv.conf"
  chroot "$dir" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    sh -c "apt-get update -qq && apt-get install -y -qq --no-install-recommends ${packages//,/ } && apt-get clean" \
    >>"$log" 2>&1 || {
    tail -n 30 "$log" >&2
    echo "make-root: installing the packages failed (log: $log)" >&2
    exit 1
  }
fi
echo "$want" >"$stamp"
