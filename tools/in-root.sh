#!/usr/bin/env bash
# Runs a command inside a root made by tools/make-root.sh, with /proc, /dev and /dev/shm
# mounted and a network namespace of its own that has only loopback.
#   tools/in-root.sh [--network] [--bind SRC:DEST[:ro]]... DIR COMMAND [ARG...]
# --network keeps this machine's network (to install packages); --bind mounts a folder of this
# machine at DEST inside the root (read-only with :ro), e.g. an interpreter or the source tree.
# The mounts are made in a private mount namespace, so the host never sees them, and are
# unmounted by the trap on every way out (success, failure, Ctrl-C). The command gets a
# clean environment: nothing of this machine's pip or Python settings reaches it.
set -euo pipefail

usage="usage: in-root.sh [--network] [--bind SRC:DEST[:ro]]... DIR COMMAND [ARG...]"
options=()
network=""
binds=()
while [ $# -gt 0 ]; do
  case "$1" in
    --network) network=1; options+=("$1"); shift ;;
    --bind) binds+=("$2"); options+=("$1" "$2"); shift 2 ;;
    *) break ;;
  esac
done
dir=$(realpath "${1:?$usage}")
shift
[ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }

if [ "${IN_ROOT_NAMESPACES:-}" != "$dir" ]; then
  namespaces=(--mount --fork --propagation private)
  [ -n "$network" ] || namespaces+=(--net)
  exec env IN_ROOT_NAMESPACES="$dir" unshare "${namespaces[@]}" -- "$0" "${options[@]}" "$dir" "$@"
fi

mounted=()
unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
}
trap unmount_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mount -t proc proc "$dir/proc" && mounted+=("$dir/proc")
mount --bind /dev "$dir/dev" && mounted+=("$dir/dev")
mount -t tmpfs -o mode=1777 shm "$dir/dev/shm" && mounted+=("$dir/dev/shm")
for bind in "${binds[@]}"; do
  IFS=: read -r source dest mode <<<"$bind"
  mkdir -p "$dir$dest"
  mount --bind "$source" "$dir$dest" && mounted+=("$dir$dest")
  [ "$mode" != ro ] || mount -o remount,bind,ro "$dir$dest"
done
if [ -n "$network" ]; then
  cp /etc/resolv.conf "$dir/etc/resolv.conf"
else
  ip link set lo up
fi

keep=()
for name in OPENBLAS_CORETYPE OPENBLAS_L2_SIZE TERM; do
  [ -n "${!name:-}" ] && keep+=("$name=${!name}")
done
# Not exec: the trap must run after the command ends.
env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  "${keep[@]}" chroot "$dir" "$@"
