#!/usr/bin/env bash
# Configures and builds into a build folder (default build/) with Ninja.
# Usage: scripts/build.sh [build-dir] [extra cmake arguments...]
# KV_TARGETS="a b" builds only those targets (and what they need) instead of everything.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
# Where ccache is installed the compiler goes through it, keyed on paths relative to the tree,
# so a fresh clone in another folder reuses what an earlier build compiled.
if command -v ccache >/dev/null && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
fi
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=1
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
elif [ $# -gt 0 ]; then
  cmake "$dir" "$@" >/dev/null
fi
targets=()
[ -n "${KV_TARGETS:-}" ] && targets=(--target ${KV_TARGETS})
cmake --build "$dir" "${targets[@]}" -- -j"$(nproc)"
