#!/usr/bin/env bash
# Builds the Release tool and packs it as a Debian package in build-package/:
# the three programs, the simulator, their desktop entries, icon, man page and the udev example.
# Install it with: sudo apt install ./build-package/camera-adjust_*.deb
# scripts/check-package.sh then tries it on a fresh Debian 12 root.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Debian's hardening flags (stack protector, fortified functions, read-only relocations, bind now),
# as Debian's own packages are built.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCAMERA_BUILD_TESTS=OFF \
      -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build build-package -j "$(nproc)"
(cd build-package && cpack -G DEB)
ls -1 build-package/camera-adjust_*.deb
