#!/usr/bin/python3
"""The script a modeller would otherwise write: each data set read with
numpy.loadtxt(..., max_rows=...), each float32 layer written at its offset,
then the period reference table rebuilt. Used as the benchmark's peer.

Usage: numpy_peer.py INPUT OUTPUT NX NY NZ ROWS_PER_SET
ROWS_PER_SET is NY for one grid row per line, NX*NY for one value per line.
"""
import os
import sys

import numpy as np


def main():
    inp, out = sys.argv[1], sys.argv[2]
    nx, ny, nz, rows = (int(a) for a in sys.argv[3:7])
    layer_bytes = nx * ny * 4
    refs = np.ones(1000, dtype='<i2')
    blocks = np.zeros(1000, dtype='<i2')
    blocks[0] = 1
    if os.path.exists(out):
        os.remove(out)
    with open(out, 'w+b') as f:
        f.write(b'\0' * (4000 + nz * layer_bytes))
        with open(inp) as text:
            count = int(text.readline())
            for _ in range(count):
                period, layer = (int(v) for v in text.readline().split())
                values = np.loadtxt(text, max_rows=rows, dtype=np.float32).reshape(-1)
                if layer > nz:
                    continue
                p = period - 1
                if blocks[p] == 0:
                    blocks[p] = blocks.max() + 1
                refs[p] = period
                f.seek(4000 + ((int(blocks[p]) - 1) * nz + layer - 1) * layer_bytes)
                values.astype('<f4').tofile(f)
        own = (blocks != 0) & (refs == np.arange(1, 1001))
        running = 1
        for p in range(1000):
            if own[p]:
                running = p + 1
            refs[p] = running
        f.seek(0)
        f.write(refs.tobytes())
        f.write(blocks.tobytes())


if __name__ == '__main__':
    main()
