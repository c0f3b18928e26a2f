#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a set time.
# Usage: scripts/fuzz.sh [seconds-per-target]   (default 60; FUZZ_SECONDS works too)
# Findings land in build-fuzz/findings/; the corpus grows in build-fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${FUZZ_SECONDS:-60}}
scripts/deps.sh clang libclang-rt-14-dev
if [ ! -f build-fuzz/build.ninja ]; then
  CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_BUILD_FUZZ=ON \
    -DKV_BUILD_GUI=OFF -DKV_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
fi
cmake --build build-fuzz
mkdir -p build-fuzz/findings
status=0
for target in matrix_reader model_file run_output; do
  mkdir -p "build-fuzz/corpus/$target"
  echo "== fuzz_$target for ${seconds}s =="
  if ! build-fuzz/bin/fuzz_$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="build-fuzz/findings/${target}-" -print_final_stats=1 \
       "build-fuzz/corpus/$target" "fuzz/corpus/$target" 2>"build-fuzz/$target.log"; then
    status=1
    tail -40 "build-fuzz/$target.log"
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "build-fuzz/$target.log" | tail -2 || true
done
exit $status
