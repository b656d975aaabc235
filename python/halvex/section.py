"""Conductivity-depth sections: a survey line's grid drawn as geophysicists read it.

Conductivity and resistivity are drawn on a logarithmic colour scale; their log10 grids
on a linear one, labelled in the original units (a log10 conductivity of 2 is labelled
100 mS/m). Conductive ground has the same colour in every picture: red for high
conductivity and for low resistivity. Nodes without a value (above the topography,
below the depth of investigation) show the background. The title names the line and
states the vertical exaggeration, which is exact: the plot box is sized for it.
"""
import io
import math
import os

import numpy as np

from .output_file import write_output
from .grid_file import grid_geometry
from .stations import bearing, compass

BACKGROUND = "#d4d4d4"  # blanked nodes

# quantity -> (title, colour bar label, log10 grid?, colour map)
_STYLES = {
    "con": ("conductivity", "conductivity (mS/m)", False, "turbo"),
    "logcon": ("conductivity (log10 grid)", "conductivity (mS/m)", True, "turbo"),
    "res": ("resistivity", "resistivity (ohm m)", False, "turbo_r"),
    "logres": ("resistivity (log10 grid)", "resistivity (ohm m)", True, "turbo_r"),
}
_NICE_EXAGGERATIONS = (1, 2, 2.5, 3, 4, 5, 10, 20, 25, 50, 100, 200, 500, 1000)


def default_exaggeration(width_m, height_m, box_ratio=0.5):
    """The largest of 1, 2, 2.5, 3, 4, 5, 10, 20, ... that keeps the plot box no higher
    than box_ratio times its width; 1 for a section already that high or higher."""
    if not (width_m > 0 and height_m > 0):
        return 1.0
    raw = box_ratio * width_m / height_m
    best = 1.0
    for v in _NICE_EXAGGERATIONS:
        if v <= raw:
            best = float(v)
    return best


def value_ticks(lo, hi, log10_values):
    """Colour bar ticks between lo and hi at 1, 2 and 5 times powers of ten (only the
    powers of ten when that gives more than 8). With log10_values the ticks are the
    log10 of those numbers; otherwise lo and hi are values, both above 0."""
    if not log10_values:
        if not (lo > 0 and hi > 0):
            return []
        lo, hi = math.log10(lo), math.log10(hi)
    if not (math.isfinite(lo) and math.isfinite(hi)) or hi < lo:
        return []
    eps = 1e-9 * max(1.0, abs(lo), abs(hi))
    for mantissas in ((1, 2, 5), (1,)):
        ticks = [math.log10(m) + k for k in range(math.floor(lo) - 1, math.ceil(hi) + 1)
                 for m in mantissas]
        ticks = [t for t in ticks if lo - eps <= t <= hi + eps]
        if len(ticks) <= 8:
            break
    if len(ticks) < 2:
        ticks = [lo, hi]
    return ticks if log10_values else [10.0 ** t for t in ticks]


def _format_value(v):
    return "%g" % float("%.3g" % v)


def _style(grid, quantity):
    q = quantity or grid.attrs.get("quantity")
    if q in _STYLES:
        return q, _STYLES[q]
    name = str(grid.attrs.get("long_name", grid.name or "value"))
    units = grid.attrs.get("units")
    return None, (name, "%s (%s)" % (name, units) if units else name, False, "viridis")


def color_range(grids, clip=None):
    """(smallest, largest) value over the valid nodes of `grids` (DataArrays), or the
    `clip` and 100 - `clip` percentiles of them; (None, None) when none has a value."""
    vals = [np.asarray(g.values, dtype=np.float64) for g in grids]
    vals = np.concatenate([v[np.isfinite(v)] for v in vals]) if vals else np.empty(0)
    if not vals.size:
        return None, None
    if clip:
        if not 0 <= clip < 50:
            raise ValueError("clip is a percentage from 0 to below 50, not %r" % (clip,))
        lo, hi = np.percentile(vals, [clip, 100.0 - clip])
        return float(lo), float(hi)
    return float(vals.min()), float(vals.max())


def orientation(xs, stations=None, orient="west"):
    """How a section is laid out left to right: (sign, left_x, bearing) such that the
    distance drawn from the left end is sign * (x - left_x), and `bearing` is the direction
    in the map from the left end to the right end (degrees clockwise from north; None
    without stations).

    orient "west" draws the west end on the left (a north-south line: the south end); a
    number A draws the line so that left to right runs within 90 degrees of azimuth A.
    Without stations the grid's own frame tells: a re-based line (station range ending at
    0, the westernmost station) is drawn reversed, and the left end is station 0."""
    if orient in (None, "west"):
        ref = 90.0
    else:
        try:
            ref = float(orient)
        except (TypeError, ValueError):
            raise ValueError("orient is 'west' or an azimuth in degrees, not %r" % (orient,)) from None
        if not math.isfinite(ref):
            raise ValueError("orient is 'west' or an azimuth in degrees, not %r" % (orient,))
    if stations is None:
        rebased = float(np.max(xs)) <= 0.0 and float(np.min(xs)) < 0.0
        return (-1.0 if rebased else 1.0), 0.0, None
    lo, hi = float(np.min(stations.station)), float(np.max(stations.station))
    (e0, e1), (n0, n1) = stations.position([lo, hi])
    forward = bearing((e0, n0), (e1, n1))
    c = math.cos(math.radians(forward - ref))
    if abs(c) < 1e-9:  # square to the reference: the end 90 degrees anticlockwise goes left
        c = math.cos(math.radians(forward - (ref - 90.0)))
    if c >= 0:
        return 1.0, lo, forward
    return -1.0, hi, (forward + 180.0) % 360.0


def _fiducial_ticks(d, fiducial, most=8):
    """Every k-th station with a fiducial, at most `most` of them: (positions, labels)."""
    keep = np.flatnonzero(np.isfinite(fiducial))
    if not keep.size:
        return [], []
    keep = keep[np.argsort(d[keep], kind="stable")]
    keep = keep[::max(1, math.ceil(len(keep) / most))]
    return [float(d[k]) for k in keep], ["%.10g" % fiducial[k] for k in keep]


def plot_section(grid, ax=None, quantity=None, exaggeration=None, vmin=None, vmax=None,
                 cmap=None, line=None, title=None, width=10.0, stations=None, orient="west",
                 clip=None, location=None):
    """Draws a section grid and returns the matplotlib Figure.

    Parameters
    ----------
    grid : xarray.DataArray
        From load_grid or grid().
    ax : matplotlib Axes, optional
        Draw there instead of on a new figure.
    quantity : {"con", "logcon", "res", "logres"}, optional
        Default: the grid's attrs, set by load_grid from the file name; other grids get
        a linear scale.
    exaggeration : float, optional
        The vertical exaggeration (default: chosen from the section's shape, see
        default_exaggeration).
    vmin, vmax : float, optional
        Colour range in the grid's values (log10 values for the log grids); default the
        grid's range, or its `clip` and 100 - `clip` percentiles.
    cmap : str, optional
        A matplotlib colour map.
    line : str, optional
        The line label for the title (default attrs["line"]).
    title : str, optional
        Instead of the title made of the line, quantity and exaggeration.
    width : float
        Figure width in inches when no `ax` is given; the height follows from the
        exaggeration.
    stations : halvex.stations.Stations, optional
        The line's stations (see load_stations): the ground and the depth of
        investigation are drawn as lines; nodes above the ground are not drawn and nodes
        below the depth of investigation are faded; fiducials are marked along the top;
        the ends are named by compass direction and the title gives the azimuth.
    orient : str
        See orientation(); the x axis is the distance from the left end.
    clip : float, optional
        Percentile for the default colour range.
    location : dict, optional
        {line: Stations}, every line of the run: a small map of the lines with this one
        highlighted.

    Returns
    -------
    matplotlib.figure.Figure
        Its attribute `halvex_exaggeration` is the exaggeration drawn (the one asked for,
        or the default, or the nearest the figure could hold); `halvex_section` holds the
        layout (sign, left_x, bearing) and the node masks `hidden` (above the ground) and
        `faded` (below the DOI), in the grid's own order.

    Examples
    --------
    >>> fig = halvex.plot_section(halvex.load_grid("1021_logres.grd"), exaggeration=2)
    >>> fig.halvex_exaggeration
    2.0
    """
    from matplotlib import colors
    from matplotlib.figure import Figure
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch, Polygon
    from matplotlib.ticker import FixedLocator, FuncFormatter

    if grid.ndim != 2:
        raise ValueError("a section grid has two dimensions, this array %d" % grid.ndim)
    q, (what, bar_label, log10_grid, default_cmap) = _style(grid, quantity)
    values = np.asarray(grid.values, dtype=np.float64)
    valid = values[np.isfinite(values)]
    if clip and (vmin is None or vmax is None):
        lo, hi = color_range([grid], clip)
        vmin = lo if vmin is None else vmin
        vmax = hi if vmax is None else vmax
    if vmin is None:
        vmin = float(valid.min()) if valid.size else 0.0
    if vmax is None:
        vmax = float(valid.max()) if valid.size else 1.0
    log_scale = q in ("con", "res")
    if log_scale:
        positive = valid[valid > 0]
        if vmin <= 0:
            vmin = float(positive.min()) if positive.size else 1e-3
        vmax = max(vmax, vmin)
        norm = colors.LogNorm(vmin=vmin, vmax=vmax)
    else:
        norm = colors.Normalize(vmin=vmin, vmax=vmax)
    import matplotlib

    cm = matplotlib.colormaps[cmap or default_cmap].copy()
    cm.set_bad((0, 0, 0, 0))  # transparent: the background shows through

    ydim, xdim = grid.dims
    rotated = xdim not in grid.coords or ydim not in grid.coords
    if rotated:  # 2-D node positions, as load_grid gives them for a rotated header
        xname, yname = ("station", "elevation") if "station" in grid.coords else ("x", "y")
        if xname not in grid.coords or yname not in grid.coords:
            raise ValueError("the array has no coordinates to place its nodes")
        xs, ys = grid[xname].values, grid[yname].values
        if stations is not None:
            raise ValueError("stations are drawn on an unrotated section only")
        sign, left_x, heading = 1.0, 0.0, None
    else:
        xname, yname = xdim, ydim
        xs, ys = grid[xdim].values, grid[ydim].values
        sign, left_x, heading = orientation(xs, stations, orient) if xname == "station" else (1.0, 0.0, None)
    section = xname == "station"
    # Node registration: each node is the centre of its cell in the picture.
    _, _, dx, dy, _ = grid_geometry(grid)
    hx, hy = abs(dx) / 2, abs(dy) / 2
    xd = sign * (np.asarray(xs, dtype=np.float64) - left_x)  # drawn x of every node
    x_lo, x_hi = float(np.min(xd)), float(np.max(xd))
    y_lo, y_hi = float(np.min(ys)), float(np.max(ys))
    span_x, span_y = (x_hi - x_lo) + 2 * hx, (y_hi - y_lo) + 2 * hy
    ve = float(exaggeration) if exaggeration else default_exaggeration(span_x, span_y)
    if not ve > 0:
        raise ValueError("vertical exaggeration must be positive, not %r" % (exaggeration,))

    hidden = np.zeros(values.shape, dtype=bool)
    faded = np.zeros(values.shape, dtype=bool)
    if stations is not None:
        ground = stations.along(stations.ground, xs)
        doi_z = stations.along(stations.ground - stations.doi, xs)
        with np.errstate(invalid="ignore"):
            hidden = ys[:, None] > ground[None, :]
            faded = ~hidden & (ys[:, None] < doi_z[None, :])
        ticks_d, ticks_label = _fiducial_ticks(sign * (stations.station - left_x), stations.fiducial)
    map_lines = location if (location and stations is not None) else None

    if ax is None:
        left, right, top, bottom = 0.95, 1.45, 0.55, 0.9  # inches around the plot box
        if stations is not None:
            top, bottom = 1.0, 1.1  # fiducials along the top; a longer key below
        map_w = 1.7 if map_lines else 0.0
        ax_w = max(width - left - right - map_w, 1.0)
        ax_h = ax_w * ve * span_y / span_x
        if not 0.8 <= ax_h <= 30.0:  # keep the figure drawable; the title states the result
            ax_h = min(max(ax_h, 0.8), 30.0)
            ve = ax_h / ax_w * span_x / span_y
        fig_w, fig_h = left + ax_w + right + map_w, bottom + ax_h + top
        fig = Figure(figsize=(fig_w, fig_h))
        ax = fig.add_axes([left / fig_w, bottom / fig_h, ax_w / fig_w, ax_h / fig_h])
        cax = fig.add_axes([(left + ax_w + 0.2) / fig_w, bottom / fig_h, 0.18 / fig_w, ax_h / fig_h])
        map_ax = None
        if map_lines:
            side = min(1.45, max(ax_h, 0.8))
            map_ax = fig.add_axes([(left + ax_w + right) / fig_w, (bottom + ax_h - side) / fig_h,
                                   side / fig_w, side / fig_h])
        aspect = "auto"
    else:
        fig, cax, aspect, map_ax = ax.figure, None, ve, None

    ax.set_facecolor(BACKGROUND)
    shown = np.ma.masked_array(values, mask=~np.isfinite(values) | hidden | faded)
    dimmed = np.ma.masked_array(values, mask=~np.isfinite(values) | ~faded)
    if rotated:
        image = ax.pcolormesh(xs, ys, shown, shading="nearest", cmap=cm, norm=norm)
        ax.set_aspect(aspect)
    else:
        # imshow draws row 0 at the bottom with origin="lower"; a negative spacing flips.
        extent = [xd[0] - math.copysign(hx, xd[-1] - xd[0] or 1.0),
                  xd[-1] + math.copysign(hx, xd[-1] - xd[0] or 1.0),
                  ys[0] - math.copysign(hy, ys[-1] - ys[0] or 1.0),
                  ys[-1] + math.copysign(hy, ys[-1] - ys[0] or 1.0)]
        image = ax.imshow(shown, origin="lower", extent=extent, cmap=cm, norm=norm,
                          interpolation="nearest", aspect=aspect)
        if faded.any():
            ax.imshow(dimmed, origin="lower", extent=extent, cmap=cm, norm=norm,
                      interpolation="nearest", aspect=aspect, alpha=0.35)
    ax.set_xlim(x_lo - hx, x_hi + hx)
    ax.set_ylim(y_lo - hy, y_hi + hy)
    if section:
        ax.set_xlabel("distance from the left end of the line (m)" if stations is not None or sign < 0
                      else "station distance along the line (m)")
        ax.set_ylabel("elevation (m)")
    else:
        ax.set_xlabel(str(grid[xname].attrs.get("long_name", xname)))
        ax.set_ylabel(str(grid[yname].attrs.get("long_name", yname)))

    key = []
    if stations is not None:
        order = np.argsort(sign * (stations.station - left_x), kind="stable")
        sd = (sign * (stations.station - left_x))[order]
        ground_z = stations.ground[order]
        ax.plot(sd, ground_z, color="black", linewidth=1.2, label="ground")
        ax.plot(sd, ground_z - stations.doi[order], color="black", linewidth=1.0, linestyle="--",
                label="depth of investigation")
        # Nothing of the image above the ground: clip it to the ground line.
        clip_to = Polygon(np.column_stack([np.r_[sd[0], sd, sd[-1]],
                                           np.r_[y_lo - 2 * hy, ground_z, y_lo - 2 * hy]]),
                          closed=True, transform=ax.transData)
        for im in ax.get_images():
            im.set_clip_path(clip_to)
        key += [Line2D([], [], color="black", linewidth=1.2, label="ground"),
                Line2D([], [], color="black", linewidth=1.0, linestyle="--", label="depth of investigation"),
                Patch(facecolor=(0.85, 0.85, 0.85, 0.6), edgecolor="0.5",
                      label="below the depth of investigation (faded)")]
        top_axis = ax.secondary_xaxis("top")
        top_axis.set_xticks(ticks_d, ticks_label, fontsize="small")
        top_axis.set_xlabel("fiducial", fontsize="small")
        if heading is not None:
            for xpos, ha, direction in ((0.0, "right", heading + 180.0), (1.0, "left", heading)):
                ax.text(xpos, 1.0, " %s " % compass(direction), transform=ax.transAxes, ha=ha,
                        va="bottom", fontweight="bold")

    bar = fig.colorbar(image, cax=cax, ax=None if cax is not None else ax)
    bar.set_label(bar_label)
    if q is not None:
        ticks = value_ticks(norm.vmin, norm.vmax, log10_grid)
        bar.ax.yaxis.set_major_locator(FixedLocator(ticks))
        bar.ax.yaxis.set_minor_locator(FixedLocator([]))
        if log10_grid:
            bar.ax.yaxis.set_major_formatter(FuncFormatter(lambda v, _: _format_value(10.0 ** v)))
        else:
            bar.ax.yaxis.set_major_formatter(FuncFormatter(lambda v, _: _format_value(v)))

    if map_ax is not None:
        for other in map_lines.values():
            map_ax.plot(other.east, other.north, color="0.6", linewidth=0.8)
        map_ax.plot(stations.east, stations.north, color="red", linewidth=2.0)
        map_ax.set_aspect("equal", adjustable="datalim")
        map_ax.set_xticks([])
        map_ax.set_yticks([])
        map_ax.set_title("location (north up)", fontsize="x-small")

    label = line if line is not None else grid.attrs.get("line")
    if title is None:
        title = "%s%s%s, vertical exaggeration %s:1" % (
            "line %s: " % label if label is not None else "", what,
            ", azimuth %.0f\N{DEGREE SIGN}" % heading if heading is not None else "", _format_value(ve))
    ax.set_title(title, pad=22 if stations is not None else 6)
    blank_note = ("no value: above the topography or below the depth of investigation"
                  if q is not None else "no value")
    key.append(Patch(facecolor=BACKGROUND, edgecolor="0.5", label=blank_note))
    if cax is not None:  # in the bottom margin, below the axis label
        fig.legend(handles=key, loc="lower left", bbox_to_anchor=(left / fig_w, 0.06 / fig_h),
                   frameon=False, fontsize="small", borderaxespad=0.0, ncol=2 if len(key) > 1 else 1)
    else:
        ax.legend(handles=key, loc="lower right", fontsize="small")
    fig.halvex_exaggeration = ve
    fig.halvex_section = {"sign": sign, "left_x": left_x, "bearing": heading,
                          "hidden": hidden, "faded": faded, "vmin": norm.vmin, "vmax": norm.vmax}
    return fig


def save_section(grid, path, dpi=150, **kwargs):
    """Draws a grid with plot_section and writes the picture.

    Parameters
    ----------
    grid : xarray.DataArray
        A 2-D grid.
    path : str or os.PathLike
        .png, .svg or .pdf: the format follows the extension; written by the package's
        output rules (see output_file).
    dpi : float
        Dots per inch.
    **kwargs
        plot_section's options.

    Returns
    -------
    float
        The vertical exaggeration drawn.

    Examples
    --------
    >>> halvex.save_section(halvex.load_grid("1021_logres.grd"), "1021.png", dpi=50, exaggeration=2)
    2.0
    """
    fmt = os.path.splitext(os.fspath(path))[1].lower().lstrip(".")
    if fmt not in ("png", "svg", "pdf"):
        raise ValueError("%s: a section is written as .png, .svg or .pdf" % path)
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    fig = plot_section(grid, **kwargs)
    FigureCanvasAgg(fig)
    picture = io.BytesIO()
    fig.savefig(picture, dpi=dpi, format=fmt)
    write_output(path, picture.getbuffer())
    return fig.halvex_exaggeration


def section_context(path, grid):
    """plot_section's `stations` and `location` for the section grid file at `path`: its
    line's stations file and every stations file of its folder (None when absent)."""
    from .stations import grid_stations, run_stations

    stations = grid_stations(path, grid)
    location = run_stations(os.path.dirname(os.path.abspath(path))) if stations is not None else None
    return {"stations": stations, "location": location}


def run_color_ranges(grids, clip=None):
    """{quantity: (low, high)} over the section grids of a run (DataArrays with the attr
    "quantity"): one colour range per quantity, so that every line's picture compares."""
    by_quantity = {}
    for g in grids:
        by_quantity.setdefault(g.attrs.get("quantity"), []).append(g)
    out = {}
    for q, gs in by_quantity.items():
        lo, hi = color_range(gs, clip)
        if lo is not None:
            out[q] = (lo, hi)
    return out
