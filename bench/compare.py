#!/usr/bin/python3
"""Runs kvcvrt-cli, the NumPy peer and the bare parse loop on generated inputs
and prints a table of median wall times, ratios and peak resident memory.

Usage: compare.py BUILD_DIR [--runs N] [--big]
--big adds an input of about 1 GB (memory only: one run each of kvcvrt).
"""
import argparse
import filecmp
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(cmd):
    """Wall seconds and peak RSS (MB) of one command. The peak comes from
    /usr/bin/time, a small process of its own, so this script's memory does
    not count towards the child's."""
    start = time.perf_counter()
    proc = subprocess.run(['/usr/bin/time', '-f', 'KVRSS %M'] + cmd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}\n{proc.stderr}")
    rss_kb = int([l for l in proc.stderr.splitlines() if l.startswith('KVRSS ')][-1].split()[1])
    return elapsed, rss_kb / 1024.0


def median_of(cmd, runs):
    results = [measure(cmd) for _ in range(runs)]
    return statistics.median(r[0] for r in results), max(r[1] for r in results)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('build')
    ap.add_argument('--runs', type=int, default=5)
    ap.add_argument('--big', action='store_true')
    args = ap.parse_args()
    b = os.path.abspath(args.build)
    data = os.path.join(b, 'bench-data')
    os.makedirs(data, exist_ok=True)
    gen = os.path.join(b, 'bench', 'gen_input')
    cli = os.path.join(b, 'bin', 'kvcvrt-cli')
    bare = os.path.join(b, 'bench', 'parse_loop')
    peer = [sys.executable, os.path.join(HERE, 'numpy_peer.py')]

    # name, nx, ny, sets, nz, generator flags, rows per set for the peer
    inputs = [
        ('a: 1000x1000, 20 sets', 1000, 1000, 20, 1, [], 1000),
        ('b: 10x10, 10000 sets', 10, 10, 10000, 10, [], 10),
        ('c: (a) one per line, CRLF', 1000, 1000, 20, 1, ['--one-per-line-crlf'], 1000 * 1000),
    ]
    if args.big:
        inputs.append(('d: 1000x1000, 112 sets (~1 GB)', 1000, 1000, 112, 1, [], 1000))

    rows = []
    for name, nx, ny, sets, nz, flags, per_set in inputs:
        path = os.path.join(data, name.split(':')[0] + '.dat')
        if not os.path.exists(path):
            subprocess.run([gen, path, str(nx), str(ny), str(sets), str(nz)] + flags, check=True)
        size_mb = os.path.getsize(path) / 1e6
        out = os.path.join(data, 'out.top')
        grid = f'{nx},{ny},{nz}'
        kv_cmd = [cli, 'convert', '--input', path, '--grid', grid, '--type', '3', '--output', out, '--create']
        big = name.startswith('d')
        runs = 1 if big else args.runs
        kv_t, kv_m = median_of(kv_cmd, runs)
        # Appending to the file just written: the values are held up to the memory budget.
        _, append_m = measure(kv_cmd[:-1])
        bare_t, bare_m = median_of([bare, path], runs)
        if big:
            peer_t, peer_m = float('nan'), float('nan')
        else:
            peer_t, peer_m = median_of(peer + [path, out + '.peer', str(nx), str(ny), str(nz), str(per_set)],
                                       max(1, min(runs, 3)))
            # Compared in chunks: a large parent would inflate the children's peak memory.
            if not filecmp.cmp(out, out + '.peer', shallow=False):
                sys.exit(f'{name}: the peer wrote different bytes')
        rows.append((name, size_mb, kv_t, peer_t, bare_t, kv_m, append_m, peer_m, bare_m))

    print(f"{'input':34} {'MB':>7} {'kvcvrt s':>9} {'peer s':>8} {'bare s':>7} {'peer/kv':>8} "
          f"{'kv/bare':>8} {'RSS kv':>7} {'kv app.':>8} {'RSS peer':>8} {'RSS bare':>8}")
    for name, mb, kt, pt, bt, km, am, pm, bm in rows:
        print(f'{name:34} {mb:7.1f} {kt:9.3f} {pt:8.2f} {bt:7.3f} {pt / kt:8.1f} {kt / bt:8.2f} '
              f'{km:6.1f}M {am:7.1f}M {pm:7.1f}M {bm:7.1f}M')
    print('RSS kv: convert --create; kv app.: convert appending to the file it wrote (values held up to the '
          '256 MB budget, past it the file is copied); medians of', args.runs, 'runs')


if __name__ == '__main__':
    main()
