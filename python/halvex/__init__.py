"""halvex for Python: open the GRD grid files halvex and minc write, convert them for
GMT, GDAL/QGIS and xarray, draw conductivity-depth sections, and grid arrays of points
through the minc library.

    import halvex
    g = halvex.load_grid("1021_logres.grd")      # xarray.DataArray (elevation, station)
    halvex.save_netcdf(g, "1021_logres.nc")       # gmt grdinfo, QGIS, xarray
    halvex.save_geotiff(g, "1021_logres.tif")     # GDAL, QGIS
    halvex.plot_section(g).savefig("1021.png")
    t = halvex.grid(x, y, z, region=(0, 100, 0, 50), spacing=1, radius=5)
    s = halvex.load_stations("line_1021_stations.csv")   # where the line's stations lie
    halvex.curtains("run")                        # LINE_curtain.vts for VTK, flight lines
    halvex.slices("run", depths="0-20,20-40", spacing=10, radius=120)   # slice maps

The command line is `python3 -m halvex {info,convert,section,sections,curtains,slices} ...`.
"""
# The release number, the same as the library's (libminc) and the programs'.
__version__ = "0.2.0"

from .export import geotransform, save_geotiff, save_netcdf
from .grid_file import GridFileError, load_grid, read_header
from .gridding import MincError, grid
from .curtain_grids import curtains
from .section import plot_section, save_section
from .slice_maps import slices
from .stations import Stations, load_stations

__all__ = ["load_grid", "read_header", "save_netcdf", "save_geotiff", "geotransform",
           "plot_section", "save_section", "grid", "GridFileError", "MincError", "load_stations",
           "Stations", "curtains", "slices"]
