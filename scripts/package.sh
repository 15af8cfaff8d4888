#!/usr/bin/env bash
# Builds the Release tool and packs it as a Debian package in build-package/:
# the three programs, the simulator, their desktop entries, icon, man page and the udev example.
# Install it with: sudo apt install ./build-package/camera-adjust_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCAMERA_BUILD_TESTS=OFF \
      -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build-package -j "$(nproc)"
(cd build-package && cpack -G DEB)
ls -1 build-package/camera-adjust_*.deb
