#!/usr/bin/env bash
# Opens kvcvrt on a copy of the sample model in build/examples/, ready for GO.
# Without a display, converts the sample with kvcvrt-cli and shows the result instead.
set -euo pipefail
cd "$(dirname "$0")/.."
work=build/examples
mkdir -p "$work"
cp examples/site.kv5 examples/input.dat "$work"/

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/kvcvrt ]; then
  echo "Opening kvcvrt on $work/site.kv5 (choose a type in step 3, then press GO)."
  exec build/bin/kvcvrt "$PWD/$work/site.kv5"
fi

echo "No display found, so the window cannot open here. Converting the sample with kvcvrt-cli instead:"
echo
set -x
build/bin/kvcvrt-cli convert --input "$work/input.dat" --model "$work/site.kv5" --type hea --create
build/bin/kvcvrt-cli info "$work/site.hea" --model "$work/site.kv5" --type hea
{ set +x; } 2>/dev/null
echo
echo "To open the window, run ./run.sh where a display is available (DISPLAY or WAYLAND_DISPLAY set),"
echo "or start it yourself: build/bin/kvcvrt $work/site.kv5"
echo "On a machine without a screen, a virtual one works too: xvfb-run build/bin/kvcvrt $work/site.kv5"
