"""Section pictures drawn from a real halvex run: size, colour scales, labels and colours."""
import os
import struct

import numpy as np
import pytest
from matplotlib import colors
from matplotlib.image import imread

import halvex
from halvex.section import BACKGROUND, default_exaggeration


@pytest.mark.parametrize("quantity, log_scale, units, red_end", [
    ("con", True, "mS/m", "max"), ("res", True, "ohm m", "min"),
    ("logcon", False, "mS/m", "max"), ("logres", False, "ohm m", "min"),
])
def test_scales_labels_and_conductive_colour(example_run, quantity, log_scale, units, red_end):
    g = halvex.load_grid(os.path.join(example_run, "1021_%s.grd" % quantity))
    fig = halvex.plot_section(g, exaggeration=2)
    ax, bar = fig.axes
    im = ax.get_images()[0]
    lo, hi = float(np.nanmin(g.values)), float(np.nanmax(g.values))
    assert isinstance(im.norm, colors.LogNorm) == log_scale
    assert (im.norm.vmin, im.norm.vmax) == pytest.approx((lo, hi))
    assert units in bar.get_ylabel() and ax.get_ylabel() == "elevation (m)"
    assert "line 1021" in ax.get_title() and "vertical exaggeration 2:1" in ax.get_title()
    # Conductive ground is red in every picture.
    r, _, b, _ = im.cmap(im.norm(hi if red_end == "max" else lo))
    assert r > 0.4 and r > 2 * b
    # Tick labels in the original units, for the log10 grids too.
    for t, label in zip(bar.get_yticks(), bar.get_yticklabels()):
        assert float(label.get_text()) == pytest.approx(t if log_scale else 10.0 ** t, rel=2e-3)
    # The plot box has the stated exaggeration.
    box, (w, h) = ax.get_position(), fig.get_size_inches()
    span_x, span_y = g.attrs["columns"] * g.attrs["dx"], g.attrs["rows"] * g.attrs["dy"]
    assert box.height * h / (box.width * w) == pytest.approx(2 * span_y / span_x)


def test_picture_size_and_colours(example_run, tmp_path):
    g = halvex.load_grid(os.path.join(example_run, "1001_logres.grd"))
    out = tmp_path / "s.png"
    halvex.save_section(g, out, dpi=100, width=8.0)
    fig = halvex.plot_section(g, width=8.0)
    w, h = fig.get_size_inches()
    assert struct.unpack(">II", out.read_bytes()[16:24]) == (800, round(h * 100)) and w == 8.0
    pixels = imread(out)[..., :3]
    im = fig.axes[0].get_images()[0]

    def drawn(rgb):
        return np.any(np.all(np.abs(pixels - np.asarray(rgb)[:3]) <= 1.5 / 255, axis=-1))

    # Blanked nodes show the background; both ends of the colour scale are drawn; a colour
    # outside the map (magenta) is not.
    assert np.isnan(g.values).any() and drawn(colors.to_rgb(BACKGROUND))
    assert drawn(im.cmap(im.norm(np.nanmin(g.values)))) and drawn(im.cmap(im.norm(np.nanmax(g.values))))
    assert not drawn((1.0, 0.0, 1.0))
    for fmt, head in (("svg", b"<?xml"), ("pdf", b"%PDF")):
        halvex.save_section(g, tmp_path / ("s." + fmt))
        assert (tmp_path / ("s." + fmt)).read_bytes().startswith(head)


def test_default_exaggeration():
    for (w, h), want in [((1500, 350), 2.0), ((1000, 1000), 1.0), ((10000, 100), 50.0), ((5000, 400), 5.0)]:
        assert default_exaggeration(w, h) == want, (w, h)
