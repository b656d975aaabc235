"""The stations files of a real run against the model file, and sections drawn with them."""
import json
import math
import os

import numpy as np
import pytest

import halvex
from halvex.cli import main
from halvex.section import orientation, run_color_ranges
from halvex.stations import Stations, load_stations

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def model_records():
    """{line: rows of (fiducial, east, north, elevation, doi)} read from the example model."""
    out = {}
    with open(os.path.join(SOURCE, "examples", "survey.mod")) as f:
        for text in f:
            if text.startswith("/"):
                continue
            v = [float(t.replace("D", "E")) for t in text.split()[:8]]
            out.setdefault(str(int(v[0])), []).append((v[1], v[2], v[3], v[4], v[7]))
    return {k: np.array(r) for k, r in out.items()}


def test_stations_file_against_the_model(example_run):
    records = model_records()
    assert sorted(records) == ["1001", "1011", "1021", "1031"]
    for line, rec in records.items():
        s = load_stations(os.path.join(example_run, "line_%s_stations.csv" % line))
        for got, want in zip((s.fiducial, s.east, s.north, s.ground, s.doi), rec.T):
            assert np.array_equal(got, want), line
        # Distance from the first record; a line run west (1011, 1031) is re-based onto its
        # last station, as the grid's x is.
        d = np.hypot(rec[:, 1] - rec[0, 1], rec[:, 2] - rec[0, 2])
        assert np.array_equal(s.station, np.round(d - d[-1] if line in ("1011", "1031") else d, 2)), line
        xs = halvex.load_grid(os.path.join(example_run, "%s_con.grd" % line)).station.values
        assert xs[0] <= s.station.min() and s.station.max() <= xs[-1] + 1e-3


def line_of(azimuth, n=5):
    """Stations of a straight line of n stations 10 m apart heading `azimuth` degrees."""
    a = math.radians(azimuth)
    d = np.arange(n) * 10.0
    return Stations("7", d + 100, d, 1000 + d * math.sin(a), 5000 + d * math.cos(a), np.full(n, 50.0),
                    np.full(n, 20.0))


@pytest.mark.parametrize("azimuth, orient, sign, drawn", [
    (80, "west", 1, 80), (260, "west", -1, 80), (100, "west", 1, 100), (0, "west", 1, 0),
    (180, "west", -1, 0), (80, "270", -1, 260), (10, 0, 1, 10), (200, 0, -1, 20), (350, "west", -1, 170),
])
def test_orientation(azimuth, orient, sign, drawn):
    s = line_of(azimuth)
    got_sign, left, heading = orientation(s.station, s, orient)
    assert got_sign == sign and heading == pytest.approx(drawn)
    assert left == (0.0 if sign > 0 else 40.0)


def test_section_ground_doi_and_west_on_the_left(example_run):
    line = "1011"  # run from east to west
    g = halvex.load_grid(os.path.join(example_run, "%s_logres.grd" % line))
    s = load_stations(os.path.join(example_run, "line_%s_stations.csv" % line))
    fig = halvex.plot_section(g, stations=s, location={line: s})
    ax = fig.axes[0]
    lines = {ln.get_label(): ln for ln in ax.get_lines()}
    ground, doi = lines["ground"], lines["depth of investigation"]
    # Drawn from the west end: distance 0 at the westernmost station, the east end at the
    # line's length; at the stations' own ground and DOI.
    order = np.argsort(-s.station)
    assert np.array_equal(ground.get_xdata(), -s.station[order])
    assert np.array_equal(ground.get_ydata(), s.ground[order])
    assert np.array_equal(doi.get_ydata(), (s.ground - s.doi)[order])
    assert s.east[order][0] == s.east.min()
    assert sorted(t.get_text().strip() for t in ax.texts) == ["E", "W"]
    assert "azimuth 80\N{DEGREE SIGN}" in ax.get_title()
    # The nodes shown lie between the ground and the DOI, the faded ones below the DOI,
    # each bounded by the neighbouring stations' values.
    shown, dimmed = (im.get_array() for im in ax.get_images())
    ys, xs, by = g.elevation.values, g.station.values, np.argsort(s.station)
    k = np.clip(np.searchsorted(s.station[by], xs), 1, len(s) - 1)
    gr, de = s.ground[by], (s.ground - s.doi)[by]
    rows, cols = np.nonzero(~np.ma.getmaskarray(shown))
    assert np.all(ys[rows] <= np.maximum(gr[k - 1], gr[k])[cols])
    assert np.all(ys[rows] >= np.minimum(de[k - 1], de[k])[cols])
    rows, cols = np.nonzero(~np.ma.getmaskarray(dimmed))
    assert rows.size and np.all(ys[rows] < np.maximum(de[k - 1], de[k])[cols])
    # The grid's first column (the east end) is drawn on the right.
    left, right = ax.get_images()[0].get_extent()[:2]
    assert left > right and left == pytest.approx(-xs[0] + g.attrs["dx"] / 2)


def test_one_colour_range_for_a_run(example_run, tmp_path, capsys):
    assert main(["sections", str(example_run), "-o", str(tmp_path), "--width", "6", "--dpi", "40"]) == 0
    printed = capsys.readouterr().out
    grids = [halvex.load_grid(os.path.join(example_run, "%s_con.grd" % n)) for n in (1001, 1011, 1021, 1031)]
    lo = min(float(np.nanmin(g.values)) for g in grids)
    hi = max(float(np.nanmax(g.values)) for g in grids)
    assert "colour range con: %.6g to %.6g" % (lo, hi) in printed
    lo2, hi2 = run_color_ranges(grids, clip=5)["con"]
    assert lo < lo2 < hi2 < hi


def test_exports_know_where_they_are(example_run, tmp_path, capsys):
    from osgeo import gdal
    import netCDF4

    s = load_stations(os.path.join(example_run, "line_1011_stations.csv"))
    grd = os.path.join(example_run, "1011_con.grd")
    assert main(["convert", grd, str(tmp_path / "a.nc")]) == 0
    assert main(["convert", grd, str(tmp_path / "a.tif")]) == 0
    want = {"line": "1011", "first_station_east": s.first[0], "last_station_north": s.last[1],
            "model_file": "survey.mod", "halvex_version": halvex.__version__, "cell_dy_m": 5.0}
    with netCDF4.Dataset(tmp_path / "a.nc") as d:
        assert {k: d.getncattr(k) for k in want} == want
        assert float(d.getncattr("azimuth_deg")) == pytest.approx(260.0, abs=1e-3)
        assert "survey.mod" in d.source and halvex.__version__ in d.history
        assert d["elevation"].positive == "up"
    tags = gdal.Open(str(tmp_path / "a.tif")).GetMetadata()
    assert {k: tags[k] for k in want} == {k: str(v) for k, v in want.items()}
    # A CRS is for map grids; the placeholder statistics of the header are not shown as numbers.
    assert main(["convert", grd, str(tmp_path / "b.tif"), "--crs", "EPSG:32755"]) == 1
    assert "--crs is for map grids" in capsys.readouterr().err
    assert main(["info", grd, "--json"]) == 0
    info = json.loads(capsys.readouterr().out)
    assert info["mean"] is None and info["valid_nodes"] is None and info["zmax"] > 0
