"""halvex.grid against the minc command's grid files, bit for bit."""
import os

import numpy as np
import pytest

import halvex
from halvex import gridding
from conftest import run_minc, scattered


def assert_same_grid(got, path, origin=(0.0, 0.0)):
    """`got` holds the values of the grid file at `path`, whose first node is `origin` less."""
    want = halvex.load_grid(path)
    for k in ("columns", "rows", "dx", "dy", "zmin", "zmax", "orientation"):
        assert got.attrs[k] == want.attrs[k], k
    assert (got.attrs["x0"], got.attrs["y0"]) == (want.attrs["x0"] + origin[0], want.attrs["y0"] + origin[1])
    np.testing.assert_array_equal(got.values.view(np.uint32), want.values.view(np.uint32))


def positive(points):
    x, y, z = points
    return x, y, np.exp(z / 20.0).astype(np.float32)


# (name, points, grid() arguments, the same grid as minc command options). grid() takes
# the points relative to the first node: the command is given them so, with origin 0.
CASES = [
    ("plain", scattered(), dict(region=(0, 50, 0, 30), spacing=1.0), ["-R", "0,50,0,30", "-I", "1"]),
    ("radius, two spacings", scattered(seed=11), dict(region=(0, 50, 0, 30), spacing=(2.0, 0.75), radius=3.0),
     ["-R", "0,50,0,30", "-I", "2,0.75", "-S", "3"]),
    ("origin and size", scattered(seed=5), dict(origin=(-3.5, 2.25), size=(40, 17), spacing=1.5, radius=6.0),
     ["--origin", "0,0", "--size", "40,17", "-I", "1.5", "-S", "6"]),
    ("logarithms", positive(scattered(seed=2)), dict(region=(0, 50, 0, 30), spacing=1.25, mode=2),
     ["-R", "0,50,0,30", "-I", "1.25", "--mode", "2"]),
    ("rotated, sweep limit", scattered(seed=4), dict(region=(0, 50, 0, 30), spacing=1.0, angle=25.0, iterations=40),
     ["-R", "0,50,0,30", "-I", "1", "--angle", "25", "-N", "40"]),
    ("many blocks", scattered(n=900, seed=6, xmax=600.0, ymax=500.0),
     dict(region=(0, 600, 0, 500), spacing=1.0, radius=40.0), ["-R", "0,600,0,500", "-I", "1", "-S", "40"]),
]


@pytest.fixture(scope="module")
def minc_results(tmp_path_factory):
    work = tmp_path_factory.mktemp("minc_cmd")
    return {name: run_minc(work, "g%d.grd" % k, shifted(pts, kw), *opts)
            for k, (name, pts, kw, opts) in enumerate(CASES)}


def shifted(points, kwargs):
    x0, y0 = kwargs.get("origin", (0.0, 0.0))
    return (points[0] - x0).astype(np.float32), (points[1] - y0).astype(np.float32), points[2]


@pytest.mark.parametrize("name, points, kwargs, options", CASES, ids=[c[0] for c in CASES])
def test_grid_equals_the_minc_command(minc_results, name, points, kwargs, options):
    assert_same_grid(halvex.grid(*points, **kwargs), minc_results[name], kwargs.get("origin", (0.0, 0.0)))


def test_every_call_starts_afresh(minc_results, tmp_path, monkeypatch):
    """Earlier calls in the process change nothing (the relaxation state is reset), and a
    call leaves nothing in the current folder."""
    monkeypatch.chdir(tmp_path)
    rng = np.random.default_rng(21)
    for _ in range(3):
        halvex.grid(rng.uniform(0, 1000, 3000), rng.uniform(0, 1000, 3000), rng.normal(size=3000),
                    region=(0, 1000, 0, 1000), spacing=5.0)
        for name, points, kwargs, _ in CASES[:2]:
            assert_same_grid(halvex.grid(*points, **kwargs), minc_results[name])
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("kwargs, message", [
    (dict(region=(0, 50, 0, 30)), "spacing"),
    (dict(region=(50, 0, 0, 30), spacing=1), "xmin < xmax"),
    (dict(region=(0, 50, 0, 30), origin=(0, 0), size=(5, 5), spacing=1), "not both"),
    (dict(origin=(0, 0), size=(0, 5), spacing=1), "size must hold whole numbers from 1"),
    (dict(origin=(0, 0), size=(2 ** 32 + 5, 5), spacing=1), "size must hold"),
    (dict(origin=(0, 0), size=(5.5, 5), spacing=1), "size must hold"),
    (dict(region=(0, 2 ** 32, 0, 5), spacing=1), "4.29497e.09 columns, more than"),
    (dict(region=(0, 1, 0, 1), spacing=1e-45), "region and spacing give 1e.45 columns"),
    (dict(region=(0, 1, 0, 1), spacing=1e-46), "spacing must be positive"),
    (dict(region=(0, 1, 0, 1), spacing=(1, 1e39)), "spacing must be positive"),
    (dict(region=(0, 50, 0, 30), spacing=1, iterations=2 ** 32 + 40), "iterations must hold"),
    (dict(region=(0, 50, 0, 30), spacing=1, radius=1e39), "radius"),
    (dict(origin=(1e300, 0), size=(5, 5), spacing=1), "too far from the grid"),
    (dict(region=(0, 1, 0, 1), spacing=0.3), r"\(0, 0.9, 0, 0.9\) and \(0, 1.2, 0, 1.2\)"),
    (dict(region=(0, 1, 0, 1), spacing=(0.5, 0.4)), r"\(0, 1, 0, 0.8\) and \(0, 1, 0, 1.2\)"),
    (dict(region=(0, 50, 0, float("inf")), spacing=1), "finite"),
    (dict(region=(0, 50, 0, 30), spacing=1, mode=4), "mode"),
    (dict(region=(0, 50, 0, 30), spacing=1, z=[1.0]), "differ in length"),
])
def test_bad_arguments(kwargs, message):
    x, y, z = scattered()
    z = kwargs.pop("z", z)
    with pytest.raises(ValueError, match=message):
        halvex.grid(x, y, z, **kwargs)


def test_library_failure_and_search(monkeypatch, tmp_path):
    x, y, z = scattered()
    with pytest.raises(halvex.MincError, match="no data point") as e:
        halvex.grid(x, y, np.full_like(z, np.nan), region=(0, 50, 0, 30), spacing=1.0)
    assert e.value.code == -1002
    monkeypatch.setenv(gridding.ENV_LIBRARY, str(tmp_path / "nowhere.so"))
    with pytest.raises(OSError, match="no such file"):
        gridding.find_library()
    monkeypatch.delenv(gridding.ENV_LIBRARY)
    assert os.path.basename(gridding.find_library()).startswith("libminc")


def test_node_counts_and_adjusted_regions():
    # A whole number of spacings within a millionth; adjusted to the nearest, halves upward.
    for region, d, adjust, counts in [((0, 0.3, 0, 0.3), 0.1, False, (4, 4)), ((0, 10, 0, 5), 4.0, True, (4, 2)),
                                      ((0, 1, 0, 1), 0.3, True, (4, 4)), ((0, 1, 0, 0.1), 0.4, True, (4, 2))]:
        assert gridding.grid_frame(region, d, adjust_region=adjust)[4:] == counts, region


def test_calls_from_several_threads_give_the_single_call_grids(minc_results, tmp_path, monkeypatch):
    """The library call keeps no shared state and writes nothing but its grid: calls in
    several threads at once grid as calls one after the other, and the current folder
    stays empty (no minc.log)."""
    from concurrent.futures import ThreadPoolExecutor

    monkeypatch.chdir(tmp_path)
    jobs = [CASES[k % 2] for k in range(6)]
    with ThreadPoolExecutor(max_workers=3) as pool:
        grids = list(pool.map(lambda c: halvex.grid(*c[1], **c[2]), jobs))
    for (name, _, _, _), g in zip(jobs, grids):
        assert_same_grid(g, minc_results[name])
    assert os.listdir(tmp_path) == []


def test_map_coordinates_grid_as_the_same_points_near_zero():
    x, y, z = scattered(seed=9)
    east, north = 306625.0, 6706058.0  # a UTM place: float32 keeps only 0.03 / 0.5 there
    near = halvex.grid(x, y, z, region=(0, 50, 0, 30), spacing=0.5, radius=4.0)
    far = halvex.grid(x.astype(np.float64) + east, y.astype(np.float64) + north, z,
                      region=(east, east + 50, north, north + 30), spacing=0.5, radius=4.0)
    np.testing.assert_array_equal(far.values.view(np.uint32), near.values.view(np.uint32))
    assert far["x"].values[1] == east + 0.5 and far["y"].values[-1] == north + 30
    assert list(halvex.grid(x, y, z, region=(0, 49.8, 0, 30), spacing=0.3)["x"].values[:4]) == [0, 0.3, 0.6, 0.9]


def test_table_forms_and_a_value_of_minus_99999():
    import xarray as xr

    x, y, z = scattered(seed=12)
    want = halvex.grid(x, y, z, region=(0, 50, 0, 30), spacing=1.0)
    for data in (np.column_stack([x, y, z]), xr.Dataset({"e": ("k", x), "n": ("k", y), "v": ("k", z)})):
        assert want.identical(halvex.grid(data=data, region=(0, 50, 0, 30), spacing=1.0))
    # -99999 is a value like any other: the grid reaches down to it beside the point.
    z[0] = -99999.0
    low = halvex.grid(x, y, z, region=(0, 50, 0, 30), spacing=1.0)
    assert np.nanmin(low.values) < -50000.0 and np.isfinite(low.values).all()


def test_relaxation_results_are_the_logged_ones(tmp_path, capsys):
    """The sweeps of every block as the minc command's log has them, the limit and
    whether a block stopped at it."""
    name, points, kwargs, options = CASES[5]
    run_minc(tmp_path, "g.grd", points, *options, "-N", "40")
    log = (tmp_path / "minc.log").read_text().splitlines()
    logged = [int(float(log[k + 1].split()[4])) for k, line in enumerate(log) if "#iterations" in line]
    g = halvex.grid(*points, **kwargs, iterations=40, verbose=True)
    assert list(g.attrs["iterations"]) == logged and len(logged) > 1
    assert g.attrs["iteration_limit"] == 40 and g.attrs["iteration_limit_hit"] == (max(logged) == 40)
    assert 0 < g.attrs["largest_change"] == max(g.attrs["block_largest_change"])
    out = capsys.readouterr().out.splitlines()
    assert len(out) == len(logged) + 1 and out[-1].startswith("relaxation: %d blocks" % len(logged))


@pytest.mark.parametrize("answer, raises", [(None, None), (False, gridding.MincError), (ZeroDivisionError, ZeroDivisionError)])
def test_progress_is_told_every_tier_and_can_stop_the_call(answer, raises):
    """Shares grow to 1 on a call of several tiers; False or an exception stops it at the first."""
    name, points, kwargs, options = CASES[5]
    shares = []

    def progress(share):
        shares.append(share)
        if isinstance(answer, type):
            raise answer()
        return answer

    if raises is None:
        assert halvex.grid(*points, **kwargs, progress=progress).identical(halvex.grid(*points, **kwargs))
        assert len(shares) > 1 and shares == sorted(shares) and shares[-1] == 1.0
    else:
        with pytest.raises(raises) as e:
            halvex.grid(*points, **kwargs, progress=progress)
        assert len(shares) == 1 and getattr(e.value, "code", -1042) == -1042
