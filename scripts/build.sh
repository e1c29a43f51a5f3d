#!/usr/bin/env bash
# Configures and builds into build/ (or the folder given as BUILD_DIR), as
# Release unless BUILD_TYPE says otherwise (CMakeLists.txt says why).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@" >/dev/null
cmake --build "$build" -j"${JOBS:-2}"
