"""python3 -m halvex: info, convert, sections, and their failures."""
import json
import os
import subprocess
import sys

import numpy as np
import pytest

import halvex
from halvex.cli import main
from conftest import PYTHON_DIR


def run(*args, cwd=None):
    env = dict(os.environ, PYTHONPATH=PYTHON_DIR)
    return subprocess.run([sys.executable, "-m", "halvex", *map(str, args)], cwd=cwd, env=env,
                          capture_output=True, text=True)


def test_info_and_sections(example_run, tmp_path):
    path = os.path.join(example_run, "1011_res.grd")
    g = halvex.load_grid(path)
    r = run("info", path, "--json")
    info = json.loads(r.stdout)
    assert (info["columns"], info["rows"], info["dx"]) == (g.shape[1], g.shape[0], g.attrs["dx"])
    assert (info["value_min"], info["value_max"]) == (np.nanmin(g.values), np.nanmax(g.values))
    assert info["null_nodes"] == np.isnan(g.values).sum() > 0 and info["units"] == "ohm m"
    # A line run from east to west ends at station 0.
    assert info["x_range"][1] == pytest.approx(0.0, abs=1e-3) and info["x_range"][0] < -1000

    r = run("convert", path, tmp_path / "res.nc")
    assert r.returncode == 0 and halvex.load_grid(path).identical(halvex.load_grid(path)), r.stderr
    r = run("sections", example_run, "-o", tmp_path / "pictures", "--dpi", "30", "--width", "5", "-q")
    assert r.returncode == 0, r.stderr
    grids = [n for n in os.listdir(example_run) if n.endswith(".grd")]
    assert len(grids) == 16 and sorted(os.listdir(tmp_path / "pictures")) == sorted(n[:-4] + ".png" for n in grids)
    assert sorted(os.listdir(tmp_path)) == ["pictures", "res.nc"]


@pytest.mark.parametrize("args, status, message", [
    (["info", "missing.grd"], 1, "No such file"),
    (["info", "bad.grd"], 1, "shorter than the 512-byte grid header"),
    (["convert", "good.grd", "out.png"], 1, ".nc (netCDF) or .tif"),
    (["section", "good.grd", "-o", "out.gif"], 1, ".png, .svg or .pdf"),
    (["sections", "."], 1, "no section grid"),
    (["section", "good.grd", "--exaggeration", "-2"], 2, "positive"),
])
def test_failures_exit_non_zero_with_one_message(example_run, tmp_path, monkeypatch, capsys, args, status,
                                                 message):
    (tmp_path / "bad.grd").write_bytes(bytes(100))
    os.symlink(os.path.join(example_run, "1001_con.grd"), tmp_path / "good.grd")
    monkeypatch.chdir(tmp_path)
    try:
        code = main(args)  # in this process: what python3 -m halvex runs
    except SystemExit as e:
        code = e.code
    err = capsys.readouterr().err
    assert code == status and message in err
    assert status == 2 or err.startswith("halvex: ") and err.count("\n") == 1
    assert sorted(os.listdir(tmp_path)) == ["bad.grd", "good.grd"]
