#!/usr/bin/python3
"""Reading back against writing, each as a ratio measured in one run:
export to text against convert of that text (1000 x 1000 x 20, with peak
resident memory), and kvcvrt.read of the whole file against np.fromfile of
its bytes. Runs take turns, so that a change of the machine's load falls on
both sides alike; times are medians.

Usage: PYTHONPATH=BUILD/python read_back.py BUILD_DIR [--runs N]
"""
import os
import statistics
import subprocess
import time

import numpy as np

import kvcvrt
from compare import bench_setup, load, median_of

GRID = (1000, 1000, 20)


def median_pair(first, second, runs):
    times = ([], [])
    for _ in range(runs):
        for k, action in enumerate((first, second)):
            start = time.perf_counter()
            action()
            times[k].append(time.perf_counter() - start)
    return statistics.median(times[0]), statistics.median(times[1])


def main():
    runs, data, cli = bench_setup()
    nx, ny, nz = GRID
    stored, text, again = (os.path.join(data, name) for name in ('back.top', 'back.dat', 'back-again.top'))
    values = np.random.default_rng(1).uniform(0, 1000, (nz, ny, nx)).astype(np.float32)
    kvcvrt.write(stored, [(1, k + 1, values[k]) for k in range(nz)], grid=GRID, type='top', create=True)
    del values
    grid = ['--grid', ','.join(map(str, GRID)), '--type', 'top']

    print(f'load average at the start: {load()}', flush=True)
    r = median_of({'export': [cli, 'export', stored, *grid, '-o', text, '-q'],
                   'convert': [cli, 'convert', '--input', text, *grid, '--output', again, '--create', '-q']}, runs)
    with open(stored, 'rb') as a, open(again, 'rb') as c:
        same = a.read() == c.read()
    (te, me), (tc, mc) = r['export'], r['convert']
    print(f'export {te:.3f} s ({me:.0f} MB), convert {tc:.3f} s ({mc:.0f} MB): export/convert {te / tc:.2f}'
          f' (goal <= 2); text {os.path.getsize(text) / 1e6:.0f} MB, converted back to the same bytes: {same}')

    tr, tf = median_pair(lambda: kvcvrt.read(stored, grid=GRID, type='top'),
                         lambda: np.fromfile(stored, dtype='<f4'), runs)
    print(f'kvcvrt.read {tr:.3f} s, np.fromfile {tf:.3f} s: read/fromfile {tr / tf:.2f} (goal <= 2)')
    print(f'medians of {runs} runs taken in turns; load average at the end: {load()}')


if __name__ == '__main__':
    main()
