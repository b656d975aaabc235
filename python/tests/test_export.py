"""netCDF and GeoTIFF round trips, read back by GMT's and GDAL's own programs."""
import json
import os
import struct
import subprocess

import numpy as np
import pytest
import xarray as xr

import halvex
from conftest import DUMMY_BYTES, run_minc, scattered

DUMMY_WORD = np.frombuffer(DUMMY_BYTES, dtype="<u4")[0]


@pytest.fixture(scope="module")
def grids(tmp_path_factory, example_run):
    """A halvex section of a line re-based east to west, and a minc grid with reversed rows;
    both hold dummies. Also the minc grid with a rotated header."""
    work = tmp_path_factory.mktemp("export")
    down = run_minc(work, "down.grd", scattered(seed=3), "-R", "0,50,0,30", "-I", "2.5,1.5", "-S", "4",
                    "--reverse-rows")
    data = bytearray(open(down, "rb").read())
    struct.pack_into("<ddd", data, 36, 500.0, 80.0, -25.0)  # x0, y0, rotation
    rotated = os.path.join(work, "rotated.grd")
    open(rotated, "wb").write(bytes(data))
    return {"section": os.path.join(example_run, "1011_con.grd"), "down": down, "rotated": rotated}


def grid_words(path):
    """The node values as 32-bit words, rows from the top (largest y) down, and the frame."""
    data = open(path, "rb").read()
    ne, nv, kx = struct.unpack_from("<iii", data, 8)
    dx, dy, x0, y0 = struct.unpack_from("<dddd", data, 20)
    words = np.frombuffer(data, dtype="<u4", count=ne * nv, offset=512).reshape(nv, ne)
    return (words[::-1] if kx == 1 else words), (ne, nv, dx, dy, x0, y0)


@pytest.mark.parametrize("which", ["section", "down"])
def test_netcdf_read_by_gmt_xarray_and_gdal(grids, tmp_path, which):
    words, (ne, nv, dx, dy, x0, y0) = grid_words(grids[which])
    g = halvex.load_grid(grids[which])
    nc = str(tmp_path / "g.nc")
    halvex.save_netcdf(g, nc)
    info = subprocess.run(["gmt", "grdinfo", "-C", nc], check=True, capture_output=True, text=True).stdout.split()
    # GMT snaps a bound within a tiny fraction of a spacing to a round number (a re-based
    # line ends at station 0 up to rounding).
    frame = [x0, x0 + (ne - 1) * dx, y0, y0 + (nv - 1) * dy, dx, dy]
    assert [float(t) for t in info[1:5] + info[7:9]] == pytest.approx(frame, abs=1e-5 * dx)
    assert [int(t) for t in info[9:12]] == [ne, nv, 0]  # gridline registration
    raw = subprocess.run(["gmt", "grd2xyz", nc, "-ZTLf"], check=True, capture_output=True).stdout
    got = np.frombuffer(raw, dtype="<u4").reshape(words.shape)
    dummy = words == DUMMY_WORD
    assert dummy.any()
    np.testing.assert_array_equal(got[~dummy], words[~dummy])
    assert np.isnan(got[dummy].view(np.float32)).all()
    with xr.open_dataset(nc) as ds:
        np.testing.assert_array_equal(ds[g.name].values, g.values)
        assert ds[g.dims[1]].attrs["axis"] == "X" and ds.attrs["Conventions"].startswith("CF")
    info = json.loads(subprocess.run(["gdalinfo", "-json", nc], check=True, capture_output=True, text=True).stdout)
    assert info["geoTransform"] == pytest.approx(list(halvex.geotransform(g)), abs=1e-9)


@pytest.mark.parametrize("engine", ["rasterio", "gdal"])
@pytest.mark.parametrize("which", ["section", "down", "rotated"])
def test_geotiff_read_by_gdal(grids, tmp_path, engine, which):
    words, _ = grid_words(grids[which])
    g = halvex.load_grid(grids[which], coords="xy")
    tif, raw = str(tmp_path / "g.tif"), str(tmp_path / "raw.bin")
    halvex.save_geotiff(g, tif, engine=engine)
    info = json.loads(subprocess.run(["gdalinfo", "-json", tif], check=True, capture_output=True, text=True).stdout)
    subprocess.run(["gdal_translate", "-q", "-of", "EHdr", tif, raw], check=True)
    # Every word as in the grid file, the dummies included: they are the nodata value.
    np.testing.assert_array_equal(np.fromfile(raw, dtype="<u4").reshape(words.shape), words)
    assert np.float32(info["bands"][0]["noDataValue"]) == np.float32(-1e32)
    assert info["metadata"][""]["AREA_OR_POINT"] == "Point"
    # Pixel (col, row) is centred on node (col, nv - 1 - row).
    x, y = g["x"].values, g["y"].values
    if x.ndim == 1:
        x, y = np.meshgrid(x, y)
    gt = info["geoTransform"]
    cols, rows = np.meshgrid(np.arange(g.shape[1]) + 0.5, np.arange(g.shape[0]) + 0.5)
    np.testing.assert_allclose(gt[0] + cols * gt[1] + rows * gt[2], x[::-1], atol=1e-9)
    np.testing.assert_allclose(gt[3] + cols * gt[4] + rows * gt[5], y[::-1], atol=1e-9)


def test_failed_write_keeps_the_earlier_file(grids, tmp_path):
    target = tmp_path / "out.tif"
    target.write_bytes(b"earlier")
    with pytest.raises(ValueError):
        halvex.save_geotiff(halvex.load_grid(grids["down"]).expand_dims("band"), target)
    assert target.read_bytes() == b"earlier" and os.listdir(tmp_path) == ["out.tif"]
