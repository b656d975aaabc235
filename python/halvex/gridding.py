"""Gridding arrays of scattered points through the minc library (libminc.so, ctypes).

Each call hands the points to the library's MINC_POINTS, which grids them from memory
with a fresh relaxation state (the state the minc command starts every grid from, so the
values equal the minc command's bit for bit) and keeps its log in memory; the grid file
goes to a fresh temporary folder, is read back with load_grid and the folder removed.
Nothing else is written and no process state changes, so calls may run in several
threads at once.

The library is found in this order: the file named by the environment variable
HALVEX_LIBMINC; the installed library (the linker's search, then lib/ under this Python's
prefix, /usr/local and /usr); the build trees of the source checkout this package lies in
(build/minc, build-test/minc).
"""
import ctypes
import ctypes.util
import math
import os
import sys
import tempfile

import numpy as np

from .grid_file import load_grid

ENV_LIBRARY = "HALVEX_LIBMINC"
INPUT_DUMMY = np.float32(-99999.0)  # points whose value equals it are not gridded

class MincError(RuntimeError):
    """MINC returned a failure code; `code` holds it. The text is the library's own
    (MINC_STATUS_TEXT)."""

    def __init__(self, code):
        text = _load().MINC_STATUS_TEXT(code).decode("ascii", "replace")
        super().__init__("minc failed with code %d: %s" % (code, text))
        self.code = code


_library = None


def _candidates():
    env = os.environ.get(ENV_LIBRARY)
    if env:
        yield env, True
        return
    found = ctypes.util.find_library("minc")
    if found:
        yield found, False
    for prefix in (sys.prefix, "/usr/local", "/usr"):
        for sub in ("lib", "lib64", "lib/x86_64-linux-gnu"):
            yield os.path.join(prefix, sub, "libminc.so"), False
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    for tree in ("build", "build-test"):
        yield os.path.join(root, tree, "minc", "libminc.so"), False


def find_library():
    """The path or name of the libminc.so that grid() uses (search order in the module
    text). Raises OSError naming what was tried when there is none."""
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
        if hasattr(lib, "MINC") and hasattr(lib, "MINC_POINTS"):
            return cand
        if required:
            raise OSError("%s=%s is not the halvex minc library (no MINC_POINTS)" % (ENV_LIBRARY, cand))
        tried.append(cand + " (another library)")
    raise OSError("libminc.so not found: set %s to its path, install it, or build the source tree;"
                  " tried %s" % (ENV_LIBRARY, ", ".join(tried)))


def _load():
    global _library
    if _library is None:
        lib = ctypes.CDLL(find_library())
        f, i, c = ctypes.POINTER(ctypes.c_float), ctypes.POINTER(ctypes.c_int), ctypes.c_char_p
        n = ctypes.c_int
        lib.MINC.argtypes = [c, n, f, f, f, f, i, i, f, c, n, i, f, i, i, i, f, f, f, i]
        lib.MINC.restype = None
        lib.MINC_RESET.argtypes = []
        lib.MINC_RESET.restype = None
        lib.MINC_POINTS.argtypes = [c, f, f, f, n, ctypes.c_float, ctypes.c_float,
                                    ctypes.c_float, ctypes.c_float, n, n, ctypes.c_float,
                                    ctypes.c_float, n, n, ctypes.c_float, n, f, f]
        lib.MINC_POINTS.restype = ctypes.c_int
        lib.MINC_STATUS_TEXT.argtypes = [n]
        lib.MINC_STATUS_TEXT.restype = ctypes.c_char_p
        _library = lib
    return _library


def _float32(v, what):
    v = np.float32(v)
    if not np.isfinite(v):
        raise ValueError("%s must be finite, not %r" % (what, v))
    return v


def _pair(v, what):
    if np.ndim(v) == 0:
        return _float32(v, what), _float32(v, what)
    if len(v) != 2:
        raise ValueError("%s is one number or two" % what)
    return _float32(v[0], what), _float32(v[1], what)


def grid_frame(region=None, spacing=None, origin=None, size=None):
    """(x0, y0, dx, dy, nx, ny) of a grid given as the minc command takes it: spacing
    (one number or dx, dy) with either region (xmin, xmax, ymin, ymax; nodes on both
    edges, nx = round((xmax - xmin) / dx) + 1 in 32-bit reals, halves away from zero)
    or origin (x0, y0) and size (nx, ny)."""
    if spacing is None:
        raise ValueError("spacing is required")
    dx, dy = _pair(spacing, "spacing")
    if not (dx > 0 and dy > 0):
        raise ValueError("spacing must be positive")
    if region is not None:
        if origin is not None or size is not None:
            raise ValueError("give region, or origin and size, not both")
        if len(region) != 4:
            raise ValueError("region is (xmin, xmax, ymin, ymax)")
        g = [_float32(v, "region") for v in region]
        if not (g[1] > g[0] and g[3] > g[2]):
            raise ValueError("region needs xmin < xmax and ymin < ymax")

        def count(lo, hi, d):
            q = float((hi - lo) / d)  # float32 arithmetic, as the command does it
            return int(math.floor(abs(q) + 0.5)) * (1 if q >= 0 else -1) + 1

        return g[0], g[2], dx, dy, count(g[0], g[1], dx), count(g[2], g[3], dy)
    if origin is None or size is None:
        raise ValueError("give region, or origin and size")
    x0, y0 = _pair(origin, "origin")
    nx, ny = (int(v) for v in size)
    if nx < 1 or ny < 1:
        raise ValueError("size needs at least 1 column and 1 row")
    return x0, y0, dx, dy, nx, ny


def grid(x, y, z, region=None, spacing=None, radius=0.0, mode=1, angle=0.0, origin=None,
         size=None, iterations=None, coords="xy"):
    """Grids the points (x[k], y[k], z[k]) by minimum curvature and returns the grid as
    load_grid returns it (dims (y, x), NaN where blanked).

    The grid is spacing (one number or dx, dy) with region (xmin, xmax, ymin, ymax) or
    origin (x0, y0) with size (nx, ny), as in the minc command. radius > 0 blanks nodes
    farther than radius from data. mode 1 grids the values, 2 their natural logarithm
    (values > 0), 3 a signed logarithm; the grid holds values. angle grids in a frame
    rotated by angle degrees (the result is unrotated). iterations: relaxation sweep
    limit per block (32 or more; default 512). A point with a NaN value is not gridded.
    All numbers are taken as 32-bit reals. Raises ValueError for bad arguments and
    MincError when the library fails; OSError when libminc.so cannot be found.
    """
    xs = np.asarray(x, dtype=np.float32).ravel()
    ys = np.asarray(y, dtype=np.float32).ravel()
    zs = np.asarray(z, dtype=np.float32).ravel()
    if not (len(xs) == len(ys) == len(zs)):
        raise ValueError("x, y and z differ in length: %d, %d, %d" % (len(xs), len(ys), len(zs)))
    if len(xs) == 0:
        raise ValueError("no points")
    if not (np.all(np.isfinite(xs)) and np.all(np.isfinite(ys))):
        raise ValueError("x and y must be finite")
    if np.any(np.isinf(zs)):
        raise ValueError("z must be finite or NaN")
    if mode not in (1, 2, 3):
        raise ValueError("mode is 1, 2 or 3")
    if iterations is not None and int(iterations) < 32:
        raise ValueError("iterations must be 32 or more")
    x0, y0, dx, dy, nx, ny = grid_frame(region, spacing, origin, size)
    radius = _float32(radius, "radius")
    angle = _float32(angle, "angle")

    # A point without a value is handed over as the null value, which is not gridded.
    zs = np.where(np.isnan(zs), INPUT_DUMMY, zs).astype(np.float32)
    xs, ys = np.ascontiguousarray(xs), np.ascontiguousarray(ys)

    lib = _load()
    F, I = ctypes.c_float, ctypes.c_int
    P = ctypes.POINTER(ctypes.c_float)
    gmin, gmax = F(0.0), F(0.0)
    with tempfile.TemporaryDirectory(prefix="halvex-grid-") as work:
        outfile = os.path.join(work, "grid.grd")
        # A fresh relaxation state, the points from memory and the log kept in memory:
        # the call writes nothing but the grid file and changes no process state.
        code = lib.MINC_POINTS(os.fsencode(outfile), xs.ctypes.data_as(P), ys.ctypes.data_as(P),
                               zs.ctypes.data_as(P), I(len(xs)), F(x0), F(y0), F(dx), F(dy),
                               I(nx), I(ny), F(radius), F(INPUT_DUMMY), I(mode), I(1), F(angle),
                               I(int(iterations or 0)), ctypes.byref(gmin), ctypes.byref(gmax))
        if code != 0:
            raise MincError(code)
        result = load_grid(outfile, coords=coords)
    result.attrs["source"] = "halvex.grid"
    return result
