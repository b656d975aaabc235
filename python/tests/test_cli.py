"""python3 -m halvex: info, convert, sections, and their failures."""
import json
import os
import resource
import shutil
import struct
import subprocess
import sys

import numpy as np
import pytest
import xarray as xr

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
    assert r.returncode == 0, r.stderr
    # Read back by xarray itself: the same values, the blank nodes NaN.
    with xr.open_dataarray(tmp_path / "res.nc") as back:
        np.testing.assert_array_equal(back.values, g.values)
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


def lie(path, offset, fmt, value):
    """The grid file at `path` with one header field changed."""
    data = bytearray(open(path, "rb").read())
    struct.pack_into(fmt, data, offset, value)
    return bytes(data)


# (what is there besides g.grd, the command, its exit status, the message)
UNSAFE = [
    ({"same.nc": "hard link to g.grd"}, ["convert", "g.grd", "same.nc"], 1, "output is the input file g.grd"),
    ({"pic.png": "symlink to g.grd"}, ["section", "g.grd", "-o", "pic.png"], 1, "output is the input file"),
    ({"out.nc": "read-only"}, ["convert", "g.grd", "out.nc"], 1, "exists and may not be written"),
    ({"out.tif": "folder"}, ["convert", "g.grd", "out.tif"], 1, "is a folder"),
    ({"full.nc": "symlink to /dev/full"}, ["convert", "g.grd", "full.nc"], 1, "No space left on device"),
    ({"dx0.grd": (20, "<d", 0.0)}, ["section", "dx0.grd", "-o", "s.png"], 1, "header spacing dx is 0"),
    ({"far.grd": (20, "<d", 1e308)}, ["convert", "far.grd", "f.nc"], 1, "beyond the range of reals"),
    ({"tiny.grd": (68, "<d", 1e-300)}, ["convert", "tiny.grd", "t.tif"], 1, "is inf (stored"),
    ({}, ["section", "g.grd", "--vmin", "nan"], 2, "must be a finite number"),
]


@pytest.mark.parametrize("files, args, status, message", UNSAFE, ids=[u[3] for u in UNSAFE])
def test_unsafe_outputs_and_lying_headers_are_refused(example_run, tmp_path, monkeypatch, capsys, files, args,
                                                      status, message):
    grid = os.path.join(example_run, "1021_logres.grd")
    shutil.copy(grid, tmp_path / "g.grd")
    for name, kind in files.items():
        if isinstance(kind, tuple):
            (tmp_path / name).write_bytes(lie(grid, *kind))
        elif kind == "folder":
            os.mkdir(tmp_path / name)
        elif kind == "read-only":
            (tmp_path / name).write_bytes(b"earlier")
            os.chmod(tmp_path / name, 0o444)
        elif kind.startswith("symlink to "):
            os.symlink(kind[len("symlink to "):], tmp_path / name)
        else:
            os.link(tmp_path / "g.grd", tmp_path / name)
    before = {n: (tmp_path / n).read_bytes() for n in os.listdir(tmp_path) if (tmp_path / n).is_file()
              and not n.startswith("full")}
    monkeypatch.chdir(tmp_path)
    try:
        code = main(args)
    except SystemExit as e:
        code = e.code
    err = capsys.readouterr().err
    assert code == status and message in err, err
    assert status == 2 or err.startswith("halvex: ") and err.count("\n") == 1
    assert {n: (tmp_path / n).read_bytes() for n in before} == before
    assert sorted(os.listdir(tmp_path)) == sorted(["g.grd"] + list(files))


def test_links_written_through_and_names_that_are_not_utf8(example_run, tmp_path, monkeypatch):
    grid = os.path.join(example_run, "1021_logres.grd")
    os.mkdir(tmp_path / "real")
    (tmp_path / "real" / "out.nc").write_bytes(b"earlier")
    os.chmod(tmp_path / "real" / "out.nc", 0o640)
    os.symlink("real/out.nc", tmp_path / "link.nc")
    os.symlink("real/new.png", tmp_path / "link.png")  # a link whose target is still to come
    odd = os.fsdecode(b"caf\xe9")
    shutil.copy(grid, tmp_path / (odd + ".grd"))
    monkeypatch.chdir(tmp_path)
    for args in (["convert", grid, "link.nc"], ["section", grid, "-o", "link.png", "--dpi", "20"],
                 ["convert", odd + ".grd", odd + ".nc"], ["section", odd + ".grd", "--dpi", "20"]):
        assert main(args) == 0, args
    assert os.path.islink("link.nc") and os.path.islink("link.png")
    assert os.stat("real/out.nc").st_mode & 0o777 == 0o640  # the replaced file's permissions
    for nc in ("real/out.nc", odd + ".nc"):
        shutil.copy(nc, tmp_path / "check.nc")  # netCDF's own reader takes UTF-8 names only
        with xr.open_dataarray(tmp_path / "check.nc") as got:
            np.testing.assert_array_equal(got.values, halvex.load_grid(grid).values)
    assert open("real/new.png", "rb").read(4) == b"\x89PNG" and open(odd + ".png", "rb").read(4) == b"\x89PNG"
    assert sorted(os.listdir("real")) == ["new.png", "out.nc"]
    assert sorted(os.listdir(tmp_path)) == sorted([odd + ".grd", odd + ".nc", odd + ".png", "check.nc", "link.nc",
                                                   "link.png", "real"])


@pytest.mark.parametrize("args", [["convert", "g.grd", "out.nc"], ["convert", "g.grd", "out.tif"],
                                  ["section", "g.grd", "-o", "out.png"]])
def test_a_failed_write_exits_1_and_keeps_the_earlier_file(example_run, tmp_path, args):
    """Writes stop at 4 KiB (a full disk for this process): one line, exit 1, the earlier
    file as it was, no temporary left."""
    shutil.copy(os.path.join(example_run, "1021_logres.grd"), tmp_path / "g.grd")
    out = tmp_path / args[-1]
    out.write_bytes(b"earlier")

    env = dict(os.environ, PYTHONPATH=PYTHON_DIR)
    r = subprocess.run([sys.executable, "-m", "halvex", *args], cwd=tmp_path, env=env, capture_output=True,
                       text=True, preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096)))
    assert r.returncode == 1 and r.stderr.startswith("halvex: ") and r.stderr.count("\n") == 1, r.stderr
    assert "File too large" in r.stderr and out.read_bytes() == b"earlier"
    assert sorted(os.listdir(tmp_path)) == sorted(["g.grd", args[-1]])
