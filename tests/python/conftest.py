import os
import subprocess

import numpy as np
import pytest

import kvcvrt

GRID = (4, 3, 2)  # NX, NY, NZ


def matrix_text(sets):
    """Matrix input text of (period, layer, values) sets, each value in the
    shortest text that reads back as the same double (Python's repr)."""
    lines = [str(len(sets))]
    for period, layer, values in sets:
        lines.append(f"{period} {layer}")
        lines.extend(" ".join(repr(float(v)) for v in row) for row in np.asarray(values))
    return "\n".join(lines) + "\n"


def run_cli(*args, **kwargs):
    """Runs kvcvrt-cli and gives the finished process."""
    return subprocess.run([os.environ["KVCVRT_CLI"], *map(str, args)], capture_output=True, text=True, **kwargs)


def cli(*args):
    """Runs kvcvrt-cli, which must succeed, and gives its standard output."""
    done = run_cli(*args)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture
def existing(tmp_path):
    """A file of period 1 (layers 1 and 2) on GRID."""
    out = tmp_path / "a.top"
    kvcvrt.write(out, [(1, 1, np.ones((3, 4))), (1, 2, np.full((3, 4), 2.0))], grid=GRID, type="top")
    return out
