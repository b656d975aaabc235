"""python3 -m halvex: info, convert, section, sections, and their failures."""
import json
import os
import subprocess
import sys

import numpy as np
import pytest
import xarray as xr

import halvex
from halvex.cli import common_ranges, main
from conftest import PYTHON_DIR, program


class Result:
    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr


@pytest.fixture
def run(capsys, monkeypatch):
    """Runs the command line in this process (as python3 -m halvex does), in `cwd`."""
    def call(*args, cwd=None):
        if cwd is not None:
            monkeypatch.chdir(cwd)
        capsys.readouterr()
        try:
            code = main([str(a) for a in args])
        except SystemExit as e:
            code = e.code
        out, err = capsys.readouterr()
        return Result(code, out, err)
    return call


def test_module_entry_point(example_run):
    """python3 -m halvex runs the same command line, with its exit status."""
    env = dict(os.environ, PYTHONPATH=PYTHON_DIR)
    path = os.path.join(example_run, "1001_con.grd")
    r = subprocess.run([sys.executable, "-m", "halvex", "info", path, "--json"], env=env,
                       capture_output=True, text=True)
    assert r.returncode == 0 and json.loads(r.stdout)["line"] == "1001"
    r = subprocess.run([sys.executable, "-m", "halvex", "info", path + ".missing"], env=env,
                       capture_output=True, text=True)
    assert r.returncode == 1 and r.stderr.startswith("halvex: ")


def griddump_fields(path):
    out = subprocess.run([program("tools", "griddump"), str(path), "--header"], check=True,
                         capture_output=True, text=True).stdout
    return {line[:15].strip(): line[15:].strip() for line in out.splitlines()}


def test_info_text_and_json(example_run, run):
    path = os.path.join(example_run, "1011_res.grd")
    g = halvex.load_grid(path)
    r = run("info", path, "--json")
    assert r.returncode == 0, r.stderr
    info = json.loads(r.stdout)
    d = griddump_fields(path)
    assert (info["columns"], info["rows"], info["orientation"]) == \
        (int(d["ne (columns)"]), int(d["nv (rows)"]), int(d["kx"]))
    assert (info["dx"], info["dy"], info["x0"], info["y0"]) == \
        (float(d["de"]), float(d["dv"]), float(d["x0"]), float(d["y0"]))
    assert np.float32(info["zmin"]) == np.float32(float(d["zmin"]))
    assert info["value_min"] == float(np.nanmin(g.values)) and info["value_max"] == float(np.nanmax(g.values))
    assert info["null_nodes"] == int(np.isnan(g.values).sum()) > 0
    assert (info["line"], info["quantity"], info["units"]) == ("1011", "res", "ohm m")
    # A re-based line (run from east to west) ends at station 0.
    assert info["x_range"][1] == pytest.approx(0.0, abs=1e-3) and info["x_range"][0] < -1000

    text = run("info", path)
    assert text.returncode == 0
    lines = dict(line.split(None, 1) for line in text.stdout.splitlines())
    assert lines["columns"] == d["ne (columns)"] and lines["orientation"] == d["kx"]
    assert float(lines["value_max"]) == pytest.approx(info["value_max"], rel=1e-8)
    assert lines["units"] == "ohm m"


def test_convert(example_run, tmp_path, run):
    src = os.path.join(example_run, "1021_logcon.grd")
    g = halvex.load_grid(src)
    for name in ("a.nc", "a.tif", "b.tiff"):
        r = run("convert", src, tmp_path / name)
        assert r.returncode == 0 and r.stdout == "", r.stderr
    with xr.open_dataset(tmp_path / "a.nc") as ds:
        np.testing.assert_array_equal(ds["log10_conductivity"].values, g.values)
    r = run("convert", src, tmp_path / "a.tif", "--engine", "gdal")
    assert r.returncode == 0, r.stderr
    assert sorted(os.listdir(tmp_path)) == ["a.nc", "a.tif", "b.tiff"]


def test_section_and_sections(example_run, tmp_path, run):
    src = os.path.join(example_run, "1001_con.grd")
    r = run("section", src, "-o", tmp_path / "one.svg", "--exaggeration", "3")
    assert r.returncode == 0, r.stderr
    assert (tmp_path / "one.svg").read_bytes().startswith(b"<?xml")
    r = run("section", src, cwd=tmp_path)  # default name beside, in the current folder
    assert r.returncode == 0 and (tmp_path / "1001_con.png").exists()

    out = tmp_path / "pictures"
    r = run("sections", example_run, "-o", out, "--dpi", "40", "--width", "6")
    assert r.returncode == 0, r.stderr
    grids = sorted(n for n in os.listdir(example_run) if n.endswith(".grd"))
    assert len(grids) == 16
    assert sorted(os.listdir(out)) == sorted(n[:-4] + ".png" for n in grids)
    assert len(r.stdout.splitlines()) == 16


def test_common_ranges(example_run):
    grids = [halvex.load_grid(os.path.join(example_run, n))
             for n in sorted(os.listdir(example_run)) if n.endswith(".grd")]
    ranges = common_ranges(grids)
    assert sorted(ranges) == ["con", "logcon", "logres", "res"]
    for q, (lo, hi) in ranges.items():
        mine = [g for g in grids if g.attrs["quantity"] == q]
        assert len(mine) == 4
        assert lo == min(float(np.nanmin(g.values)) for g in mine)
        assert hi == max(float(np.nanmax(g.values)) for g in mine)


@pytest.mark.parametrize("args, status, message", [
    (["info", "missing.grd"], 1, "No such file"),
    (["info", "bad.grd"], 1, "shorter than the 512-byte grid header"),
    (["convert", "good.grd", "out.png"], 1, ".nc (netCDF) or .tif"),
    (["convert", "bad.grd", "out.nc"], 1, "bad.grd"),
    (["section", "good.grd", "-o", "out.gif"], 1, ".png, .svg or .pdf"),
    (["section", "good.grd", "--exaggeration", "-2"], 2, "positive"),
    (["sections", "nowhere"], 1, "not a folder"),
    (["sections", "."], 1, "no section grid"),
    (["frobnicate"], 2, "invalid choice"),
])
def test_failures_exit_non_zero_with_one_message(example_run, tmp_path, run, args, status, message):
    (tmp_path / "bad.grd").write_bytes(b"\0" * 100)
    os.symlink(os.path.join(example_run, "1001_con.grd"), tmp_path / "good.grd")
    r = run(*args, cwd=tmp_path)
    assert r.returncode == status
    assert message in r.stderr
    if status == 1:
        assert r.stderr.count("\n") == 1 and r.stderr.startswith("halvex: ")
    assert sorted(os.listdir(tmp_path)) == ["bad.grd", "good.grd"]
