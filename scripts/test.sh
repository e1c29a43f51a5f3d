#!/usr/bin/env bash
# Sets up, builds and runs every test on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh g++-multilib
scripts/build.sh "$@"
QT_QPA_PLATFORM=offscreen ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"${JOBS:-2}"
