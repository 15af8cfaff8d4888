#!/usr/bin/env bash
# Builds the benchmark (Release, no sanitizers, in build-bench/) and runs it against the camera
# simulator. Its figures replace the generated part of docs/performance.md.
#
#   scripts/bench.sh           full run (about four minutes), updates docs/performance.md
#   scripts/bench.sh --quick   fewer repetitions, prints the figures only
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCAMERA_SANITIZE=OFF \
      -DCAMERA_BUILD_TESTS=OFF -DCAMERA_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build build-bench -j "$(nproc)" --target camera-bench

export QT_QPA_PLATFORM=offscreen
if [[ "${1:-}" == --quick ]]; then
  exec build-bench/bench/camera-bench --quick
fi

figures=$(mktemp)
trap 'rm -f "$figures" "$figures.doc"' EXIT
build-bench/bench/camera-bench --report "$figures"

# The figures go between the two markers; the text around them is kept.
doc=docs/performance.md
begin='<!-- bench figures: begin (scripts/bench.sh writes this part) -->'
end='<!-- bench figures: end -->'
if [[ ! -f "$doc" ]] || ! grep -qF "$begin" "$doc"; then
  printf '# Performance\n\n%s\n%s\n' "$begin" "$end" >"$doc"
fi
awk -v begin="$begin" -v end="$end" -v figures="$figures" '
  $0 == begin { print; while ((getline line < figures) > 0) print line; skipping = 1; next }
  $0 == end { skipping = 0 }
  !skipping { print }
' "$doc" >"$figures.doc"
mv "$figures.doc" "$doc"
echo "Figures written to $doc"
