#!/usr/bin/env bash
# Sets up 32-bit Wine: the i386 architecture, wine32 with its preloader, and a
# Chinese locale (so that Wine's code page shows the panel's log). Where the
# kernel runs no 32-bit programs (some virtual machines switch IA-32 emulation
# off), 32-bit programs run through qemu's user-mode emulator, registered for
# them with binfmt_misc.
#   setup-wine32.sh            the packages, the locale, the emulator if needed
#                              (status 75 where apt cannot give wine32)
#   setup-wine32.sh --prefix   a fresh 32-bit $WINEPREFIX, its Windows fonts
#                              mapped to the CJK fonts Wine finds on the system
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
log() { echo "setup-wine32: $*"; }

if [ "${1:-}" = --prefix ]; then
  : "${WINEPREFIX:?set WINEPREFIX}"
  # A crashing program is not held up by Wine's debugger.
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
  # Made in the C locale: under the Chinese one Wine's first start leaves out
  # some of its own libraries (wined3d, which Qt's GUI needs).
  made() { [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/system32/wined3d.dll" ]; }
  for _ in 1 2 3; do
    rm -rf "$WINEPREFIX"
    env -u LC_ALL -u LANG timeout 300 wineboot --init >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    ! made || break
  done
  made || { log "no complete 32-bit prefix in $WINEPREFIX after three tries" >&2; exit 1; }
  # Qt asks for the dialog font and the panel's Song faces; Wine's own
  # stand-ins have no Chinese. The Song faces stand for a face whose Latin
  # characters all take one width, half a Chinese character's, as they do:
  # the panel's captions line up with blanks.
  key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  for font in "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft YaHei"; do
    retry 3 timeout -k 5 120 wine reg add "$key" /v "$font" /d "Noto Sans CJK SC" /f >/dev/null 2>&1
  done
  for font in "SimSun" "NSimSun" "宋体"; do
    retry 3 timeout -k 5 120 wine reg add "$key" /v "$font" /d "Noto Sans Mono CJK SC" /f >/dev/null 2>&1
  done
  wineserver -k 2>/dev/null || true
  log "32-bit prefix $WINEPREFIX with CJK font substitutes"
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  log "adding the i386 architecture"
  as_root dpkg --add-architecture i386
  apt_update
fi
# The rest first: a failure there is a failure like any other.
scripts/setup.sh wine locales fonts-noto-cjk
# Where wine32 cannot be had (its i386 libraries must match the amd64 ones,
# which a mirror mid-sync may not give), status 75 with apt's reason: the
# Windows programs are built all the same, and what needs Wine is not run.
# Only where apt cannot resolve it: a lock held by another apt, a download
# that failed, are failures.
if ! installed="$(scripts/setup.sh wine32:i386 wine32-preloader:i386 2>&1)"; then
  printf '%s\n' "$installed" >&2
  if apt-get install -s -y -qq wine32:i386 wine32-preloader:i386 >/dev/null 2>&1; then
    log "wine32 could not be installed, though apt can resolve it (see above)" >&2
    exit 1
  fi
  why="$( (grep -m1 -E 'apt-get update failed' <<<"$installed" | sed 's/^apt-get update failed[^:]*: //'
           grep -E '^E:' <<<"$installed" | tail -n 1) | paste -sd '/' - || true)"
  log "no wine32: ${why:-apt cannot resolve wine32:i386}"
  exit 75
fi
[ -z "$installed" ] || printf '%s\n' "$installed"
if ! locale -a | grep -qix 'zh_CN.utf8'; then
  as_root localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# Can this machine run a 32-bit program? (126: "Exec format error")
status=0
/usr/lib/wine/wine --version >/dev/null 2>&1 || status=$?
if [ "$status" -eq 126 ]; then
  log "this kernel runs no 32-bit programs: running them through qemu-i386"
  scripts/setup.sh qemu-user-static
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" |
      as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { log "still no 32-bit programs" >&2; exit 1; }
fi
log "wine32 runs: $(/usr/lib/wine/wine --version 2>/dev/null)"
