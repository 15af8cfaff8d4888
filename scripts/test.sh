#!/usr/bin/env bash
# Builds the tool and its tests with AddressSanitizer and UndefinedBehaviorSanitizer, then runs the
# whole suite headless and ends with CTest's summary. The records tests use a throwaway PostgreSQL
# server, started before the build (so a broken server fails fast) and removed at the end, also
# when the build or a test fails or the run is interrupted.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# In /tmp: the postgres user must reach it, and a socket path is short.
pg_dir=$(mktemp -d /tmp/camera-pg.XXXXXX)
pg_server=$PWD/scripts/pg-test-server.sh
trap '"$pg_server" stop "$pg_dir"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
"$pg_server" start "$pg_dir"
export CAMERA_TEST_PGHOST=$pg_dir CAMERA_TEST_PGPORT=5432 CAMERA_TEST_PGUSER=postgres

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCAMERA_SANITIZE=ON >/dev/null
cmake --build build-test -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# Leak detection is off: Qt keeps process-lifetime allocations (fonts, platform plugin, thread
# data) that LeakSanitizer would report as leaks at exit. Memory errors still fail the run.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-test
ctest --output-on-failure -j 2
