#!/usr/bin/env python3
"""End to end: halvex on a small model file gives four grid files per gridded line,
with the right names, headers, sizes, dummies where blanked, the data reproduced at
the data nodes (conductivity and resistivity back from their natural logarithms), and
"minc.log" of the last call with its parameter lines byte for byte.

The model puts every cell centre on a grid node: stations 0, 25, ..., 200 (station
step 25 = xcell), column tops at 102.5 m with 5 m cells, so centres at 100, 95, ... 25.
Expected values are computed here from the model, independently of the program.

Usage: halvex_grids.py --halvex PATH --work DIR
"""
import argparse
import math
import os
import subprocess
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python"))
import halvex  # noqa: E402

NDEPTH, CELL = 16, 5.0
DUMMY_BYTES = bytes.fromhex("aec59df4")  # -1.0E32 as stored

failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def conductivity(line, k, i):
    """Cell i (1 = top) of station k (0-based) of a line; 0 = no point."""
    if line == 12 and k >= 6 and i >= 9:
        return 0.0  # the deep part of the line's east end is below investigation
    return 10.0 + k + 2.0 * i + (3.0 if line == 12 else 0.0)


def write_model(path):
    with open(path, "w", newline="\n") as f:
        f.write("/ test model: Line Fid East North Elev Alt Resid DOI Iter Nlay Con(1..16)\n")
        for line in (7, 12):
            for k in range(9):
                cons = " ".join("%.4f" % conductivity(line, k, i) for i in range(1, NDEPTH + 1))
                f.write("%d %d %.2f %.2f 102.5 30.0 0.5 150.0 10 16 %s\n"
                        % (line, 100 * k, 1000.0 + 25.0 * k, 5000.0 + 200.0 * line, cons))
        for k in range(2):  # two records only: reported, not gridded
            f.write("3 %d %.2f 9000.00 50.0 30.0 0.5 150.0 10 16 %s\n"
                    % (k, 25.0 * k, " ".join(["20.0"] * NDEPTH)))


def read_grd(path):
    """(header fields, node values [row from the origin][column] with NaN where blank,
    file size, number of 4-byte words in the node area that hold the dummy -1.0E32)."""
    g = halvex.load_grid(path, coords="xy")
    a = g.attrs
    h = {"size": a["element_size"], "type": a["element_type"], "ne": a["columns"], "nv": a["rows"],
         "kx": a["orientation"], "de": a["dx"], "dv": a["dy"], "x0": a["x0"], "y0": a["y0"],
         "zmin": a["zmin"], "zmax": a["zmax"]}
    nodes = open(path, "rb").read()[512:]
    dummies = sum(nodes[k:k + 4] == DUMMY_BYTES for k in range(0, len(nodes), 4))
    return h, g.values, os.path.getsize(path), dummies


def param_line(label, value, decimals, width=12):
    """A parameter line as the log writes it: label, blanks to 16 (14 for width 14),
    the fixed-point value right-aligned, CR LF."""
    field = ("%.*f" % (decimals, value))
    if decimals == 0:
        field = "%d." % round(value)
    start = 28 - width
    return (label.ljust(start) + field.rjust(width) + "\r\n").encode()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--halvex", required=True)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    os.makedirs(a.work, exist_ok=True)
    write_model(os.path.join(a.work, "model.mod"))
    run = subprocess.run([os.path.abspath(a.halvex), "model.mod", "5", "16"], cwd=a.work,
                         capture_output=True, text=True)
    # The two-record line 3 is dropped with a warning, so the run ends with status 3;
    # no gridding call may fail, and standard output holds no warning.
    check(run.returncode == 3, "halvex exit status %d" % run.returncode)
    check(run.stderr == " warning: survey line 3 has only 2 records, fewer than 3; not written"
          " or gridded (model.mod, lines 20 to 21)\n", "standard error: %r" % run.stderr)
    check("warning" not in run.stdout, "a warning on standard output")

    files = set(os.listdir(a.work))
    for label in ("7", "12"):
        for suffix in ("_con.grd", "_logcon.grd", "_res.grd", "_logres.grd"):
            check(label + suffix in files, "missing " + label + suffix)
    check(not any(n.startswith("3_") for n in files), "a two-record line was gridded")
    check(not any(n.startswith("~minc") for n in files), "scratch file left: %s" % sorted(files))

    quantities = [("_con.grd", lambda c: c), ("_logcon.grd", lambda c: math.log10(c)),
                  ("_res.grd", lambda c: 1000.0 / c), ("_logres.grd", lambda c: 3.0 - math.log10(c))]
    for line in (7, 12):
        for suffix, value in quantities:
            name = "%d%s" % (line, suffix)
            if name not in files:
                continue
            h, v, size, dummies = read_grd(os.path.join(a.work, name))
            # Grid: stations 0..200 by 25 (9 columns), elevations 25..100 by 5 (16 rows),
            # rows from the deepest upward (orientation 1).
            check((h["size"], h["type"], h["ne"], h["nv"], h["kx"]) == (4, 2, 9, 16, 1),
                  "%s header words %s" % (name, h))
            check((h["de"], h["dv"], h["x0"], h["y0"]) == (25.0, 5.0, 0.0, 25.0),
                  "%s spacing/origin %s" % (name, h))
            check(size == 512 + 4 * 9 * 16, "%s size %d" % (name, size))
            lo, hi = None, None
            for k in range(9):
                for i in range(1, NDEPTH + 1):
                    row = NDEPTH - i  # cell i's centre is at 102.5 - (i - 0.5) * 5
                    got = float(v[row, k])
                    c = conductivity(line, k, i)
                    if c > 0.0:
                        want = value(c)
                        check(abs(got - want) <= 2e-5 * max(1.0, abs(want)),
                              "%s node (%d, %d): %r, data %r" % (name, k + 1, row + 1, got, want))
                        lo = want if lo is None else min(lo, want)
                        hi = want if hi is None else max(hi, want)
            if line == 12:
                # The corner (station 200, elevation 25) is 3 cells from the nearest data
                # in both directions, beyond the half window of 2: blanked.
                check(np.isnan(v[0, 8]), "%s corner not blanked: %r" % (name, v[0, 8]))
            else:
                check(not np.isnan(v).any(), "%s has blanked nodes" % name)
            # Every blank node is stored as the dummy itself.
            check(dummies == int(np.isnan(v).sum()), "%s: %d dummy words for %d blank nodes"
                  % (name, dummies, int(np.isnan(v).sum())))
            # The header range covers the data values (nodes between data may lie beyond).
            check(h["zmin"] <= lo * (1 + 1e-5) + 1e-6 and h["zmax"] >= hi * (1 - 1e-5) - 1e-6,
                  "%s range %r..%r vs data %r..%r" % (name, h["zmin"], h["zmax"], lo, hi))

    # The log of the last call (line 12, log resistivity), parameter lines byte for byte.
    log = open(os.path.join(a.work, "minc.log"), "rb").read()
    expect = b"".join([
        param_line(" x origin ", 0.0, 2),
        param_line(" y origin ", 25.0, 2, width=14),
        param_line(" x cell size ", 25.0, 4),
        param_line(" y cell size ", 5.0, 4),
        param_line(" num columns  ", 9, 0),
        param_line(" num rows ", 16, 0),
        param_line(" z channel ", 6, 0),
        param_line(" max chan ", 6, 0),
        param_line(" search radius ", 50.0, 3),          # max(5 cell, 2 xcell)
        param_line(" rotation angle ", 0.0, 3)[:-2] + b" \r\n",
        param_line(" null data ", -99999.0, 3),
        param_line(" half window ", 2, 0),               # 50 / 25 (50 <= 16 x 5)
        param_line(" total columns ", 13, 0),            # 9 + 2 * 2
        param_line(" total rows ", 20, 0),               # 16 + 2 * 2
        param_line(" number tiers ", 1, 0),
        param_line(" sections/tier ", 1, 0),
        param_line(" columns/block ", 13, 0),            # one block over the extended grid
        param_line(" rows/block ", 20, 0),
    ])
    check(log[:len(expect)] == expect, "minc.log parameter lines:\n%r\nexpected\n%r"
          % (log[:len(expect)], expect))
    rest = log[len(expect):]
    heading = b"\r\n tier  sect   init err    end err    #iterations\r\n"
    check(rest.startswith(heading) and len(rest) == len(heading) + 43 and rest.endswith(b"\r\n"),
          "minc.log block lines: %r" % rest)

    for f in failures:
        print("FAIL:", f)
    print("halvex grids: %d checks failed" % len(failures) if failures else "halvex grids: all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
