#!/usr/bin/env bash
# Builds everything with AddressSanitizer, UndefinedBehaviorSanitizer and
# libFuzzer (clang) into build-asan/, runs the whole test suite and the soak
# there, then runs the fuzz target for FUZZ_SECONDS (default 30) on a copy of
# its seed corpus. Any sanitizer report or fuzz finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root="$PWD"
scripts/setup.sh clang-14 libclang-rt-14-dev
build="${BUILD_DIR:-build-asan}"
CXX="${CXX:-clang++-14}" BUILD_DIR="$build" BUILD_TYPE=RelWithDebInfo \
  scripts/build.sh -DDIO_BUILD_FUZZERS=ON -DDIO_BUILD_BENCHMARKS=ON

export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
run_ctest "$build"
# The soak, with freed memory not held back for use-after-free checks (which
# would read as growth): it fails on growth, and leaks fail it at exit.
ASAN_OPTIONS="quarantine_size_mb=0:detect_leaks=1" "$build/bin/soak" 100000

findings="$build/fuzz/findings"
mkdir -p "$findings"
for target in text_fuzz selftest_fuzz serve_fuzz command_line_fuzz modbus_settings_fuzz \
              run_message_fuzz; do
  corpus="$(mktemp -d)"
  cp fuzz/corpus/"${target%_fuzz}"/* "$corpus"/
  echo "fuzz: $target for ${FUZZ_SECONDS:-30} s"
  log="$findings/$target.log"
  status=0
  "$build/fuzz/$target" -max_total_time="${FUZZ_SECONDS:-30}" -timeout=10 \
    -artifact_prefix="$findings/$target-" -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
  grep -E "^stat::(number_of_executed_units|peak_rss_mb)" "$log" || true
  rm -rf "$corpus"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz: $target found a failure (status $status); input and log kept in $findings" >&2
    exit 1
  fi
done
echo "sanitize: all tests and fuzz runs clean"
