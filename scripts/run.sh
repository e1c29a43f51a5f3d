#!/usr/bin/env bash
# Sets up, builds and starts the panel on the simulated card.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/bin/dio-panel
