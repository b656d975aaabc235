#!/usr/bin/env python3
"""Render a GRD grid file as a PNG picture, one block of pixels per node, no axes.

Usage: grid_png.py GRID.grd OUT.png [--scale N] [--min V --max V]
Blank nodes are drawn light grey; values run from blue (low) to red (high); the row at
the grid's origin is drawn at the bottom. For a section with axes, units, colour bar and
the vertical exaggeration stated, use `python3 -m halvex section GRID.grd -o OUT.png`.
"""
import argparse, os, struct, sys, zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
import halvex  # noqa: E402


def read_grid(path):
    """(columns, rows, rows of values from the origin row up, None where blank)."""
    g = halvex.load_grid(path)
    rows = [[None if v != v else float(v) for v in r] for r in g.values]
    return g.shape[1], g.shape[0], rows


def ramp(t):
    # blue -> cyan -> yellow -> red
    stops = [(0.0, (40, 60, 200)), (0.35, (60, 200, 230)), (0.65, (250, 230, 80)), (1.0, (210, 40, 30))]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            u = 0.0 if t1 == t0 else (t - t0) / (t1 - t0)
            return tuple(int(a + (b - a) * u) for a, b in zip(c0, c1))
    return stops[-1][1]

def write_png(path, width, height, pixels):
    raw = b''.join(b'\x00' + bytes(row) for row in pixels)
    def chunk(kind, data):
        c = struct.pack('>I', len(data)) + kind + data
        return c + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
    png += chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
    with open(path, 'wb') as f:
        f.write(png)

def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('grid'); ap.add_argument('png')
    ap.add_argument('--scale', type=int, default=4)
    ap.add_argument('--min', type=float); ap.add_argument('--max', type=float)
    a = ap.parse_args()
    ne, nv, rows = read_grid(a.grid)
    valid = [v for r in rows for v in r if v is not None]
    lo = a.min if a.min is not None else min(valid)
    hi = a.max if a.max is not None else max(valid)
    pixels = []
    for r in reversed(rows):  # top of the picture = last (highest) row
        line = []
        for v in r:
            if v is None:
                rgb = (225, 225, 225)
            else:
                t = 0.0 if hi == lo else min(max((v - lo) / (hi - lo), 0.0), 1.0)
                rgb = ramp(t)
            line.extend(rgb * a.scale)
        for _ in range(a.scale):
            pixels.append(line)
    write_png(a.png, ne * a.scale, nv * a.scale, pixels)

if __name__ == '__main__':
    main()
