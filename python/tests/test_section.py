"""Section pictures drawn from a real halvex run: size, colour scales, labels and colours."""
import os
import struct

import numpy as np
import pytest
from matplotlib import colors
from matplotlib.image import imread

import halvex
from halvex.section import BACKGROUND, default_exaggeration, value_ticks


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", head[16:24])


def has_colour(pixels, rgb, tol=1.5 / 255):
    return bool(np.any(np.all(np.abs(pixels[..., :3] - np.asarray(rgb)[:3]) <= tol, axis=-1)))


def image_of(fig):
    return fig.axes[0].get_images()[0]


@pytest.mark.parametrize("quantity, log_scale, bar_units, red_end", [
    ("con", True, "mS/m", "max"), ("res", True, "ohm m", "min"),
    ("logcon", False, "mS/m", "max"), ("logres", False, "ohm m", "min"),
])
def test_scales_labels_and_conductive_colour(example_run, quantity, log_scale, bar_units, red_end):
    g = halvex.load_grid(os.path.join(example_run, "1021_%s.grd" % quantity))
    fig = halvex.plot_section(g, exaggeration=2)
    ax, cbar_ax = fig.axes[0], fig.axes[1]
    im = image_of(fig)
    assert isinstance(im.norm, colors.LogNorm) == log_scale
    lo, hi = float(np.nanmin(g.values)), float(np.nanmax(g.values))
    assert (im.norm.vmin, im.norm.vmax) == pytest.approx((lo, hi))
    assert bar_units in cbar_ax.get_ylabel()
    assert ax.get_xlabel() == "station distance along the line (m)" and ax.get_ylabel() == "elevation (m)"
    assert "line 1021" in ax.get_title() and "vertical exaggeration 2:1" in ax.get_title()
    # Conductive ground is red in every picture: the most conductive node's colour.
    end = hi if red_end == "max" else lo
    r, gr, b, _ = im.cmap(im.norm(end))
    assert r > 0.4 and r > 2 * b
    # Labels in the original units, for the log10 grids too (10 ** tick).
    labels = [t.get_text() for t in cbar_ax.get_yticklabels()]
    ticks = cbar_ax.get_yticks()
    assert len(labels) >= 2
    for t, text in zip(ticks, labels):
        value = 10.0 ** t if not log_scale else t
        assert float(text) == pytest.approx(value, rel=2e-3)
    # The plot box has the stated exaggeration: height / width = 2 x elevation span / station span.
    box = ax.get_position()
    w_in, h_in = fig.get_size_inches()
    span_x = g.attrs["columns"] * g.attrs["dx"]
    span_y = g.attrs["rows"] * g.attrs["dy"]
    assert (box.height * h_in) / (box.width * w_in) == pytest.approx(2 * span_y / span_x, rel=1e-9)


def test_png_size_and_colours(example_run, tmp_path):
    g = halvex.load_grid(os.path.join(example_run, "1001_logres.grd"))
    out = str(tmp_path / "s.png")
    ve = halvex.save_section(g, out, dpi=100, width=8.0)
    fig = halvex.plot_section(g, width=8.0)
    w_in, h_in = fig.get_size_inches()
    assert png_size(out) == (round(w_in * 100), round(h_in * 100))
    assert png_size(out)[0] == 800 and ve == fig.halvex_exaggeration
    pixels = imread(out)
    im = image_of(fig)
    # Blanked nodes show the background; both ends of the colour scale are drawn.
    assert np.isnan(g.values).any()
    assert has_colour(pixels, colors.to_rgb(BACKGROUND))
    assert has_colour(pixels, im.cmap(im.norm(np.nanmin(g.values))))
    assert has_colour(pixels, im.cmap(im.norm(np.nanmax(g.values))))
    # A colour well outside the map (pure magenta) is nowhere.
    assert not has_colour(pixels, (1.0, 0.0, 1.0))


def test_formats(example_run, tmp_path):
    g = halvex.load_grid(os.path.join(example_run, "1031_con.grd"))
    heads = {"svg": b"<?xml", "pdf": b"%PDF", "png": b"\x89PNG"}
    for fmt, head in heads.items():
        path = tmp_path / ("s." + fmt)
        halvex.save_section(g, path)
        assert path.read_bytes()[:len(head)] == head
    with pytest.raises(ValueError, match="png"):
        halvex.save_section(g, tmp_path / "s.jpg")
    assert sorted(os.listdir(tmp_path)) == ["s.pdf", "s.png", "s.svg"]


def test_into_given_axes_and_a_plain_grid(tmp_path):
    from matplotlib.figure import Figure

    g = halvex.grid(*np.random.default_rng(1).uniform(0, 10, (3, 40)), region=(0, 10, 0, 10), spacing=0.5)
    fig = Figure()
    ax = fig.add_subplot()
    assert halvex.plot_section(g, ax=ax, exaggeration=1.5) is fig
    assert ax.get_aspect() == 1.5 and ax.get_xlabel() == "x"
    assert isinstance(image_of(fig).norm, colors.Normalize)
    assert "vertical exaggeration 1.5:1" in ax.get_title() and "line" not in ax.get_title()


def test_default_exaggeration_and_ticks():
    cases = [((1500, 350), 2.0), ((1000, 1000), 1.0), ((10000, 100), 50.0), ((300, 100), 1.0),
             ((5000, 400), 5.0), ((0, 10), 1.0)]
    for (w, h), want in cases:
        assert default_exaggeration(w, h) == want, (w, h)
    assert value_ticks(0.5, 3.2, True) == pytest.approx(np.log10([5, 10, 20, 50, 100, 200, 500, 1000]))
    assert value_ticks(0.7, 300.0, False) == pytest.approx([1, 2, 5, 10, 20, 50, 100, 200])
    assert value_ticks(0.01, 1e4, False) == pytest.approx([0.01, 0.1, 1, 10, 100, 1000, 1e4])
    assert value_ticks(-1, 5, False) == []
    assert value_ticks(2.1, 2.2, True) == pytest.approx([2.1, 2.2])
