#!/usr/bin/env bash
# Builds against Qt 5.15 (Debian's qtbase5-dev) into build-qt5/ and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh qtbase5-dev qtbase5-private-dev
BUILD_DIR="${BUILD_DIR:-build-qt5}" scripts/build.sh -DDIO_QT_MAJOR=5
QT_QPA_PLATFORM=offscreen ctest --test-dir "${BUILD_DIR:-build-qt5}" --output-on-failure -j"${JOBS:-2}"
