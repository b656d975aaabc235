"""3-D curtains: every section of a run standing on its flight line, for ParaView, PyVista
or any VTK reader.

A line's curtain is a VTK XML structured grid (.vts) of the section grid's nodes: grid
column i stands at the map position of station distance x_i along the line (east and
north interpolated between the stations by station distance), row j at the grid's
elevation y_j. Points are (east, north, elevation) in 64-bit reals, so map coordinates
keep their centimetres; the point data are the four quantities of the line as 32-bit
reals, blank nodes NaN. The flight lines go into one GeoJSON file: a LineString per line
through its stations, with the line number, length and azimuth.
"""
import json
import os

import numpy as np

from .export import _replace_when_done
from .grid_file import load_grid
from .stations import run_stations

QUANTITIES = ("con", "logcon", "res", "logres")


def curtain_points(grid, stations):
    """(east, north, elevation) of every node of a section grid, each an array of the
    grid's shape (rows, columns)."""
    xs = grid[grid.dims[1]].values.astype(np.float64)
    ys = grid[grid.dims[0]].values.astype(np.float64)
    east, north = stations.position(xs)
    shape = (len(ys), len(xs))
    return (np.broadcast_to(east, shape), np.broadcast_to(north, shape),
            np.broadcast_to(ys[:, None], shape))


def curtain_grid(grids, stations):
    """A vtkStructuredGrid of the section `grids` ({quantity: DataArray}, one frame) of one
    line placed along its `stations`; point arrays named by quantity."""
    from vtkmodules.util import numpy_support
    from vtkmodules.vtkCommonCore import vtkPoints
    from vtkmodules.vtkCommonDataModel import vtkStructuredGrid

    first = next(iter(grids.values()))
    for q, g in grids.items():
        if g.shape != first.shape or not np.array_equal(g[g.dims[1]].values, first[first.dims[1]].values) \
                or not np.array_equal(g[g.dims[0]].values, first[first.dims[0]].values):
            raise ValueError("line %s: grid %s has another frame than %s" % (stations.line, q, next(iter(grids))))
    east, north, elev = curtain_points(first, stations)
    ny, nx = first.shape
    # VTK's point order: i (along the line) fastest, then j (elevation): the grid's own
    # row-major order with row 0 the deepest.
    xyz = np.column_stack([east.ravel(), north.ravel(), elev.ravel()])
    pts = vtkPoints()
    pts.SetData(numpy_support.numpy_to_vtk(np.ascontiguousarray(xyz, dtype=np.float64), deep=True))
    sg = vtkStructuredGrid()
    sg.SetDimensions(nx, ny, 1)
    sg.SetPoints(pts)
    for q, g in grids.items():
        arr = numpy_support.numpy_to_vtk(np.ascontiguousarray(g.values, dtype=np.float32).ravel(), deep=True)
        arr.SetName(q)
        sg.GetPointData().AddArray(arr)
    return sg


def write_curtain(grids, stations, path):
    """Writes the curtain of one line (see curtain_grid) as a .vts file, binary, under a
    temporary name renamed when complete."""
    from vtkmodules.vtkIOXML import vtkXMLStructuredGridWriter

    sg = curtain_grid(grids, stations)
    with _replace_when_done(path, ".vts") as tmp:
        w = vtkXMLStructuredGridWriter()
        w.SetFileName(tmp)
        w.SetInputData(sg)
        w.SetDataModeToBinary()
        if not w.Write():
            raise OSError("%s: VTK could not write the curtain" % path)


def flight_lines(stations_by_line, crs=None):
    """A GeoJSON FeatureCollection (dict) of the flight lines: a LineString through the
    stations of each line, in model order, with its line number, length (straight line
    from the first to the last station, m), azimuth (first to last, degrees from grid
    north) and station count. With `crs` ("EPSG:N") the coordinates are declared in it
    through a named-CRS member, which GDAL and QGIS read."""
    features = []
    for line, s in stations_by_line.items():
        features.append({
            "type": "Feature",
            "properties": {"line": line, "length_m": round(s.length, 3), "azimuth_deg": round(s.azimuth, 3),
                           "stations": len(s)},
            "geometry": {"type": "LineString",
                         "coordinates": [[float(e), float(n)] for e, n in zip(s.east, s.north)]},
        })
    out = {"type": "FeatureCollection", "features": features}
    if crs:
        out["crs"] = {"type": "name", "properties": {"name": crs_urn(crs)}}
    return out


def crs_urn(crs):
    """The OGC URN of a coordinate reference system given as "EPSG:N" or any text pyproj
    takes; ValueError when pyproj does not know it or it has no EPSG code."""
    import pyproj

    try:
        c = pyproj.CRS.from_user_input(crs)
    except pyproj.exceptions.CRSError as e:
        raise ValueError("%s: not a coordinate reference system (%s)" % (crs, e)) from None
    auth = c.to_authority()
    if auth is None:
        raise ValueError("%s: no authority code" % crs)
    return "urn:ogc:def:crs:%s::%s" % auth


def write_flight_lines(stations_by_line, path, crs=None):
    text = json.dumps(flight_lines(stations_by_line, crs), separators=(",", ":"))
    with _replace_when_done(path, ".geojson") as tmp:
        with open(tmp, "w") as f:
            f.write(text + "\n")


def curtains(run_dir, out_dir=None, crs=None):
    """Writes the curtains of a halvex run: LINE_curtain.vts for every line that has its
    section grids and its stations file, and flight_lines.geojson.

    Parameters
    ----------
    run_dir : str
        The run's folder.
    out_dir : str, optional
        Where to write (default `run_dir`).
    crs : str, optional
        The flight lines' coordinate reference system ("EPSG:N").

    Returns
    -------
    list of str
        The paths written.

    Examples
    --------
    >>> paths = halvex.curtains(".", "3d")
    >>> sorted(os.path.basename(p) for p in paths)[-2:]
    ['1031_curtain.vts', 'flight_lines.geojson']
    """
    out_dir = out_dir or run_dir
    if crs:
        crs_urn(crs)  # an unknown CRS stops the command before anything is written
    lines = run_stations(run_dir)
    if not lines:
        raise ValueError("%s: no stations file (line_LINE_stations.csv)" % run_dir)
    os.makedirs(out_dir, exist_ok=True)
    written = []
    for line, st in lines.items():
        paths = {q: os.path.join(run_dir, "%s_%s.grd" % (line, q)) for q in QUANTITIES}
        present = {q: p for q, p in paths.items() if os.path.exists(p)}
        if not present:
            continue
        grids = {q: load_grid(p, coords="section") for q, p in present.items()}
        path = os.path.join(out_dir, "%s_curtain.vts" % line)
        write_curtain(grids, st, path)
        written.append(path)
    path = os.path.join(out_dir, "flight_lines.geojson")
    write_flight_lines(lines, path, crs)
    written.append(path)
    return written


def read_curtain(path):
    """(points (n, 3) float64, {name: values (ny, nx)}) of a .vts file read by VTK's own
    reader, values as VTK holds them."""
    from vtkmodules.util import numpy_support
    from vtkmodules.vtkIOXML import vtkXMLStructuredGridReader

    r = vtkXMLStructuredGridReader()
    r.SetFileName(os.fspath(path))
    r.Update()
    sg = r.GetOutput()
    nx, ny, _ = sg.GetDimensions()
    if sg.GetPoints() is None:
        raise ValueError("%s: not a structured grid VTK can read" % path)
    pts = numpy_support.vtk_to_numpy(sg.GetPoints().GetData())
    pd = sg.GetPointData()
    arrays = {pd.GetArrayName(k): numpy_support.vtk_to_numpy(pd.GetArray(k)).reshape(ny, nx)
              for k in range(pd.GetNumberOfArrays())}
    return pts.reshape(ny, nx, 3), arrays

