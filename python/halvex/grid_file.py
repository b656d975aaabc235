"""Reading GRD grid files into xarray.

A GRD grid file is a 512-byte little-endian header followed by NE x NV 32-bit reals,
row (vector) after row, each row NE values from the smallest x to the largest. The
orientation word KX says where the row at the grid's origin lies: KX 1 stores it first,
any other code (the writers use -2) stores the rows from the last to the first. A node
value at or below -1.0E30 is null; the writers store the dummy -1.0E32.

Node (i, j), counted from 0 along a row and from the origin row, lies at
    x = x0 + i * dx * cos(a) - j * dy * sin(a)
    y = y0 + i * dx * sin(a) + j * dy * cos(a)
where a is the header's rotation angle of the rows (degrees, counter-clockwise from the
x axis); in every grid halvex and minc write a is 0, so x = x0 + i * dx, y = y0 + j * dy.
"""
import math
import os
import re
import struct

import numpy as np
import xarray as xr

HEADER_BYTES = 512
GRID_DUMMY = np.float32(-1.0e32)
NULL_BOUND = np.float32(-1.0e30)

# Every header field by byte offset: (name, struct code). The order is the file's.
_FIELDS = [
    ("element_size", "i"),   # 0    bytes per value, 4
    ("element_type", "i"),   # 4    2 = IEEE real
    ("columns", "i"),        # 8    NE, values per row
    ("rows", "i"),           # 12   NV
    ("orientation", "i"),    # 16   KX: 1 origin row first, else rows stored last to first
    ("dx", "d"),             # 20   spacing of the values along a row
    ("dy", "d"),             # 28   spacing of the rows
    ("x0", "d"),             # 36   position of the first value of the origin row
    ("y0", "d"),             # 44
    ("angle", "d"),          # 52   rotation of the rows, degrees counter-clockwise
    ("base", "d"),           # 60   value = stored / scale + base
    ("scale", "d"),          # 68
    ("label", "48s"),        # 76
    ("map_number", "16s"),   # 124
    ("projection", "i"),     # 140
    ("x_unit", "i"),         # 144
    ("y_unit", "i"),         # 148
    ("z_unit", "i"),         # 152
    ("valid_nodes", "i"),    # 156
    ("zmin", "f"),           # 160  smallest node value other than the dummy
    ("zmax", "f"),           # 164  largest
    ("median", "f"),         # 168  -1.0E32 when not computed
    ("mean", "f"),           # 172
    ("variance", "d"),       # 176
    ("flag", "i"),           # 184
    ("user", "324s"),        # 188
]
HEADER_FIELDS = tuple(name for name, _ in _FIELDS)
_HEADER = struct.Struct("<" + "".join(code for _, code in _FIELDS))
assert _HEADER.size == HEADER_BYTES

# The four grids halvex writes per survey line: file suffix -> (quantity, long name, units).
SECTION_QUANTITIES = {
    "con": ("conductivity", "conductivity", "mS/m"),
    "logcon": ("log10_conductivity", "log10 of conductivity", "log10(mS/m)"),
    "res": ("resistivity", "resistivity", "ohm m"),
    "logres": ("log10_resistivity", "log10 of resistivity", "log10(ohm m)"),
}
_SECTION_NAME = re.compile(r"^(?P<line>.+)_(?P<suffix>con|logcon|res|logres)\.grd$", re.IGNORECASE)

# Coordinate names by kind: (along a row, across the rows).
COORD_NAMES = {"section": ("station", "elevation"), "xy": ("x", "y")}


class GridFileError(ValueError):
    """A file that is not a valid GRD grid file; the message names the file and the fault."""


def read_header(path):
    """The header of a GRD grid file, checked as load_grid checks it, values not read.

    Parameters
    ----------
    path : str or os.PathLike
        The grid file.

    Returns
    -------
    dict
        Every header field by name (see load_grid); texts decoded, trailing blanks removed.

    Raises
    ------
    GridFileError
        For a file that is not a valid grid (load_grid lists the checks).

    Examples
    --------
    >>> h = halvex.read_header("1021_logres.grd")
    >>> h["columns"], h["rows"], h["orientation"], round(h["dx"], 4)
    (69, 71, 1, 21.9219)
    """
    with open(path, "rb") as f:
        head = f.read(HEADER_BYTES)
        size = os.fstat(f.fileno()).st_size
    return _check_header(path, head, size)


def _check_header(path, head, size):
    if len(head) < HEADER_BYTES:
        raise GridFileError("%s: %d bytes, shorter than the %d-byte grid header"
                            % (path, len(head), HEADER_BYTES))
    h = dict(zip(HEADER_FIELDS, _HEADER.unpack(head)))
    for name in ("label", "map_number", "user"):
        h[name] = h[name].decode("latin-1").rstrip(" \0")
    if h["element_size"] != 4 or h["element_type"] != 2:
        raise GridFileError("%s: not a grid of 4-byte reals (element size %d, type %d)"
                            % (path, h["element_size"], h["element_type"]))
    if h["columns"] < 1 or h["rows"] < 1:
        raise GridFileError("%s: header gives %d x %d nodes" % (path, h["columns"], h["rows"]))
    for name in ("dx", "dy", "x0", "y0", "angle", "base", "scale"):
        if not math.isfinite(h[name]):
            raise GridFileError("%s: header field %s is %r" % (path, name, h[name]))
    if h["scale"] == 0.0:
        raise GridFileError("%s: header value multiplier is 0" % path)
    for name in ("dx", "dy"):
        if h[name] == 0.0:
            raise GridFileError("%s: header spacing %s is 0" % (path, name))
    # Every node must lie at a finite place, apart from its neighbours: the far corners
    # bound the nodes, and a node step lost to rounding would stack nodes on one place.
    a = math.radians(h["angle"])
    c, s = math.cos(a), math.sin(a)
    along, across = (h["columns"] - 1) * h["dx"], (h["rows"] - 1) * h["dy"]
    corners = [(h["x0"] + i * c - j * s, h["y0"] + i * s + j * c) for i in (0.0, along) for j in (0.0, across)]
    if not all(math.isfinite(v) for xy in corners for v in xy):
        raise GridFileError("%s: header places nodes beyond the range of reals (origin %r, %r, spacing %r, %r)"
                            % (path, h["x0"], h["y0"], h["dx"], h["dy"]))
    for start, step, count, name in ((h["x0"], h["dx"], h["columns"], "dx"), (h["y0"], h["dy"], h["rows"], "dy")):
        far = start + (count - 1) * step
        if count > 1 and (start + step == start or far - step == far):
            raise GridFileError("%s: header spacing %s = %r is lost to rounding beside %r"
                                % (path, name, step, max(abs(start), abs(far))))
    want = HEADER_BYTES + 4 * h["columns"] * h["rows"]
    if size != want:
        raise GridFileError("%s: header gives %d x %d nodes (%d bytes) but the file has %d bytes"
                            % (path, h["columns"], h["rows"], want, size))
    return h


def section_name(path):
    """(line label, file suffix) when `path` is named as halvex names a section grid
    ("1021_logres.grd" -> ("1021", "logres")), else None."""
    m = _SECTION_NAME.match(os.path.basename(path))
    return (m.group("line"), m.group("suffix").lower()) if m else None


def load_grid(path, coords="auto"):
    """Reads a GRD grid file into an xarray.DataArray of float32.

    Parameters
    ----------
    path : str or os.PathLike
        The grid file.
    coords : {"auto", "section", "xy"}
        "section" names the coordinates "station" (distance along the survey line, m) and
        "elevation" (m), as in the sections halvex writes; "xy" names them "x" and "y";
        "auto" takes "section" for a file named as halvex names its grids
        (LINE_con.grd, LINE_logcon.grd, LINE_res.grd, LINE_logres.grd), else "xy".

    Returns
    -------
    xarray.DataArray
        Dimensions (y, x): the first row is the row at the grid's origin, whatever the
        file's row orientation. Null nodes (at or below -1.0E30) are NaN; every other value
        is the file's, bit for bit (a header with a value multiplier other than 1 or a base
        other than 0 is applied as value = stored / multiplier + base). An unrotated grid
        has 1-D coordinates; a rotated one has dimensions "row" and "column" and 2-D
        coordinates of every node. attrs hold every header field by name (orientation, dx,
        dy, x0, y0, angle, zmin, zmax, ...), the source file, and for a halvex section its
        line label, quantity and units.

    Raises
    ------
    GridFileError
        For a file that is not a valid grid: a length that does not match the header, a
        spacing of 0 or one lost to rounding, nodes placed beyond the range of reals,
        values that are not finite (after the multiplier and base); the message names the
        file and the fault.

    Examples
    --------
    >>> g = halvex.load_grid("1021_logres.grd")
    >>> g.dims, g.attrs["line"], g.attrs["units"]
    (('elevation', 'station'), '1021', 'log10(ohm m)')
    >>> float(g["elevation"][1] - g["elevation"][0])
    5.0
    """
    path = os.fspath(path)
    with open(path, "rb") as f:
        # The header and the file's size are checked before the values are read.
        h = _check_header(path, f.read(HEADER_BYTES), os.fstat(f.fileno()).st_size)
        ne, nv = h["columns"], h["rows"]
        data = f.read(4 * ne * nv)
    if len(data) != 4 * ne * nv:
        raise GridFileError("%s: ended while its values were read" % path)
    stored = np.frombuffer(data, dtype="<f4").reshape(nv, ne)
    if h["orientation"] != 1:
        stored = stored[::-1]  # stored from the last row to the first
    values = stored.astype(np.float32)  # native order, writable, rows from the origin
    null = values <= NULL_BOUND
    if h["scale"] != 1.0 or h["base"] != 0.0:
        with np.errstate(over="ignore", invalid="ignore"):
            values = (values.astype(np.float64) / h["scale"] + h["base"]).astype(np.float32)
    values[null] = np.nan
    bad = ~np.isfinite(values) & ~null
    if bad.any():
        j, i = (int(k[0]) for k in np.nonzero(bad))
        raise GridFileError("%s: node (%d, %d) is %r (stored %r, value multiplier %r, base %r)"
                            % (path, i, j, float(values[j, i]), float(stored[j, i]), h["scale"], h["base"]))

    named = section_name(path)
    kind = coords
    if kind == "auto":
        kind = "section" if named else "xy"
    if kind not in COORD_NAMES:
        raise ValueError("coords must be 'auto', 'section' or 'xy', not %r" % (coords,))
    xname, yname = COORD_NAMES[kind]

    i = np.arange(ne, dtype=np.float64)
    j = np.arange(nv, dtype=np.float64)
    if h["angle"] == 0.0:
        dims = (yname, xname)
        coord_map = {xname: (xname, h["x0"] + i * h["dx"]), yname: (yname, h["y0"] + j * h["dy"])}
    else:
        a = math.radians(h["angle"])
        ii, jj = np.meshgrid(i * h["dx"], j * h["dy"])
        dims = ("row", "column")
        coord_map = {xname: (dims, h["x0"] + ii * math.cos(a) - jj * math.sin(a)),
                     yname: (dims, h["y0"] + ii * math.sin(a) + jj * math.cos(a))}

    attrs = dict(h)
    attrs["source"] = os.path.basename(path)
    name = "z"
    if named:
        quantity, long_name, units = SECTION_QUANTITIES[named[1]]
        attrs.update(line=named[0], quantity=named[1], long_name=long_name, units=units)
        name = quantity
    da = xr.DataArray(values, dims=dims, coords=coord_map, name=name, attrs=attrs)
    if kind == "section":
        da[xname].attrs.update(long_name="station distance along the line", units="m")
        da[yname].attrs.update(long_name="elevation", units="m", positive="up")
    else:
        da[xname].attrs.update(long_name="x")
        da[yname].attrs.update(long_name="y")
    return da


def grid_geometry(grid):
    """(x0, y0, dx, dy, angle) of a 2-D DataArray (from load_grid, grid(), or any array with
    regular 1-D coordinates on its dimensions (y, x)): the position of node (0, 0), the
    spacings along a row and across the rows, and the rotation of the rows in degrees.
    The coordinates win over the header fields in attrs, so that a slice of a grid is
    placed where it lies; a rotated grid takes its spacings and angle from attrs."""
    if grid.ndim != 2:
        raise ValueError("a grid has two dimensions, this array %d" % grid.ndim)
    a = grid.attrs
    ydim, xdim = grid.dims
    if xdim in grid.coords and ydim in grid.coords:
        xs, ys = grid[xdim].values.astype(np.float64), grid[ydim].values.astype(np.float64)
        dx = (xs[-1] - xs[0]) / (len(xs) - 1) if len(xs) > 1 else float(a.get("dx", 1.0))
        dy = (ys[-1] - ys[0]) / (len(ys) - 1) if len(ys) > 1 else float(a.get("dy", 1.0))
        for c, d, what in ((xs, dx, xdim), (ys, dy, ydim)):
            if len(c) > 1 and not np.allclose(np.diff(c), d, rtol=1e-6, atol=0.0):
                raise ValueError("coordinate %s is not evenly spaced" % what)
        return float(xs[0]), float(ys[0]), float(dx), float(dy), 0.0
    two_d = [c for c in grid.coords.values() if c.dims == grid.dims]
    if len(two_d) == 2 and all(k in a for k in ("dx", "dy", "angle")):
        x, y = (c.values for c in two_d)
        return float(x[0, 0]), float(y[0, 0]), float(a["dx"]), float(a["dy"]), float(a["angle"])
    raise ValueError("the array has neither 1-D coordinates on %s and %s nor the node positions"
                     " and header of a rotated grid" % (ydim, xdim))
