#!/usr/bin/env bash
# Builds against Qt 5.15 (Debian's qtbase5-dev) into build-qt5/ and runs the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
scripts/setup.sh qtbase5-dev qtbase5-private-dev qttranslations5-l10n
BUILD_DIR="${BUILD_DIR:-build-qt5}" scripts/build.sh -DDIO_QT_MAJOR=5
run_ctest "${BUILD_DIR:-build-qt5}"
