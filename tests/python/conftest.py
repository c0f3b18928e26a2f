import os
import subprocess

import numpy as np
import pytest


def matrix_text(sets):
    """Matrix input text of (period, layer, values) sets, each value in the
    shortest text that reads back as the same double (Python's repr)."""
    lines = [str(len(sets))]
    for period, layer, values in sets:
        lines.append(f"{period} {layer}")
        lines.extend(" ".join(repr(float(v)) for v in row) for row in np.asarray(values))
    return "\n".join(lines) + "\n"


def cli(*args):
    """Runs kvcvrt-cli and gives its standard output."""
    done = subprocess.run([os.environ["KVCVRT_CLI"], *map(str, args)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture
def model(tmp_path):
    """A model description file of the grid (4, 3, 2)."""
    path = tmp_path / "area.kv5"
    path.write_text("[VERSION]\nNUMBER=4000\n[DIMENSION]\nNX=4\nNY=3\nNZ=2\n")
    return path
