#!/usr/bin/env python3
"""Time to store a 1000 x 1000 x 20-layer set of arrays from numpy with
kvcvrt.write, against converting the same values from text with kvcvrt-cli.

Usage: PYTHONPATH=build/python python3 bench/python_write.py [build/bin/kvcvrt-cli] [--runs N]

The text is the export of the file kvcvrt.write made (shortest text of every
value), so both roads store the same values; the two files are compared byte
for byte. Times are medians; files stay in the page cache.
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time

import numpy as np

import kvcvrt

GRID = (1000, 1000, 20)


def median_time(action, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli", nargs="?", default="build/bin/kvcvrt-cli")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    nx, ny, nz = GRID
    values = np.random.default_rng(1).uniform(0, 1000, (nz, ny, nx)).astype(np.float32)
    wide = values.astype(np.float64)
    with tempfile.TemporaryDirectory() as folder:
        by_arrays = os.path.join(folder, "arrays.top")
        by_text = os.path.join(folder, "text.top")
        text = os.path.join(folder, "in.dat")
        grid = ",".join(map(str, GRID))

        def write(arrays):
            kvcvrt.write(by_arrays, [(1, k + 1, arrays[k]) for k in range(nz)], grid=GRID, type="top", create=True)

        t32 = median_time(lambda: write(values), args.runs)
        t64 = median_time(lambda: write(wide), args.runs)
        subprocess.run([args.cli, "export", by_arrays, "--grid", grid, "--type", "top", "--output", text], check=True,
                       stdout=subprocess.DEVNULL)
        convert = [args.cli, "convert", "--input", text, "--grid", grid, "--type", "top", "--output", by_text,
                   "--create"]
        ttext = median_time(lambda: subprocess.run(convert, check=True, stdout=subprocess.DEVNULL), args.runs)
        with open(by_arrays, "rb") as a, open(by_text, "rb") as b:
            same = a.read() == b.read()
        mb = os.path.getsize(text) / 1e6
    print(f"kvcvrt.write, float32 arrays      : {t32:.3f} s")
    print(f"kvcvrt.write, float64 arrays      : {t64:.3f} s")
    print(f"kvcvrt-cli convert, {mb:.0f} MB text : {ttext:.3f} s")
    print(f"same bytes: {same}; text / float32 arrays: {ttext / t32:.1f}x")


if __name__ == "__main__":
    main()
