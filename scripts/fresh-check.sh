#!/usr/bin/env bash
# The README's two commands as a newcomer meets them: on a bare Debian 12
# (debootstrap --variant=minbase bookworm), in a fresh clone of a commit of
# this repository, with nothing from this machine but apt's configuration and
# its name server. Runs scripts/test.sh there, then scripts/run.sh on the
# offscreen platform until the panel logs the board's caption. Whatever it
# mounted and made is unmounted and removed when it ends, failed or not.
#
#   fresh-check.sh [COMMIT]     default HEAD: only committed work is tried
#
# The base system is made once a week (about two minutes) and kept as a
# tarball in /var/cache/dio-panel/ (FRESH_CACHE); later runs only unpack it.
# Needs root: debootstrap, chroot and mounts.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
log() { echo "fresh-check: $*"; }
commit="$(git rev-parse --verify "${1:-HEAD}^{commit}")"
[ "$(id -u)" -eq 0 ] || { log "needs root (debootstrap, chroot, mount)" >&2; exit 1; }
scripts/setup.sh debootstrap git
started=$SECONDS

# The base: a new one each ISO week, so that its package lists never grow old.
cache="${FRESH_CACHE:-/var/cache/dio-panel}"
base="$cache/debian-bookworm-minbase-$(date -u +%G-W%V).tar.gz"
mkdir -p "$cache"
if [ ! -f "$base" ]; then
  log "making a minimal Debian 12 for $base"
  made="$(mktemp -d /var/tmp/dio-fresh-base.XXXXXX)"
  if ! debootstrap --variant=minbase bookworm "$made/root" "${FRESH_MIRROR:-http://deb.debian.org/debian}" \
       >"$made.log" 2>&1; then
    tail -n 30 "$made.log" >&2
    rm -rf --one-file-system "$made" "$made.log"
    log "debootstrap failed" >&2
    exit 1
  fi
  rm -f "$made.log" "$made"/root/var/cache/apt/archives/*.deb
  tar -C "$made/root" --numeric-owner -czf "$base.part" .
  rm -rf --one-file-system "$made"
  mv "$base.part" "$base"
  find "$cache" -maxdepth 1 -name 'debian-bookworm-minbase-*.tar.gz' ! -path "$base" -delete
fi

work="$(mktemp -d /var/tmp/dio-fresh.XXXXXX)"
root="$work/root"
mounts=(proc dev dev/shm dev/pts)
cleanup() {
  local status=$? p m
  # Whatever still runs inside (a panel the kill missed) would hold the mounts.
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
  done
  for ((m = ${#mounts[@]} - 1; m >= 0; m--)); do
    mountpoint -q "$root/${mounts[m]}" 2>/dev/null && umount "$root/${mounts[m]}" 2>/dev/null ||
      umount -l "$root/${mounts[m]}" 2>/dev/null || true
  done
  # Never remove through a mount that is still there: it would be the host's /dev.
  if grep -qF " $root/" /proc/mounts; then
    log "left $work in place: still mounted there" >&2
    grep -F " $root/" /proc/mounts >&2
    status=1
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$status"
}
trap cleanup EXIT

mkdir "$root"
tar -C "$root" --numeric-owner -xzpf "$base"
# apt's configuration (its sources, keys and settings), not the packages it
# fetched nor the source entries our own scripts add; and the name server.
rm -rf "$root/etc/apt"
cp -a /etc/apt "$root/etc/apt"
rm -f "$root"/etc/apt/sources.list.d/dio-panel-*
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
# Packages do not start their services here (the broker the tests use is
# installed with one): a daemon left running would outlive the check's mounts.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
git clone -q --no-local --no-checkout "$PWD" "$root/root/dio-panel"
git -C "$root/root/dio-panel" checkout -q --detach "$commit"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" 2>/dev/null ||
  mount --bind /dev/pts "$root/dev/pts"
log "Debian 12 minbase ready in $((SECONDS - started)) s; commit $(git log -1 --format='%h %s' "$commit")"

# A root login's environment, nothing of this one's.
inside() { # command...
  env -i HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    chroot "$root" /bin/bash -c 'cd /root/dio-panel && exec "$@"' inside "$@"
}

step=$SECONDS
log "scripts/test.sh (its output in $work/test.log while it runs)"
inside scripts/test.sh >"$work/test.log" 2>&1 || {
  tail -n 80 "$work/test.log" >&2
  log "scripts/test.sh failed after $((SECONDS - step)) s" >&2
  exit 1
}
grep -E "^setup: installing|tests passed|tests failed|Total Test time" "$work/test.log"
log "scripts/test.sh passed in $((SECONDS - step)) s"

step=$SECONDS
log "scripts/run.sh, offscreen, until the panel shows the board"
out="$(run_until "board:|运行时错误" inside env QT_QPA_PLATFORM=offscreen \
         QT_LOGGING_RULES=dio.panel.info=true scripts/run.sh)"
grep -qF "board: 卡名：ZAN 51 8类型： 1" <<<"$out" || {
  echo "$out" >&2
  log "scripts/run.sh did not start the panel on the simulated card" >&2
  exit 1
}
log "scripts/run.sh started the panel on the simulated card in $((SECONDS - step)) s"
log "passed in $((SECONDS - started)) s"
