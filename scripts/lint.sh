#!/usr/bin/env bash
# Static checks, warnings as errors: clang-tidy (.clang-tidy says which) on our
# own C++ as the native build compiles it, and shellcheck on the scripts, the
# shell tests and CI's script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh clang-tidy-14 shellcheck
build="${BUILD_DIR:-build}"
[ -f "$build/compile_commands.json" ] || scripts/build.sh
run-clang-tidy-14 -p "$build" -j "${JOBS:-2}" -quiet \
  "^$PWD/(app|cli|comedicard|core|convert|driver|gpiocard|gui|modbuscard|panel|rules|simcard|station)/" >"$build/clang-tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u
  echo "clang-tidy: findings above (whole log: $build/clang-tidy.log)"
  exit 1
}
echo "clang-tidy: clean"
shellcheck scripts/*.sh tests/*.sh .ci/run
echo "shellcheck: clean"
