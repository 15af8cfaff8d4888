#!/usr/bin/env bash
# Builds the libFuzzer targets of the input parsers with clang and runs each for a bounded time
# on a seed corpus of well-formed input.
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Targets: receive_decoder frame_reader raw_command single_file batch_file (default: all).
# The corpus each run grows is kept in build-fuzz/corpus/<target>; a finding is written to
# build-fuzz/findings/<target>/ and ends the script with an error.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(receive_decoder frame_reader raw_command single_file batch_file)

# clang and its libFuzzer runtime; the tool's own build needs neither.
scripts/install-deps.sh
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DCAMERA_BUILD_TESTS=OFF -DCAMERA_BUILD_FUZZERS=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_make_seed_corpus "${targets[@]/#/fuzz_}"

cd build-fuzz
rm -rf seeds
fuzz/fuzz_make_seed_corpus seeds
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for t in "${targets[@]}"; do
  mkdir -p "corpus/$t" "findings/$t"
  echo "== fuzz_$t for ${seconds} s"
  # A data file is 32 KB; the other inputs stay far smaller.
  if fuzz/"fuzz_$t" -max_total_time="$seconds" -max_len=40000 -timeout=10 -rss_limit_mb=4096 \
       -print_final_stats=1 -artifact_prefix="findings/$t/" "corpus/$t" "seeds/$t" >"fuzz_$t.log" 2>&1; then
    grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)" "fuzz_$t.log" || true
  else
    failed+=("$t")
    tail -n 40 "fuzz_$t.log"
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Findings in: ${failed[*]} (see build-fuzz/findings/)"
  exit 1
fi
echo "No findings in: ${targets[*]}"
