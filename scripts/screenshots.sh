#!/usr/bin/env bash
# Regenerates the screenshots in docs/ from the current build: every test named *Screenshot* runs
# the real window against the simulator, headless, and saves its picture there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-shots -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-shots -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export CAMERA_SCREENSHOTS="$PWD/docs"
for test in build-shots/tests/test_*; do
  [ -f "$test" ] && [ -x "$test" ] || continue
  "$test" --gtest_filter='*Screenshot*' --gtest_brief=1
done
echo "Screenshots written to docs/"
