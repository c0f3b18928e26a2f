#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from dist/icons/kvcvrt.svg.
# Run it after changing the SVG and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh librsvg2-bin
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" dist/icons/kvcvrt.svg -o "dist/icons/kvcvrt-$size.png"
done
# The Windows icon (for the programs' resources and the installer): the same
# PNGs in one .ico, which holds PNG images since Windows Vista.
python3 - <<'PY'
import struct
sizes = [16, 24, 32, 48, 64, 128, 256]
images = [open(f"dist/icons/kvcvrt-{s}.png", "rb").read() for s in sizes]
out = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, data in zip(sizes, images):
    out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
open("dist/icons/kvcvrt.ico", "wb").write(out + b"".join(images))
PY
