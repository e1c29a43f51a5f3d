# Helpers the scripts share; sourced, not run.

# Runs a command as root: directly when root, else through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Waits until FILE holds a line matching the extended regular expression, or
# the process PID has ended, or TENTHS tenths of a second have passed
# (default 200). Succeeds when the line is there.
wait_for_log() { # file pattern pid [tenths]
  local i
  for ((i = 0; i < ${4:-200}; i++)); do
    LC_ALL=C grep -aqE -- "$2" "$1" 2>/dev/null && return 0
    kill -0 "$3" 2>/dev/null || break
    sleep 0.1
  done
  LC_ALL=C grep -aqE -- "$2" "$1" 2>/dev/null
}

# Runs a command up to TRIES times until it succeeds (qemu, where it runs
# 32-bit programs, now and then loses one); the last failure's status stays.
retry() { # tries command...
  local tries="$1" status=0 i
  shift
  for ((i = 1; i <= tries; i++)); do
    "$@" && return 0
    status=$?
  done
  return "$status"
}

# The driver's entry points from driver/adcard_abi.h, "name bytes" a line.
entry_points() {
  sed -nE 's/^ *X\(([A-Za-z_]+), *([0-9]+)\).*/\1 \2/p' "$(dirname "${BASH_SOURCE[0]}")/../driver/adcard_abi.h"
}

# The file name CPack gives the package of a build folder, without extension.
package_file_name() { # build
  cmake -D build="$1" -P "$(dirname "${BASH_SOURCE[0]}")/../cmake/print_package_name.cmake" 2>&1
}

# The test suite of a build folder on the offscreen platform.
run_ctest() { # build [ctest options...]
  local build="$1"
  shift
  QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"${JOBS:-2}" "$@"
}
