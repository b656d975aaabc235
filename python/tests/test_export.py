"""netCDF and GeoTIFF round trips, read back by GMT and GDAL's own programs."""
import json
import os
import struct
import subprocess

import numpy as np
import pytest
import xarray as xr

import halvex
from conftest import DUMMY_BYTES, run_minc, scattered


@pytest.fixture(scope="module")
def grids(tmp_path_factory, example_run):
    """Grids written by the C++ writer: a halvex section (dummies above and below), and
    minc grids with rows upward and reversed."""
    work = tmp_path_factory.mktemp("export")
    pts = scattered(seed=3)
    opts = ["-R", "0,50,0,30", "-I", "2.5,1.5", "-S", "4"]
    return {
        "section": os.path.join(example_run, "1011_con.grd"),
        "up": run_minc(work, "up.grd", pts, *opts),
        "down": run_minc(work, "down.grd", pts, *opts, "--reverse-rows"),
    }


def grid_words(path):
    """Node values of a grid file as 32-bit words, rows from the top (largest y) down,
    and the header numbers needed to place them."""
    data = open(path, "rb").read()
    ne, nv, kx = struct.unpack_from("<iii", data, 8)
    dx, dy, x0, y0 = struct.unpack_from("<dddd", data, 20)
    words = np.frombuffer(data, dtype="<u4", count=ne * nv, offset=512).reshape(nv, ne)
    top_down = words[::-1] if kx == 1 else words
    return top_down, dict(ne=ne, nv=nv, dx=dx, dy=dy, x0=x0, y0=y0)


DUMMY_WORD = np.frombuffer(DUMMY_BYTES, dtype="<u4")[0]
NAN_CHECK = np.uint32(0x7F800000)


def is_nan_word(w):
    return ((w & NAN_CHECK) == NAN_CHECK) & ((w & np.uint32(0x007FFFFF)) != 0)


@pytest.mark.parametrize("which", ["section", "up", "down"])
def test_netcdf_read_by_gmt(grids, tmp_path, which):
    src = grids[which]
    words, h = grid_words(src)
    nc = str(tmp_path / "g.nc")
    halvex.save_netcdf(halvex.load_grid(src), nc)
    # Frame and registration as GMT sees them: w e s n dx dy, gridline registration.
    info = subprocess.run(["gmt", "grdinfo", "-C", nc], check=True, capture_output=True, text=True).stdout.split()
    w, e, s, n = (float(t) for t in info[1:5])
    inc_x, inc_y, ncol, nrow, reg = float(info[7]), float(info[8]), int(info[9]), int(info[10]), int(info[11])
    assert (ncol, nrow, reg) == (h["ne"], h["nv"], 0)
    # GMT derives the bounds from the node coordinates and snaps a bound within a tiny
    # fraction of a spacing of a round number (a re-based line ends at 0 up to rounding).
    tol = 1e-5 * max(h["dx"], h["dy"])
    assert (w, s) == pytest.approx((h["x0"], h["y0"]), abs=tol)
    assert e == pytest.approx(h["x0"] + (h["ne"] - 1) * h["dx"], abs=tol)
    assert n == pytest.approx(h["y0"] + (h["nv"] - 1) * h["dy"], abs=tol)
    assert (inc_x, inc_y) == pytest.approx((h["dx"], h["dy"]), rel=1e-9)
    # Values as raw 32-bit reals, rows from the top: identical words, NaN for dummies.
    raw = subprocess.run(["gmt", "grd2xyz", nc, "-ZTLf"], check=True, capture_output=True).stdout
    got = np.frombuffer(raw, dtype="<u4").reshape(words.shape)
    dummy = words == DUMMY_WORD
    assert dummy.any()
    np.testing.assert_array_equal(got[~dummy], words[~dummy])
    assert is_nan_word(got[dummy]).all()


def test_netcdf_read_by_xarray_and_gdal(grids, tmp_path):
    src = grids["section"]
    g = halvex.load_grid(src)
    nc = str(tmp_path / "s.nc")
    halvex.save_netcdf(g, nc)
    with xr.open_dataset(nc) as ds:
        v = ds["conductivity"]
        assert v.dims == ("elevation", "station") and v.dtype == np.float32
        assert v.attrs["units"] == "mS/m" and ds.attrs["Conventions"].startswith("CF")
        np.testing.assert_array_equal(v.values, g.values)
        np.testing.assert_array_equal(ds["station"].values, g["station"].values)
        assert ds["station"].attrs["axis"] == "X" and ds["elevation"].attrs["axis"] == "Y"
    with xr.open_dataset(nc, mask_and_scale=False) as ds:
        assert ds["conductivity"].attrs["_FillValue"] == np.float32(-1e32)
    # GDAL, as QGIS opens it: pixel centres on the nodes, the top row first.
    info = json.loads(subprocess.run(["gdalinfo", "-json", nc], check=True, capture_output=True,
                                     text=True).stdout)
    assert info["size"] == [g.shape[1], g.shape[0]]
    assert info["geoTransform"] == pytest.approx(list(halvex.geotransform(g)), rel=1e-9, abs=1e-9)


def gdal_read(path, tmp_path):
    """(geotransform, nodata, words rows top first, metadata) of a raster file, through
    gdalinfo and a raw copy by gdal_translate."""
    info = json.loads(subprocess.run(["gdalinfo", "-json", "-mdd", "all", path], check=True,
                                     capture_output=True, text=True).stdout)
    raw = str(tmp_path / "raw.bin")
    subprocess.run(["gdal_translate", "-q", "-of", "EHdr", path, raw], check=True)
    ny, nx = info["size"][1], info["size"][0]
    words = np.fromfile(raw, dtype="<u4").reshape(ny, nx)
    band = info["bands"][0]
    return info["geoTransform"], band.get("noDataValue"), words, info


@pytest.mark.parametrize("engine", ["rasterio", "gdal"])
@pytest.mark.parametrize("which", ["section", "up", "down"])
def test_geotiff_read_by_gdal(grids, tmp_path, engine, which):
    src = grids[which]
    words, h = grid_words(src)
    g = halvex.load_grid(src)
    tif = str(tmp_path / "g.tif")
    halvex.save_geotiff(g, tif, engine=engine)
    gt, nodata, got, info = gdal_read(tif, tmp_path)
    # Every word as in the grid file, dummies included (they are the nodata value).
    np.testing.assert_array_equal(got, words)
    assert np.float32(nodata) == np.float32(-1e32)
    # Pixel (col, row) is centred on node (col, nv - 1 - row).
    nv, ne = h["nv"], h["ne"]
    for col, row in [(0, 0), (ne - 1, 0), (0, nv - 1), (ne // 2, nv // 3)]:
        cx = gt[0] + (col + 0.5) * gt[1] + (row + 0.5) * gt[2]
        cy = gt[3] + (col + 0.5) * gt[4] + (row + 0.5) * gt[5]
        assert cx == pytest.approx(h["x0"] + col * h["dx"], abs=1e-9)
        assert cy == pytest.approx(h["y0"] + (nv - 1 - row) * h["dy"], abs=1e-9)
    assert info["metadata"][""]["AREA_OR_POINT"] == "Point"
    assert info["bands"][0]["type"] == "Float32"


def test_rotated_geotiff_places_every_node(grids, tmp_path):
    data = bytearray(open(grids["up"], "rb").read())
    struct.pack_into("<ddd", data, 36, 500.0, 80.0, -25.0)  # x0, y0, angle
    src = tmp_path / "rot.grd"
    src.write_bytes(bytes(data))
    g = halvex.load_grid(src)
    tif = str(tmp_path / "rot.tif")
    halvex.save_geotiff(g, tif)
    gt, _, got, _ = gdal_read(tif, tmp_path)
    nv, ne = g.shape
    xs, ys = g["x"].values, g["y"].values
    cols, rows = np.meshgrid(np.arange(ne) + 0.5, np.arange(nv) + 0.5)
    cx = gt[0] + cols * gt[1] + rows * gt[2]
    cy = gt[3] + cols * gt[4] + rows * gt[5]
    np.testing.assert_allclose(cx, xs[::-1], atol=1e-9)
    np.testing.assert_allclose(cy, ys[::-1], atol=1e-9)
    assert got.shape == (nv, ne)


def test_rotated_netcdf_has_node_coordinates(grids, tmp_path):
    data = bytearray(open(grids["up"], "rb").read())
    struct.pack_into("<d", data, 52, 40.0)
    src = tmp_path / "rot.grd"
    src.write_bytes(bytes(data))
    g = halvex.load_grid(src)
    nc = str(tmp_path / "rot.nc")
    halvex.save_netcdf(g, nc)
    with xr.open_dataset(nc) as ds:
        np.testing.assert_array_equal(ds["z"].values, g.values)
        np.testing.assert_array_equal(ds["x"].values, g["x"].values)
        assert ds["x"].dims == ("row", "column")


def test_failed_write_leaves_no_file(grids, tmp_path):
    g = halvex.load_grid(grids["up"])
    target = tmp_path / "out.tif"
    target.write_bytes(b"earlier")
    with pytest.raises(ValueError):
        halvex.save_geotiff(g, target, engine="nonsense")
    g3 = g.expand_dims("band")
    with pytest.raises(ValueError):
        halvex.save_geotiff(g3, target)
    assert target.read_bytes() == b"earlier"
    assert sorted(os.listdir(tmp_path)) == ["out.tif"]


def test_plain_dataarray_is_written_from_its_coordinates(tmp_path):
    """An array not read from a grid file: its frame comes from its 1-D coordinates."""
    v = np.arange(12, dtype=np.float32).reshape(3, 4)
    v[1, 2] = np.nan
    da = xr.DataArray(v, dims=("y", "x"), coords={"x": [10.0, 12.0, 14.0, 16.0], "y": [0.0, 5.0, 10.0]})
    assert halvex.geotransform(da) == (9.0, 2.0, 0.0, 12.5, 0.0, -5.0)
    tif = str(tmp_path / "p.tif")
    halvex.save_geotiff(da, tif)
    _, _, got, _ = gdal_read(tif, tmp_path)
    want = v[::-1].copy()
    want[np.isnan(want)] = np.float32(-1e32)
    np.testing.assert_array_equal(got, want.view(np.uint32))
    bad = da.assign_coords(x=[10.0, 12.0, 15.0, 16.0])
    with pytest.raises(ValueError, match="evenly"):
        halvex.geotransform(bad)
