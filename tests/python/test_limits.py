# A run at its process's limits: Ctrl-C once it writes, the file size limit.
import _thread
import os
import resource
import subprocess

import numpy as np
import pytest

import kvcvrt


def test_ctrl_c_while_writing_comes_after_the_run_with_its_result(tmp_path):
    out, grid = tmp_path / "a.top", (4, 3, 2)
    kvcvrt.write(out, [(1, 1, np.ones((3, 4)))], grid=grid, type="top")
    with pytest.raises(KeyboardInterrupt) as caught:
        kvcvrt.write(out, [(2, 1, np.full((3, 4), 7.0))], grid=grid, type="top",
                     progress=lambda report: _thread.interrupt_main() if report["phase"] == "writing" else None)
    assert caught.value.result["stored"] == 1 and "the run completed" in caught.value.__notes__[0]
    assert kvcvrt.read(out, grid=grid, type="top", period=2, layer=1).max() == 7.0


def test_the_file_size_limit_is_a_refusal_that_leaves_the_file(tmp_path):
    (tmp_path / "in.dat").write_text("1 1 1 1 2 3 4 5 6")
    (tmp_path / "o.top").write_bytes(b"old bytes")
    done = subprocess.run([os.environ["KVCVRT_CLI"], "convert", "-i", "in.dat", "-g", "3,2,2", "-t", "3", "-c", "-o", "o.top"],
                          cwd=tmp_path, capture_output=True, text=True, restore_signals=True,  # SIGXFSZ as a shell leaves it
                          preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000)))
    assert done.returncode == 1 and "File too large" in done.stderr and done.stderr.endswith("was not changed.\n")
    assert (tmp_path / "o.top").read_bytes() == b"old bytes"
