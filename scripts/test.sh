#!/usr/bin/env bash
# Builds the tool and its tests with AddressSanitizer and UndefinedBehaviorSanitizer, then runs the
# whole suite headless and ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCAMERA_SANITIZE=ON >/dev/null
cmake --build build-test -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# Leak detection is off: Qt keeps process-lifetime allocations (fonts, platform plugin, thread
# data) that LeakSanitizer would report as leaks at exit. Memory errors still fail the run.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-test
ctest --output-on-failure -j 2
