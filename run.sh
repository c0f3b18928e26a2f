#!/usr/bin/env bash
# Installs what is missing, builds the programs (build/bin) and the Python module (build/python)
# and runs kvcvrt on the sample model in examples/. The tests are built by ./test.sh.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
KV_TARGETS="kvcvrt kvcvrt-cli kvcvrt_python" scripts/build.sh build
exec scripts/demo.sh "$@"
