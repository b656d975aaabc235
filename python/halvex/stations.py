"""The stations of a survey line, as halvex writes them beside its grids.

`line_LINE_stations.csv` holds one row per model record of the line, in model order:
fiducial, station distance (the section grid's x, m), east and north (map coordinates,
m), ground elevation (the top of the model column, m) and the depth of investigation
(m below the ground; empty where the model gives none). From it a section grid is placed
in the map: the position of a grid column is interpolated along the stations by station
distance.
"""
import glob
import math
import os
import re

import numpy as np

_STATIONS_NAME = re.compile(r"^line_(?P<line>.+)_stations\.csv$")
COLUMNS = ("fiducial", "station_m", "east_m", "north_m", "ground_elevation_m", "doi_m")


class Stations:
    """The stations of one line: 1-D float64 arrays `fiducial`, `station`, `east`,
    `north`, `ground` and `doi` (NaN where empty), in model order, and the line label."""

    def __init__(self, line, fiducial, station, east, north, ground, doi, source=None):
        self.line = line
        self.fiducial, self.station = fiducial, station
        self.east, self.north, self.ground, self.doi = east, north, ground, doi
        self.source = source

    def __len__(self):
        return len(self.station)

    @property
    def first(self):
        """(east, north) of the first record."""
        return float(self.east[0]), float(self.north[0])

    @property
    def last(self):
        return float(self.east[-1]), float(self.north[-1])

    @property
    def azimuth(self):
        """Direction from the first to the last record, degrees clockwise from north
        (grid north of the map coordinates), 0 to 360."""
        return bearing(self.first, self.last)

    @property
    def length(self):
        """Straight-line distance between the first and the last record (m)."""
        (e0, n0), (e1, n1) = self.first, self.last
        return math.hypot(e1 - e0, n1 - n0)

    def _by_station(self):
        order = np.argsort(self.station, kind="stable")
        return self.station[order], order

    def position(self, distance):
        """(east, north) at station distances `distance` (array), interpolated linearly
        between the stations ordered by distance; held at the end stations beyond them."""
        s, order = self._by_station()
        d = np.asarray(distance, dtype=np.float64)
        return np.interp(d, s, self.east[order]), np.interp(d, s, self.north[order])

    def along(self, values, distance):
        """`values` (one per station, NaN allowed) interpolated at `distance`; NaN where
        either neighbouring station has no value."""
        s, order = self._by_station()
        v = np.asarray(values, dtype=np.float64)[order]
        d = np.asarray(distance, dtype=np.float64)
        out = np.interp(d, s, np.nan_to_num(v))
        gap = np.interp(d, s, np.isnan(v).astype(np.float64)) > 0
        out[gap] = np.nan
        return out


def bearing(a, b):
    """Direction from point a to point b (east, north), degrees clockwise from north."""
    return math.degrees(math.atan2(b[0] - a[0], b[1] - a[1])) % 360.0


def compass(azimuth):
    """The eight-point compass name of a direction in degrees ("N", "NE", ... "NW")."""
    return ("N", "NE", "E", "SE", "S", "SW", "W", "NW")[int(((azimuth % 360.0) + 22.5) // 45.0) % 8]


def stations_path(folder, line):
    return os.path.join(folder, "line_%s_stations.csv" % line)


def load_stations(path):
    """Reads a stations file (line_LINE_stations.csv, written by halvex) into Stations.

    Parameters
    ----------
    path : str or os.PathLike
        The file: a header line of the columns fiducial, station_m, east_m, north_m,
        ground_elevation_m, doi_m, then a row per station.

    Returns
    -------
    Stations
        The line label (from the file name), and each column as a float64 array.

    Raises
    ------
    ValueError
        Naming the file, when it lacks a column, a row is malformed or it holds fewer
        than two stations.

    Examples
    --------
    >>> s = halvex.load_stations("line_1021_stations.csv")
    >>> s.line, len(s)
    ('1021', 60)
    """
    path = os.fspath(path)
    m = _STATIONS_NAME.match(os.path.basename(path))
    with open(path, newline="") as f:
        header = f.readline().strip()
        if tuple(header.split(",")) != COLUMNS:
            raise ValueError("%s: not a stations file (header %r)" % (path, header))
        try:
            t = np.genfromtxt(f, delimiter=",", dtype=np.float64, ndmin=2, invalid_raise=True)
        except ValueError as e:
            raise ValueError("%s: %s" % (path, e)) from None
    if t.size == 0:
        t = np.empty((0, len(COLUMNS)))
    if t.shape[1] != len(COLUMNS) or np.isnan(t[:, 1:5]).any():
        raise ValueError("%s: a row without station, east, north or ground" % path)
    if len(t) < 2:
        raise ValueError("%s: fewer than two stations" % path)
    return Stations(m.group("line") if m else None, *(t[:, k].copy() for k in range(6)),
                    source=os.path.basename(path))


def run_stations(folder):
    """{line label: Stations} of every stations file in a run's folder."""
    out = {}
    for p in sorted(glob.glob(os.path.join(folder, "line_*_stations.csv"))):
        s = load_stations(p)
        out[s.line] = s
    return out


def grid_stations(grid_path, grid=None):
    """The Stations of the section grid file at `grid_path` (line_LINE_stations.csv in its
    folder), or None when there is none."""
    line = grid.attrs.get("line") if grid is not None else None
    if line is None:
        from .grid_file import section_name

        named = section_name(grid_path)
        line = named[0] if named else None
    if line is None:
        return None
    p = stations_path(os.path.dirname(os.path.abspath(grid_path)), line)
    return load_stations(p) if os.path.exists(p) else None


def model_file_name(folder):
    """The name of the model file a run's folder was made from: the file beside the
    combined table NAME_all.xyz whose base name is NAME, or NAME when there is none
    (or several)."""
    tables = glob.glob(os.path.join(glob.escape(folder), "*_all.xyz"))
    if len(tables) != 1:
        return None
    base = os.path.basename(tables[0])[:-len("_all.xyz")]
    models = [p for p in glob.glob(os.path.join(glob.escape(folder), glob.escape(base) + ".*"))]
    return os.path.basename(models[0]) if len(models) == 1 else base


def section_metadata(grid, stations, folder=None):
    """What places a section grid and says what made it, as flat text-or-number
    attributes: line, first and last station positions, azimuth, node spacing, the model
    file's name (when `folder` tells it) and the halvex version."""
    from . import __version__

    a = grid.attrs
    meta = {"halvex_version": __version__}
    if stations is not None:
        (e0, n0), (e1, n1) = stations.first, stations.last
        meta.update(line=str(stations.line if stations.line is not None else a.get("line", "")),
                    first_station_east=e0, first_station_north=n0,
                    last_station_east=e1, last_station_north=n1,
                    azimuth_deg=round(stations.azimuth, 6), stations=len(stations))
    elif "line" in a:
        meta["line"] = str(a["line"])
    if "dx" in a and "dy" in a:
        meta.update(cell_dx_m=float(a["dx"]), cell_dy_m=float(a["dy"]))
    if folder is not None:
        model = model_file_name(folder)
        if model:
            meta["model_file"] = model
    return meta
