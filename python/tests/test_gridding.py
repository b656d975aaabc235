"""halvex.grid against the minc command's grid files, bit for bit."""
import ctypes.util
import os

import numpy as np
import pytest

import halvex
from halvex import gridding
from conftest import run_minc, scattered


def assert_same_grid(got, path):
    """got (from grid()) equals the grid file's nodes bit for bit, and its frame."""
    want = halvex.load_grid(path)
    assert got.shape == want.shape
    for k in ("x0", "y0", "dx", "dy", "zmin", "zmax", "orientation"):
        assert got.attrs[k] == want.attrs[k], k
    np.testing.assert_array_equal(np.isnan(got.values), np.isnan(want.values))
    valid = ~np.isnan(want.values)
    np.testing.assert_array_equal(got.values.view(np.uint32)[valid], want.values.view(np.uint32)[valid])
    np.testing.assert_array_equal(got["x"].values, want["x"].values)
    np.testing.assert_array_equal(got["y"].values, want["y"].values)


def positive(points):
    x, y, z = points
    return x, y, np.exp(z / 20.0).astype(np.float32)


# (name, points, grid() arguments, the same grid as minc command options)
CASES = [
    ("plain", scattered(), dict(region=(0, 50, 0, 30), spacing=1.0),
     ["-R", "0,50,0,30", "-I", "1"]),
    ("radius and two spacings", scattered(seed=11), dict(region=(0, 50, 0, 30), spacing=(2.0, 0.75), radius=3.0),
     ["-R", "0,50,0,30", "-I", "2,0.75", "-S", "3"]),
    ("origin and size", scattered(seed=5), dict(origin=(-3.5, 2.25), size=(40, 17), spacing=1.5, radius=6.0),
     ["--origin", "-3.5,2.25", "--size", "40,17", "-I", "1.5", "-S", "6"]),
    ("logarithms", positive(scattered(seed=2)), dict(region=(0, 50, 0, 30), spacing=1.25, mode=2),
     ["-R", "0,50,0,30", "-I", "1.25", "--mode", "2"]),
    ("signed logarithms", scattered(seed=9), dict(region=(0, 50, 0, 30), spacing=2.0, mode=3, radius=8.0),
     ["-R", "0,50,0,30", "-I", "2", "--mode", "3", "-S", "8"]),
    ("rotated", scattered(seed=4), dict(region=(0, 50, 0, 30), spacing=1.0, angle=25.0),
     ["-R", "0,50,0,30", "-I", "1", "--angle", "25"]),
    ("sweep limit", scattered(seed=8), dict(region=(0, 50, 0, 30), spacing=0.5, iterations=40),
     ["-R", "0,50,0,30", "-I", "0.5", "-N", "40"]),
    ("many blocks", scattered(n=900, seed=6, xmax=600.0, ymax=500.0),
     dict(region=(0, 600, 0, 500), spacing=1.0, radius=40.0),
     ["-R", "0,600,0,500", "-I", "1", "-S", "40"]),
]


@pytest.fixture(scope="module")
def minc_results(tmp_path_factory):
    work = tmp_path_factory.mktemp("minc_cmd")
    return {name: run_minc(work, "g%d.grd" % k, pts, *opts) for k, (name, pts, _, opts) in enumerate(CASES)}


@pytest.mark.parametrize("name, points, kwargs, options", CASES, ids=[c[0] for c in CASES])
def test_grid_equals_the_minc_command(minc_results, name, points, kwargs, options):
    assert_same_grid(halvex.grid(*points, **kwargs), minc_results[name])


def test_every_call_starts_afresh(minc_results):
    """Earlier calls in the process change nothing: the relaxation state is reset."""
    rng = np.random.default_rng(21)
    for _ in range(3):
        x = rng.uniform(0, 1000, 3000)
        y = rng.uniform(0, 1000, 3000)
        halvex.grid(x, y, rng.normal(size=3000), region=(0, 1000, 0, 1000), spacing=5.0)
        for name, points, kwargs, _ in CASES[:2]:
            assert_same_grid(halvex.grid(*points, **kwargs), minc_results[name])


def test_points_as_lists_and_float64(minc_results):
    x, y, z = CASES[0][1]
    got = halvex.grid(list(map(float, x)), y.astype(np.float64), z.reshape(-1, 1), **CASES[0][2])
    assert_same_grid(got, minc_results["plain"])


def test_nan_values_are_not_gridded(minc_results, tmp_path):
    x, y, z = scattered(seed=13)
    z2 = z.copy()
    z2[::4] = np.nan
    keep = ~np.isnan(z2)
    path = run_minc(tmp_path, "kept.grd", (x[keep], y[keep], z[keep]), "-R", "0,50,0,30", "-I", "1")
    assert_same_grid(halvex.grid(x, y, z2, region=(0, 50, 0, 30), spacing=1.0), path)


def test_no_log_and_no_scratch_left_in_the_callers_folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    halvex.grid(*scattered(), region=(0, 50, 0, 30), spacing=2.0)
    assert os.listdir(tmp_path) == []
    assert os.getcwd() == str(tmp_path)


@pytest.mark.parametrize("kwargs, message", [
    (dict(region=(0, 50, 0, 30)), "spacing"),
    (dict(region=(50, 0, 0, 30), spacing=1), "xmin < xmax"),
    (dict(region=(0, 50, 0), spacing=1), "region"),
    (dict(region=(0, 50, 0, 30), origin=(0, 0), size=(5, 5), spacing=1), "not both"),
    (dict(origin=(0, 0), spacing=1), "origin and size"),
    (dict(origin=(0, 0), size=(0, 5), spacing=1), "at least"),
    (dict(region=(0, 50, 0, 30), spacing=-1), "positive"),
    (dict(region=(0, 50, 0, 30), spacing=(1, 2, 3)), "one number or two"),
    (dict(region=(0, 50, 0, float("inf")), spacing=1), "finite"),
    (dict(region=(0, 50, 0, 30), spacing=1, mode=4), "mode"),
    (dict(region=(0, 50, 0, 30), spacing=1, iterations=10), "32"),
    (dict(region=(0, 50, 0, 30), spacing=1, radius=float("nan")), "finite"),
])
def test_bad_arguments(kwargs, message):
    with pytest.raises(ValueError, match=message):
        halvex.grid(*scattered(), **kwargs)


def test_bad_points():
    x, y, z = scattered()
    cases = [((x, y[:-1], z), "differ in length"), (([], [], []), "no points"),
             ((np.where(x > 10, x, np.nan), y, z), "finite"), ((x, y, np.full_like(z, np.inf)), "finite")]
    for args, message in cases:
        with pytest.raises(ValueError, match=message):
            halvex.grid(*args, region=(0, 50, 0, 30), spacing=1.0)


def test_library_failure_is_an_exception_with_its_code(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    x, y, z = scattered()
    cases = [
        ((x, y, np.full_like(z, np.nan)), dict(region=(0, 50, 0, 30), spacing=1.0), -1002),
        ((x, y, z), dict(region=(0, 5000, 0, 30), spacing=0.001), None),  # too wide a row
    ]
    for points, kwargs, code in cases:
        with pytest.raises(halvex.MincError) as e:
            halvex.grid(*points, **kwargs)
        assert e.value.code < 0 and str(e.value.code) in str(e.value)
        if code is not None:
            assert e.value.code == code and "no data point" in str(e.value)
    assert os.listdir(tmp_path) == []


def test_library_search(monkeypatch, tmp_path):
    built = os.environ.get(gridding.ENV_LIBRARY) or gridding.find_library()
    monkeypatch.setenv(gridding.ENV_LIBRARY, built)
    assert gridding.find_library() == built
    monkeypatch.setenv(gridding.ENV_LIBRARY, str(tmp_path / "nowhere.so"))
    with pytest.raises(OSError, match="no such file"):
        gridding.find_library()
    other = ctypes.util.find_library("m")  # a library without the minc entries
    if other:
        libm = [p for p in ("/lib/x86_64-linux-gnu/" + other, "/usr/lib/x86_64-linux-gnu/" + other) if os.path.exists(p)]
        if libm:
            monkeypatch.setenv(gridding.ENV_LIBRARY, libm[0])
            with pytest.raises(OSError, match="not the halvex minc library"):
                gridding.find_library()
    # Without the variable the search still finds a library (installed or built).
    monkeypatch.delenv(gridding.ENV_LIBRARY)
    assert gridding.find_library()


def test_grid_frame_counts_nodes_as_the_command_does():
    # nx = round((xmax - xmin) / dx) + 1 in 32-bit reals, halves away from zero.
    cases = [((0, 10, 0, 5), 1.0, (11, 6)), ((0, 10, 0, 5), 4.0, (4, 2)),  # 2.5 -> 3, 1.25 -> 1
             ((0, 0.3, 0, 0.3), 0.1, (4, 4)), ((-5, 5, 100, 101), 0.25, (41, 5))]
    for region, spacing, counts in cases:
        assert gridding.grid_frame(region, spacing)[4:] == counts, (region, spacing)
