#!/usr/bin/env python3
"""Compares the minc command with GMT's minimum-curvature gridder (gmt surface -T0) on
the same points and the same grid, and checks that they agree.

Two cases:
  smooth  a known smooth field sampled at 400 scattered points; both grids are compared
          with each other and with the true field;
  topo    the 52 surveyed elevations of data/topo.csv (Davis 1973).

Usage: gmt_compare.py --minc PATH --work DIR [--topo PATH]
Prints the figures; exits non-zero when a figure is beyond its limit.
"""
import argparse
import math
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python"))
import halvex  # noqa: E402


def read_grd(path):
    """A GRD grid file: (ne, nv, x0, y0, dx, dy, rows) with rows[j][i] counted from the
    origin (row 0 at y0), and None for the dummy."""
    g = halvex.load_grid(path, coords="xy")
    a = g.attrs
    rows = [[None if v != v else float(v) for v in r] for r in g.values]
    return a["columns"], a["rows"], a["x0"], a["y0"], a["dx"], a["dy"], rows


def read_gmt(path, x0, y0, dx, dy, ne, nv):
    """A gmt grid through grd2xyz, as rows[j][i] from the origin."""
    out = subprocess.run(["gmt", "grd2xyz", path], check=True, capture_output=True, text=True).stdout
    rows = [[None] * ne for _ in range(nv)]
    for line in out.splitlines():
        x, y, z = (float(t) for t in line.split())
        i = int(round((x - x0) / dx))
        j = int(round((y - y0) / dy))
        rows[j][i] = None if math.isnan(z) else z
    return rows


def write_xyz(path, pts):
    with open(path, "w") as f:
        f.write("# x y z\n")
        for x, y, z in pts:
            f.write("%.6f %.6f %.6f\n" % (x, y, z))


def grid_both(minc, work, name, pts, region, inc):
    """Runs both gridders on pts over region (xmin, xmax, ymin, ymax) with spacing inc;
    returns (minc rows, gmt rows, ne, nv, minc seconds, gmt seconds)."""
    import time
    xyz = os.path.join(work, name + ".xyz")
    write_xyz(xyz, pts)
    w, e, s, n = region
    t0 = time.perf_counter()
    subprocess.run([minc, "-R", "%g,%g,%g,%g" % region, "-I", "%g" % inc, "-o", name + "_minc.grd",
                    "-q", xyz], check=True, cwd=work)
    t1 = time.perf_counter()
    subprocess.run(["gmt", "surface", xyz, "-R%g/%g/%g/%g" % region, "-I%g" % inc, "-T0", "-Qr",
                    "-G" + name + "_gmt.nc"], check=True, cwd=work)
    t2 = time.perf_counter()
    ne, nv, x0, y0, dx, dy, mrows = read_grd(os.path.join(work, name + "_minc.grd"))
    grows = read_gmt(os.path.join(work, name + "_gmt.nc"), x0, y0, dx, dy, ne, nv)
    return mrows, grows, ne, nv, t1 - t0, t2 - t1


def stats(diffs):
    diffs = [d for d in diffs if d is not None]
    return max(abs(d) for d in diffs), math.sqrt(sum(d * d for d in diffs) / len(diffs))


def convex_hull(pts):
    """Counter-clockwise hull of (x, y, ...) points (Andrew's monotone chain)."""
    p = sorted(set((q[0], q[1]) for q in pts))

    def cross(o, a, b):
        return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0])

    lower, upper = [], []
    for q in p:
        while len(lower) >= 2 and cross(lower[-2], lower[-1], q) <= 0:
            lower.pop()
        lower.append(q)
    for q in reversed(p):
        while len(upper) >= 2 and cross(upper[-2], upper[-1], q) <= 0:
            upper.pop()
        upper.append(q)
    return lower[:-1] + upper[:-1]


def inside_hull(hull, x, y):
    n = len(hull)
    for k in range(n):
        a, b = hull[k], hull[(k + 1) % n]
        if (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]) < 0:
            return False
    return True


def bilinear(rows, x0, y0, inc, x, y):
    fi, fj = (x - x0) / inc, (y - y0) / inc
    i, j = min(int(fi), len(rows[0]) - 2), min(int(fj), len(rows) - 2)
    u, v = fi - i, fj - j
    return ((1 - u) * (1 - v) * rows[j][i] + u * (1 - v) * rows[j][i + 1] +
            (1 - u) * v * rows[j + 1][i] + u * v * rows[j + 1][i + 1])


def smooth_case(minc, work):
    def field(x, y):
        return 10.0 * math.sin(x / 6.0) * math.cos(y / 8.0) + 0.3 * x - 0.2 * y

    # One point near the centre of every 2 x 2 cell, jittered by up to 0.6: points stay
    # at least 0.8 apart, so no two share a nearest node of the 0.5 grid (gmt keeps only
    # the nearest point of each node and would otherwise grid fewer points than minc).
    seed = 12345
    pts = []

    def rnd():
        nonlocal seed
        seed = (seed * 1103515245 + 12345) % 2 ** 31
        return seed / 2 ** 31

    for j in range(15):
        for i in range(20):
            x = 2.0 * i + 1.0 + 1.2 * (rnd() - 0.5)
            y = 2.0 * j + 1.0 + 1.2 * (rnd() - 0.5)
            pts.append((x, y, field(x, y)))
    region, inc = (0.0, 40.0, 0.0, 30.0), 0.5
    mrows, grows, ne, nv, tm, tg = grid_both(minc, work, "smooth", pts, region, inc)
    zs = [p[2] for p in pts]
    span = max(zs) - min(zs)
    hull = convex_hull(pts)
    d_all, d_mg, d_mt, d_gt = [], [], [], []
    for j in range(nv):
        for i in range(ne):
            x, y = i * inc, j * inc
            m, g = mrows[j][i], grows[j][i]
            d_all.append(m - g)
            # Inside the data's convex hull both interpolate; outside they extrapolate,
            # each with its own edge conditions.
            if inside_hull(hull, x, y):
                d_mg.append(m - g)
                d_mt.append(m - field(x, y))
                d_gt.append(g - field(x, y))
    amx, arms = stats(d_all)
    mx, rms = stats(d_mg)
    tmx, trms = stats(d_mt)
    gmx, grms = stats(d_gt)
    print("smooth field (%d points,  %d x %d nodes, range %.2f):" % (len(pts), ne, nv, span))
    print("  minc vs gmt inside the data hull (%d nodes): max |diff| %.4f (%.3f%% of range),"
          " rms %.4f (%.3f%%)" % (len(d_mg), mx, 100 * mx / span, rms, 100 * rms / span))
    print("  minc vs gmt on all %d nodes: max |diff| %.4f (%.3f%%), rms %.4f (%.3f%%)"
          % (ne * nv, amx, 100 * amx / span, arms, 100 * arms / span))
    print("  inside the hull, minc vs true: max %.4f, rms %.4f;  gmt vs true: max %.4f, rms %.4f" % (tmx, trms, gmx, grms))
    print("  time: minc %.3f s, gmt %.3f s" % (tm, tg))
    ok = mx <= 0.02 * span and rms <= 0.003 * span
    if not ok:
        print("  FAIL: inside the hull minc and gmt differ by more than 2% (max) / 0.3% (rms) of the range")
    return ok


def topo_case(minc, work, topo):
    pts = []
    with open(topo) as f:
        for line in f:
            parts = line.strip().split(",")
            try:
                pts.append(tuple(float(p) for p in parts))
            except ValueError:
                continue  # the header line
    region, inc = (0.0, 6.5, 0.0, 6.5), 0.1
    mrows, grows, ne, nv, tm, tg = grid_both(minc, work, "topo", pts, region, inc)
    zs = [p[2] for p in pts]
    span = max(zs) - min(zs)
    d_mg = [mrows[j][i] - grows[j][i] for j in range(nv) for i in range(ne)]
    mx, rms = stats(d_mg)
    hull = convex_hull(pts)
    inside = [mrows[j][i] - grows[j][i] for j in range(nv) for i in range(ne)
              if inside_hull(hull, i * inc, j * inc)]
    imx, irms = stats(inside)
    # Where the largest difference lies, and how well each grid honours the data.
    jmax, imax = max(((j, i) for j in range(nv) for i in range(ne)),
                     key=lambda ji: abs(mrows[ji[0]][ji[1]] - grows[ji[0]][ji[1]]))
    near = min(math.hypot(p[0] - imax * inc, p[1] - jmax * inc) for p in pts)
    fit_m = stats([bilinear(mrows, 0.0, 0.0, inc, x, y) - z for x, y, z in pts])
    fit_g = stats([bilinear(grows, 0.0, 0.0, inc, x, y) - z for x, y, z in pts])
    print("topo.csv (52 points, %d x %d nodes, range %.0f ft):" % (ne, nv, span))
    print("  minc vs gmt : max |diff| %.2f ft (%.2f%% of range) at (%.1f, %.1f), %.2f units from"
          " the nearest point; rms %.2f ft (%.2f%%)"
          % (mx, 100 * mx / span, imax * inc, jmax * inc, near, rms, 100 * rms / span))
    print("  inside the data hull (%d of %d nodes): max |diff| %.2f ft (%.2f%%), rms %.2f ft (%.2f%%)"
          % (len(inside), ne * nv, imx, 100 * imx / span, irms, 100 * irms / span))
    print("  misfit at the data points: minc max %.2f rms %.2f; gmt max %.2f rms %.2f ft"
          % (fit_m[0], fit_m[1], fit_g[0], fit_g[1]))
    print("  time: minc %.3f s, gmt %.3f s" % (tm, tg))
    ok = imx <= 0.08 * span and irms <= 0.02 * span and rms <= 0.03 * span and fit_m[0] <= 0.02 * span
    if not ok:
        print("  FAIL: inside the hull beyond 8% (max) / 2% (rms) of the range, everywhere beyond"
              " 3% rms, or data misfit above 2%")
    return ok


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--minc", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--topo", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                    "data", "topo.csv"))
    a = ap.parse_args()
    a.minc = os.path.abspath(a.minc)
    os.makedirs(a.work, exist_ok=True)
    ok = smooth_case(a.minc, a.work)
    ok = topo_case(a.minc, a.work, a.topo) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
