#!/usr/bin/python3
"""A batch of small inputs in one run against one run each, as a ratio
measured in one run: 300 matrix text files of a 50 x 50 grid (one data set
each, periods 1..300) into one output, as one kvcvrt-cli convert with -i given
300 times against 300 kvcvrt-cli convert runs that append one after the other;
then the same with kvcvrt.convert (a list against one call a file) where the
module is built. The outputs are compared byte for byte. Sides take turns, so
that a change of the machine's load falls on both alike; times are medians.

Usage: [PYTHONPATH=BUILD/python] batch_runs.py BUILD_DIR [--runs N]
"""
import os
import statistics
import subprocess
import time

import numpy as np

from compare import bench_setup, load

GRID = (50, 50, 1)
FILES = 300


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def same_bytes(a, b):
    with open(a, 'rb') as x, open(b, 'rb') as y:
        return x.read() == y.read()


def compare(name, one_run, many_runs, runs, outputs):
    times = ([], [])
    for _ in range(runs):
        times[0].append(timed(one_run))
        times[1].append(timed(many_runs))
    t1, tn = statistics.median(times[0]), statistics.median(times[1])
    print(f'{name}: {FILES} inputs in one run {t1:.3f} s, in {FILES} runs {tn:.3f} s: one/many {t1 / tn:.2f} '
          f'(goal <= 0.3); the same bytes: {same_bytes(*outputs)}; load average {load()}', flush=True)


def main():
    runs, data, cli = bench_setup()
    folder = os.path.join(data, 'batch')
    os.makedirs(folder, exist_ok=True)
    nx, ny, _ = GRID
    rng = np.random.default_rng(3)
    inputs = []
    for k in range(FILES):
        path = os.path.join(folder, f'in{k + 1:03d}.dat')
        values = rng.integers(0, 10_000_000, (ny, nx)) / 10_000
        with open(path, 'w') as f:
            f.write(f'1\n{k + 1} 1\n')
            np.savetxt(f, values, fmt='%.4f')
        inputs.append(path)
    grid = ['--grid', ','.join(map(str, GRID)), '--type', 'top', '-q']
    one, many = os.path.join(folder, 'one.top'), os.path.join(folder, 'many.top')
    batch = [cli, 'convert', *[a for p in inputs for a in ('-i', p)], *grid, '-o', one, '--create']

    def cli_runs():
        for k, path in enumerate(inputs):
            subprocess.run([cli, 'convert', '-i', path, *grid, '-o', many, *(['--create'] if k == 0 else [])],
                           check=True)

    print(f'load average at the start: {load()}', flush=True)
    compare('kvcvrt-cli', lambda: subprocess.run(batch, check=True), cli_runs, runs, (one, many))
    try:
        import kvcvrt
    except ImportError:
        return
    options = dict(grid=GRID, type='top')

    def module_calls():
        for k, path in enumerate(inputs):
            kvcvrt.convert(path, many, create=k == 0, **options)

    compare('kvcvrt.convert', lambda: kvcvrt.convert(inputs, one, create=True, **options), module_calls, runs,
            (one, many))
    print(f'medians of {runs} runs taken in turns')


if __name__ == '__main__':
    main()
