"""Curtains read back with VTK's own reader, and depth slices of a real run."""
import json
import os

import numpy as np
import pytest

import halvex
from halvex.cli import main
from halvex.slice_maps import parse_intervals, slices
from halvex.stations import load_stations, run_stations


def test_curtains_read_back_with_vtk(example_run, tmp_path):
    pytest.importorskip("vtkmodules")
    from halvex.curtain_grids import read_curtain

    assert main(["curtains", str(example_run), "-o", str(tmp_path), "--crs", "EPSG:32755", "-q"]) == 0
    for line, s in run_stations(example_run).items():
        points, arrays = read_curtain(tmp_path / ("%s_curtain.vts" % line))
        assert sorted(arrays) == ["con", "logcon", "logres", "res"]
        for q, values in arrays.items():
            g = halvex.load_grid(os.path.join(example_run, "%s_%s.grd" % (line, q)))
            assert values.dtype == np.float32 and np.array_equal(values.view(np.uint32), g.values.view(np.uint32))
        # Columns stand on the flight path from the first station to the last; rows at
        # the grid's elevations.
        assert points[0, 0, :2] == pytest.approx(s.first, abs=1e-3)
        assert points[0, -1, :2] == pytest.approx(s.last, abs=1e-3)
        assert np.array_equal(points[:, 0, 2], g.elevation.values.astype(np.float64))
    fc = json.loads((tmp_path / "flight_lines.geojson").read_text())
    assert fc["crs"]["properties"]["name"] == "urn:ogc:def:crs:EPSG::32755"
    props = {f["properties"]["line"]: f["properties"] for f in fc["features"]}
    assert sorted(props) == ["1001", "1011", "1021", "1031"]
    assert props["1011"]["azimuth_deg"] == pytest.approx(260.0, abs=0.01)
    assert props["1001"]["length_m"] == pytest.approx(1473.32, abs=0.01)


@pytest.mark.parametrize("text, kind, want", [
    ("0-10,10-25", "depth", [(0, 10), (10, 25)]),
    ("0:30:10", "depth", [(0, 10), (10, 20), (20, 30)]),
    ("100:-100:-50", "elevation", [(100, 50), (50, 0), (0, -50), (-50, -100)]),
    ("-10--20", "elevation", [(-10, -20)]),
    ("10-0", "depth", None), ("0-10", "elevation", None), ("0:30:-10", "depth", None), ("5-5", "depth", None),
    ("a-b", "depth", None),
])
def test_parse_intervals(text, kind, want):
    if want is None:
        with pytest.raises(ValueError):
            parse_intervals(text, kind)
    else:
        assert parse_intervals(text, kind) == want


def test_depth_slice(example_run, tmp_path):
    spacing, radius, (top, bottom) = 5.0, 40.0, (20.0, 40.0)
    (interval, g, paths), = slices(example_run, depths=[(top, bottom)], spacing=spacing, radius=radius,
                                   crs="EPSG:32755", out_dir=tmp_path)
    # At every station of a line the slice lies within the range of the station's own
    # conductivities in the interval (the cells the interval reaches).
    line = "1011"
    s = load_stations(os.path.join(example_run, "line_%s_stations.csv" % line))
    t = np.loadtxt(os.path.join(example_run, "line_%s.xyz" % line), skiprows=1)
    checked = 0
    for k in range(len(s)):
        at = (np.abs(t[:, 2] - s.east[k]) < 0.006) & (np.abs(t[:, 3] - s.north[k]) < 0.006)
        z, con = t[at, 1], t[at, 4]
        inside = (z + 2.5 > s.ground[k] - bottom) & (z - 2.5 < s.ground[k] - top)
        if inside.sum() < 4:
            continue
        v = float(g.interp(x=s.east[k], y=s.north[k]))
        assert con[inside].min() <= v <= con[inside].max(), k
        checked += 1
    assert checked > 50
    # Nodes beyond the blanking distance from every station are blank (the blanking measures
    # from the cells that hold data, in whole cells: a node up to three cells beyond the
    # radius may keep its value).
    e = np.concatenate([st.east for st in run_stations(example_run).values()])
    n = np.concatenate([st.north for st in run_stations(example_run).values()])
    gx, gy = np.meshgrid(g.x.values, g.y.values)
    far = np.min(np.hypot(gx.ravel()[:, None] - e, gy.ravel()[:, None] - n), axis=1).reshape(gx.shape)
    assert np.all(np.isnan(g.values[far > radius + 3 * spacing])) and np.isnan(g.values).any()
    assert not np.isnan(g.values[far < spacing]).any()
    # The GRD grid reads back with the same values; the GeoTIFF has its CRS and the
    # geotransform of the node grid.
    assert [os.path.basename(p) for p in paths] == ["con_depth_20_40." + e for e in ("grd", "tif", "png")]
    back = halvex.load_grid(paths[0])
    assert np.array_equal(back.values, g.values, equal_nan=True) and np.array_equal(back.x.values, g.x.values)
    from osgeo import gdal

    ds = gdal.Open(paths[1])
    assert ds.GetSpatialRef().GetAuthorityCode(None) == "32755"
    assert ds.GetGeoTransform() == pytest.approx((g.x.values[0] - 2.5, 5.0, 0.0, g.y.values[-1] + 2.5, 0.0, -5.0))
    assert open(paths[2], "rb").read(4) == b"\x89PNG"
