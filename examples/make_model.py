#!/usr/bin/env python3
"""Writes a synthetic Corvane model file: survey lines of model columns over a layered
earth with conductive bodies, on gently rolling topography, in map coordinates.

Deterministic for a given seed. The bundled example is

    make_model.py -o survey.mod            (4 lines x 60 stations x 64 cells of 5 m)

and a benchmark model, for example,

    make_model.py --lines 200 --stations 500 -o big.mod

--stations may list several counts, used line after line in turn (a survey of lines of
different lengths): --lines 4 --stations 2000,24000 gives lines of 2000, 24000, 2000
and 24000 stations.

Lines alternate between running west to east and east to west. Cells below the depth
of investigation of their column hold 0, as inversion programs write them. Numbers are
written as a Fortran program writes them, some conductivities with D exponents.
"""
import argparse
import math
import random
import sys


def fortran_e(value, digits=5, letter="E"):
    """Fortran Ew.d style: 0.12345E+02 (mantissa in [0.1, 1))."""
    if value == 0.0:
        return "0." + "0" * digits + letter + "+00"
    mant, exp = f"{value:.{digits - 1}e}".split("e")
    exp = int(exp) + 1
    sign = "-" if value < 0 else ""
    return f"{sign}0.{mant.replace('.', '').lstrip('-')}{letter}{'+' if exp >= 0 else '-'}{abs(exp):02d}"


def conductivity(east_m, depth, bodies):
    """Layered earth (mS/m) plus Gaussian conductive bodies; east_m along the line."""
    if depth < 20.0:
        c = 4.0        # dry cover
    elif depth < 60.0:
        c = 35.0       # saline clay
    elif depth < 140.0:
        c = 8.0        # sandstone
    else:
        c = 0.8        # resistive basement
    for (bx, bz, bw, bh, bc) in bodies:
        r2 = ((east_m - bx) / bw) ** 2 + ((depth - bz) / bh) ** 2
        if r2 < 9.0:
            c += bc * math.exp(-r2)
    return c


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--lines", type=int, default=4)
    ap.add_argument("--stations", default="60", help="stations per line, or a comma list used in turn")
    ap.add_argument("--ndepth", type=int, default=64)
    ap.add_argument("--cell", type=float, default=5.0)
    ap.add_argument("--spacing", type=float, default=25.0, help="mean station spacing (m)")
    ap.add_argument("--seed", type=int, default=20241)
    ap.add_argument("-o", "--output", default="-")
    a = ap.parse_args()

    counts = [int(c) for c in a.stations.split(",")]
    if not counts or min(counts) < 1:
        ap.error("--stations: one or more positive counts")
    rng = random.Random(a.seed)
    out = sys.stdout if a.output == "-" else open(a.output, "w", newline="\n")
    w = out.write
    w("/ Corvane layered-earth inversion, synthetic survey (make_model.py, seed %d)\n" % a.seed)
    w("/ cell %.1f m, %d cells per column, conductivity in mS/m, 0 below the depth of investigation\n"
      % (a.cell, a.ndepth))
    w("/ Line Fid East North Elev Alt Resid DOI Iter Nlay Con(1..%d)\n" % a.ndepth)

    east0, north0 = 512345.67, 7654321.89
    azimuth = math.radians(80.0)  # lines run roughly east
    for li in range(a.lines):
        line_number = 1001 + li * 10
        stations = counts[li % len(counts)]
        westward = li % 2 == 1
        offset = li * 200.0       # lines 200 m apart
        bodies = []
        for _ in range(rng.randint(1, 3)):
            bodies.append((rng.uniform(0.2, 0.8) * stations * a.spacing, rng.uniform(40.0, 200.0),
                           rng.uniform(60.0, 250.0), rng.uniform(15.0, 50.0), rng.uniform(80.0, 400.0)))
        w("/ line %d\n" % line_number)
        for si in range(stations):
            k = stations - 1 - si if westward else si
            x = k * a.spacing + rng.uniform(-2.0, 2.0)
            east = east0 + x * math.sin(azimuth) - offset * math.cos(azimuth)
            north = north0 + x * math.cos(azimuth) + offset * math.sin(azimuth)
            elev = 120.0 + 15.0 * math.sin(x / 700.0 + li) + 4.0 * math.sin(x / 90.0) + rng.uniform(-0.3, 0.3)
            doi = 150.0 + 80.0 * rng.random()
            fid = 10000 + li * 5000 + si * 3
            row = ["%d" % line_number, "%d" % fid, "%.2f" % east, "%.2f" % north, "%.2f" % elev,
                   "%.1f" % (30.0 + rng.uniform(-3.0, 3.0)), "%.3f" % rng.uniform(0.5, 1.5), "%.1f" % doi,
                   "%d" % rng.randint(8, 20), "%d" % a.ndepth]
            letter = "D" if (li + si) % 3 == 0 else "E"
            for ci in range(a.ndepth):
                depth = (ci + 0.5) * a.cell
                c = 0.0 if depth > doi else conductivity(x, depth, bodies) * math.exp(rng.gauss(0.0, 0.05))
                row.append(fortran_e(c, 5, letter))
            w(" ".join(row) + "\n")
    if out is not sys.stdout:
        out.close()


if __name__ == "__main__":
    main()
