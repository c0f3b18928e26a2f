#!/usr/bin/env bash
# Builds a release tree with the benchmarks and runs them: the reader's micro
# benchmarks, then kvcvrt-cli (at one and two parsing threads, and as built from
# the commit before the multi-threaded reader) against the NumPy peer and the
# bare parse loop.
# Usage: scripts/bench.sh [--runs N] [--big]
# KV_BENCH_BASELINE=<commit> chooses another commit to compare with.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libbenchmark-dev python3-numpy time
scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=ON -DKV_BUILD_GUI=OFF -DKV_BUILD_TESTS=OFF

# The single-parser binary: the parent of the commit that brought the field pipeline.
added=$(git log --diff-filter=A --format=%H -- zuduradu/core/field_pipeline.cpp | tail -1)
base=$(git rev-parse "${KV_BENCH_BASELINE:-$added^}")
src=build-bench/baseline-src
if [ ! -d "$src" ] || [ "$(git -C "$src" rev-parse HEAD 2>/dev/null)" != "$base" ]; then
  rm -rf "$src" build-bench/baseline
  git worktree prune
  git worktree add --detach "$src" "$base" >/dev/null
fi
if [ ! -f build-bench/baseline/build.ninja ]; then
  cmake -S "$src" -B build-bench/baseline -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_GUI=OFF \
    -DKV_BUILD_TESTS=OFF >/dev/null
fi
cmake --build build-bench/baseline --target kvcvrt-cli -- -j"$(nproc)"

echo "== Micro benchmarks =="
build-bench/bench/reader_bench --benchmark_min_time=0.5
echo "== End to end (median wall time; peak resident memory) =="
/usr/bin/python3 bench/compare.py build-bench --baseline build-bench/baseline/bin/kvcvrt-cli \
  --baseline-name "$(git log -1 --format='%h %s' "$base" | cut -c1-60)" "$@"
