"""The command line: python3 -m halvex {info,convert,section,sections,curtains,slices}.

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
from .output_file import output_target
from .section import run_color_ranges, section_context, save_section
from .stations import grid_stations, section_metadata

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
    # Writers that do not compute the header's statistics leave a valid-node count of 0 and
    # the dummy as median, mean and variance: those are no statistics, and are shown as such.
    if out["valid_nodes"] == 0 and all(out[k] <= -1.0e30 for k in ("median", "mean", "variance")):
        out.update(valid_nodes=None, median=None, mean=None, variance=None)
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
            v = "(not in the header)" if k in ("valid_nodes", "median", "mean", "variance") else "(no valid node)"
        elif isinstance(v, str) and k in ("label", "map_number") and not v:
            v = "(blank)"
        print("%-*s  %s" % (width, k, v))
    return 0


def cmd_convert(a):
    ext = os.path.splitext(a.output)[1].lower()
    if ext not in (".nc", ".tif", ".tiff"):
        raise CommandError("%s: the output is .nc (netCDF) or .tif (GeoTIFF)" % a.output)
    output_target(a.output, [a.grid])  # refused before any work: the input, read-only, ...
    g = load_grid(a.grid)
    if a.crs and "station" in g.coords:
        raise CommandError("%s: a section's coordinates are distance and elevation; --crs is for map grids"
                           % a.grid)
    meta = section_metadata(g, grid_stations(a.grid, g), os.path.dirname(os.path.abspath(a.grid)))
    if ext == ".nc":
        if a.crs:
            raise CommandError("--crs is written into GeoTIFF files only")
        save_netcdf(g, a.output, metadata=meta)
    else:
        save_geotiff(g, a.output, engine=a.engine, crs=a.crs, metadata=meta)
    return 0


def _picture_args(a):
    return dict(exaggeration=a.exaggeration, cmap=a.cmap, width=a.width, orient=a.orient)


def cmd_section(a):
    out = a.output or os.path.splitext(os.path.basename(a.grid))[0] + ".png"
    if os.path.splitext(out)[1].lower().lstrip(".") not in PICTURE_FORMATS:
        raise CommandError("%s: a section is written as .png, .svg or .pdf" % out)
    output_target(out, [a.grid])
    g = load_grid(a.grid)
    save_section(g, out, dpi=a.dpi, vmin=a.vmin, vmax=a.vmax, clip=a.clip, **_picture_args(a),
                 **section_context(a.grid, g))
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
    ranges = run_color_ranges(grids.values(), a.clip)
    for q, (lo, hi) in sorted(ranges.items()):
        lo, hi = (a.vmin if a.vmin is not None else lo), (a.vmax if a.vmax is not None else hi)
        ranges[q] = (lo, hi)
        if not a.quiet:
            print("colour range %s: %.6g to %.6g" % (q, lo, hi))
    for p, g in grids.items():
        lo, hi = ranges.get(g.attrs["quantity"], (None, None))
        out = os.path.join(out_dir, os.path.splitext(os.path.basename(p))[0] + "." + a.format)
        try:
            save_section(g, out, dpi=a.dpi, vmin=lo, vmax=hi, **_picture_args(a), **section_context(p, g))
            if not a.quiet:
                print("wrote %s" % out)
        except (OSError, ValueError) as e:
            print("halvex: %s: %s" % (out, e), file=sys.stderr)
            failed += 1
    if failed:
        raise CommandError("%d of %d sections not drawn" % (failed, len(paths)))
    return 0


def cmd_curtains(a):
    from .curtain_grids import curtains

    for path in curtains(a.folder, a.output, crs=a.crs):
        if not a.quiet:
            print("wrote %s" % path)
    return 0


def cmd_slices(a):
    from .slice_maps import slices

    results = slices(a.folder, depths=a.depths, elevations=a.elevations, spacing=a.spacing, radius=a.radius,
                     quantity=a.quantity, crs=a.crs, out_dir=a.output)
    if not results:
        raise CommandError("no interval has three stations with a value")
    for _, _, paths in results:
        for path in paths:
            if not a.quiet:
                print("wrote %s" % path)
    return 0


def _finite(text):
    v = float(text)
    if not math.isfinite(v):
        raise argparse.ArgumentTypeError("must be a finite number, not %s" % text)
    return v


def _positive(text):
    v = float(text)
    if not (v > 0 and math.isfinite(v)):
        raise argparse.ArgumentTypeError("must be a positive number")
    return v


class _Version(argparse.Action):
    def __init__(self, option_strings, dest, **kwargs):
        super().__init__(option_strings, dest, nargs=0, default=argparse.SUPPRESS, **kwargs)

    def __call__(self, ap, namespace, values, option_string=None):
        from . import __version__
        from .gridding import library_version

        try:
            lib = "libminc %s (%s)" % library_version()
        except OSError:
            lib = "libminc not found"
        print("halvex %s, %s" % (__version__, lib))
        ap.exit()


def parser():
    ap = argparse.ArgumentParser(prog="python3 -m halvex",
                                 description="Open, convert and draw the GRD grid files of halvex and minc.")
    ap.add_argument("--version", action=_Version, help="print the version of the package and its library")
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
    p.add_argument("--crs", help="coordinate reference system of a map grid's x and y, EPSG:N (GeoTIFF)")
    p.set_defaults(run=cmd_convert)

    def picture_options(p):
        p.add_argument("--exaggeration", type=_positive, help="vertical exaggeration (default: from the shape)")
        p.add_argument("--cmap", help="matplotlib colour map")
        p.add_argument("--vmin", type=_finite, help="colour range, in the grid's values (log10 for the log grids)")
        p.add_argument("--vmax", type=_finite)
        p.add_argument("--width", type=_positive, default=10.0, help="picture width in inches (default 10)")
        p.add_argument("--dpi", type=_positive, default=150.0, help="dots per inch (default 150)")
        p.add_argument("--orient", default="west",
                       help="'west' (west end on the left, the default) or an azimuth in degrees"
                            " that left to right follows")
        p.add_argument("--clip", type=float, metavar="PERCENT",
                       help="colour range from the PERCENT to the 100 - PERCENT percentile")

    p = sub.add_parser("section", help="draw one section grid")
    p.add_argument("grid")
    p.add_argument("-o", "--output", help="picture file, .png, .svg or .pdf (default NAME.png here)")
    picture_options(p)
    p.set_defaults(run=cmd_section)

    p = sub.add_parser("sections", help="draw every section grid of a halvex run")
    p.add_argument("folder")
    p.add_argument("-o", "--output", help="folder of the pictures (default: the run's folder)")
    p.add_argument("--format", choices=PICTURE_FORMATS, default="png")
    p.add_argument("-q", "--quiet", action="store_true")
    picture_options(p)
    p.set_defaults(run=cmd_sections)

    p = sub.add_parser("curtains", help="write every section of a run as a 3-D curtain (.vts) and the flight"
                                        " lines as GeoJSON")
    p.add_argument("folder")
    p.add_argument("-o", "--output", help="folder of the curtains (default: the run's folder)")
    p.add_argument("--crs", help="coordinate reference system of the map coordinates, EPSG:N")
    p.add_argument("-q", "--quiet", action="store_true")
    p.set_defaults(run=cmd_curtains)

    p = sub.add_parser("slices", help="depth or elevation slices of a run, gridded in map coordinates")
    p.add_argument("folder")
    which = p.add_mutually_exclusive_group(required=True)
    which.add_argument("--depths", help="intervals below the ground in metres: 0-10,10-20,... or 0:100:10")
    which.add_argument("--elevations", help="elevation intervals in metres: 100-80,80-60,... or 100:-100:-20")
    p.add_argument("--spacing", type=_positive, required=True, help="node spacing of the maps (m)")
    p.add_argument("--radius", type=_positive, required=True, help="blank nodes farther than this from every"
                                                                   " station (m)")
    p.add_argument("--quantity", choices=("con", "logcon", "res", "logres"), default="con")
    p.add_argument("--crs", help="coordinate reference system of the map coordinates, EPSG:N")
    p.add_argument("-o", "--output", help="folder of the slices (default: RUN/slices)")
    p.add_argument("-q", "--quiet", action="store_true")
    p.set_defaults(run=cmd_slices)
    return ap


def main(argv=None):
    a = parser().parse_args(argv)
    try:
        return a.run(a)
    except (CommandError, GridFileError, OSError, ValueError, RuntimeError) as e:
        print("halvex: %s" % e, file=sys.stderr)
        return 1
