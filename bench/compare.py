#!/usr/bin/python3
"""Runs kvcvrt-cli, the NumPy peer and the bare parse loop on generated inputs
and prints a table of median wall times, ratios and peak resident memory.

kvcvrt-cli runs at one and at two parsing threads (its hidden --threads
option), and, with --baseline, as built from an earlier commit.

Usage: compare.py BUILD_DIR [--runs N] [--big] [--baseline CLI] [--baseline-name TEXT]
--big adds an input of about 1 GB, run once by each program but the peer.
"""
import argparse
import filecmp
import math
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


def median_of(cmds, runs):
    """Runs each command `runs` times, taking turns, so that a change of the
    machine's load falls on all of them alike. Median seconds and peak MB each."""
    results = {name: [] for name in cmds}
    for _ in range(runs):
        for name, cmd in cmds.items():
            results[name].append(measure(cmd))
    return {name: (statistics.median(r[0] for r in rs), max(r[1] for r in rs)) for name, rs in results.items()}


def bench_setup():
    """The options of a script that bench.sh runs after compare.py (BUILD_DIR
    [--runs N], its other options ignored): the runs, the data folder and kvcvrt-cli."""
    ap = argparse.ArgumentParser()
    ap.add_argument('build')
    ap.add_argument('--runs', type=int, default=5)
    args, _ = ap.parse_known_args()
    b = os.path.abspath(args.build)
    data = os.path.join(b, 'bench-data')
    os.makedirs(data, exist_ok=True)
    return args.runs, data, os.path.join(b, 'bin', 'kvcvrt-cli')


def load():
    with open('/proc/loadavg') as f:
        return f.read().split()[0]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('build')
    ap.add_argument('--runs', type=int, default=5)
    ap.add_argument('--big', action='store_true')
    ap.add_argument('--baseline', help='kvcvrt-cli built from an earlier commit')
    ap.add_argument('--baseline-name', default='')
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

    print(f'load average at the start: {load()}', flush=True)
    rows = []
    for name, nx, ny, sets, nz, flags, per_set in inputs:
        path = os.path.join(data, name.split(':')[0] + '.dat')
        if not os.path.exists(path):
            subprocess.run([gen, path, str(nx), str(ny), str(sets), str(nz)] + flags, check=True)
        size_mb = os.path.getsize(path) / 1e6
        out = os.path.join(data, 'out')
        grid = f'{nx},{ny},{nz}'

        def convert(program, target, *extra, create=True):
            return [program, 'convert', '--input', path, '--grid', grid, '--type', '3', '--output', target,
                    *(['--create'] if create else []), *extra]

        big = name.startswith('d')
        runs = 1 if big else args.runs
        cmds = {}
        if args.baseline:
            cmds['old'] = convert(args.baseline, out + '.old')
        cmds['t1'] = convert(cli, out + '.t1', '--threads', '1')
        cmds['t2'] = convert(cli, out + '.t2', '--threads', '2')
        cmds['bare'] = [bare, path]
        r = median_of(cmds, runs)
        for k in ('old', 't1'):
            if k in cmds and not filecmp.cmp(out + '.t2', out + '.' + k, shallow=False):
                sys.exit(f'{name}: {k} wrote different bytes')
        # Appending to the file just written: the values are held up to the memory budget.
        _, append_m = measure(convert(cli, out + '.t2', '--threads', '2', create=False))
        if big:
            r['peer'] = (math.nan, math.nan)
        else:
            r.update(median_of({'peer': peer + [path, out + '.peer', str(nx), str(ny), str(nz), str(per_set)]},
                               max(1, min(runs, 3))))
            if not filecmp.cmp(out + '.t2', out + '.peer', shallow=False):
                sys.exit(f'{name}: the peer wrote different bytes')
        r['append'] = (math.nan, append_m)
        rows.append((name, size_mb, r))
        print(f'  {name} done (load {load()})', flush=True)

    nan = (math.nan, math.nan)
    print()
    print(f"{'input':34} {'MB':>6} {'peer s':>7} {'old s':>7} {'t1 s':>7} {'t2 s':>7} {'bare s':>7} "
          f"{'old/t2':>7} {'peer/t2':>8} {'t2/bare':>8} {'RSS old':>8} {'RSS t1':>7} {'RSS t2':>7} "
          f"{'t2 app.':>8} {'RSS peer':>8}")
    for name, mb, r in rows:
        pt, pm = r['peer']
        ot, om = r.get('old', nan)
        t1, m1 = r['t1']
        t2, m2 = r['t2']
        bt, _ = r['bare']
        print(f'{name:34} {mb:6.1f} {pt:7.2f} {ot:7.3f} {t1:7.3f} {t2:7.3f} {bt:7.3f} '
              f'{ot / t2:7.2f} {pt / t2:8.1f} {t2 / bt:8.2f} {om:7.1f}M {m1:6.1f}M {m2:6.1f}M '
              f'{r["append"][1]:7.1f}M {pm:7.1f}M')
    print(f'old: {args.baseline_name or "(none)"}; t1, t2: this tree at one and two parsing threads '
          f'(--threads); medians of {args.runs} runs taken in turns; t2 app.: appending to the file t2 wrote '
          f'(values held up to the 256 MB budget). Load average at the end: {load()}')


if __name__ == '__main__':
    main()
