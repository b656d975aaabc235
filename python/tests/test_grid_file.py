"""load_grid against grid files written by the C++ writer (minc command, halvex)."""
import math
import os
import shutil
import struct
import subprocess

import numpy as np
import pytest

import halvex
from conftest import DUMMY_BYTES, program, raw_grid, run_minc, scattered


@pytest.fixture(scope="module")
def minc_grids(tmp_path_factory):
    """The same points gridded with rows upward (orientation 1) and reversed (-2),
    blanked beyond a radius so that the grids hold dummies."""
    work = tmp_path_factory.mktemp("minc_grids")
    pts = scattered()
    opts = ["-R", "0,50,0,30", "-I", "2,1.5", "-S", "4"]
    up = run_minc(work, "up.grd", pts, *opts)
    down = run_minc(work, "down.grd", pts, *opts, "--reverse-rows")
    return work, up, down


def griddump_header(path):
    """The header as the C++ reader prints it: {label: text}."""
    out = subprocess.run([program("tools", "griddump"), path, "--header"], check=True,
                         capture_output=True, text=True).stdout
    fields = {}
    for line in out.splitlines():
        if line.startswith("row "):
            break
        fields[line[:15].strip()] = line[15:].strip()
    return fields


def test_every_header_field_matches_the_cpp_reader(minc_grids):
    _, up, down = minc_grids
    for path in (up, down):
        g = halvex.load_grid(path)
        a, d = g.attrs, griddump_header(path)
        pairs = [("element_size", "element size"), ("element_type", "element type"),
                 ("columns", "ne (columns)"), ("rows", "nv (rows)"), ("orientation", "kx"),
                 ("projection", "projection"), ("valid_nodes", "valid nodes"), ("flag", "flag")]
        for mine, theirs in pairs:
            assert a[mine] == int(d[theirs]), (path, mine)
        for mine, theirs in [("dx", "de"), ("dy", "dv"), ("x0", "x0"), ("y0", "y0"), ("angle", "angle"),
                             ("base", "base"), ("scale", "scale"), ("variance", "variance")]:
            assert a[mine] == float(d[theirs]), (path, mine)
        for mine in ("zmin", "zmax", "median", "mean"):
            assert np.float32(a[mine]) == np.float32(float(d[mine])), (path, mine)
        assert [a["x_unit"], a["y_unit"], a["z_unit"]] == [int(t) for t in d["units x y z"].split()]
        assert "'%s'" % a["label"] == d["label"] and "'%s'" % a["map_number"] == d["map number"]
        # What the minc command was asked for.
        assert (a["columns"], a["rows"], a["dx"], a["dy"], a["x0"], a["y0"]) == (26, 21, 2.0, 1.5, 0.0, 0.0)
        assert a["orientation"] == (1 if path == up else -2)
        assert a["median"] == a["mean"] == a["variance"] == float(np.float32(-1e32))


def test_both_orientations_give_the_same_array(minc_grids):
    _, up, down = minc_grids
    gu, gd = halvex.load_grid(up), halvex.load_grid(down)
    assert gu.dims == gd.dims == ("y", "x")
    np.testing.assert_array_equal(gu.values, gd.values)
    # The files differ: one stores the rows from the origin, the other from the top.
    (_, nv, _), su = raw_grid(up)
    _, sd = raw_grid(down)
    np.testing.assert_array_equal(su, sd[::-1])
    valid = ~np.isnan(gu.values)
    np.testing.assert_array_equal(gu.values[valid], su[valid])  # first array row = origin row
    np.testing.assert_array_equal(gu["y"].values, 1.5 * np.arange(nv))
    np.testing.assert_array_equal(gu["x"].values, 2.0 * np.arange(26))


def test_dummies_are_nan_and_every_other_value_is_kept_bit_for_bit(minc_grids):
    _, up, _ = minc_grids
    g = halvex.load_grid(up)
    data = open(up, "rb").read()[512:]
    words = [data[k:k + 4] for k in range(0, len(data), 4)]
    dummy = np.array([w == DUMMY_BYTES for w in words]).reshape(g.shape)
    assert dummy.any() and not dummy.all()
    np.testing.assert_array_equal(np.isnan(g.values), dummy)
    stored = np.frombuffer(data, dtype="<u4").reshape(g.shape)
    got = g.values.view(np.uint32)
    np.testing.assert_array_equal(got[~dummy], stored[~dummy])
    assert g.dtype == np.float32
    assert np.nanmin(g.values) == np.float32(g.attrs["zmin"])
    assert np.nanmax(g.values) == np.float32(g.attrs["zmax"])


def test_coordinate_names(example_run, minc_grids):
    _, up, _ = minc_grids
    section = os.path.join(example_run, "1021_logres.grd")
    cases = [
        (section, "auto", ("elevation", "station")),
        (section, "xy", ("y", "x")),
        (up, "auto", ("y", "x")),
        (up, "section", ("elevation", "station")),
    ]
    for path, coords, dims in cases:
        g = halvex.load_grid(path, coords=coords)
        assert g.dims == dims, (path, coords)
        assert all(d in g.coords for d in dims)
    g = halvex.load_grid(section)
    assert (g.name, g.attrs["line"], g.attrs["quantity"], g.attrs["units"]) == \
        ("log10_resistivity", "1021", "logres", "log10(ohm m)")
    assert g["station"].attrs["units"] == "m" and g["station"].values[0] == 0.0
    with pytest.raises(ValueError, match="coords"):
        halvex.load_grid(up, coords="lonlat")


def test_section_grids_of_a_run(example_run):
    """The four grids of a line: the same frame, the values of the line's quantities."""
    grids = {q: halvex.load_grid(os.path.join(example_run, "1001_%s.grd" % q))
             for q in ("con", "logcon", "res", "logres")}
    frames = {(g.shape, g.attrs["x0"], g.attrs["y0"], g.attrs["dx"], g.attrs["dy"]) for g in grids.values()}
    assert len(frames) == 1
    con, res = grids["con"].values, grids["res"].values
    both = ~np.isnan(con) & ~np.isnan(res)
    assert both.sum() > 100
    # Gridded separately, conductivity x resistivity stays near 1000 (mS/m x ohm m).
    assert np.median(con[both] * res[both]) == pytest.approx(1000.0, rel=0.05)
    lc = grids["logcon"].values
    ok = ~np.isnan(lc) & ~np.isnan(con)
    assert np.median(np.abs(lc[ok] - np.log10(con[ok]))) < 0.05


def test_rotated_header(minc_grids, tmp_path):
    """A header with a rotation of the rows: 2-D coordinates of every node."""
    _, up, _ = minc_grids
    path = tmp_path / "rotated.grd"
    data = bytearray(open(up, "rb").read())
    struct.pack_into("<ddd", data, 36, 100.0, 200.0, 30.0)  # x0, y0, angle
    path.write_bytes(bytes(data))
    g = halvex.load_grid(path)
    plain = halvex.load_grid(up)
    assert g.dims == ("row", "column") and g.attrs["angle"] == 30.0
    assert g["x"].dims == g["y"].dims == ("row", "column")
    np.testing.assert_array_equal(g.values, plain.values)
    x, y = g["x"].values, g["y"].values
    assert (x[0, 0], y[0, 0]) == (100.0, 200.0)
    # Along a row the nodes step dx at 30 degrees; across the rows dy at 120 degrees.
    for (di, dj), step, direction in [((1, 0), 2.0, 30.0), ((0, 1), 1.5, 120.0)]:
        ex, ey = x[dj, di] - x[0, 0], y[dj, di] - y[0, 0]
        assert math.hypot(ex, ey) == pytest.approx(step, rel=1e-12)
        assert math.degrees(math.atan2(ey, ex)) == pytest.approx(direction, abs=1e-9)
    # The far corner: 25 dx along the rows and 20 dy across them.
    far = (100.0 + 50.0 * math.cos(math.radians(30)) - 30.0 * math.sin(math.radians(30)),
           200.0 + 50.0 * math.sin(math.radians(30)) + 30.0 * math.cos(math.radians(30)))
    assert (x[-1, -1], y[-1, -1]) == pytest.approx(far, rel=1e-12)


def damaged(data, kind):
    d = bytearray(data)
    if kind == "truncated":
        return bytes(d[:-4])
    if kind == "longer":
        return bytes(d) + b"\0\0\0\0"
    if kind == "header only":
        return bytes(d[:300])
    if kind == "empty":
        return b""
    if kind == "element size 8":
        struct.pack_into("<i", d, 0, 8)
    elif kind == "integer grid":
        struct.pack_into("<i", d, 4, 1)
    elif kind == "no columns":
        struct.pack_into("<i", d, 8, 0)
    elif kind == "negative rows":
        struct.pack_into("<i", d, 12, -3)
    elif kind == "huge counts":
        struct.pack_into("<ii", d, 8, 2 ** 31 - 1, 2 ** 31 - 1)
    elif kind == "nan spacing":
        struct.pack_into("<d", d, 20, float("nan"))
    elif kind == "infinite origin":
        struct.pack_into("<d", d, 44, float("inf"))
    elif kind == "zero multiplier":
        struct.pack_into("<d", d, 68, 0.0)
    return bytes(d)


@pytest.mark.parametrize("kind, message", [
    ("truncated", "file has"), ("longer", "file has"), ("header only", "shorter than"),
    ("empty", "shorter than"), ("element size 8", "4-byte reals"), ("integer grid", "4-byte reals"),
    ("no columns", "nodes"), ("negative rows", "nodes"), ("huge counts", "file has"),
    ("nan spacing", "dx"), ("infinite origin", "y0"), ("zero multiplier", "multiplier"),
])
def test_damaged_file_is_refused_with_a_clear_error(minc_grids, tmp_path, kind, message):
    _, up, _ = minc_grids
    path = tmp_path / "bad.grd"
    path.write_bytes(damaged(open(up, "rb").read(), kind))
    with pytest.raises(halvex.GridFileError, match=message) as e:
        halvex.load_grid(path)
    assert str(path) in str(e.value) and "\n" not in str(e.value)
    with pytest.raises(halvex.GridFileError):
        halvex.read_header(path)


def test_scale_and_base_are_applied(minc_grids, tmp_path):
    _, up, _ = minc_grids
    data = bytearray(open(up, "rb").read())
    struct.pack_into("<dd", data, 60, 10.0, 2.0)  # value = stored / 2 + 10
    path = tmp_path / "scaled.grd"
    path.write_bytes(bytes(data))
    plain, scaled = halvex.load_grid(up).values, halvex.load_grid(path).values
    np.testing.assert_array_equal(np.isnan(plain), np.isnan(scaled))
    np.testing.assert_allclose(scaled, plain / 2 + 10, rtol=1e-6)


def test_section_name():
    cases = [("1021_logres.grd", ("1021", "logres")), ("/a/b/7_con.grd", ("7", "con")),
             ("L-12_RES.grd", ("L-12", "res")), ("x_logcon.grd", ("x", "logcon")),
             ("topo.grd", None), ("1021_logres.nc", None), ("_con.grd", None)]
    for name, want in cases:
        assert halvex.grid_file.section_name(name) == want, name


def test_copy_keeps_loading(minc_grids, tmp_path):
    """A grid is read by its bytes, not its name: a copy under another name loads the same."""
    _, up, _ = minc_grids
    other = tmp_path / "9_con.grd"
    shutil.copy(up, other)
    a, b = halvex.load_grid(up), halvex.load_grid(other, coords="xy")
    np.testing.assert_array_equal(a.values, b.values)
    assert b.attrs["line"] == "9"
