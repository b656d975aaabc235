"""Writing grids as netCDF (CF conventions) and GeoTIFF, for GMT, GDAL/QGIS and xarray.

Both keep every value of the grid bit for bit as a 32-bit real; null nodes are stored
as the grid format's own dummy -1.0E32, declared as the fill value (netCDF) or the
nodata value (GeoTIFF), so every reader shows them as missing. Both keep the node
registration: a value belongs to the point of its node, not to a cell around it.
Each file is built in memory and written by the package's output rules (output_file).
"""
import contextlib
import math
import os
import struct
import tempfile
import uuid

import numpy as np

from .grid_file import GRID_DUMMY, HEADER_FIELDS, grid_geometry
from .output_file import write_output


@contextlib.contextmanager
def _replace_when_done(path, suffix):
    """Yields a temporary file name, in a private folder, for a writer that needs a name;
    when the block ends without an exception, that file's bytes become `path` by the rules
    of write_output. The temporary is removed either way."""
    with tempfile.TemporaryDirectory(prefix="halvex-") as work:
        tmp = os.path.join(work, "out" + suffix)
        yield tmp
        with open(tmp, "rb") as f:
            data = f.read()
    write_output(path, data)


def _hdf5_length(image):
    """The length of the HDF5 file at the start of `image` (its superblock's end-of-file
    address), or len(image) when the superblock is not understood."""
    if image[:8] != b"\x89HDF\r\n\x1a\n" or len(image) < 48:
        return len(image)
    version = image[8]
    if version in (0, 1) and image[13] == 8:
        eof = struct.unpack_from("<Q", image, 40 if version == 0 else 44)[0]
    elif version in (2, 3) and image[9] == 8:
        eof = struct.unpack_from("<Q", image, 28)[0]
    else:
        return len(image)
    return eof if 0 < eof <= len(image) else len(image)


def _filled(grid):
    """The grid's values as float32 with NaN replaced by the grid dummy."""
    v = np.asarray(grid.values, dtype=np.float32).copy()
    v[np.isnan(v)] = GRID_DUMMY
    return v


def _text(v):
    """A text as a file's attribute holds it: UTF-8, a byte of a file name that is not
    (Python keeps it as a lone surrogate) becoming U+FFFD."""
    return str(v).encode("utf-8", "surrogateescape").decode("utf-8", "replace")


def _plain_attrs(attrs):
    """Attributes a netCDF file can hold: numbers and non-empty texts."""
    out = {}
    for k, v in attrs.items():
        if isinstance(v, (bool, np.bool_)):
            out[k] = int(v)
        elif isinstance(v, (int, float, np.integer, np.floating)):
            out[k] = v
        elif isinstance(v, str) and v:
            out[k] = _text(v)
    return out




def save_netcdf(grid, path, metadata=None):
    """Writes a grid as a CF netCDF-4 file that gmt grdinfo, GDAL (QGIS) and xarray open.

    Parameters
    ----------
    grid : xarray.DataArray
        From load_grid or grid().
    path : str or os.PathLike
        The file, written by the package's output rules (see output_file).
    metadata : dict, optional
        Further global attributes (texts or numbers), such as
        halvex.stations.section_metadata gives; its halvex_version and model_file also go
        into CF history and source.

    Notes
    -----
    The data variable keeps the array's name, its values as 32-bit reals with the fill
    value -1.0E32 for null nodes, and its units; the coordinate variables hold the node
    positions (gridline registration, node_offset 0) with axis X and Y. A rotated grid is
    written with 2-D coordinates of every node (CF auxiliary coordinates).

    Examples
    --------
    >>> halvex.save_netcdf(halvex.load_grid("1021_logres.grd"), "1021_logres.nc")
    >>> import xarray
    >>> with xarray.open_dataset("1021_logres.nc") as ds:
    ...     print(ds["log10_resistivity"].shape, ds.attrs["Conventions"])
    (71, 69) CF-1.7
    """
    import xarray as xr

    name = grid.name or "z"
    # The GRD header's fields describe the GRD file; the frame goes into the global
    # attributes below, the rest does not carry over.
    var_attrs = {k: v for k, v in _plain_attrs(grid.attrs).items() if k not in HEADER_FIELDS}
    values = np.asarray(grid.values, dtype=np.float32)
    valid = values[~np.isnan(values)]
    if valid.size:
        var_attrs["actual_range"] = np.array([valid.min(), valid.max()], dtype=np.float32)
    ds = xr.Dataset({name: (grid.dims, values, var_attrs)},
                    coords={k: (c.dims, c.values.astype(np.float64), dict(c.attrs))
                            for k, c in grid.coords.items()})
    ydim, xdim = grid.dims
    if grid.ndim == 2 and xdim in grid.coords and ydim in grid.coords:
        for dim, axis in ((xdim, "X"), (ydim, "Y")):
            c = ds[dim].values
            ds[dim].attrs.update(axis=axis, actual_range=np.array([c.min(), c.max()]))
    else:
        for dim in grid.dims:
            ds.coords[dim] = (dim, np.arange(grid.sizes[dim], dtype=np.int32), {"long_name": dim + " index"})
    ds.attrs.update(Conventions="CF-1.7", node_offset=np.int32(0),
                    title=_text(grid.attrs.get("long_name", name)))
    if "source" in grid.attrs:
        ds.attrs["source"] = "halvex GRD grid file " + _text(grid.attrs["source"])
    if "line" in grid.attrs:
        ds.attrs["line"] = _text(grid.attrs["line"])
    for k, v in zip(("x0", "y0", "dx", "dy", "angle"), grid_geometry(grid)):
        ds.attrs["grd_" + k] = v
    meta = {k: _text(v) if isinstance(v, str) else v for k, v in (metadata or {}).items()}
    ds.attrs.update(meta)
    if "halvex_version" in meta:
        ds.attrs["history"] = "written by halvex %s" % meta["halvex_version"]
    if "model_file" in meta:
        ds.attrs["source"] = "%s, from the model file %s" % (ds.attrs.get("source", "halvex"), meta["model_file"])
    encoding = {name: {"dtype": "float32", "_FillValue": GRID_DUMMY, "zlib": True, "complevel": 4}}
    for k in ds.coords:
        encoding[k] = {"_FillValue": None}
    # Built in memory and written as bytes: a failed write (a full device) is then an
    # ordinary error, never a half-written file or a failure inside the HDF5 library.
    import netCDF4

    nc = netCDF4.Dataset("halvex.nc", "w", format="NETCDF4", memory=1)
    try:
        ds.dump_to_store(xr.backends.NetCDF4DataStore(nc), encoding=encoding)
    finally:
        image = nc.close()
    write_output(path, image[:_hdf5_length(image)])


def geotransform(grid):
    """GDAL's geotransform of the GeoTIFF save_geotiff writes.

    Parameters
    ----------
    grid : xarray.DataArray
        A 2-D grid (see grid_geometry).

    Returns
    -------
    tuple of 6 floats
        x, dx per column, dx per row, y, dy per column, dy per row, at the outer corner of
        the first pixel: pixels centred on the nodes, the first pixel row being the grid's
        last row (the top of the picture for a positive y spacing).

    Examples
    --------
    >>> gt = halvex.geotransform(halvex.load_grid("1021_logres.grd"))
    >>> [round(v, 3) for v in gt]
    [-10.961, 21.922, 0.0, 137.5, 0.0, -5.0]
    """
    x0, y0, dx, dy, angle = grid_geometry(grid)
    nv = grid.shape[0]
    a = math.radians(angle)
    c, s = math.cos(a), math.sin(a)
    # Pixel (col, row) centre = node (i = col, j = nv - 1 - row).
    g1, g2 = dx * c, dy * s
    g4, g5 = dx * s, -dy * c
    top_x = x0 - (nv - 1) * dy * s
    top_y = y0 + (nv - 1) * dy * c
    return (top_x - 0.5 * g1 - 0.5 * g2, g1, g2, top_y - 0.5 * g4 - 0.5 * g5, g4, g5)


def save_geotiff(grid, path, engine=None, crs=None, metadata=None):
    """Writes a grid as a single-band 32-bit GeoTIFF.

    Parameters
    ----------
    grid : xarray.DataArray
        A 2-D grid.
    path : str or os.PathLike
        The file, written by the package's output rules (see output_file).
    engine : {None, "rasterio", "gdal"}
        The writer: rasterio or GDAL's own Python binding; by default rasterio when it can
        be imported, else GDAL.
    crs : str, optional
        A coordinate reference system ("EPSG:N", or any text GDAL takes) for a grid in map
        coordinates; none by default (a section's coordinates are distance and elevation).
    metadata : dict, optional
        Further GDAL metadata items (texts or numbers).

    Notes
    -----
    Nodata -1.0E32 on the null nodes, the geotransform of the node grid (pixel centres
    on the nodes, AREA_OR_POINT=Point).

    Examples
    --------
    >>> halvex.save_geotiff(halvex.load_grid("1021_logres.grd"), "1021_logres.tif")
    >>> open("1021_logres.tif", "rb").read(4)
    b'II*\\x00'
    """
    if engine is None:
        try:
            import rasterio  # noqa: F401
            engine = "rasterio"
        except ImportError:
            engine = "gdal"
    if engine not in ("rasterio", "gdal"):
        raise ValueError("engine is 'rasterio' or 'gdal', not %r" % (engine,))
    if grid.ndim != 2:
        raise ValueError("a grid has two dimensions, this array %d" % grid.ndim)
    rows = _filled(grid)[::-1]
    gt = geotransform(grid)
    desc = _text(grid.attrs.get("long_name", grid.name or "z"))
    units = _text(grid.attrs.get("units", ""))
    tags = {k: _text(v) for k, v in (metadata or {}).items()}
    # Built in memory: GDAL reports some write failures only as a logged message.
    if engine == "rasterio":
        data = _write_rasterio(rows, gt, desc, units, crs, tags)
    else:
        data = _write_gdal(rows, gt, desc, units, crs, tags)
    write_output(path, data)


def _write_rasterio(rows, gt, desc, units, crs=None, tags=None):
    import rasterio
    from rasterio.io import MemoryFile
    from rasterio.transform import Affine

    profile = dict(driver="GTiff", width=rows.shape[1], height=rows.shape[0], count=1,
                   dtype="float32", nodata=float(GRID_DUMMY),
                   transform=Affine(gt[1], gt[2], gt[0], gt[4], gt[5], gt[3]))
    if crs:
        profile["crs"] = rasterio.crs.CRS.from_user_input(crs)
    with MemoryFile() as mem:
        with mem.open(**profile) as dst:
            dst.write(rows, 1)
            dst.update_tags(AREA_OR_POINT="Point", **(tags or {}))
            dst.set_band_description(1, desc)
            if units:
                dst.set_band_unit(1, units)
        return mem.read()


def _write_gdal(rows, gt, desc, units, crs=None, tags=None):
    from osgeo import gdal, osr

    gdal.UseExceptions()
    path = "/vsimem/halvex-%s.tif" % uuid.uuid4().hex
    ds = gdal.GetDriverByName("GTiff").Create(path, rows.shape[1], rows.shape[0], 1, gdal.GDT_Float32)
    ds.SetGeoTransform(gt)
    if crs:
        ref = osr.SpatialReference()
        ref.SetFromUserInput(crs)
        ds.SetProjection(ref.ExportToWkt())
    ds.SetMetadataItem("AREA_OR_POINT", "Point")
    for k, v in (tags or {}).items():
        ds.SetMetadataItem(k, v)
    band = ds.GetRasterBand(1)
    band.SetNoDataValue(float(GRID_DUMMY))
    band.SetDescription(desc)
    if units:
        band.SetUnitType(units)
    band.WriteArray(rows)
    band.FlushCache()
    ds.FlushCache()
    band = ds = None
    try:
        f = gdal.VSIFOpenL(path, "rb")
        try:
            return gdal.VSIFReadL(1, gdal.VSIStatL(path).size, f)
        finally:
            gdal.VSIFCloseL(f)
    finally:
        gdal.Unlink(path)
