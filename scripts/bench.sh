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

# The single-parser binary: the newest commit in this history without the field pipeline.
base=${KV_BENCH_BASELINE:-}
if [ -z "$base" ]; then
  for c in $(git rev-list --date-order HEAD); do
    if ! git cat-file -e "$c:zuduradu/core/field_pipeline.cpp" 2>/dev/null &&
       ! git cat-file -e "$c:zuduradu/core/text/field_pipeline.cpp" 2>/dev/null; then
      base=$c
      break
    fi
  done
fi
base=$(git rev-parse "$base")
src=build-bench/baseline-src
if [ ! -d "$src" ] || [ "$(git -C "$src" rev-parse HEAD 2>/dev/null)" != "$base" ]; then
  rm -rf "$src" build-bench/baseline
  git worktree prune
  git worktree add --detach "$src" "$base" >/dev/null
fi
if [ ! -f build-bench/baseline/build.ninja ]; then
  # Older trees do not yet silence GCC 12's false -Wrestrict at -O3.
  cmake -S "$src" -B build-bench/baseline -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_GUI=OFF \
    -DKV_BUILD_TESTS=OFF -DKV_BUILD_PYTHON=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
fi
cmake --build build-bench/baseline --target kvcvrt-cli -- -j"$(nproc)"

echo "== Micro benchmarks =="
build-bench/bench/reader_bench --benchmark_min_time=0.5
echo "== Rollback journal and sync of an append (1000 x 1000 x 5) =="
build-bench/bench/journal_cost build-bench/journal
echo "== End to end (median wall time; peak resident memory) =="
/usr/bin/python3 bench/compare.py build-bench --baseline build-bench/baseline/bin/kvcvrt-cli \
  --baseline-name "$(git log -1 --format='%h %s' "$base" | cut -c1-60)" "$@"
echo "== stats, diff and show against export (1000 x 1000 x 20) =="
/usr/bin/python3 bench/view_bench.py build-bench "$@"
if ls build-bench/python/kvcvrt.* >/dev/null 2>&1; then
  echo "== Arrays from numpy against text (1000 x 1000 x 20) =="
  PYTHONPATH=build-bench/python /usr/bin/python3 bench/python_write.py build-bench/bin/kvcvrt-cli
fi
if ls build-bench/python/kvcvrt.* >/dev/null 2>&1; then
  echo "== Reading back against writing (1000 x 1000 x 20) =="
  PYTHONPATH=build-bench/python:bench /usr/bin/python3 bench/read_back.py build-bench "$@"
fi
echo "== A batch of 300 small inputs in one run against 300 runs (50 x 50) =="
PYTHONPATH=build-bench/python:bench /usr/bin/python3 bench/batch_runs.py build-bench "$@"
