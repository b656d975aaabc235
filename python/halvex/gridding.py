"""Gridding arrays of scattered points through the minc library (libminc.so, ctypes).

Each call hands the points to the library's MINC_GRID_POINTS, which grids them from memory
with a fresh relaxation state (the state the minc command starts every grid from) and
hands its log back in memory; the grid file goes to a fresh temporary folder, is read
back with load_grid and the folder removed. Nothing else is written and no process state
changes, so calls may run in several threads at once.

The library is found in this order, the first that exists winning:
1. the file named by the environment variable HALVEX_LIBMINC (an error if it is not the
   library);
2. the library carried inside the package (libminc.so beside this file), built and
   copied in by the package's install (pip install ./python);
3. the library of the prefix the package was installed into with cmake --install
   (_prefix.py beside this file names it, relative to the package, so that the
   installed tree may be moved);
4. the installed library: the linker's search, then lib/ under this Python's prefix,
   /usr/local and /usr;
5. the build trees of the source checkout this package lies in (build/minc,
   build-test/minc).
Where HALVEX_LIBMINC is not set, a library of another release than the package's is
passed over.
"""
import ctypes
import ctypes.util
import math
import os
import sys
import tempfile

import numpy as np

from . import __version__
from .grid_file import load_grid

ENV_LIBRARY = "HALVEX_LIBMINC"
# The null value the points are handed over with: a point whose value equals it is not
# gridded. A NaN value is given it; where a real value equals it, another is chosen.
INPUT_DUMMY = np.float32(-99999.0)
_OTHER_DUMMIES = (np.float32(-np.finfo(np.float32).max), np.float32(np.finfo(np.float32).max))
INT_MAX = 2 ** 31 - 1
MAX_POINTS = 2 ** 23  # the library's bound on the points of one call
# The log's length bound: its parameter lines and 95 bytes for each of at most 3600 blocks.
_LOG_BYTES = 4096 + 95 * 3600
_LOG_HEADING = " tier  sect   init err    end err    #iterations"


class MincError(RuntimeError):
    """MINC returned a failure code; `code` holds it. The text is the library's own
    (MINC_STATUS_TEXT)."""

    def __init__(self, code):
        text = _load().MINC_STATUS_TEXT(code).decode("ascii", "replace")
        super().__init__("minc failed with code %d: %s" % (code, text))
        self.code = code


class _Request(ctypes.Structure):
    """MINC_POINTS_REQUEST of minc.h, the version with the log."""

    _fields_ = [("size", ctypes.c_size_t), ("outfile", ctypes.c_char_p)]
    _fields_ += [(k, ctypes.POINTER(ctypes.c_float)) for k in ("x", "y", "z")]
    _fields_ += [("n", ctypes.c_int)] + [(k, ctypes.c_float) for k in ("x0", "y0", "dx", "dy")]
    _fields_ += [("nx", ctypes.c_int), ("ny", ctypes.c_int), ("radius", ctypes.c_float), ("dummy", ctypes.c_float),
                 ("mode", ctypes.c_int), ("iopt", ctypes.c_int), ("angle", ctypes.c_float),
                 ("iterations", ctypes.c_int), ("gmin", ctypes.c_float), ("gmax", ctypes.c_float),
                 ("progress", ctypes.c_void_p), ("progress_data", ctypes.c_void_p),
                 ("log", ctypes.c_void_p), ("log_size", ctypes.c_size_t), ("log_length", ctypes.c_size_t)]


_library = None


def _package_dir():
    return os.path.dirname(os.path.abspath(__file__))


def _candidates():
    env = os.environ.get(ENV_LIBRARY)
    if env:
        yield env, True
        return
    here = _package_dir()
    yield os.path.join(here, "libminc.so"), False
    try:
        from ._prefix import LIBRARY

        yield os.path.normpath(os.path.join(here, LIBRARY)), False
    except ImportError:
        pass
    found = ctypes.util.find_library("minc")
    if found:
        yield found, False
    for prefix in (sys.prefix, "/usr/local", "/usr"):
        for sub in ("lib", "lib64", "lib/x86_64-linux-gnu"):
            yield os.path.join(prefix, sub, "libminc.so"), False
    root = os.path.dirname(os.path.dirname(here))
    for tree in ("build", "build-test"):
        yield os.path.join(root, tree, "minc", "libminc.so"), False


def _release(lib):
    if not hasattr(lib, "MINC_VERSION"):
        return None
    lib.MINC_VERSION.restype = ctypes.c_char_p
    lib.MINC_VERSION.argtypes = []
    return lib.MINC_VERSION().decode("ascii", "replace")


def find_library():
    """The path or name of the libminc.so that grid() uses.

    Returns
    -------
    str
        The file (or the linker's name) of the library, found in the order the module
        documentation gives.

    Raises
    ------
    OSError
        When there is none; the message names every place tried.

    Examples
    --------
    >>> os.path.basename(halvex.gridding.find_library()).startswith("libminc")
    True
    """
    tried = []
    for cand, required in _candidates():
        if os.sep in cand and not os.path.exists(cand):
            if required:
                raise OSError("%s=%s: no such file" % (ENV_LIBRARY, cand))
            tried.append(cand)
            continue
        try:
            lib = ctypes.CDLL(cand)
        except OSError as e:
            if required:
                raise OSError("%s=%s: %s" % (ENV_LIBRARY, cand, e)) from None
            tried.append(cand)
            continue
        if hasattr(lib, "MINC_GRID_POINTS") and hasattr(lib, "MINC_VERSION"):
            release = _release(lib)
            if required or release == __version__:
                return cand
            tried.append("%s (release %s, not %s)" % (cand, release, __version__))
            continue
        if required:
            raise OSError("%s=%s is not the halvex minc library of this release (no MINC_VERSION)"
                          % (ENV_LIBRARY, cand))
        tried.append(cand + " (another library)")
    raise OSError("libminc.so not found: set %s to its path, install the package, or build the source"
                  " tree; tried %s" % (ENV_LIBRARY, ", ".join(tried)))


def _load():
    global _library
    if _library is None:
        path = find_library()
        lib = ctypes.CDLL(path)
        lib.MINC_GRID_POINTS.argtypes = [ctypes.POINTER(_Request)]
        lib.MINC_GRID_POINTS.restype = ctypes.c_int
        lib.MINC_STATUS_TEXT.argtypes = [ctypes.c_int]
        lib.MINC_STATUS_TEXT.restype = ctypes.c_char_p
        lib.halvex_path = path
        _library = lib
    return _library


def library_version():
    """The library grid() uses.

    Returns
    -------
    tuple of str
        Its release number (MINC_VERSION) and its file, e.g. ("0.2.0", ".../libminc.so").

    Raises
    ------
    OSError
        When there is none (see find_library).

    Examples
    --------
    >>> halvex.gridding.library_version()[0] == halvex.__version__
    True
    """
    lib = _load()
    return _release(lib), lib.halvex_path


def _real(v, what):
    try:
        f = float(v)
    except (TypeError, ValueError):
        raise ValueError("%s must be a number, not %r" % (what, v)) from None
    if not math.isfinite(f):
        raise ValueError("%s must be finite, not %r" % (what, f))
    return f


def _pair(v, what):
    if np.ndim(v) == 0:
        return _real(v, what), _real(v, what)
    if len(v) != 2:
        raise ValueError("%s is one number or two" % what)
    return _real(v[0], what), _real(v[1], what)


def _count(v, what):
    try:
        f = float(v)
    except (TypeError, ValueError):
        raise ValueError("%s must hold whole numbers, not %r" % (what, v)) from None
    if not f.is_integer() or not 1 <= f <= INT_MAX:
        raise ValueError("%s must hold whole numbers from 1 to %d, not %r" % (what, INT_MAX, v))
    return int(f)


def _fmt(v):
    return "%.12g" % v


def grid_frame(region=None, spacing=None, origin=None, size=None, adjust_region=False):
    """The grid's frame (x0, y0, dx, dy, nx, ny), in double precision.

    Parameters
    ----------
    region : (xmin, xmax, ymin, ymax), optional
        Nodes on all four edges: a whole number of spacings across each axis, within a
        millionth of a spacing. Else give `origin` and `size`.
    spacing : float or (dx, dy)
        Node spacing, above 0 and above 0 as a 32-bit real.
    origin : (x0, y0), optional
        The first node.
    size : (nx, ny), optional
        Columns and rows, whole numbers from 1 to 2**31 - 1.
    adjust_region : bool
        Move xmax and ymax to the nearest whole number of spacings (halves upward)
        instead of refusing a region that does not fit.

    Returns
    -------
    tuple
        x0, y0, dx, dy as floats, nx, ny as ints.

    Raises
    ------
    ValueError
        For a missing, non-finite or out-of-range argument, named in the message; for a
        region that is not a whole number of spacings, with the two nearest that are.

    Examples
    --------
    >>> halvex.gridding.grid_frame(region=(0, 0.9, 10, 11.2), spacing=0.3)
    (0.0, 10.0, 0.3, 0.3, 4, 5)
    >>> halvex.gridding.grid_frame(region=(0, 1, 0, 1), spacing=0.3)
    Traceback (most recent call last):
    ...
    ValueError: region (0, 1, 0, 1) is not a whole number of spacings 0.3, 0.3; the nearest that are: (0, 0.9, 0, 0.9) and (0, 1.2, 0, 1.2) (or adjust_region=True)
    """
    if spacing is None:
        raise ValueError("spacing is required")
    dx, dy = _pair(spacing, "spacing")
    for d in (dx, dy):
        with np.errstate(over="ignore"):
            single = np.float32(d)
        if not (d > 0 and single > 0 and np.isfinite(single)):
            raise ValueError("spacing must be positive and a finite 32-bit real above 0, not %r" % d)
    if region is not None:
        if origin is not None or size is not None:
            raise ValueError("give region, or origin and size, not both")
        if np.ndim(region) != 1 or len(region) != 4:
            raise ValueError("region is (xmin, xmax, ymin, ymax)")
        g = [_real(v, "region") for v in region]
        if not (g[1] > g[0] and g[3] > g[2]):
            raise ValueError("region needs xmin < xmax and ymin < ymax")
        steps, low, high = [], list(g), list(g)
        for lo, hi, d, k in ((g[0], g[1], dx, 1), (g[2], g[3], dy, 3)):
            q = (hi - lo) / d
            n = math.floor(q + 0.5)
            if n + 1 > INT_MAX or not math.isfinite(q):
                raise ValueError("region and spacing give %.6g %s, more than %d"
                                 % (q + 1, "columns" if k == 1 else "rows", INT_MAX))
            if abs(q - n) > 1e-6:
                low[k], high[k] = lo + max(math.floor(q), 1) * d, lo + math.ceil(q) * d
                n = max(n, 1)
            steps.append(n)
        if low != g and not adjust_region:
            raise ValueError("region (%s) is not a whole number of spacings %s, %s; the nearest that are: (%s) and"
                             " (%s) (or adjust_region=True)"
                             % (", ".join(map(_fmt, g)), _fmt(dx), _fmt(dy), ", ".join(map(_fmt, low)),
                                ", ".join(map(_fmt, high))))
        return g[0], g[2], dx, dy, steps[0] + 1, steps[1] + 1
    if origin is None or size is None:
        raise ValueError("give region, or origin and size")
    x0, y0 = _pair(origin, "origin")
    if np.ndim(size) != 1 or len(size) != 2:
        raise ValueError("size is (nx, ny)")
    nx, ny = (_count(v, "size") for v in size)
    return x0, y0, dx, dy, nx, ny


def _points(x, y, z, data):
    """x, y, z as float64 arrays from the three arrays or from `data`."""
    if data is not None:
        if x is not None or y is not None or z is not None:
            raise ValueError("give x, y and z, or data, not both")
        if hasattr(data, "data_vars"):  # an xarray Dataset: its first three variables
            names = list(data.data_vars)[:3]
            if len(names) < 3:
                raise ValueError("data holds %d variables, not x, y and z" % len(names))
            return tuple(np.asarray(data[k], dtype=np.float64).ravel() for k in names)
        table = np.asarray(data, dtype=np.float64)
        if table.ndim != 2 or table.shape[1] < 3:
            raise ValueError("data is a table of x, y, z columns, not of shape %s" % (table.shape,))
        return table[:, 0], table[:, 1], table[:, 2]
    if x is None or y is None or z is None:
        raise ValueError("give x, y and z, or data")
    return tuple(np.asarray(v, dtype=np.float64).ravel() for v in (x, y, z))


def _nodes(start, step, n):
    """start + i step for i < n in double precision, each to the 15 significant digits a
    double holds for certain: 0 + 3 x 0.1 is 0.3, not 0.30000000000000004."""
    return np.array([float("%.15g" % v) for v in start + np.arange(n) * step])


def _relaxation(log, limit):
    """The blocks' relaxation results from the call's log text."""
    lines = log.split("\r\n")
    sweeps, changes = [], []
    for k, line in enumerate(lines[:-1]):
        if line.rstrip() != _LOG_HEADING:
            continue
        fields = lines[k + 1].split()
        if len(fields) != 5:
            continue

        def real(t):
            try:
                return float(t)
            except ValueError:
                return math.inf  # a change too large for the log's field
        changes.append(real(fields[3]))
        sweeps.append(int(real(fields[4])))
    return {"iterations": tuple(sweeps), "block_largest_change": tuple(changes),
            "largest_change": max(changes, default=0.0), "iteration_limit": limit,
            "iteration_limit_hit": any(s >= limit for s in sweeps)}


_PROGRESS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_double, ctypes.c_void_p)


def _progress_callback(progress):
    """The C callback around `progress`, and the list that receives an exception it
    raised: an exception cannot cross the library, so it stops the call and is kept."""
    raised = []
    if progress is None:
        return None, raised

    def call(share, _data):
        try:
            return 0 if progress(share) is False else 1
        except BaseException as e:  # raised again once the library has returned
            raised.append(e)
            return 0

    return _PROGRESS(call), raised


def grid(x=None, y=None, z=None, region=None, spacing=None, radius=0.0, mode=1, angle=0.0, origin=None,
         size=None, iterations=None, coords="xy", data=None, adjust_region=False, verbose=False,
         progress=None):
    """Grids scattered points by minimum curvature through libminc.

    Parameters
    ----------
    x, y, z : array_like
        The points, as float64 (map coordinates keep their digits). A NaN value is not
        gridded; x and y must be finite.
    region : (xmin, xmax, ymin, ymax), optional
        The grid's edges, nodes on all four; a whole number of spacings across (see
        `adjust_region`). Else give `origin` and `size`.
    spacing : float or (dx, dy)
        Node spacing.
    radius : float
        Above 0: nodes farther than this from every point are blanked (NaN).
    mode : {1, 2, 3}
        1 grids the values, 2 their natural logarithm (values above 0), 3 a signed
        logarithm; the grid holds values.
    angle : float
        Grid in a frame rotated by this many degrees; the result is not rotated.
    origin : (x0, y0), optional
        The first node, with `size`.
    size : (nx, ny), optional
        Columns and rows, with `origin`.
    iterations : int, optional
        Relaxation sweep limit per block, 32 or more (default 512).
    coords : {"xy", "section", "auto"}
        Coordinate names, as load_grid gives them.
    data : table, optional
        Instead of x, y, z: an (n, 3) array, a pandas DataFrame (its first three
        columns) or an xarray Dataset (its first three variables).
    adjust_region : bool
        Move xmax and ymax to the nearest whole number of spacings instead of refusing a
        region that does not fit.
    verbose : bool
        Print the relaxation results of every block and a summary.
    progress : callable, optional
        Called after every tier of blocks with the share of the grid done (0 to 1);
        returning False stops the call, which then raises MincError (code -1042). An
        exception raised inside it also stops the call and is raised again by grid().

    Returns
    -------
    xarray.DataArray
        float32 values, dims (y, x), NaN where blanked; the coordinates x0 + i dx and
        y0 + j dy computed in double precision. attrs hold the grid file's header fields
        (x0, y0, dx, dy as given, in double) and the relaxation results: "iterations"
        (sweeps of each block, in solve order), "block_largest_change" (each block's
        largest change in its last sweep, as the log prints it, 4 decimals),
        "largest_change" (the largest of them), "iteration_limit" and
        "iteration_limit_hit" (whether a block stopped at the limit).

    Raises
    ------
    ValueError
        For bad arguments, naming the argument: sizes, counts and spacings are checked
        before the call (nothing wraps round at 2**31 or overflows).
    MincError
        When the library fails.
    OSError
        When libminc.so cannot be found.

    Notes
    -----
    The region's (or origin's) first node is subtracted from the points in double
    precision before they go to the library as 32-bit reals, and added back to the
    coordinates, so points near map coordinates (UTM eastings and northings) grid exactly
    as the same points near 0. This is where grid() differs from the minc command on the
    same points: the command reads 32-bit reals from its data file and subtracts the
    origin in 32-bit arithmetic, so for a grid whose first node is not (0, 0) the values
    may differ in the last digits; with the first node at (0, 0) and points that are
    32-bit reals the two give the same values, bit for bit. The command also takes a
    region that is not a whole number of spacings, and shortens it; grid() refuses it.
    A value of exactly -99999 (the command's null value) is gridded like any other.

    Examples
    --------
    >>> g = halvex.grid([306625.0, 306627.5, 306630.0, 306626.0], [6706058.0, 6706060.0, 6706058.5, 6706061.0],
    ...                 [1.0, 2.0, 3.0, 2.5], region=(306625, 306630, 6706058, 6706061), spacing=0.5)
    >>> g.shape, float(g.x[1]), float(g.y[-1])
    ((7, 11), 306625.5, 6706061.0)
    >>> len(g.attrs["iterations"]), g.attrs["iteration_limit"]
    (1, 512)
    """
    xs, ys, zs = _points(x, y, z, data)
    if not (len(xs) == len(ys) == len(zs)):
        raise ValueError("x, y and z differ in length: %d, %d, %d" % (len(xs), len(ys), len(zs)))
    if len(xs) == 0:
        raise ValueError("no points")
    if len(xs) > MAX_POINTS:
        raise ValueError("%d points, more than the %d one call takes" % (len(xs), MAX_POINTS))
    if not (np.all(np.isfinite(xs)) and np.all(np.isfinite(ys))):
        raise ValueError("x and y must be finite")
    if mode not in (1, 2, 3):
        raise ValueError("mode is 1, 2 or 3")
    limit = 512 if iterations is None else _count(iterations, "iterations")
    if limit < 32:
        raise ValueError("iterations must be 32 or more")
    x0, y0, dx, dy, nx, ny = grid_frame(region, spacing, origin, size, adjust_region)
    radius = _real(radius, "radius")
    angle = _real(angle, "angle")
    for v, what in ((radius, "radius"), (angle, "angle")):
        with np.errstate(over="ignore"):
            single = np.float32(v)
        if not np.isfinite(single):
            raise ValueError("%s %r is beyond the range of 32-bit reals" % (what, v))

    # The first node is subtracted in double precision: the library's 32-bit reals then
    # hold the points' places relative to the grid, not their map coordinates.
    with np.errstate(over="ignore"):
        rel_x, rel_y = (xs - x0).astype(np.float32), (ys - y0).astype(np.float32)
        values = zs.astype(np.float32)
    if not (np.all(np.isfinite(rel_x)) and np.all(np.isfinite(rel_y))):
        raise ValueError("x and y lie too far from the grid for 32-bit reals")
    if np.any(np.isinf(values)):
        raise ValueError("z must be finite or NaN, and within the range of 32-bit reals")
    dummy = next(d for d in (INPUT_DUMMY,) + _OTHER_DUMMIES if not np.any(values == d))
    values = np.where(np.isnan(values), dummy, values).astype(np.float32)

    lib = _load()
    P = ctypes.POINTER(ctypes.c_float)
    log = ctypes.create_string_buffer(_LOG_BYTES)
    with tempfile.TemporaryDirectory(prefix="halvex-grid-") as work:
        outfile = os.path.join(work, "grid.grd")
        q = _Request(size=ctypes.sizeof(_Request), outfile=os.fsencode(outfile), x=rel_x.ctypes.data_as(P),
                     y=rel_y.ctypes.data_as(P), z=values.ctypes.data_as(P), n=len(xs), x0=0.0, y0=0.0,
                     dx=np.float32(dx), dy=np.float32(dy), nx=nx, ny=ny, radius=np.float32(radius), dummy=dummy,
                     mode=mode, iopt=1, angle=np.float32(angle), iterations=limit,
                     log=ctypes.cast(log, ctypes.c_void_p), log_size=_LOG_BYTES)
        callback, raised = _progress_callback(progress)
        if callback is not None:
            q.progress = ctypes.cast(callback, ctypes.c_void_p)
        code = lib.MINC_GRID_POINTS(ctypes.byref(q))
        if raised:
            raise raised[0]
        if code != 0:
            raise MincError(code)
        result = load_grid(outfile, coords=coords)
    ydim, xdim = result.dims
    named = {dim: dict(result[dim].attrs) for dim in (xdim, ydim)}
    result = result.assign_coords({xdim: _nodes(x0, dx, nx), ydim: _nodes(y0, dy, ny)})
    for dim, attrs in named.items():
        result[dim].attrs.update(attrs)
    relax = _relaxation(log.raw[:min(q.log_length, _LOG_BYTES)].decode("latin-1"), limit)
    result.attrs.update(x0=x0, y0=y0, dx=dx, dy=dy, source="halvex.grid", **relax)
    if verbose:
        for k, (n, c) in enumerate(zip(relax["iterations"], relax["block_largest_change"]), 1):
            print("block %d: %d sweeps, largest change %.4f" % (k, n, c))
        print("relaxation: %d blocks, %s sweeps (limit %d%s), largest change %.4f"
              % (len(relax["iterations"]),
                 "%d to %d" % (min(relax["iterations"]), max(relax["iterations"])) if relax["iterations"] else "no",
                 limit, ", reached" if relax["iteration_limit_hit"] else "", relax["largest_change"]))
    return result
