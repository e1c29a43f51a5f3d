#!/usr/bin/env bash
# The panel for 32-bit Windows, the card driver's own width: built
# (windows-32-build.sh), checked and tested under wine32 (windows-32-check.sh)
# and packaged as an NSIS installer that is tried under wine32
# (windows-32-package.sh).
set -euo pipefail
cd "$(dirname "$0")"
./windows-32-build.sh
./windows-32-check.sh
./windows-32-package.sh
