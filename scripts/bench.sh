#!/usr/bin/env bash
# Builds a release tree with the benchmarks and runs them: the reader's micro
# benchmarks, then kvcvrt-cli against the NumPy peer and the bare parse loop.
# Usage: scripts/bench.sh [--runs N] [--big]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libbenchmark-dev python3-numpy time
scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=ON -DKV_BUILD_GUI=OFF -DKV_BUILD_TESTS=OFF
echo "== Micro benchmarks =="
build-bench/bench/reader_bench --benchmark_min_time=0.5
echo "== Rollback journal and sync of an append (1000 x 1000 x 5) =="
build-bench/bench/journal_cost build-bench/journal
echo "== End to end (median wall time; peak resident memory) =="
/usr/bin/python3 bench/compare.py build-bench "$@"
if ls build-bench/python/kvcvrt.* >/dev/null 2>&1; then
  echo "== Arrays from numpy against text (1000 x 1000 x 20) =="
  PYTHONPATH=build-bench/python /usr/bin/python3 bench/python_write.py build-bench/bin/kvcvrt-cli
fi
