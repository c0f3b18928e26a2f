"""The modeller's slips, through kvcvrt-cli and the module alike: misfit reads,
model files with missing or wrong keys, strict runs, masked arrays, whole periods."""
import numpy as np
import pytest

import kvcvrt
from conftest import run_cli


@pytest.fixture
def recharge(tmp_path):
    """A recharge file (one layer a block) of two periods on the grid (4, 3, 3)."""
    path = tmp_path / "m.rch"
    kvcvrt.write(path, [(1, 1, np.ones((3, 4))), (2, 1, np.full((3, 4), 2.0))], grid=(4, 3, 3), type="rch")
    return path


@pytest.mark.parametrize("grid, type_, problem, misfit", [  # the refusal says it in grids, info in bytes
    ((4, 3, 3), "hea", "the file was made for 1 layer of 4 \u00d7 3, the model has 3 layers of 4 \u00d7 3",
     "block 2 of period 2 begins at byte 4144, at or past the end of the file"),
    ((5, 3, 1), "rch", "its 2 blocks hold 12 values each, no whole number of layers of 5 \u00d7 3; the model has 1 layer",
     "the file ends 36 bytes into a layer of 5 x 3 values"),
])
def test_a_file_read_with_another_grid_or_type_is_refused_as_an_append_is(recharge, grid, type_, problem, misfit):
    before = recharge.read_bytes()
    with pytest.raises(kvcvrt.Error) as appended:
        kvcvrt.write(recharge, [(1, 1, np.ones(grid[1::-1]))], grid=grid, type=type_)
    assert problem in appended.value.problem and recharge.read_bytes() == before
    with pytest.raises(kvcvrt.Error) as read:
        kvcvrt.read(recharge, grid=grid, type=type_, period=1)
    assert read.value.problem == appended.value.problem and read.value.kind == "bad_output"
    cli_args = (recharge, "--grid", ",".join(map(str, grid)), "--type", type_)
    exported, checked = run_cli("export", *cli_args), run_cli("info", *cli_args, "--check")
    assert (exported.returncode, exported.stdout) == (1, "") and appended.value.problem in exported.stderr
    assert checked.returncode == 1 and misfit[1:] in checked.stdout and "is refused" in checked.stdout


@pytest.mark.parametrize("dimension, refusal, defaulted", [
    ("NX=4\nNY=forty\nNZ=2", '[DIMENSION] NY = "forty" is not a whole number', []),
    ("NX=4\nNY=3", None, ["NZ"]),
])
def test_model_file_keys(tmp_path, dimension, refusal, defaulted):
    model = tmp_path / "m.kv5"
    model.write_text("[DIMENSION]\n" + dimension + "\n")
    (data := tmp_path / "in.dat").write_text("0\n")
    done = run_cli("convert", "-i", data, "-m", model, "-t", "hea", "-o", tmp_path / "out.hea")
    said = [line for line in done.stderr.splitlines() if line.startswith("warning: ")]
    if refusal:
        assert done.returncode == 1 and refusal in done.stderr
        with pytest.raises(kvcvrt.Error, match=refusal.replace("[", r"\[").replace("]", r"\]")):
            kvcvrt.convert(data, tmp_path / "out.hea", model=model, type="hea")
        return
    assert done.returncode == 0 and [w.split()[6] for w in said] == defaulted
    result = kvcvrt.convert(data, tmp_path / "out.hea", model=model, type="hea")
    assert ["warning: " + w for w in result["warnings"]] == said
    strict = run_cli("convert", "-i", data, "-m", model, "-t", "hea", "-o", tmp_path / "s.hea", "--strict")
    assert strict.returncode == 1 and "strict mode" in strict.stderr and not (tmp_path / "s.hea").exists()


def test_an_output_named_for_another_type_is_warned_of(tmp_path):
    (data := tmp_path / "in.txt").write_text("1\n1 1\n1 2\n")
    said = 'ends in .hea, the extension of type 10 ("Starting Head"), but the data is stored as type 8'
    done = run_cli("convert", "-i", data, "-g", "2,1,1", "-t", "con", "-o", tmp_path / "valley.hea")
    assert done.returncode == 0 and said in done.stderr
    assert said in kvcvrt.convert(data, tmp_path / "valley.hea", grid=(2, 1, 1), type="con")["warnings"][0]
    assert kvcvrt.convert(data, tmp_path / "valley.dat", grid=(2, 1, 1), type="con")["warnings"] == []
    strict = run_cli("convert", "-i", data, "-g", "2,1,1", "-t", "con", "-o", tmp_path / "s.hea", "--strict")
    assert strict.returncode == 1 and said in strict.stderr and not (tmp_path / "s.hea").exists()


@pytest.mark.parametrize("text, refusal", [
    ("1\n1\t1\n1,5E-04\t2,5E-04\n", 'decimal comma, such as "1,5E-04"'),
    ("2\n1 1\n1 2\n1 2\n3 4\n", "layer 2 is above NZ = 1: the set would be skipped"),
    ("1\n1 1\n1.5 2.5 3.5\n", "1 field follows the last of the 1 data set"),
])
def test_strict_refuses_what_would_warn_or_skip(tmp_path, text, refusal):
    data = tmp_path / "in.txt"
    data.write_text(text)
    out = tmp_path / "out.hea"
    done = run_cli("convert", "-i", data, "-g", "2,1,1", "-t", "hea", "-o", out)
    said = [line[9:] for line in done.stderr.splitlines() if line.startswith("warning: ")]
    assert done.returncode == 0 and said == kvcvrt.convert(data, out, grid=(2, 1, 1), type="hea")["warnings"]
    out.unlink()
    done = run_cli("convert", "-i", data, "-g", "2,1,1", "-t", "hea", "-o", out, "--strict")
    assert done.returncode == 1 and refusal in done.stderr and not out.exists()
    with pytest.raises(kvcvrt.Error, match=refusal):
        kvcvrt.convert(data, out, grid=(2, 1, 1), type="hea", strict=True)
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
