#!/usr/bin/env bash
# Installs what building, running and testing the panel need, if missing:
# the one list below is everything the README's two commands use on a bare
# Debian 12 (scripts/fresh-check.sh proves it). Other scripts name their own
# packages as arguments, added to it. Idempotent: installs nothing when
# everything is there.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

packages=(cmake g++ make g++-multilib
          qt6-base-dev qt6-base-private-dev qt6-translations-l10n libgl-dev fonts-noto-cjk
          libcli11-dev nlohmann-json3-dev libtomlplusplus-dev libmodbus-dev libsqlite3-dev libmosquitto-dev
          libgtest-dev libbenchmark-dev
          python3-pymodbus python3-serial-asyncio python3-junitparser sigrok-cli
          mosquitto mosquitto-clients openssl groff-base xvfb xauth xdotool
          libpq-dev postgresql-15 libcomedi-dev libgpiod-dev umockdev libumockdev-dev "$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if ! command -v apt-get >/dev/null 2>&1; then
  echo "setup: apt-get is not available here. Install these packages (or your system's" >&2
  echo "equivalents) by hand, then run this again: ${missing[*]}" >&2
  exit 1
fi

if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null 2>&1; then
  echo "setup: not root and no sudo; install as root: ${missing[*]}" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
apt_update
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
