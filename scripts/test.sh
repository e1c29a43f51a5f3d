#!/usr/bin/env bash
# Sets up, builds and runs every test on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
scripts/setup.sh
scripts/build.sh "$@"
run_ctest "${BUILD_DIR:-build}"
