# The run and the interpreter: progress, cancelling, Ctrl-C, and other threads
# that keep running while a run works without the GIL.
import _thread
import faulthandler
import os
import threading
import time

import numpy as np
import pytest

import kvcvrt
from conftest import matrix_text

GRID = (4, 3, 2)
needs_pipes = pytest.mark.skipif(not hasattr(os, "mkfifo"), reason="needs named pipes")


@pytest.fixture
def existing(tmp_path):
    out = tmp_path / "a.top"
    kvcvrt.write(out, [(1, 1, np.ones((3, 4)))], grid=GRID, type="top")
    return out


@pytest.fixture
def watchdog():
    """Ends the process with every thread's traceback should a run deadlock."""
    faulthandler.dump_traceback_later(120, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


class Stop(Exception):
    pass


def stop_at_second_set(report):
    if report["sets_done"] == 2:
        raise Stop("from the callback")


@pytest.mark.parametrize("progress, raised", [
    (lambda report: report["sets_done"] < 2, kvcvrt.Error),  # False cancels
    (stop_at_second_set, Stop),                               # an exception cancels and is raised
])
def test_progress_cancels_a_run_still_checking(existing, progress, raised):
    before = existing.read_bytes()
    with pytest.raises(raised) as caught:
        kvcvrt.write(existing, [(p, 1, np.zeros((3, 4))) for p in range(2, 6)], grid=GRID, type="top",
                     progress=progress)
    if raised is kvcvrt.Error:
        assert caught.value.kind == "cancelled"
    assert existing.read_bytes() == before


def test_progress_reports_every_set_in_order(existing):
    reports = []
    kvcvrt.write(existing, [(p, 1, np.zeros((3, 4))) for p in range(2, 5)], grid=GRID, type="top",
                 progress=reports.append)
    assert [(r["phase"], r["sets_done"], r["sets_total"]) for r in reports] == \
        [("checking", 1, 3), ("checking", 2, 3), ("checking", 3, 3), ("writing", 3, 3)]


@needs_pipes
def test_another_thread_runs_while_a_run_reads_its_input(tmp_path, watchdog):
    # The run reads a pipe that this thread fills: were the GIL held by the
    # run, this thread could not write and both would wait for ever.
    fifo = tmp_path / "in.fifo"
    os.mkfifo(fifo)
    result = {}
    run = threading.Thread(target=lambda: result.update(
        kvcvrt.convert(fifo, tmp_path / "a.top", grid=GRID, type="top")))
    run.start()
    sets = [(p, 1, np.full((3, 4), p / 3)) for p in range(1, 41)]
    text = matrix_text(sets)
    with open(fifo, "w") as pipe:
        for start in range(0, len(text), 64):
            pipe.write(text[start:start + 64])
            pipe.flush()
    run.join()
    assert result["stored"] == 40
    np.testing.assert_array_equal(kvcvrt.read(tmp_path / "a.top", grid=GRID, type="top", period=40, layer=1),
                                  np.float32(40 / 3))


@needs_pipes
def test_ctrl_c_cancels_a_run_still_checking(existing, tmp_path, watchdog):
    fifo = tmp_path / "in.fifo"
    os.mkfifo(fifo)
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


@needs_pipes
def test_ctrl_c_ends_a_read_that_waits_for_a_run(existing, tmp_path, watchdog):
    fifo = tmp_path / "in.fifo"
    os.mkfifo(fifo)
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
