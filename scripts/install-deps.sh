#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, test and run the tool.
set -euo pipefail

packages=(cmake g++ make ninja-build pkg-config qt6-base-dev libqt6sql6-sqlite libgtest-dev libgmock-dev
          libgl-dev fonts-dejavu-core dpkg-dev file postgresql libqt6sql6-psql qt6-charts-dev
          poppler-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
