#!/usr/bin/env bash
# Builds the tool and starts it against the built-in camera simulator. The simulator publishes its
# pseudo-terminal as port 1 in a private configuration folder, so your own port links stay as
# they are. Pass "debug" or "delay" to start those configurations instead of Release.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCAMERA_BUILD_TESTS=OFF >/dev/null
cmake --build build -j "$(nproc)"

exe=build/src/camera-adjust
case "${1:-release}" in
  debug) exe=build/src/camera-adjust-debug ;;
  delay) exe=build/src/camera-adjust-delay ;;
esac

export XDG_CONFIG_HOME="$(mktemp -d)"
build/sim/camera-sim --port 1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$XDG_CONFIG_HOME"' EXIT
# Wait for the simulator to publish its port link before the tool looks for it.
for _ in $(seq 100); do [ -L "$XDG_CONFIG_HOME/camera-adjust/ports/COM1" ] && break; sleep 0.05; done
"$exe"
