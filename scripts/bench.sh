#!/usr/bin/env bash
# Builds the benchmark (Release, no sanitizers, in build-bench/) and runs it against the camera
# simulator. Its figures replace the generated parts of docs/performance.md.
#
#   scripts/bench.sh [--quick] [window|station|plant|yield]
#     window    the window against the simulator (about four minutes)
#     station   the clone station against 1, 2, 4 and 8 paced simulators (about four minutes)
#     plant     8 stations x 8 simulators forwarding their records to a local PostgreSQL server
#               started here with fsync on, then a backlog of 10,000 rows (about three minutes)
#     yield     stats over a million records in SQLite and on a throwaway PostgreSQL server, and
#               the Yield view's updates (about two minutes)
#     (none)    window and station, one after the other
#     --quick   fewer repetitions, prints the figures only (plant: 2 stations x 4 ports, 20 s,
#               2,000 rows; yield: 100,000 records)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
parts=()
for arg in "$@"; do
  case $arg in
    --quick) quick=true ;;
    window | station | plant | yield) parts+=("$arg") ;;
    *) echo "usage: scripts/bench.sh [--quick] [window|station|plant|yield]" >&2; exit 2 ;;
  esac
done
[[ ${#parts[@]} -gt 0 ]] || parts=(window station yield)

scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCAMERA_SANITIZE=OFF \
      -DCAMERA_BUILD_TESTS=OFF -DCAMERA_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build build-bench -j "$(nproc)" --target camera-bench

export QT_QPA_PLATFORM=offscreen
figures=$(mktemp)
pg_dir=
cleanup() {
  rm -f "$figures" "$figures.doc"
  [ -z "$pg_dir" ] || scripts/pg-test-server.sh stop "$pg_dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Replaces what lies between the markers "<!-- $1: begin ... -->" and "<!-- $1: end -->" of the
# document with the figures; the text around them is kept.
write_figures() {
  local doc=docs/performance.md
  local begin="<!-- $1: begin (scripts/bench.sh writes this part) -->" end="<!-- $1: end -->"
  if [[ ! -f "$doc" ]]; then printf '# Performance\n' >"$doc"; fi
  if ! grep -qF "$begin" "$doc"; then printf '\n%s\n%s\n' "$begin" "$end" >>"$doc"; fi
  awk -v begin="$begin" -v end="$end" -v figures="$figures" '
    $0 == begin { print; while ((getline line < figures) > 0) print line; skipping = 1; next }
    $0 == end { skipping = 0 }
    !skipping { print }
  ' "$doc" >"$figures.doc"
  mv "$figures.doc" "$doc"
  echo "Figures written to $doc"
}

# The yield part counts on a throwaway PostgreSQL server of its own, removed at the end.
pg_dir=""
stop_server() { [[ -z $pg_dir ]] || scripts/pg-test-server.sh stop "$pg_dir" || true; }
trap 'stop_server; rm -f "$figures" "$figures.doc"' EXIT

for part in "${parts[@]}"; do
  options=()
  [[ $part == station ]] && options+=(--station)
  if [[ $part == plant ]]; then
    # In /tmp: the postgres user must reach it, and a socket path is short.
    pg_dir=$(mktemp -d /tmp/camera-bench-pg.XXXXXX)
    scripts/pg-test-server.sh start-durable "$pg_dir" $$
    options+=(--plant --plant-server "$pg_dir")
  fi
  if [[ $part == yield ]]; then
    options+=(--yield)
    pg_dir=$(mktemp -d /tmp/camera-bench-pg.XXXXXX)
    if scripts/pg-test-server.sh start "$pg_dir" $$; then
      user=postgres
      psql -h "$pg_dir" -U "$user" -d postgres -qc "CREATE DATABASE yield_bench" >/dev/null
      options+=(--server "postgresql://$user@/yield_bench?host=$pg_dir")
    else
      echo "no PostgreSQL server: the yield part measures SQLite alone" >&2
    fi
  fi
  if $quick; then
    build-bench/bench/camera-bench --quick "${options[@]}"
    continue
  fi
  build-bench/bench/camera-bench --report "$figures" "${options[@]}"
  case $part in
    station) write_figures "station bench figures" ;;
    plant) write_figures "plant bench figures" ;;
    yield) write_figures "yield bench figures" ;;
    *) write_figures "bench figures" ;;
  esac
done
