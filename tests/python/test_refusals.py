# What is refused: the run's refusals as kvcvrt.Error with their parts, and the
# caller's mistakes as TypeError or ValueError; the file stays as it was.
import numpy as np
import pytest

import kvcvrt
from conftest import GRID

GOOD = np.ones((3, 4))


def bad(value, at=(1, 2)):
    a = np.ones((3, 4))
    a[at] = value
    return a


@pytest.mark.parametrize("sets, kind, set_, field, problem", [
    ([(2, 1, GOOD), (2, 2, bad(np.nan))], "bad_input", 2, "value", "row 2, column 3 holds NaN"),
    ([(2, 1, bad(1e39))], "bad_input", 1, "value", "holds 1e+39, beyond the range of a float"),
    ([(2, 1, bad(np.float16(np.inf)).astype(np.float16))], "bad_input", 1, "value", "holds inf"),
    ([(2, 9, bad(-np.inf))], "bad_input", 1, "value", "holds -inf"),  # a skipped set is checked too
    ([(2, 1, GOOD), (0, 1, GOOD)], "unstorable", 2, "period", "period 0 is outside 1..1000"),
    ([(2, 40000, GOOD)], "bad_input", 1, "layer", "40000 is outside -32768..32767"),
    ([(2, 1, GOOD)] * 32768, "bad_request", None, None, "32768 data sets are more than the 32767"),
])
def test_refused_runs_raise_error_with_its_parts_and_leave_the_file(existing, sets, kind, set_, field, problem):
    before = existing.read_bytes()
    with pytest.raises(kvcvrt.Error) as caught:
        kvcvrt.write(existing, sets, grid=GRID, type="top")
    e = caught.value
    assert (e.kind, e.set, e.field, e.line) == (kind, set_, field, None)
    assert problem in e.problem and problem in str(e)
    assert e.intact == f"The output file {existing} was not changed."
    assert existing.read_bytes() == before


def test_text_errors_carry_file_line_and_column(existing, tmp_path):
    text = tmp_path / "in.dat"
    text.write_text("1\n2 1\n1 1 1 1\n1 x 1 1\n1 1 1 1\n")
    with pytest.raises(kvcvrt.Error) as caught:
        kvcvrt.convert(text, existing, grid=GRID, type="top")
    e = caught.value
    assert (e.kind, e.file, e.line, e.column, e.set, e.field) == ("bad_input", str(text), 4, 3, 1, "value")


@pytest.mark.parametrize("kwargs, exc, message", [
    (dict(sets=[(1, 1, GOOD.astype(complex))]), TypeError, "data set 1: an array of complex128 cannot be stored"),
    (dict(sets=[(1, 1, [["a"] * 4] * 3)]), TypeError, "an array of <U1 cannot be stored"),
    (dict(sets=[(1, 1, GOOD), (1, 1, np.ones(12))]), ValueError, r"data set 2: the array has shape \(12,\) where the grid needs \(NY, NX\) = \(3, 4\)"),
    (dict(sets=[(1.0, 1, GOOD)]), TypeError, "data set 1: the period must be a whole number, not float"),
    (dict(sets=[(1, True, GOOD)]), TypeError, "the layer must be a whole number, not bool"),
    (dict(sets=[(1,)]), TypeError, r"data set 1 must be a \(period, layer, array\) tuple"),
    (dict(sets=[(1, 1, GOOD)], type="xyz"), ValueError, '"xyz" is neither a type code'),
    (dict(sets=[(1, 1, GOOD)], type=3.0), TypeError, "type must be a type code"),
    (dict(sets=[(1, 1, GOOD)], grid=None), ValueError, "Please select a KV Model"),
    (dict(sets=[(1, 1, GOOD)], grid=(4, 3, 0)), ValueError, "grid must be three whole numbers 1..32767"),
    (dict(sets=[(1, 1, GOOD)], grid="4,3,2"), TypeError, "grid must be three whole numbers"),
    (dict(period=0), ValueError, "period 0 is outside 1..1000"),  # with a period: a read
    (dict(period=1, layer=3), ValueError, "layer 3 is outside 1..2"),
    (dict(period=1, layer=2, type=18), ValueError, "layer 2 is outside 1..1, the layers a block of type 18 holds"),
])
def test_caller_mistakes_raise_before_the_run(existing, kwargs, exc, message):
    before = existing.read_bytes()
    with pytest.raises(exc, match=message):
        (kvcvrt.read if "period" in kwargs else kvcvrt.write)(existing, **(dict(grid=GRID, type="top") | kwargs))
    assert existing.read_bytes() == before
