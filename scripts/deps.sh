#!/usr/bin/env bash
# Installs the Debian packages Kalvex needs to build, test and run, when any is missing.
#   scripts/deps.sh [more packages ...]
set -euo pipefail

packages=(
  g++ cmake ninja-build pkgconf git
  qt6-base-dev qt6-svg-dev
  libgtest-dev libbenchmark-dev libfftw3-dev
  libftdi1-dev libusb-1.0-0-dev umockdev libumockdev-dev
  libcli11-dev nlohmann-json3-dev
  qt6-translations-l10n clang-format
  fonts-ipafont-gothic
  xvfb xauth xdotool imagemagick poppler-utils
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Please run as root or install sudo." >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
