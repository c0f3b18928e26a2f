# The run and the interpreter: progress, cancelling, Ctrl-C, other threads that
# keep running while a run works without the GIL, and the file size limit.
import _thread
import faulthandler
import os
import resource
import threading
import time

import numpy as np
import pytest

import kvcvrt
from conftest import GRID, matrix_text, run_cli


@pytest.fixture
def fifo(tmp_path):
    """A named pipe; should a run deadlock on it, a watchdog ends the process with every thread's traceback."""
    if not hasattr(os, "mkfifo"):
        pytest.skip("needs named pipes")
    os.mkfifo(path := tmp_path / "in.fifo")
    faulthandler.dump_traceback_later(120, exit=True)
    yield path
    faulthandler.cancel_dump_traceback_later()


def stop_at_second_set(report):
    if report["sets_done"] == 2:
        raise LookupError("from the callback")  # an exception the module never raises itself


@pytest.mark.parametrize("progress, raised", [
    (lambda report: report["sets_done"] < 2, kvcvrt.Error),  # False cancels
    (stop_at_second_set, LookupError),                       # an exception cancels and is raised
])
def test_progress_cancels_a_run_still_checking(existing, progress, raised):
    before = existing.read_bytes()
    with pytest.raises(raised) as caught:
        kvcvrt.write(existing, [(p, 1, np.zeros((3, 4))) for p in range(2, 6)], grid=GRID, type="top",
                     progress=progress)
    assert raised is LookupError or caught.value.kind == "cancelled"
    assert existing.read_bytes() == before


def test_another_thread_runs_while_a_run_reads_its_input(tmp_path, fifo):
    # The run reads a pipe that this thread fills: were the GIL held by the
    # run, this thread could not write and both would wait for ever.
    result = {}
    run = threading.Thread(target=lambda: result.update(
        kvcvrt.convert(fifo, tmp_path / "b.top", grid=GRID, type="top")))
    run.start()
    text = matrix_text([(p, 1, np.full((3, 4), p / 3)) for p in range(1, 41)])
    with open(fifo, "w") as pipe:
        for start in range(0, len(text), 64):
            pipe.write(text[start:start + 64])
            pipe.flush()
    run.join()
    assert result["stored"] == 40
    np.testing.assert_array_equal(kvcvrt.read(tmp_path / "b.top", grid=GRID, type="top", period=40, layer=1),
                                  np.float32(40 / 3))


def test_ctrl_c_cancels_a_run_still_checking(existing, fifo):
    one_set = matrix_text([(2, 1, np.zeros((3, 4)))]).split("\n", 1)[1]

    def feed():
        try:
            with open(fifo, "w") as pipe:
                pipe.write("3\n" + one_set)
                pipe.flush()
                time.sleep(0.2)
                _thread.interrupt_main()  # as if Ctrl-C were pressed
                for _ in range(2):
                    pipe.write(one_set)
                    pipe.flush()
        except BrokenPipeError:
            pass  # the cancelled run closed the pipe

    feeder = threading.Thread(target=feed)
    feeder.start()
    before = existing.read_bytes()
    try:
        with pytest.raises(KeyboardInterrupt):
            kvcvrt.convert(fifo, existing, grid=GRID, type="top")
    finally:
        feeder.join()
    assert existing.read_bytes() == before


def test_ctrl_c_ends_a_read_that_waits_for_a_run(existing, fifo):
    run = threading.Thread(target=kvcvrt.convert, args=(fifo, existing), kwargs=dict(grid=GRID, type="top"))
    run.start()
    with open(fifo, "w") as pipe:  # the run holds the file's lock while it waits for this text
        while not existing.with_name(existing.name + ".kvcvrt-lock").exists():
            time.sleep(0.01)
        threading.Timer(0.3, _thread.interrupt_main).start()
        with pytest.raises(KeyboardInterrupt):
            kvcvrt.read(existing, grid=GRID, type="top", period=1)
        pipe.write(matrix_text([(2, 1, np.zeros((3, 4)))]))
    run.join()
    assert kvcvrt.read(existing, grid=GRID, type="top", period=2, layer=1).sum() == 0


def test_progress_reports_every_set_and_ctrl_c_while_writing_comes_after_the_run(existing):
    reports = []
    with pytest.raises(KeyboardInterrupt) as caught:
        kvcvrt.write(existing, [(p, 1, np.full((3, 4), 7.0)) for p in range(2, 5)], grid=GRID, type="top",
                     progress=lambda r: reports.append(r) or (_thread.interrupt_main() if r["phase"] == "writing" else None))
    assert [(r["phase"], r["sets_done"], r["sets_total"]) for r in reports] == \
        [("checking", 1, 3), ("checking", 2, 3), ("checking", 3, 3), ("writing", 3, 3)]
    assert caught.value.result["stored"] == 3 and "the run completed" in caught.value.__notes__[0]
    assert kvcvrt.read(existing, grid=GRID, type="top", period=4, layer=1).max() == 7.0


def test_the_file_size_limit_is_a_refusal_with_status_one_not_a_signal(tmp_path):
    (tmp_path / "in.dat").write_text("1 1 1 1 2 3 4 5 6")
    (tmp_path / "o.top").write_bytes(b"old bytes")
    done = run_cli("convert", "-i", "in.dat", "-g", "3,2,2", "-t", "3", "-c", "-o", "o.top", cwd=tmp_path,
                   restore_signals=True,  # SIGXFSZ as a shell leaves it
                   preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000)))
    assert done.returncode == 1 and "File too large" in done.stderr and done.stderr.endswith("was not changed.\n")
