# Arrays into period data files and back: the values, their rounding, and the
# bytes compared with the text road; info, types, stats and diff as the
# command line prints them.
import csv
import io

import numpy as np
import pytest

import kvcvrt
from conftest import GRID, cli, matrix_text, run_cli

rng = np.random.default_rng(7)


def layer(scale=1.0, dtype=np.float64):
    return (rng.standard_normal((3, 4)) * scale).astype(dtype)


@pytest.mark.parametrize("type_, sets", [
    (".top", [(5, 2, layer()), (2, 1, layer(1e30))]),       # a later period first, large values
    (18, [(1, 1, layer()), (7, 1, layer(1e-30))]),          # a single-layer type by code
])
def test_write_then_read_gives_the_float32_values(tmp_path, type_, sets):
    out = tmp_path / "a.dat"
    result = kvcvrt.write(out, sets, grid=GRID, type=type_)
    assert (result["stored"], result["skipped"], result["rebuilt"]) == (len(sets), 0, True)
    for period, lay, values in sets:
        got = kvcvrt.read(out, grid=GRID, type=type_, period=period, layer=lay)
        assert got.dtype == np.float32 and got.shape == (3, 4)
        np.testing.assert_array_equal(got, values.astype(np.float32))


def test_the_whole_file_read_holds_every_layer_and_nan_past_the_file_end_and_create_starts_anew(tmp_path):
    out = tmp_path / "a.top"
    first, second = layer(), layer()
    kvcvrt.write(out, [(1, 1, first), (1, 2, second), (6, 1, first)], grid=GRID, type="top")
    periods, every = kvcvrt.read(out, grid=GRID, type="top")  # only the missing layer is NaN in the whole file
    assert periods == [1, 6] and every.shape == (2, 2, 3, 4)
    np.testing.assert_array_equal(every[:, 0], np.stack([first, first]).astype(np.float32))
    np.testing.assert_array_equal(every[0, 1], second.astype(np.float32))
    assert np.isnan(every[1, 1]).all()  # period 6's second layer was never written
    kvcvrt.write(out, [(2, 1, first)], grid=GRID, type="top", create=True)
    assert [b["period"] for b in kvcvrt.info(out)["own"]] == [1, 2]  # a new file gives period 1 the first block


@pytest.mark.parametrize("values", [
    np.arange(12, dtype=np.float16).reshape(3, 4) / 8,
    np.arange(12, dtype=np.int64).reshape(3, 4) * 16777217,        # integers round as their text does
    np.arange(12, dtype=np.uint8).reshape(3, 4),
    np.arange(12, dtype=np.longdouble).reshape(3, 4) / 3,
    np.arange(12, dtype=">f8").reshape(3, 4) / 7,                   # the other byte order
    np.asfortranarray(np.arange(12.0).reshape(3, 4) / 9),
    np.arange(24.0).reshape(3, 8)[:, ::2] / 11,                     # a strided view
    [[0.1, 0.2, 0.3, 0.4]] * 3,                                     # nested lists
])
def test_every_element_type_and_layout_rounds_to_nearest_float(tmp_path, values):
    out = tmp_path / "a.top"
    kvcvrt.write(out, [(1, 1, values)], grid=GRID, type="top")
    expected = np.asarray(values).astype(np.float64).astype(np.float32)
    np.testing.assert_array_equal(kvcvrt.read(out, grid=GRID, type="top", period=1, layer=1), expected)


def test_write_and_convert_of_the_same_values_give_the_same_bytes(tmp_path):
    halfway = 1 + 2.0 ** -24  # exactly between two floats: its text rounds up, a plain cast to even
    sets = [(1, 1, layer()), (1, 2, layer(1e-3).astype(np.float32)), (4, 1, np.full((3, 4), halfway)),
            (4, 9, layer()),  # layer above NZ: skipped on both roads
            (2, 2, np.array([[-0.0, 3.4028235e38, 1e-45, -1e-40]] * 3))]
    (tmp_path / "in.dat").write_text(matrix_text(sets))
    by_text = kvcvrt.convert(tmp_path / "in.dat", tmp_path / "text.top", grid=GRID, type="top")
    by_arrays = kvcvrt.write(tmp_path / "arrays.top", sets, grid=GRID, type="top")
    assert by_text["stored"] == by_arrays["stored"] == 4 and by_text["skipped"] == by_arrays["skipped"] == 1
    assert (tmp_path / "text.top").read_bytes() == (tmp_path / "arrays.top").read_bytes()


def test_many_inputs_in_one_run_give_the_bytes_of_one_text(tmp_path):
    sets = [(1, 1, layer()), (3, 2, layer(2.0)), (1, 1, layer(3.0))]  # the last replaces the first
    (tmp_path / "all.dat").write_text(matrix_text(sets))
    parts = [tmp_path / "sub" / f"in{k}.dat" for k in range(len(sets))]
    (tmp_path / "sub").mkdir()
    for path, one in zip(parts, sets):
        path.write_text(matrix_text([one]))
    (tmp_path / "sub" / "inputs.csv").write_text("file,period,layer\n" + "".join(f"{p.name},,\n" for p in parts))
    grid = dict(grid=GRID, type="top")
    kvcvrt.convert(tmp_path / "all.dat", tmp_path / "one.top", **grid)
    kvcvrt.convert(parts, tmp_path / "list.top", **grid)
    kvcvrt.convert(manifest=tmp_path / "sub" / "inputs.csv", output=tmp_path / "manifest.top", **grid)
    cli("convert", *[a for p in parts for a in ("-i", p)], "-g", "4,3,2", "-t", "top", "-o", tmp_path / "cli.top")
    cli("convert", "--manifest", tmp_path / "sub" / "inputs.csv", "-g", "4,3,2", "-t", "top", "-o", tmp_path / "m.top")
    kvcvrt.write(tmp_path / "periods.top", [kvcvrt.read(tmp_path / "one.top", **grid)], **grid)
    for name in ("list", "manifest", "cli", "m", "periods"):
        assert (tmp_path / f"{name}.top").read_bytes() == (tmp_path / "one.top").read_bytes(), name


def test_info_and_types_are_what_the_command_line_prints(existing):
    assert kvcvrt.info(existing, grid=GRID, type="top")["text"] == \
        cli("info", existing, "--grid", "4,3,2", "--type", "top").splitlines()
    rows = cli("types").splitlines()[1:]
    assert [(t["row"], t["code"], t["extension"]) for t in kvcvrt.types()] == \
        [(int(r.split()[0]), int(r.split()[-3]), r.split()[-2]) for r in rows]


def test_model_gives_the_grid_and_the_output_name(tmp_path):
    (model := tmp_path / "area.kv5").write_text("[VERSION]\nNUMBER=4000\n[DIMENSION]\nNX=4\nNY=3\nNZ=2\n")
    result = kvcvrt.write(None, [(1, 2, layer())], model=model, type="top")
    assert result["output"] == str(tmp_path / "area.top")
    assert kvcvrt.read(tmp_path / "area.top", model=model, type=3, period=1).shape == (2, 3, 4)


def test_stats_and_diff_match_the_command_line(tmp_path):
    a, b = tmp_path / "a.top", tmp_path / "b.top"
    sets = [(1, 1, rng.standard_normal((3, 4)) + 1000), (1, 2, np.zeros((3, 4))), (4, 1, rng.standard_normal((3, 4)))]
    kvcvrt.write(a, sets, grid=GRID, type="top")
    changed = sets[2][2].copy()
    changed[2, 1] += 0.5
    kvcvrt.write(b, sets[:2] + [(4, 1, changed)], grid=GRID, type="top")
    on_grid = ("-g", "4,3,2", "-t", "top", "--csv")

    rows = list(csv.DictReader(io.StringIO(cli("stats", a, *on_grid, "--nodata", "0"))))
    got = kvcvrt.stats(a, grid=GRID, type="top", nodata=0)
    assert len(rows) == len(got) == 3  # the file ends after layer 1 of period 4
    for row, mine in zip(rows, got):
        for key in ("period", "layer", "zeros", "nodata"):
            assert int(row[key]) == mine[key]
        for key, kind in (("min", np.float32), ("max", np.float32), ("mean", float), ("std", float)):
            assert kind(row[key]) == kind(mine[key]) or (np.isnan(mine[key]) and row[key] == "nan")

    d = kvcvrt.diff(a, b, grid=GRID, type="top")
    assert d["within"] is False
    for row, mine in zip(csv.DictReader(io.StringIO(run_cli("diff", a, b, *on_grid).stdout)), d["layers"]):
        assert (int(row["period"]), int(row["layer"]), row["status"]) == (mine["period"], mine["layer"], mine["status"])
        assert float(row["max_abs"]) == mine["max_abs"]
    differs = [x for x in d["layers"] if x["status"] == "differs"]
    assert [(x["period"], x["layer"], x["abs_row"], x["abs_column"]) for x in differs] == [(4, 1, 3, 2)]
    assert kvcvrt.diff(a, b, grid=GRID, type="top", tolerance=0.5)["within"] is True


def test_show_draws_the_pictures_the_command_line_draws(existing, tmp_path):
    drawn = kvcvrt.show(existing, output=tmp_path / "p{period}-{layer}.png", grid=GRID, type="top",
                        periods="all", layers=[1, 2], range=(0, 4))
    assert [(d["period"], d["layer"], d["range"], d["below"]) for d in drawn] == [(1, 1, (0, 4), 0), (1, 2, (0, 4), 0)]
    cli("show", existing, "-g", "4,3,2", "-t", "top", "--period", "1", "--layer", "2", "--range", "0,4",
        "-o", tmp_path / "cli.png")
    assert (tmp_path / "p1-2.png").read_bytes() == (tmp_path / "cli.png").read_bytes()
    same = kvcvrt.show(existing, output=tmp_path / "d.png", grid=GRID, type="top", periods=1, minus=existing)
    assert (same[0]["largest_difference"], same[0]["range"]) == (0, (-1, 1))


@pytest.mark.parametrize("fill, filled", [(None, 0), (0.5, 2)])
def test_a_raster_converts_at_its_period_and_layer_with_its_no_data_filled(tmp_path, fill, filled):
    values = layer().astype(np.float32)
    values[0, 1] = values[2, 3] = -9999
    rows = "\n".join(" ".join(repr(float(v)) for v in row) for row in values)
    (tmp_path / "g.asc").write_text("ncols 4\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n" + rows)
    result = kvcvrt.convert(tmp_path / "g.asc", tmp_path / "a.top", grid=GRID, type="top", period=3, layer=2,
                            nodata_fill=fill)
    assert (result["stored"], result["filled"]) == (1, filled)
    if fill is not None:
        values[values == -9999] = fill
    np.testing.assert_array_equal(kvcvrt.read(tmp_path / "a.top", grid=GRID, type="top", period=3, layer=2), values)
