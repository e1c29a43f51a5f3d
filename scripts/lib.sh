# shellcheck shell=bash
# Helpers the scripts share; sourced, not run.

# Runs a command as root: directly when root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# apt-get update, tried again with a pause where it fails: a mirror caught
# mid-sync serves an index of the wrong size for a while ("Mirror sync in
# progress?"). Where it still fails, apt's message is said and the indexes
# apt has are used: a package they cannot give fails at its install, named.
apt_update() {
  local i out
  for i in 1 2 3; do
    out="$(as_root apt-get update -qq 2>&1)" && return 0
    echo "apt-get update failed (try $i of 3): $(grep -E '^(E|W):' <<<"$out" | head -n 2)" >&2
    [ "$i" -eq 3 ] || sleep "${APT_RETRY_PAUSE:-15}"
  done
  echo "apt-get update: going on with the package indexes apt has" >&2
}

# A check that could not be run here (what it needs cannot be installed):
# said loudly, never as passed, and listed in DIO_NOT_RUN_FILE where the
# caller (.ci/run) keeps one, so that its last lines say it too.
not_run() { # what why
  printf '\n!!! NOT RUN: %s\n!!! because: %s\n\n' "$1" "$2" >&2
  [ -z "${DIO_NOT_RUN_FILE:-}" ] || printf 'NOT RUN: %s (%s)\n' "$1" "$2" >>"$DIO_NOT_RUN_FILE"
}

# wine32 set up (scripts/setup-wine32.sh), or why it cannot be in `wine_missing`
# (its status 75); any other failure of the set-up is a failure.
wine32_ready() {
  local out status=0
  out="$(scripts/setup-wine32.sh 2>&1)" || status=$?
  printf '%s\n' "$out" >&2
  [ "$status" -eq 0 ] && return 0
  [ "$status" -eq 75 ] || exit "$status"
  # shellcheck disable=SC2034 # the caller's
  wine_missing="$(sed -n 's/^setup-wine32: no wine32: //p' <<<"$out" | tail -n 1)"
  return 1
}

# Whether the checks named can run under wine32; where not, they are reported
# as not run, with why: no wine32, or a kernel that runs no 32-bit programs,
# so that they would run under qemu's user-mode emulator (which
# scripts/setup-wine32.sh registers there): some fifty times slower (a test of
# the self-test 90 s, a start of the panel a minute, the Windows checks over
# an hour), and Wine there loses processes and hangs, a test at a time and its
# prefix's set-up, under load. WINE32_EMULATED=run runs them all the same.
wine32_usable() { # what
  if ! wine32_ready; then
    not_run "$1" "$wine_missing"
    return 1
  fi
  if [ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null)" = enabled ] &&
    [ "${WINE32_EMULATED:-}" != run ]; then
    not_run "$1" "this kernel runs no 32-bit programs, and under qemu's emulator they take over an hour and Wine hangs (WINE32_EMULATED=run runs them)"
    return 1
  fi
}

# Runs a command up to TRIES times until it succeeds (qemu, where it runs
# 32-bit programs, now and then loses one); the last failure's status stays.
retry() { # tries command...
  local tries="$1" status=0 i
  shift
  for ((i = 1; i <= tries; i++)); do
    "$@" && return 0
    status=$?
    [ "$i" -eq "$tries" ] || echo "retry: failed ($status), again: $*" >&2
  done
  return "$status"
}

# Runs a command for at most SECONDS, and again, up to three runs, where it
# hangs: under qemu, Wine now and then loses its server, and the programs
# waiting on it wait for ever. STOP_COMMAND runs after a hung run. With OUT
# and ERR set, each run's output goes to those files anew. The status is the
# last run's (124 or 137 where it hung).
again_if_hung() { # seconds command...
  local seconds="$1" status i
  shift
  for i in 1 2 3; do
    status=0
    if [ -n "${OUT:-}" ]; then
      timeout -k 5 "$seconds" "$@" >"$OUT" 2>"$ERR" || status=$?
    else
      timeout -k 5 "$seconds" "$@" || status=$?
    fi
    [ "$status" -eq 124 ] || [ "$status" -eq 137 ] || break
    echo "again_if_hung: no end after $seconds s (run $i): $*" >&2
    ${STOP_COMMAND:-true} 2>/dev/null || true
  done
  return "$status"
}

# Waits until FILE holds a line matching the extended regular expression, or
# the process PID has ended, or TENTHS tenths of a second have passed
# (default 200). Succeeds when the line is there. Bytes are matched as they
# are, so that a pattern in the log's own encoding matches.
wait_for_log() { # file pattern pid [tenths]
  local i
  for ((i = 0; i < ${4:-200}; i++)); do
    LC_ALL=C grep -aqE -- "$2" "$1" 2>/dev/null && return 0
    kill -0 "$3" 2>/dev/null || break
    sleep 0.1
  done
  LC_ALL=C grep -aqE -- "$2" "$1" 2>/dev/null
}

# Starts a program and keeps it running until its output (both streams) has a
# line matching the extended regular expression PATTERN, or it ends, or a
# minute has passed; then ends it and prints its output in UTF-8. LOG_ENCODING
# is the output's encoding (GBK for a Wine program in a Chinese locale);
# STOP_COMMAND runs after the kill ("wineserver -k"). Up to three starts while
# nothing matches: qemu, where it runs 32-bit programs, now and then loses one.
run_until() { # pattern command...
  local pattern log pid
  pattern="$(printf '%s' "$1" | iconv -f UTF-8 -t "${LOG_ENCODING:-UTF-8}")"
  shift
  log="$(mktemp)"
  for _ in 1 2 3; do
    "$@" >"$log" 2>&1 &
    pid=$!
    wait_for_log "$log" "$pattern" "$pid" 600 || true
    kill "$pid" 2>/dev/null || true
    ${STOP_COMMAND:-true} 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    LC_ALL=C grep -aqE -- "$pattern" "$log" && break
  done
  iconv -f "${LOG_ENCODING:-UTF-8}" -t UTF-8 -c <"$log"
  rm -f "$log"
}

# Makes Debian's source packages available to apt-get source, with their
# security updates: deb-src entries beside the system's binary ones (updating
# with only deb-src lists in view would drop the binary lists).
# scripts/build-qt-win32.sh keeps its own copy of the first: its text keys the
# half-hour Qt build's cache.
debian_sources() {
  local codename folder=/etc/apt/sources.list.d
  [ -f "$folder/dio-panel-debian-src.sources" ] && [ -f "$folder/dio-panel-debian-security-src.sources" ] &&
    return 0
  [ "$(id -u)" -eq 0 ] || { echo "not root: add deb-src entries for Debian main, then run again" >&2; return 1; }
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
  printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian" "Suites: $codename" \
    "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" \
    >"$folder/dio-panel-debian-src.sources"
  printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/debian-security" \
    "Suites: $codename-security" "Components: main" \
    "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" \
    >"$folder/dio-panel-debian-security-src.sources"
  apt-get update -qq
}

# A C library for Windows, built from Debian's source package once and kept in
# the cache: sets `version` (the newest source, security updates included),
# `compiler` (the MinGW package and version) and `prefix` (the cache folder,
# keyed by them, the options and the calling script's text). Where that folder
# is complete, prints it and ends the script; else makes `work` (removed on
# exit) with the source unpacked, patches applied, in $work/src.
# A failed step shows the end of its log: `fail LOG`.
#   reuse_or_unpack_windows_library NAME PACKAGE ARCH COMPILER-PACKAGE SCRIPT OPTION...
reuse_or_unpack_windows_library() {
  local name="$1" package="$2" arch="$3" script="$5" key cache="${WINDOWS_CACHE:-/var/cache/dio-panel}"
  compiler="$(dpkg-query -W -f='${Package}=${Version}' "$4")"
  shift 5
  debian_sources >&2
  version="$(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -V | tail -n1)"
  key="$(printf '%s\n' "$package=$version" "$*" "$compiler" "$(sha256sum <"$script")" |
           sha256sum | cut -c1-16)"
  prefix="$cache/$name-$arch-$key"
  if [ -f "$prefix/.complete" ]; then
    echo "$name-win32: reusing $prefix ($package $version)" >&2
    echo "$prefix"
    exit 0
  fi
  echo "$name-win32: building $package $version into $prefix" >&2
  work="$(mktemp -d "/var/tmp/dio-panel-$name.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  rm -rf "$prefix"
  (cd "$work" && apt-get source --download-only "$package=$version" >/dev/null 2>&1)
  dpkg-source -x "$work"/*.dsc "$work/src" >/dev/null 2>&1
  # shellcheck disable=SC2317 # called by the calling script
  fail() { tail -n 40 "$1" >&2; echo "$name-win32: failed" >&2; exit 1; }
}

# The driver's entry points from driver/adcard_abi.h, "name bytes" a line;
# The end of a library's build: where it came from in $prefix/SOURCE, the
# folder marked complete (reused from then on) and printed.
#   windows_library_done NAME SOURCE-TEXT...
windows_library_done() {
  echo "${*:2}" >"$prefix/SOURCE"
  touch "$prefix/.complete"
  echo "$1-win32: done: $prefix" >&2
  echo "$prefix"
}

# with "own", those of this project's own drivers instead.
entry_points() { # [own]
  local letter=X
  [ "${1:-}" != own ] || letter=Y
  sed -nE "s/^ *$letter\\(([A-Za-z_]+), *([0-9]+)\\).*/\\1 \\2/p" \
    "$(dirname "${BASH_SOURCE[0]}")/../driver/adcard_abi.h"
}

# The file name CPack gives the package of a build folder, without extension.
package_file_name() { # build
  cmake -D build="$1" -P "$(dirname "${BASH_SOURCE[0]}")/../cmake/print_package_name.cmake" 2>&1
}

# The test suite of a build folder, on the offscreen platform.
run_ctest() { # build [ctest options...]
  local build="$1"
  shift
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure --timeout "${TEST_TIMEOUT:-900}" -j"${JOBS:-2}" "$@"
}

# What the Windows scripts share: the build folder ($build), a scratch folder
# ($scratch) removed with Wine's server when the script ends, and how they
# report a step.
windows_32_script() {
  build="${BUILD_DIR:-build-win32}"
  scratch="$(mktemp -d)"
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
}
step() { echo "windows-32: $*"; }

# The environment for running a 32-bit Windows build under Wine, in a prefix
# of its own. Wine passes variables named WINEQT_* on as QT_* (it drops QT_*
# itself); a Chinese locale gives the panel's log Wine's code page 936 (GBK).
# A program that crashes is not held up by Wine's debugger.
wine32_environment() { # prefix
  export WINEPREFIX="$1" WINEARCH=win32 WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
  export WINEDLLOVERRIDES="winedbg.exe=d"
  export WINEQT_QPA_PLATFORM=offscreen WINEQT_FONT_DPI=96 WINEQT_FORCE_STDERR_LOGGING=1
  export WINEQT_LOGGING_RULES="dio.panel.info=true"
  export WINEQT_QPA_FONTDIR="Z:/usr/share/fonts/opentype/noto"
  export LOG_ENCODING=GBK STOP_COMMAND="wineserver -k"
}
