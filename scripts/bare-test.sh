#!/usr/bin/env bash
# Runs ./test.sh as root on a bare Debian 12 (debootstrap --variant=minbase: the OS only; no git, no sudo,
# no pager), in a clean clone of the committed HEAD, so that a program the build or the tests use and
# scripts/deps.sh does not install fails here rather than on a newcomer's machine.
# The bare root is made once and kept as a tar file; every run unpacks a fresh copy of it. The Debian
# packages it downloads and the objects it compiles are kept beside it, so a warm run fetches and
# compiles only what changed. ccache is the one package added before ./test.sh, for that.
# Usage: scripts/bare-test.sh   (the cache folder: KV_BARE_CACHE, /var/cache/kvcvrt by default)
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${KV_BARE_CACHE:-/var/cache/kvcvrt}
base=$cache/bare-bookworm.tar
mirror=http://deb.debian.org/debian
if [ "$(id -u)" -ne 0 ]; then
  echo "scripts/bare-test.sh needs root: it runs debootstrap, mount and chroot" >&2
  exit 1
fi
scripts/deps.sh debootstrap
mkdir -p "$cache/bare-apt" "$cache/bare-ccache"
started=$SECONDS

# One run at a time: the package and compiler caches are shared.
exec 9>"$cache/bare-test.lock"
flock 9

root=""
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  mounted=()
  [ -n "$root" ] || return 0
  # Never delete through a mount that is still there (it would reach the host's /dev or caches).
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    echo "scripts/bare-test.sh: left $root in place, something is still mounted under it" >&2
  else
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ ! -f "$base" ]; then
  echo "== Bare Debian 12, made once into $base =="
  root=$(mktemp -d /var/tmp/kvcvrt-debootstrap.XXXXXX)
  # Its downloads are kept, so that a second try after a failure or timeout fetches nothing again.
  mkdir -p "$cache/debootstrap-debs"
  if ! timeout 3600 debootstrap --variant=minbase --cache-dir="$cache/debootstrap-debs" bookworm "$root" "$mirror" \
      >"$cache/debootstrap.log" 2>&1; then
    tail -n 20 "$cache/debootstrap.log" >&2
    echo "debootstrap failed; its log: $cache/debootstrap.log" >&2
    exit 1
  fi
  # The package sources of an installed Debian 12: its updates and security fixes too.
  cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
  rm -f "$root"/var/cache/apt/archives/*.deb
  tar -C "$root" --numeric-owner -cf "$base.part" . && mv "$base.part" "$base"
  rm -rf --one-file-system "$root"
  root=""
fi

commit=$(git rev-parse HEAD)
echo "== ./test.sh on a fresh bare Debian 12, clean clone of $(git log -1 --format='%h %s' "$commit" | cut -c1-70) =="
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "(uncommitted changes are not part of it)"
fi
root=$(mktemp -d /var/tmp/kvcvrt-bare.XXXXXX)
tar -C "$root" --numeric-owner -xf "$base"
chmod 755 "$root"  # its "/" (the tar file holds a temporary folder's 700); apt's own user must pass it
git clone -q --no-checkout "$PWD" "$root/root/kvcvrt"
git -C "$root/root/kvcvrt" checkout -q --detach "$commit"

cp /etc/resolv.conf "$root/etc/resolv.conf"
# apt keeps what it downloads, in the host's folder bound below.
echo 'Binary::apt::APT::Keep-Downloaded-Packages "true"; APT::Keep-Downloaded-Packages "true";' \
  >"$root/etc/apt/apt.conf.d/90kvcvrt-keep-debs"

attach() {  # attach TYPE-or---bind SOURCE PATH-INSIDE
  mkdir -p "$root$3"
  if [ "$1" = --bind ]; then mount --bind "$2" "$root$3"; else mount -t "$1" "$2" "$root$3"; fi
  mounted+=("$root$3")
}
attach proc proc /proc
attach sysfs sysfs /sys
attach --bind /dev /dev
attach --bind /dev/pts /dev/pts  # dpkg logs through a terminal of its own
attach tmpfs shm /dev/shm
attach tmpfs tmp /tmp
chmod 1777 "$root/tmp" "$root/dev/shm"
attach --bind "$cache/bare-apt" /var/cache/apt/archives
attach --bind "$cache/bare-ccache" /var/cache/ccache

# A login shell's environment of a fresh root, no more: no locale, no display.
# A first run compiles everything without a warm cache, which on a busy machine takes long.
timeout 5400 chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  CCACHE_DIR=/var/cache/ccache CCACHE_MAXSIZE=2G CCACHE_BASEDIR=/root/kvcvrt CMAKE_CXX_COMPILER_LAUNCHER=ccache \
  /bin/bash -euo pipefail -c '
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends ccache >/dev/null
    cd /root/kvcvrt
    ./test.sh'
echo "Bare Debian 12: ./test.sh passed in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
