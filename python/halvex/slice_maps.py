"""Depth and elevation slices: maps of a quantity over an interval below the ground or of
elevation, across all lines of a halvex run.

For each interval, each station's value is the thickness-weighted mean of its model cells
inside the interval (the points of the line tables, each the centre of a cell as thick as
the section grid's row spacing), taken of log10 for conductivity and resistivity and
turned back; a station whose cells cover less than half the interval has no value there.
The station values are gridded in map coordinates by minimum curvature (halvex.grid, the
minc library), with nodes farther than the blanking radius from every station blank.
Each slice is written as a GRD grid, a GeoTIFF (with the CRS when one is given) and a PNG
map with the flight lines.
"""
import glob
import math
import os
import re

import numpy as np

from .export import _replace_when_done, save_geotiff
from .grid_file import _HEADER, GRID_DUMMY, HEADER_FIELDS, SECTION_QUANTITIES, load_grid
from .gridding import grid as minc_grid
from .stations import run_stations

# Columns of the line tables: Station, Depth (elevation), East, North, Con, LogCon, Res, LogRes.
_TABLE_COLUMN = {"con": 4, "logcon": 5, "res": 6, "logres": 7}
_LOG_MEAN = {"con": True, "logcon": False, "res": True, "logres": False}
_NUMBER = r"\s*([-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?)\s*"


def parse_intervals(text, kind):
    """Intervals (top, bottom) from "0-10,10-20,..." or "start:stop:step" (every step from
    start to stop). For depths (m below the ground) top < bottom; for elevations top >
    bottom, and "100:-100:-20" gives 100 to 80, 80 to 60, ..., -80 to -100."""
    if kind not in ("depth", "elevation"):
        raise ValueError("kind is 'depth' or 'elevation'")
    text = text.strip()
    out = []
    m = re.fullmatch(_NUMBER + ":" + _NUMBER + ":" + _NUMBER, text)
    if m:
        start, stop, step = (float(v) for v in m.groups())
        if step == 0 or (stop - start) * step <= 0:
            raise ValueError("%s: the step must lead from start to stop" % text)
        n = int(math.floor((stop - start) / step + 1e-9))
        out = [(start + k * step, start + (k + 1) * step) for k in range(n)]
    else:
        for part in text.split(","):
            m = re.fullmatch(_NUMBER + "(?:-|to)" + _NUMBER, part)
            if not m:
                raise ValueError("%r: an interval is A-B (or give start:stop:step)" % part)
            out.append((float(m.group(1)), float(m.group(2))))
    for a, b in out:
        if not (math.isfinite(a) and math.isfinite(b)) or a == b:
            raise ValueError("%s: empty or infinite interval %g to %g" % (text, a, b))
        if (kind == "depth") != (a < b):
            raise ValueError("%s %g to %g: %s" % (kind, a, b, "depths grow downward (0-10)" if kind == "depth"
                                                    else "elevations go from the top down (100 to 80)"))
    if not out:
        raise ValueError("%s: no interval" % text)
    return out


def _read_table(path):
    t = np.loadtxt(path, skiprows=1, dtype=np.float64, ndmin=2)
    if t.size and t.shape[1] != 8:
        raise ValueError("%s: not a line table of 8 columns" % path)
    return t.reshape(-1, 8)


def station_points(run_dir, line, stations):
    """The points of one line's table grouped by station: a list of (station index in
    `stations`, elevations, table rows), in model order."""
    t = _read_table(os.path.join(run_dir, "line_%s.xyz" % line))
    if not len(t):
        return []
    # A station's points are consecutive rows with one station, east and north.
    key = t[:, [0, 2, 3]]
    starts = np.flatnonzero(np.r_[True, np.any(key[1:] != key[:-1], axis=1)])
    ends = np.r_[starts[1:], len(t)]
    out, k = [], 0
    for a, b in zip(starts, ends):
        s, e, n = key[a]
        # The table rounds to centimetres; walk the stations in model order to the match.
        while k < len(stations) and not (abs(stations.station[k] - s) <= 0.0051
                                         and abs(stations.east[k] - e) <= 0.0051
                                         and abs(stations.north[k] - n) <= 0.0051):
            k += 1
        if k == len(stations):
            raise ValueError("line %s: table rows at station %.2f match no station of its stations file"
                             % (line, s))
        out.append((k, t[a:b, 1], t[a:b]))
        k += 1
    return out


def station_values(run_dir, quantity, intervals, kind, cell=None):
    """Per interval, the stations' values: a list over intervals of arrays (east, north,
    value) of the stations that have one. `cell`: the thickness of a model cell (default:
    the row spacing of the run's section grids)."""
    if quantity not in _TABLE_COLUMN:
        raise ValueError("quantity is one of %s, not %r" % (", ".join(_TABLE_COLUMN), quantity))
    lines = run_stations(run_dir)
    if not lines:
        raise ValueError("%s: no stations file (line_LINE_stations.csv)" % run_dir)
    if cell is None:
        grids = sorted(glob.glob(os.path.join(glob.escape(run_dir), "*_%s.grd" % quantity)))
        if not grids:
            raise ValueError("%s: no section grid to take the cell thickness from" % run_dir)
        cell = float(load_grid(grids[0]).attrs["dy"])
    col, log_mean = _TABLE_COLUMN[quantity], _LOG_MEAN[quantity]
    acc = [([], [], []) for _ in intervals]
    for line, st in lines.items():
        for k, z, rows in station_points(run_dir, line, st):
            v = rows[:, col]
            if log_mean:
                v = np.log10(v)
            top, bottom = z + cell / 2, z - cell / 2
            for i, (a, b) in enumerate(intervals):
                hi, lo = (st.ground[k] - a, st.ground[k] - b) if kind == "depth" else (a, b)
                w = np.clip(np.minimum(top, hi) - np.maximum(bottom, lo), 0.0, None)
                if w.sum() < 0.5 * (hi - lo) or w.sum() <= 0:
                    continue
                mean = float(np.sum(w * v) / np.sum(w))
                acc[i][0].append(st.east[k])
                acc[i][1].append(st.north[k])
                acc[i][2].append(10.0 ** mean if log_mean else mean)
    return [tuple(np.asarray(c, dtype=np.float64) for c in a) for a in acc]


def grid_slice(east, north, values, spacing, radius, log_values):
    """Grids station values in map coordinates (halvex.grid) on nodes at whole multiples
    of `spacing` covering the stations; returns a DataArray with float64 map
    coordinates x, y. The library takes 32-bit reals, so the points are handed over
    relative to the grid's first node, which keeps map coordinates exact."""
    if len(values) < 3:
        raise ValueError("fewer than three stations have a value")
    x0 = math.floor(float(east.min()) / spacing) * spacing
    y0 = math.floor(float(north.min()) / spacing) * spacing
    nx = int(math.ceil((float(east.max()) - x0) / spacing)) + 1
    ny = int(math.ceil((float(north.max()) - y0) / spacing)) + 1
    g = minc_grid(east - x0, north - y0, values, origin=(0.0, 0.0), size=(nx, ny), spacing=spacing,
                  radius=radius, mode=2 if log_values else 1)
    g = g.assign_coords(x=x0 + np.arange(nx) * spacing, y=y0 + np.arange(ny) * spacing)
    g.attrs.update(x0=x0, y0=y0, dx=float(spacing), dy=float(spacing))
    return g


def save_grd(grid, path, label=""):
    """Writes a 2-D DataArray with 1-D coordinates (y, x) as a GRD grid file: origin row
    first, NaN as the dummy -1.0E32, header statistics of its valid nodes."""
    v = np.asarray(grid.values, dtype=np.float32)
    xs, ys = grid[grid.dims[1]].values, grid[grid.dims[0]].values
    valid = v[np.isfinite(v)]
    h = dict.fromkeys(HEADER_FIELDS, 0)
    h.update(element_size=4, element_type=2, columns=v.shape[1], rows=v.shape[0], orientation=1,
             dx=float(xs[1] - xs[0]) if len(xs) > 1 else float(grid.attrs.get("dx", 1.0)),
             dy=float(ys[1] - ys[0]) if len(ys) > 1 else float(grid.attrs.get("dy", 1.0)),
             x0=float(xs[0]), y0=float(ys[0]), angle=0.0, base=0.0, scale=1.0,
             label=label.encode("latin-1")[:48].ljust(48), map_number=b" " * 16, user=b" " * 324,
             valid_nodes=int(valid.size),
             zmin=float(valid.min()) if valid.size else float(GRID_DUMMY),
             zmax=float(valid.max()) if valid.size else float(GRID_DUMMY),
             median=float(np.median(valid)) if valid.size else float(GRID_DUMMY),
             mean=float(valid.mean(dtype=np.float64)) if valid.size else float(GRID_DUMMY),
             variance=float(valid.var(dtype=np.float64)) if valid.size else float(GRID_DUMMY))
    out = np.where(np.isfinite(v), v, GRID_DUMMY).astype("<f4")
    with _replace_when_done(path, ".grd") as tmp:
        with open(tmp, "wb") as f:
            f.write(_HEADER.pack(*(h[k] for k in HEADER_FIELDS)))
            f.write(out.tobytes())


def plot_slice(grid, quantity, title, stations_by_line=None, vmin=None, vmax=None):
    """A map of a slice grid with the flight lines over it and a colour bar; returns the
    matplotlib Figure."""
    from matplotlib import colors
    from matplotlib.figure import Figure

    from .section import _STYLES, _format_value, value_ticks

    what, bar_label, log10_grid, cmap = _STYLES[quantity]
    v = np.asarray(grid.values, dtype=np.float64)
    valid = v[np.isfinite(v)]
    lo = vmin if vmin is not None else (float(valid.min()) if valid.size else 0.0)
    hi = vmax if vmax is not None else (float(valid.max()) if valid.size else 1.0)
    log_scale = quantity in ("con", "res")
    norm = colors.LogNorm(vmin=lo, vmax=max(hi, lo)) if log_scale else colors.Normalize(vmin=lo, vmax=hi)
    xs, ys = grid["x"].values, grid["y"].values
    dx = float(xs[1] - xs[0]) if len(xs) > 1 else 1.0
    dy = float(ys[1] - ys[0]) if len(ys) > 1 else 1.0
    # A plot box of the map's own shape, 5.5 inches wide or 6 high at most.
    span_x, span_y = len(xs) * abs(dx), len(ys) * abs(dy)
    box_w = min(5.5, 6.0 * span_x / span_y)
    box_h = box_w * span_y / span_x
    left, right, bottom, top = 1.2, 1.3, 0.7, 0.5
    fig_w, fig_h = left + box_w + right, bottom + box_h + top
    fig = Figure(figsize=(fig_w, fig_h))
    ax = fig.add_axes([left / fig_w, bottom / fig_h, box_w / fig_w, box_h / fig_h])
    cax = fig.add_axes([(left + box_w + 0.2) / fig_w, bottom / fig_h, 0.18 / fig_w, box_h / fig_h])
    image = ax.imshow(np.ma.masked_invalid(v), origin="lower", cmap=cmap, norm=norm, interpolation="nearest",
                      extent=[xs[0] - dx / 2, xs[-1] + dx / 2, ys[0] - dy / 2, ys[-1] + dy / 2])
    for line, st in (stations_by_line or {}).items():
        ax.plot(st.east, st.north, color="black", linewidth=0.8)
        ax.annotate(str(line), (st.east[0], st.north[0]), fontsize="x-small", ha="right", va="center",
                    xytext=(-3, 0), textcoords="offset points")
    ax.set_aspect("equal")
    ax.set_xlabel("east (m)")
    ax.set_ylabel("north (m)")
    ax.ticklabel_format(useOffset=False, style="plain")
    ax.set_title(title)
    bar = fig.colorbar(image, cax=cax)
    bar.set_label(bar_label)
    ticks = value_ticks(norm.vmin, norm.vmax, log10_grid)
    from matplotlib.ticker import FixedLocator, FuncFormatter

    bar.ax.yaxis.set_major_locator(FixedLocator(ticks))
    bar.ax.yaxis.set_minor_locator(FixedLocator([]))
    fmt = (lambda t, _: _format_value(10.0 ** t)) if log10_grid else (lambda t, _: _format_value(t))
    bar.ax.yaxis.set_major_formatter(FuncFormatter(fmt))
    return fig


def _interval_name(kind, a, b):
    return "%s_%s_%s" % (kind, ("%g" % a).replace("-", "m"), ("%g" % b).replace("-", "m"))


def slices(run_dir, depths=None, elevations=None, spacing=None, radius=None, quantity="con", crs=None,
           out_dir=None, write=True):
    """Depth or elevation slices of a halvex run, gridded in map coordinates.

    Parameters
    ----------
    run_dir : str
        The run's folder.
    depths, elevations : str or list of (top, bottom)
        One of the two: intervals below the ground or of elevation, as pairs or as the
        text parse_intervals takes ("0-20,20-40" or "0:100:10").
    spacing : float
        Node spacing of the maps (m).
    radius : float
        Blanking radius (m): nodes farther than this from every station are blank.
    quantity : {"con", "logcon", "res", "logres"}
        The quantity mapped.
    crs : str, optional
        The GeoTIFF's coordinate reference system, e.g. "EPSG:32755".
    out_dir : str, optional
        Where to write (default RUN_DIR/slices).
    write : bool
        Write QUANTITY_KIND_A_B.grd, .tif and .png.

    Returns
    -------
    list of (interval, xarray.DataArray, paths)
        An interval where fewer than three stations have a value is left out.

    Examples
    --------
    >>> (interval, g, paths), = halvex.slices(".", depths="0-20", spacing=20, radius=120, write=False)
    >>> interval, g.dims, paths
    ((0.0, 20.0), ('y', 'x'), [])
    """
    if (depths is None) == (elevations is None):
        raise ValueError("give depths or elevations")
    kind = "depth" if depths is not None else "elevation"
    intervals = depths if depths is not None else elevations
    if isinstance(intervals, str):
        intervals = parse_intervals(intervals, kind)
    if not (spacing and spacing > 0 and math.isfinite(spacing)):
        raise ValueError("spacing must be a positive number of metres")
    if radius is None or not (radius >= 0 and math.isfinite(radius)):
        raise ValueError("radius must be 0 or more metres")
    if crs:
        from .curtain_grids import crs_urn

        crs_urn(crs)  # an unknown CRS stops the command before anything is written
    per_interval = station_values(run_dir, quantity, intervals, kind)
    lines = run_stations(run_dir)
    out_dir = out_dir or os.path.join(run_dir, "slices")
    long_name = SECTION_QUANTITIES[quantity][1]
    results = []
    for (a, b), (e, n, v) in zip(intervals, per_interval):
        if len(v) < 3:
            continue
        g = grid_slice(e, n, v, spacing, radius, _LOG_MEAN[quantity])
        what = "depth %g to %g m below ground" % (a, b) if kind == "depth" else "elevation %g to %g m" % (a, b)
        g.name = SECTION_QUANTITIES[quantity][0]
        g.attrs.update(quantity=quantity, long_name="%s, %s" % (long_name, what), units=SECTION_QUANTITIES[quantity][2],
                       interval_top=a, interval_bottom=b, interval_kind=kind, stations=len(v))
        paths = []
        if write:
            os.makedirs(out_dir, exist_ok=True)
            base = os.path.join(out_dir, "%s_%s" % (quantity, _interval_name(kind, a, b)))
            save_grd(g, base + ".grd", label="%s %s" % (quantity, what))
            save_geotiff(g, base + ".tif", crs=crs)
            fig = plot_slice(g, quantity, "%s, %s" % (long_name, what), lines)
            from matplotlib.backends.backend_agg import FigureCanvasAgg

            FigureCanvasAgg(fig)
            with _replace_when_done(base + ".png", ".png") as tmp:
                fig.savefig(tmp, dpi=100, format="png")
            paths = [base + ".grd", base + ".tif", base + ".png"]
        results.append(((a, b), g, paths))
    return results

