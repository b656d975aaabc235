#!/usr/bin/env python3
"""Times the four grids of one survey line through the minc command against GMT's
minimum-curvature gridder (gmt surface -T0 -Qr) on the same points and grids.

The line: make_model.py --lines 1 --stations 400 --ndepth 64 (topography, cells below
the depth of investigation set to 0), converted by halvex, whose line table gives the
points (station, elevation, four quantities). The grid is the one halvex uses: origin and
size rounded outward to whole cells, column spacing xcell (the smallest station step
above the cell size), row spacing the cell size, search radius max(5 cell, 2 xcell).

minc grids conductivity and resistivity with --mode 2 (natural logarithms, written back
as values); gmt gets the natural logarithms as its input, as the library grids them.
minc blanks nodes beyond the search radius; gmt is run without masking (less work).
The two are run alternately, --repeat times each; the medians of processor time (user +
system of the child processes) and of wall time are reported, and their ratio.

Usage: gmt_compare.py --halvex PATH --minc PATH --model-script PATH --work DIR [--repeat N]
"""
import argparse
import math
import os
import resource
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import halvex  # noqa: E402


def child_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def timed(cmds, cwd):
    c0, w0 = child_cpu(), time.perf_counter()
    for cmd in cmds:
        subprocess.run(cmd, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return child_cpu() - c0, time.perf_counter() - w0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--halvex", required=True)
    ap.add_argument("--minc", required=True)
    ap.add_argument("--model-script", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--repeat", type=int, default=5)
    a = ap.parse_args()
    work = os.path.abspath(a.work)
    os.makedirs(work, exist_ok=True)
    cell = 5.0
    subprocess.run([sys.executable, a.model_script, "--lines", "1", "--stations", "400", "--ndepth", "64",
                    "-o", os.path.join(work, "line.mod")], check=True)
    console = subprocess.run([os.path.abspath(a.halvex), "line.mod", "5", "64"], cwd=work, check=True,
                             capture_output=True, text=True).stdout

    # Points of the line table: Station Depth East North Con LogCon Res LogRes.
    pts = []
    with open(os.path.join(work, "line_1001.xyz")) as f:
        next(f)
        for row in f:
            v = [float(t) for t in row.split()]
            pts.append(v)
    # The grid halvex chose for the line, from its console report.
    def numbers_after(label):
        for row in console.splitlines():
            if row.strip().startswith(label):
                return [float(t) for t in row.split(":")[1].split()]
        raise SystemExit("no '%s' in the halvex report" % label)

    gx0, gx1 = numbers_after("x range to output")
    nx = int(numbers_after("number of x cells")[0])
    gz1, gz0 = numbers_after("z range to output")
    nz = int(numbers_after("number of z cells")[0])
    xcell = (gx1 - gx0) / (nx - 1)
    radius = max(5 * cell, 2 * xcell)

    # Inputs: for minc the values (con and res with --mode 2), for gmt the values as the
    # library grids them (natural logarithms of con and res).
    quantities = [("con", 4, 2), ("logcon", 5, 1), ("res", 6, 2), ("logres", 7, 1)]
    minc_cmds, gmt_cmds = [], []
    region = "-R%.6f/%.6f/%.6f/%.6f" % (gx0, gx0 + (nx - 1) * xcell, gz0, gz0 + (nz - 1) * cell)
    for name, col, mode in quantities:
        with open(os.path.join(work, name + ".xyz"), "w") as f:
            for p in pts:
                f.write("%.4f %.4f %.7g\n" % (p[0], p[1], p[col]))
        with open(os.path.join(work, name + "_ln.xyz"), "w") as f:
            for p in pts:
                f.write("%.4f %.4f %.7g\n" % (p[0], p[1], math.log(p[col]) if mode == 2 else p[col]))
        minc_cmds.append([os.path.abspath(a.minc), "--origin", "%.6f,%.6f" % (gx0, gz0),
                          "--size", "%d,%d" % (nx, nz), "--spacing", "%.6f,%.6f" % (xcell, cell),
                          "--radius", "%.6f" % radius, "--mode", str(mode), "-q",
                          "-o", name + "_minc.grd", name + ".xyz"])
        gmt_cmds.append(["gmt", "surface", name + "_ln.xyz", region, "-I%.6f/%.6f" % (xcell, cell),
                         "-T0", "-Qr", "-G" + name + "_gmt.nc"])

    # halvex itself on the one-line model: its four calls carry the relaxation state from
    # call to call (minc starts each process afresh), plus the tables it writes.
    halvex_cmds = [[os.path.abspath(a.halvex), "line.mod", "5", "64"]]
    m_cpu, m_wall, g_cpu, g_wall, h_cpu, h_wall = [], [], [], [], [], []
    for _ in range(a.repeat):
        c, w = timed(minc_cmds, work)
        m_cpu.append(c)
        m_wall.append(w)
        c, w = timed(gmt_cmds, work)
        g_cpu.append(c)
        g_wall.append(w)
        c, w = timed(halvex_cmds, work)
        h_cpu.append(c)
        h_wall.append(w)

    print("line of %d points; grid %d x %d nodes (xcell %.3f, cell %.1f), radius %.1f"
          % (len(pts), nx, nz, xcell, cell, radius))
    print("four grids, median of %d alternating runs:" % a.repeat)
    print("  minc: %.3f s processor, %.3f s wall" % (statistics.median(m_cpu), statistics.median(m_wall)))
    print("  gmt : %.3f s processor, %.3f s wall" % (statistics.median(g_cpu), statistics.median(g_wall)))
    print("  halvex (the four grids and the line's tables): %.3f s processor, %.3f s wall"
          % (statistics.median(h_cpu), statistics.median(h_wall)))
    print("  ratio minc / gmt: %.3f (processor), %.3f (wall); target at most 0.2"
          % (statistics.median(m_cpu) / statistics.median(g_cpu),
             statistics.median(m_wall) / statistics.median(g_wall)))
    print("  ratio halvex / gmt: %.3f (processor), %.3f (wall)"
          % (statistics.median(h_cpu) / statistics.median(g_cpu),
             statistics.median(h_wall) / statistics.median(g_wall)))

    # How far apart the two log-conductivity grids are where minc did not blank.
    mv = halvex.load_grid(os.path.join(work, "logcon_minc.grd"), coords="xy").values
    out = subprocess.run(["gmt", "grd2xyz", "logcon_gmt.nc"], cwd=work, check=True, capture_output=True,
                         text=True).stdout
    diffs = []
    for line in out.splitlines():
        x, y, z = (float(t) for t in line.split())
        i, j = int(round((x - gx0) / xcell)), int(round((y - gz0) / cell))
        m = float(mv[j, i])
        if m == m:  # not blank
            diffs.append(m - z)
    span = max(p[5] for p in pts) - min(p[5] for p in pts)
    print("  log10 conductivity, minc vs gmt on minc's %d unblanked nodes: max |diff| %.4f, rms %.4f"
          " (data range %.3f)" % (len(diffs), max(abs(x) for x in diffs),
                                  math.sqrt(sum(x * x for x in diffs) / len(diffs)), span))
    return 0


if __name__ == "__main__":
    sys.exit(main())
