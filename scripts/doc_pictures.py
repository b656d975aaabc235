#!/usr/bin/env python3
"""Makes the README's survey pictures from a halvex run of the example (the folder that
scripts/run_example.sh leaves, example-output/ by default): a section with its ground and
depth-of-investigation lines, a depth slice, and the curtains in a 3-D view rendered off
screen by VTK (run under xvfb-run when there is no display).

    xvfb-run -a python3 scripts/doc_pictures.py [RUN_DIR] [-o docs]
"""
import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "python"))

import halvex  # noqa: E402
from halvex.curtain_grids import curtains  # noqa: E402
from halvex.section import save_section, section_context  # noqa: E402
from halvex.slice_maps import slices  # noqa: E402


def render_curtains(folder, out, quantity="con", size=(900, 520)):
    """Every LINE_curtain.vts of `folder` coloured by log10 of `quantity`, seen from the
    south-west and above, written as a PNG."""
    import glob

    from vtkmodules.vtkCommonCore import vtkLookupTable
    from vtkmodules.vtkFiltersCore import vtkThreshold
    from vtkmodules.vtkIOImage import vtkPNGWriter
    from vtkmodules.vtkIOXML import vtkXMLStructuredGridReader
    from vtkmodules.vtkRenderingCore import (vtkActor, vtkDataSetMapper, vtkRenderer, vtkRenderWindow,
                                             vtkWindowToImageFilter)
    import vtkmodules.vtkRenderingOpenGL2  # noqa: F401  (the rendering back end)
    from vtkmodules.vtkRenderingAnnotation import vtkScalarBarActor
    from vtkmodules.vtkCommonTransforms import vtkTransform

    ren = vtkRenderer()
    ren.SetBackground(1, 1, 1)
    lut = vtkLookupTable()
    lut.SetScaleToLog10()
    lut.SetTableRange(1.0, 300.0)
    lut.SetHueRange(0.67, 0.0)
    lut.Build()
    for path in sorted(glob.glob(os.path.join(folder, "*_curtain.vts"))):
        r = vtkXMLStructuredGridReader()
        r.SetFileName(path)
        r.Update()
        r.GetOutput().GetPointData().SetActiveScalars(quantity)
        keep = vtkThreshold()  # blank (NaN) nodes left out
        keep.SetInputConnection(r.GetOutputPort())
        keep.SetInputArrayToProcess(0, 0, 0, 0, quantity)
        keep.SetLowerThreshold(-1e30)
        keep.SetUpperThreshold(1e30)
        keep.SetThresholdFunction(vtkThreshold.THRESHOLD_BETWEEN)
        m = vtkDataSetMapper()
        m.SetInputConnection(keep.GetOutputPort())
        m.SetLookupTable(lut)
        m.UseLookupTableScalarRangeOn()
        a = vtkActor()
        a.SetMapper(m)
        t = vtkTransform()
        t.Scale(1, 1, 2)  # vertical exaggeration 2
        a.SetUserTransform(t)
        ren.AddActor(a)
    bar = vtkScalarBarActor()
    bar.SetLookupTable(lut)
    bar.SetTitle("mS/m")
    bar.SetNumberOfLabels(4)
    bar.GetTitleTextProperty().SetColor(0, 0, 0)
    bar.GetLabelTextProperty().SetColor(0, 0, 0)
    bar.SetWidth(0.08)
    ren.AddActor2D(bar)
    cam = ren.GetActiveCamera()
    ren.ResetCamera()
    cam.Elevation(-60)
    cam.Azimuth(-30)
    cam.SetViewUp(0, 0, 1)
    ren.ResetCamera()
    cam.Zoom(1.3)
    win = vtkRenderWindow()
    win.SetOffScreenRendering(1)
    win.AddRenderer(ren)
    win.SetSize(*size)
    win.Render()
    grab = vtkWindowToImageFilter()
    grab.SetInput(win)
    grab.Update()
    w = vtkPNGWriter()
    w.SetFileName(out)
    w.SetInputConnection(grab.GetOutputPort())
    w.Write()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("run", nargs="?", default="example-output")
    ap.add_argument("-o", "--output", default="docs")
    a = ap.parse_args()
    grd = os.path.join(a.run, "1011_logres.grd")
    g = halvex.load_grid(grd)
    save_section(g, os.path.join(a.output, "section_1011_logres.png"), dpi=90, width=9.0,
                 **section_context(grd, g))
    with tempfile.TemporaryDirectory() as work:
        (_, _, paths), = slices(a.run, depths="20-40", spacing=10, radius=120, out_dir=work)
        os.replace(paths[2], os.path.join(a.output, "slice_con_depth_20_40.png"))
        curtains(a.run, work)
        render_curtains(work, os.path.join(a.output, "curtains_con.png"))


if __name__ == "__main__":
    main()
