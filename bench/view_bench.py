#!/usr/bin/python3
"""Times stats, diff and show against export on a period data file of
1000 x 1000 cells and 20 periods (input (a) of compare.py), and stats --input
against convert on its text. Prints median wall seconds and peak resident
memory.

Usage: view_bench.py BUILD_DIR [--runs N]
"""
import os
import shutil
import subprocess

from compare import bench_setup, load, median_of


def main():
    runs, data, cli = bench_setup()
    text = os.path.join(data, 'a.dat')
    if not os.path.exists(text):
        subprocess.run([os.path.join(os.path.dirname(data), 'bench', 'gen_input'), text, '1000', '1000', '20', '1'], check=True)
    grid = ['--grid', '1000,1000,1', '--type', '3']
    first, second = os.path.join(data, 'view-a.top'), os.path.join(data, 'view-b.top')
    subprocess.run([cli, 'convert', '--input', text, *grid, '--output', first, '--create', '-q'], check=True)
    shutil.copyfile(first, second)

    print(f'load average at the start: {load()}', flush=True)
    cmds = {
        'export -o file': [cli, 'export', first, *grid, '-o', os.path.join(data, 'view-export.dat'), '-q'],
        'stats': [cli, 'stats', first, *grid],
        'diff (equal files)': [cli, 'diff', first, second, *grid, '-q'],
        'show (one layer)': [cli, 'show', first, *grid, '--period', '7', '-o', os.path.join(data, 'view.png'), '-q'],
        'convert (text)': [cli, 'convert', '--input', text, *grid, '--output', os.path.join(data, 'view-c.top'), '-c', '-q'],
        'stats --input (text)': [cli, 'stats', '--input', text, '--grid', '1000,1000,1'],
        'show --input --set 1': [cli, 'show', '--input', text, '--grid', '1000,1000,1', '-o', os.path.join(data, 'view-in.png'), '-q'],
    }
    r = median_of(cmds, runs)
    mb = os.path.getsize(first) / 1e6
    print(f'\n1000 x 1000 cells, 20 periods: data file {mb:.0f} MB, text {os.path.getsize(text) / 1e6:.0f} MB')
    print(f"{'command':24} {'s':>7} {'MB/s':>7} {'RSS':>8}")
    for name, (seconds, rss) in r.items():
        size = mb * (2 if name.startswith('diff') else 1) if 'text' not in name and 'input' not in name else 0
        rate = f'{size / seconds:7.0f}' if size and 'show' not in name else '      -'
        print(f'{name:24} {seconds:7.3f} {rate} {rss:7.1f}M')
    print(f'medians of {runs} runs taken in turns; load average at the end: {load()}')


if __name__ == '__main__':
    main()
