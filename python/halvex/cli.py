"""The command line: python3 -m halvex {info,convert,section,sections}.

Every failure is one line "halvex: ..." on standard error and a non-zero exit status
(1 for a failed command, 2 for bad arguments); an output file is written under a
temporary name and renamed only when complete.
"""
import argparse
import glob
import json
import math
import os
import sys

import numpy as np

from .export import save_geotiff, save_netcdf
from .grid_file import GridFileError, load_grid, section_name
from .section import save_section

PICTURE_FORMATS = ("png", "svg", "pdf")


class CommandError(Exception):
    pass


def grid_summary(path):
    """The header fields and the value range of a grid file, as a dict for `info`."""
    g = load_grid(path, coords="xy")
    v = g.values
    valid = v[np.isfinite(v)]
    out = {"file": os.fspath(path)}
    out.update({k: g.attrs[k] for k in (
        "element_size", "element_type", "columns", "rows", "orientation", "dx", "dy", "x0", "y0",
        "angle", "base", "scale", "label", "map_number", "projection", "x_unit", "y_unit", "z_unit",
        "valid_nodes", "zmin", "zmax", "median", "mean", "variance", "flag")})
    out["nodes"] = int(v.size)
    out["null_nodes"] = int(v.size - valid.size)
    out["value_min"] = float(valid.min()) if valid.size else None
    out["value_max"] = float(valid.max()) if valid.size else None
    xs, ys = g["x"].values, g["y"].values
    out["x_range"] = [float(xs.min()), float(xs.max())]
    out["y_range"] = [float(ys.min()), float(ys.max())]
    named = section_name(path)
    if named:
        out["line"], out["quantity"] = named[0], named[1]
        out["units"] = g.attrs["units"]
    return out


def _plain(v):
    """A value as JSON holds it: floats of the header as the shortest text that reads back
    to the same number, non-finite ones as text."""
    if isinstance(v, (float, np.floating)):
        f = float(v)
        return f if math.isfinite(f) else str(f)
    if isinstance(v, (int, np.integer)):
        return int(v)
    if isinstance(v, list):
        return [_plain(x) for x in v]
    return v


def cmd_info(a):
    s = grid_summary(a.grid)
    if a.json:
        print(json.dumps({k: _plain(v) for k, v in s.items()}, indent=2))
        return 0
    width = max(len(k) for k in s)
    for k, v in s.items():
        if isinstance(v, list):
            v = " .. ".join("%.9g" % x for x in v)
        elif isinstance(v, (float, np.floating)):
            v = "%.9g" % v
        elif v is None:
            v = "(no valid node)"
        elif isinstance(v, str) and k in ("label", "map_number") and not v:
            v = "(blank)"
        print("%-*s  %s" % (width, k, v))
    return 0


def cmd_convert(a):
    ext = os.path.splitext(a.output)[1].lower()
    if ext not in (".nc", ".tif", ".tiff"):
        raise CommandError("%s: the output is .nc (netCDF) or .tif (GeoTIFF)" % a.output)
    g = load_grid(a.grid)
    if ext == ".nc":
        save_netcdf(g, a.output)
    else:
        save_geotiff(g, a.output, engine=a.engine)
    return 0


def _picture_args(a):
    return dict(exaggeration=a.exaggeration, cmap=a.cmap, width=a.width)


def cmd_section(a):
    out = a.output or os.path.splitext(os.path.basename(a.grid))[0] + ".png"
    if os.path.splitext(out)[1].lower().lstrip(".") not in PICTURE_FORMATS:
        raise CommandError("%s: a section is written as .png, .svg or .pdf" % out)
    g = load_grid(a.grid)
    save_section(g, out, dpi=a.dpi, vmin=a.vmin, vmax=a.vmax, **_picture_args(a))
    return 0


def common_ranges(grids):
    """{quantity: (smallest, largest)} over every grid of that quantity: one colour range
    per quantity for all lines of a run, so that their pictures compare."""
    ranges = {}
    for g in grids:
        v = g.values[np.isfinite(g.values)]
        if v.size:
            q = g.attrs.get("quantity")
            lo, hi = ranges.get(q, (math.inf, -math.inf))
            ranges[q] = (min(lo, float(v.min())), max(hi, float(v.max())))
    return ranges


def cmd_sections(a):
    if not os.path.isdir(a.folder):
        raise CommandError("%s: not a folder" % a.folder)
    paths = sorted(p for p in glob.glob(os.path.join(a.folder, "*.grd")) if section_name(p))
    if not paths:
        raise CommandError("%s: no section grid (LINE_con.grd, LINE_logres.grd, ...)" % a.folder)
    out_dir = a.output or a.folder
    os.makedirs(out_dir, exist_ok=True)
    grids, failed = {}, 0
    for p in paths:
        try:
            grids[p] = load_grid(p)
        except (OSError, GridFileError) as e:
            print("halvex: %s" % e, file=sys.stderr)
            failed += 1
    ranges = common_ranges(grids.values())
    for p, g in grids.items():
        lo, hi = ranges.get(g.attrs["quantity"], (None, None))
        out = os.path.join(out_dir, os.path.splitext(os.path.basename(p))[0] + "." + a.format)
        try:
            save_section(g, out, dpi=a.dpi, vmin=lo, vmax=hi, **_picture_args(a))
            if not a.quiet:
                print("wrote %s" % out)
        except (OSError, ValueError) as e:
            print("halvex: %s: %s" % (out, e), file=sys.stderr)
            failed += 1
    if failed:
        raise CommandError("%d of %d sections not drawn" % (failed, len(paths)))
    return 0


def _positive(text):
    v = float(text)
    if not (v > 0 and math.isfinite(v)):
        raise argparse.ArgumentTypeError("must be a positive number")
    return v


def parser():
    ap = argparse.ArgumentParser(prog="python3 -m halvex",
                                 description="Open, convert and draw the GRD grid files of halvex and minc.")
    sub = ap.add_subparsers(dest="command", required=True)

    p = sub.add_parser("info", help="print a grid file's header and value range")
    p.add_argument("grid")
    p.add_argument("--json", action="store_true", help="as JSON")
    p.set_defaults(run=cmd_info)

    p = sub.add_parser("convert", help="write a grid file as netCDF (.nc) or GeoTIFF (.tif)")
    p.add_argument("grid")
    p.add_argument("output")
    p.add_argument("--engine", choices=("rasterio", "gdal"),
                   help="GeoTIFF writer (default rasterio when installed)")
    p.set_defaults(run=cmd_convert)

    def picture_options(p):
        p.add_argument("--exaggeration", type=_positive, help="vertical exaggeration (default: from the shape)")
        p.add_argument("--cmap", help="matplotlib colour map")
        p.add_argument("--width", type=_positive, default=10.0, help="picture width in inches (default 10)")
        p.add_argument("--dpi", type=_positive, default=150.0, help="dots per inch (default 150)")

    p = sub.add_parser("section", help="draw one section grid")
    p.add_argument("grid")
    p.add_argument("-o", "--output", help="picture file, .png, .svg or .pdf (default NAME.png here)")
    p.add_argument("--vmin", type=float, help="colour range, in the grid's values")
    p.add_argument("--vmax", type=float)
    picture_options(p)
    p.set_defaults(run=cmd_section)

    p = sub.add_parser("sections", help="draw every section grid of a halvex run")
    p.add_argument("folder")
    p.add_argument("-o", "--output", help="folder of the pictures (default: the run's folder)")
    p.add_argument("--format", choices=PICTURE_FORMATS, default="png")
    p.add_argument("-q", "--quiet", action="store_true")
    picture_options(p)
    p.set_defaults(run=cmd_sections)
    return ap


def main(argv=None):
    a = parser().parse_args(argv)
    try:
        return a.run(a)
    except (CommandError, GridFileError, OSError, ValueError) as e:
        print("halvex: %s" % e, file=sys.stderr)
        return 1
