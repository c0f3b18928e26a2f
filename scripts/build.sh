#!/usr/bin/env bash
# Configures and builds into a build folder (default build/) with Ninja.
# Usage: scripts/build.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
elif [ $# -gt 0 ]; then
  cmake "$dir" "$@" >/dev/null
fi
cmake --build "$dir" -- -j"$(nproc)"
