"""load_grid against grid files written by the C++ writer (the minc command, halvex)."""
import math
import os
import struct
import subprocess

import numpy as np
import pytest

import halvex
from conftest import DUMMY_BYTES, program, run_minc, scattered


@pytest.fixture(scope="module")
def minc_grids(tmp_path_factory):
    """The same points gridded with rows upward (orientation 1) and reversed (-2), blanked
    beyond a radius so that the grids hold dummies."""
    work = tmp_path_factory.mktemp("minc_grids")
    opts = ["-R", "0,50,0,30", "-I", "2,1.5", "-S", "4"]
    return (run_minc(work, "up.grd", scattered(), *opts),
            run_minc(work, "down.grd", scattered(), *opts, "--reverse-rows"))


def griddump_header(path):
    out = subprocess.run([program("tools", "griddump"), path, "--header"], check=True,
                         capture_output=True, text=True).stdout
    return {line[:15].strip(): line[15:].strip() for line in out.splitlines()}


def test_every_header_field_matches_the_cpp_reader(minc_grids):
    names = {"element_size": "element size", "element_type": "element type", "columns": "ne (columns)",
             "rows": "nv (rows)", "orientation": "kx", "dx": "de", "dy": "dv", "x0": "x0", "y0": "y0",
             "angle": "angle", "base": "base", "scale": "scale", "projection": "projection",
             "valid_nodes": "valid nodes", "zmin": "zmin", "zmax": "zmax", "median": "median",
             "mean": "mean", "variance": "variance", "flag": "flag"}
    for path, kx in zip(minc_grids, (1, -2)):
        a, d = halvex.load_grid(path).attrs, griddump_header(path)
        for mine, theirs in names.items():
            assert np.float32(a[mine]) == np.float32(float(d[theirs])), (path, mine)
        assert [a["x_unit"], a["y_unit"], a["z_unit"]] == [int(t) for t in d["units x y z"].split()]
        assert ("'%s'" % a["label"], "'%s'" % a["map_number"]) == (d["label"], d["map number"])
        assert (a["columns"], a["rows"], a["dx"], a["dy"], a["orientation"]) == (26, 21, 2.0, 1.5, kx)


def test_orientations_dummies_and_values(minc_grids):
    up, down = (halvex.load_grid(p) for p in minc_grids)
    assert up.dims == ("y", "x") and up.dtype == np.float32
    np.testing.assert_array_equal(up.values, down.values)
    np.testing.assert_array_equal(up["y"].values, 1.5 * np.arange(21))
    # The upward file's words in file order are the array's rows from the origin.
    data = open(minc_grids[0], "rb").read()[512:]
    dummy = np.array([data[k:k + 4] == DUMMY_BYTES for k in range(0, len(data), 4)]).reshape(up.shape)
    assert dummy.any() and not dummy.all()
    np.testing.assert_array_equal(np.isnan(up.values), dummy)
    words = np.frombuffer(data, dtype="<u4").reshape(up.shape)
    np.testing.assert_array_equal(up.values.view(np.uint32)[~dummy], words[~dummy])
    assert (np.nanmin(up.values), np.nanmax(up.values)) == (up.attrs["zmin"], up.attrs["zmax"])


def test_coordinate_names(example_run, minc_grids):
    section = os.path.join(example_run, "1021_logres.grd")
    for path, coords, dims in [(section, "auto", ("elevation", "station")), (section, "xy", ("y", "x")),
                               (minc_grids[0], "auto", ("y", "x")),
                               (minc_grids[0], "section", ("elevation", "station"))]:
        assert halvex.load_grid(path, coords=coords).dims == dims, (path, coords)
    a = halvex.load_grid(section).attrs
    assert (a["line"], a["quantity"], a["units"]) == ("1021", "logres", "log10(ohm m)")


def test_rotated_header(minc_grids, tmp_path):
    data = bytearray(open(minc_grids[0], "rb").read())
    struct.pack_into("<ddd", data, 36, 100.0, 200.0, 30.0)  # x0, y0, rotation of the rows
    (tmp_path / "r.grd").write_bytes(bytes(data))
    g = halvex.load_grid(tmp_path / "r.grd")
    assert g.dims == ("row", "column") and g["x"].dims == ("row", "column")
    np.testing.assert_array_equal(g.values, halvex.load_grid(minc_grids[0]).values)
    x, y = g["x"].values, g["y"].values
    assert (x[0, 0], y[0, 0]) == (100.0, 200.0)
    # Along a row the nodes step dx = 2 at 30 degrees; across the rows dy = 1.5 at 120.
    for (i, j), step, direction in [((1, 0), 2.0, 30.0), ((0, 1), 1.5, 120.0)]:
        ex, ey = x[j, i] - x[0, 0], y[j, i] - y[0, 0]
        assert math.hypot(ex, ey) == pytest.approx(step)
        assert math.degrees(math.atan2(ey, ex)) == pytest.approx(direction)


@pytest.mark.parametrize("kind, offset, fmt, value, message", [
    ("truncated", None, None, -4, "file has"), ("longer", None, None, 4, "file has"),
    ("header only", None, None, -10000, "shorter than"), ("element size", 0, "<i", 8, "4-byte reals"),
    ("no columns", 8, "<i", 0, "nodes"), ("huge counts", 8, "<ii", (2 ** 31 - 1,) * 2, "file has"),
    ("nan spacing", 20, "<d", float("nan"), "dx"),
    ("zero spacing", 20, "<d", 0.0, "spacing dx is 0"), ("zero row spacing", 28, "<d", 0.0, "spacing dy is 0"),
    ("huge spacing", 20, "<d", 1e308, "beyond the range of reals"),
    ("huge origin", 44, "<d", -1.7e308, "dy = 1.5 is lost to rounding"),
    ("spacing lost", 36, "<d", 1e20, "lost to rounding"),
    ("tiny multiplier", 68, "<d", 1e-300, r"is inf \(stored"), ("huge base", 60, "<d", 1e300, "is inf"),
    ("infinite node", 512 + 4 * 27, "<f", float("inf"), r"node \(1, 1\) is inf"),
])
def test_damaged_file_is_refused(minc_grids, tmp_path, kind, offset, fmt, value, message):
    data = bytearray(open(minc_grids[0], "rb").read())
    if offset is None:
        data = data[:value] if value < 0 else data + bytes(value)
    else:
        struct.pack_into(fmt, data, offset, *(value if isinstance(value, tuple) else (value,)))
    path = tmp_path / "bad.grd"
    path.write_bytes(bytes(data))
    with pytest.raises(halvex.GridFileError, match=message) as e:
        halvex.load_grid(path)
    assert str(path) in str(e.value) and "\n" not in str(e.value)
