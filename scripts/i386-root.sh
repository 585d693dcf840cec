#!/usr/bin/env bash
# A bare 32-bit Debian 12 in a folder, for running the 32-bit Windows programs under wine on
# a machine whose package lists cannot install wine32 beside the 64-bit system (lists that
# hold the amd64 security updates without their i386 twins). Inside the folder every package
# comes from one architecture, so they always agree.
#
#   i386-root.sh ready       makes the folder once (about a minute); 0 when it runs programs
#   i386-root.sh run CMD     runs the shell command CMD inside, in the project's folder
#
# Each run mounts what programs need (/proc, /sys, /dev, and the project at its own path, so
# that build folders and scripts read the same inside and out) in a mount namespace of its
# own: the mounts end with the run, and no other run or later clean-up ever meets them.
# Needs root, a kernel that runs 32-bit programs, and the Debian mirror; when a step fails,
# "ready" answers non-zero and the caller goes on without 32-bit runs.
set -uo pipefail
root="${VANTREL_I386_ROOT:-/var/cache/vantrel/i386-root}"
project="$(cd "$(dirname "$0")/.." && pwd)"
mirror="${VANTREL_I386_MIRROR:-http://deb.debian.org/debian}"
packages="wine wine32 cmake xvfb xauth x11-apps locales fonts-ipafont-gothic fonts-vlgothic"

make_root() {
  command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap >/dev/null || return 1
  rm -rf --one-file-system "$root" && mkdir -p "$root" || return 1
  debootstrap --arch=i386 --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || return 1
  cp /etc/resolv.conf "$root/etc/" 2>/dev/null
  chroot "$root" bash -c "export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq --no-install-recommends $packages &&
    printf 'ja_JP.UTF-8 UTF-8\nen_US.UTF-8 UTF-8\n' >>/etc/locale.gen && locale-gen" >>"$root.log" 2>&1 || return 1
  touch "$root/.vantrel-ready"
}

run_inside() {
  unshare --mount --propagation private bash -c '
    root=$1 project=$2; shift 2
    mkdir -p "$root/proc" "$root/sys" "$root/dev" "$root$project" &&
      mount -t proc proc "$root/proc" && mount --rbind /sys "$root/sys" && mount --rbind /dev "$root/dev" &&
      mount --bind "$project" "$root$project" || exit 1
    exec chroot "$root" /usr/bin/env HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG="${LANG:-C.UTF-8}" \
      bash -c "cd \"\$0\" && $1" "$project"' run-inside "$root" "$project" "$1"
}

case "${1:-}" in
  ready)
    [ "$(id -u)" = 0 ] || exit 1
    if [ ! -f "$root/.vantrel-ready" ]; then
      echo "=== making a 32-bit Debian folder for wine's 32-bit programs: $root"
      make_root || { echo "=== it could not be made; what went wrong is in $root.log"; exit 1; }
    fi
    run_inside "wine --version >/dev/null"
    ;;
  run) run_inside "$2" ;;
  *) echo "usage: $0 ready | run COMMAND" >&2; exit 2 ;;
esac
