#!/usr/bin/env bash
# Fails when clang-format (the root's .clang-format) would change a tracked C++ file.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh clang-format
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "check-format: $(git ls-files '*.cpp' '*.h' | wc -l) files as .clang-format has them"
