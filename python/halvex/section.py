"""Conductivity-depth sections: a survey line's grid drawn as geophysicists read it.

Conductivity and resistivity are drawn on a logarithmic colour scale; their log10 grids
on a linear one, labelled in the original units (a log10 conductivity of 2 is labelled
100 mS/m). Conductive ground has the same colour in every picture: red for high
conductivity and for low resistivity. Nodes without a value (above the topography,
below the depth of investigation) show the background. The title names the line and
states the vertical exaggeration, which is exact: the plot box is sized for it.
"""
import math
import os

import numpy as np

from .export import _replace_when_done
from .grid_file import grid_geometry

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


def plot_section(grid, ax=None, quantity=None, exaggeration=None, vmin=None, vmax=None,
                 cmap=None, line=None, title=None, width=10.0):
    """Draws a section grid (a DataArray from load_grid or grid()) and returns the
    matplotlib Figure.

    quantity: "con", "logcon", "res" or "logres" (default: the grid's attrs, set by
    load_grid from the file name); other grids get a linear scale. exaggeration: the
    vertical exaggeration (default: chosen from the section's shape, see
    default_exaggeration). vmin, vmax: colour range in the grid's values (log10 values
    for the log grids); default the grid's range. line: the line label for the title
    (default attrs["line"]). width: figure width in inches when no `ax` is given; the
    height follows from the exaggeration. The exaggeration drawn (the one asked for, or
    the default, or the nearest the figure could hold) is the figure's attribute
    `halvex_exaggeration`.
    """
    from matplotlib import colors
    from matplotlib.figure import Figure
    from matplotlib.patches import Patch
    from matplotlib.ticker import FixedLocator, FuncFormatter

    if grid.ndim != 2:
        raise ValueError("a section grid has two dimensions, this array %d" % grid.ndim)
    q, (what, bar_label, log10_grid, default_cmap) = _style(grid, quantity)
    values = np.asarray(grid.values, dtype=np.float64)
    valid = values[np.isfinite(values)]
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
    else:
        xname, yname = xdim, ydim
        xs, ys = grid[xdim].values, grid[ydim].values
    x_lo, x_hi = float(np.min(xs)), float(np.max(xs))
    y_lo, y_hi = float(np.min(ys)), float(np.max(ys))
    # Node registration: each node is the centre of its cell in the picture.
    _, _, dx, dy, _ = grid_geometry(grid)
    hx, hy = abs(dx) / 2, abs(dy) / 2
    span_x, span_y = (x_hi - x_lo) + 2 * hx, (y_hi - y_lo) + 2 * hy
    ve = float(exaggeration) if exaggeration else default_exaggeration(span_x, span_y)
    if not ve > 0:
        raise ValueError("vertical exaggeration must be positive, not %r" % (exaggeration,))

    if ax is None:
        left, right, top, bottom = 0.95, 1.45, 0.55, 0.9  # inches around the plot box
        ax_w = max(width - left - right, 1.0)
        ax_h = ax_w * ve * span_y / span_x
        if not 0.8 <= ax_h <= 30.0:  # keep the figure drawable; the title states the result
            ax_h = min(max(ax_h, 0.8), 30.0)
            ve = ax_h / ax_w * span_x / span_y
        fig_w, fig_h = left + ax_w + right, bottom + ax_h + top
        fig = Figure(figsize=(fig_w, fig_h))
        ax = fig.add_axes([left / fig_w, bottom / fig_h, ax_w / fig_w, ax_h / fig_h])
        cax = fig.add_axes([(left + ax_w + 0.2) / fig_w, bottom / fig_h, 0.18 / fig_w, ax_h / fig_h])
        aspect = "auto"
    else:
        fig, cax, aspect = ax.figure, None, ve

    ax.set_facecolor(BACKGROUND)
    data = np.ma.masked_invalid(values)
    if rotated:
        image = ax.pcolormesh(xs, ys, data, shading="nearest", cmap=cm, norm=norm)
        ax.set_aspect(aspect)
    else:
        # imshow draws row 0 at the bottom with origin="lower"; a negative spacing flips.
        extent = [xs[0] - math.copysign(hx, xs[-1] - xs[0] or 1.0),
                  xs[-1] + math.copysign(hx, xs[-1] - xs[0] or 1.0),
                  ys[0] - math.copysign(hy, ys[-1] - ys[0] or 1.0),
                  ys[-1] + math.copysign(hy, ys[-1] - ys[0] or 1.0)]
        image = ax.imshow(data, origin="lower", extent=extent, cmap=cm, norm=norm,
                          interpolation="nearest", aspect=aspect)
    ax.set_xlim(x_lo - hx, x_hi + hx)
    ax.set_ylim(y_lo - hy, y_hi + hy)
    if xname == "station":
        ax.set_xlabel("station distance along the line (m)")
        ax.set_ylabel("elevation (m)")
    else:
        ax.set_xlabel(str(grid[xname].attrs.get("long_name", xname)))
        ax.set_ylabel(str(grid[yname].attrs.get("long_name", yname)))

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

    label = line if line is not None else grid.attrs.get("line")
    if title is None:
        title = "%s%s, vertical exaggeration %s:1" % ("line %s: " % label if label is not None else "",
                                                     what, _format_value(ve))
    ax.set_title(title)
    blank_note = ("no value: above the topography or below the depth of investigation"
                  if q is not None else "no value")
    key = [Patch(facecolor=BACKGROUND, edgecolor="0.5", label=blank_note)]
    if cax is not None:  # in the bottom margin, below the axis label
        fig.legend(handles=key, loc="lower left", bbox_to_anchor=(left / fig_w, 0.06 / fig_h),
                   frameon=False, fontsize="small", borderaxespad=0.0)
    else:
        ax.legend(handles=key, loc="lower right", fontsize="small")
    fig.halvex_exaggeration = ve
    return fig


def save_section(grid, path, dpi=150, **kwargs):
    """Draws `grid` with plot_section and writes the picture; the format follows the
    file's extension (.png, .svg, .pdf). Returns the vertical exaggeration drawn."""
    fmt = os.path.splitext(os.fspath(path))[1].lower().lstrip(".")
    if fmt not in ("png", "svg", "pdf"):
        raise ValueError("%s: a section is written as .png, .svg or .pdf" % path)
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    fig = plot_section(grid, **kwargs)
    FigureCanvasAgg(fig)
    with _replace_when_done(path, "." + fmt) as tmp:
        fig.savefig(tmp, dpi=dpi, format=fmt)
    return fig.halvex_exaggeration
