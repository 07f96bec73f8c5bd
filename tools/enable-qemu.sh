#!/usr/bin/env bash
# Lets this machine run programs of another CPU (e.g. arm64) through qemu-user and binfmt_misc,
# so that debootstrap can finish a root of that architecture and chroot can run in it.
#   tools/enable-qemu.sh ARCH        (a Debian architecture name: arm64, ...)
# Needs root. Does nothing when the architecture already runs.
set -euo pipefail
arch=${1:?usage: enable-qemu.sh ARCH}
case "$arch" in
  arm64) qemu=aarch64 ;;
  *) qemu=$arch ;;
esac
"$(dirname "$0")/apt-install.sh" --no-install-recommends qemu-user-static binfmt-support
if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [ ! -e "/proc/sys/fs/binfmt_misc/qemu-$qemu" ] || ! grep -q '^enabled' "/proc/sys/fs/binfmt_misc/qemu-$qemu"; then
  update-binfmts --enable "qemu-$qemu"
fi
grep -q '^enabled' "/proc/sys/fs/binfmt_misc/qemu-$qemu" || {
  echo "enable-qemu: binfmt_misc does not run $arch programs through qemu-$qemu" >&2
  exit 1
}
