"""The modeller's slips, through kvcvrt-cli and the module alike: misfit reads,
model files with missing or wrong keys, strict runs, masked arrays, whole periods."""
import re

import numpy as np
import pytest

import kvcvrt
from conftest import run_cli


def test_a_file_read_with_another_grid_or_type_is_refused_as_an_append_is(tmp_path):
    # A recharge file (one layer a block) of two periods taken for starting heads of 3 layers: the refusal
    # says it in grids, info in bytes.
    recharge, grid = tmp_path / "m.rch", dict(grid=(4, 3, 3), type="hea")
    kvcvrt.write(recharge, [(1, 1, np.ones((3, 4))), (2, 1, np.full((3, 4), 2.0))], grid=(4, 3, 3), type="rch")
    before = recharge.read_bytes()
    with pytest.raises(kvcvrt.Error) as appended:
        kvcvrt.write(recharge, [(1, 1, np.ones((3, 4)))], **grid)
    assert "the file was made for 1 layer of 4 \u00d7 3, the model has 3 layers" in appended.value.problem
    assert recharge.read_bytes() == before
    with pytest.raises(kvcvrt.Error) as read:
        kvcvrt.read(recharge, period=1, **grid)
    assert read.value.problem == appended.value.problem and read.value.kind == "bad_output"
    on_grid = (recharge, "-g", "4,3,3", "-t", "hea")
    exported, checked = run_cli("export", *on_grid), run_cli("info", *on_grid, "--check")
    assert (exported.returncode, exported.stdout) == (1, "") and appended.value.problem in exported.stderr
    assert checked.returncode == 1 and "is refused" in checked.stdout
    assert "2 of period 2 begins at byte 4144, at or past the end of the file" in checked.stdout


def test_a_model_file_with_a_key_that_is_no_number_is_refused(tmp_path):
    (model := tmp_path / "m.kv5").write_text("[DIMENSION]\nNX=4\nNY=forty\nNZ=2\n")
    (data := tmp_path / "in.dat").write_text("0\n")
    done = run_cli("convert", "-i", data, "-m", model, "-t", "hea", "-o", tmp_path / "out.hea")
    assert done.returncode == 1 and '[DIMENSION] NY = "forty" is not a whole number' in done.stderr
    with pytest.raises(kvcvrt.Error, match=r'\[DIMENSION\] NY = "forty" is not a whole number'):
        kvcvrt.convert(data, tmp_path / "out.hea", model=model, type="hea")


@pytest.mark.parametrize("text, model, type_, output, said", [  # model None: the grid 2,1,1
    ("1\n1\t1\n1,5E-04\t2,5E-04\n", None, "hea", "out.hea", 'decimal comma, such as "1,5E-04"'),
    ("1\n1 1\n1 2\n", None, "con", "valley.hea",
     'ends in .hea, the extension of type 10 ("Starting Head"), but the data is stored as type 8'),
    ("0\n", "NX=4\nNY=3", "hea", "out.hea", "gives no NZ in [DIMENSION]"),
])
def test_what_would_warn_is_warned_of_on_both_roads_and_refused_when_strict(tmp_path, text, model, type_, output, said):
    (data := tmp_path / "in.txt").write_text(text)
    if model:
        (tmp_path / "m.kv5").write_text(f"[DIMENSION]\n{model}\n")
    where = dict(model=tmp_path / "m.kv5") if model else dict(grid=(2, 1, 1))
    args = ("convert", "-i", data, *(("-m", tmp_path / "m.kv5") if model else ("-g", "2,1,1")), "-t", type_, "-o")
    out = tmp_path / output
    done = run_cli(*args, out)
    warned = [line[9:] for line in done.stderr.splitlines() if line.startswith("warning: ")]
    assert done.returncode == 0 and len(warned) == 1 and said in warned[0]
    out.unlink(missing_ok=True)
    assert kvcvrt.convert(data, out, type=type_, **where)["warnings"] == warned
    out.unlink(missing_ok=True)
    done = run_cli(*args, out, "--strict")
    assert done.returncode == 1 and said in done.stderr and "strict mode" in done.stderr and not out.exists()
    with pytest.raises(kvcvrt.Error, match=re.escape(said)):
        kvcvrt.convert(data, out, type=type_, strict=True, **where)
    assert not out.exists()


def test_masked_cells_are_refused_unless_filled(tmp_path):
    values = np.ma.masked_array(np.arange(12.0).reshape(3, 4), mask=np.zeros((3, 4), bool))
    values.mask[1, 2] = values.mask[2, 0] = True
    out = tmp_path / "m.top"
    with pytest.raises(ValueError, match=r"data set 1: the masked array has 2 masked cells, the first at index \(1, 2\)"):
        kvcvrt.write(out, [(1, 1, values)], grid=(4, 3, 1), type="top")
    assert not out.exists()
    kvcvrt.write(out, [(1, 1, values)], grid=(4, 3, 1), type="top", fill=-1)
    np.testing.assert_array_equal(kvcvrt.read(out, grid=(4, 3, 1), type="top", period=1, layer=1), values.filled(-1))
    values.mask[:] = False
    kvcvrt.write(out, [(2, values.reshape(1, 3, 4))], grid=(4, 3, 1), type="top")
    periods, whole = kvcvrt.read(out, grid=(4, 3, 1), type="top")
    assert periods == [1, 2] and whole.shape == (2, 1, 3, 4)
    np.testing.assert_array_equal(whole[1, 0], values.data)
    with pytest.raises(ValueError, match=r"a whole period needs \(layers, NY, NX\) = \(1, 3, 4\)"):
        kvcvrt.write(out, [(3, np.ones((2, 3, 4)))], grid=(4, 3, 1), type="top")


@pytest.mark.parametrize("call", [
    lambda d: kvcvrt.read(d / "none.top", grid=(4, 3, 1), type="top", period=1),
    lambda d: kvcvrt.info(d / "none.top"),
    lambda d: kvcvrt.convert(d / "none.dat", d / "o.top", grid=(4, 3, 1), type="top"),
    lambda d: kvcvrt.write(d / "o.top", [], model=d / "none.kv5", type="top"),
])
def test_a_missing_file_is_a_file_not_found_error(tmp_path, call):
    with pytest.raises(FileNotFoundError) as caught:
        call(tmp_path)
    assert isinstance(caught.value, kvcvrt.Error) and "none." in str(caught.value)
