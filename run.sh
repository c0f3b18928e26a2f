#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs kvcvrt on the sample model in examples/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh build
exec scripts/demo.sh "$@"
