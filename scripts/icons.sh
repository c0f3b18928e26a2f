#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from dist/icons/kvcvrt.svg.
# Run it after changing the SVG and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh librsvg2-bin
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" dist/icons/kvcvrt.svg -o "dist/icons/kvcvrt-$size.png"
done
