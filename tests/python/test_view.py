# kvcvrt.stats and kvcvrt.diff give the numbers kvcvrt-cli stats and diff print.
import csv
import io

import numpy as np

import kvcvrt
from conftest import GRID, cli, run_cli

rng = np.random.default_rng(21)


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
    assert got[0]["mean"] == float(np.mean(sets[0][2].astype(np.float32).astype(np.float64)))

    d = kvcvrt.diff(a, b, grid=GRID, type="top")
    assert d["within"] is False
    for row, mine in zip(csv.DictReader(io.StringIO(run_cli("diff", a, b, *on_grid).stdout)), d["layers"]):
        assert (int(row["period"]), int(row["layer"]), row["status"]) == (mine["period"], mine["layer"], mine["status"])
        assert float(row["max_abs"]) == mine["max_abs"]
    differs = [x for x in d["layers"] if x["status"] == "differs"]
    assert [(x["period"], x["layer"], x["abs_row"], x["abs_column"]) for x in differs] == [(4, 1, 3, 2)]
    assert kvcvrt.diff(a, b, grid=GRID, type="top", tolerance=0.5)["within"] is True
