// Start values of a section from the template grid: each template cell touched by
// the section is evaluated as a bicubic patch (CELL3: cubics through four template
// nodes, first along columns, then along the resulting row), the patches are laid
// into a fine work array (INSERT) and the section's window is copied out (ZGINT).
#include "start_values.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include "capacities.hpp"

namespace minc {
namespace {

// Cubic f0 + a1 t + a2 t^2 + a3 t^3 through the values f0, f0 + d1, f0 + d2, f0 + d3 at
// t = 0, 1, 2, 3 (Lagrange form solved for the power coefficients). The single
// precision constants are part of the result and are kept as they are.
struct Cubic {
    float f0, a1, a2, a3;
    Cubic(float v0, float v1, float v2, float v3) : f0(v0) {
        const float d1 = v1 - v0, d2 = v2 - v0, d3 = v3 - v0;
        a1 = d3 * 0.3333333f + (d1 * 3.0f - d2 * 1.5f);
        a2 = (d2 * 2.0f - d1 * 2.5f) - d3 * 0.5f;
        a3 = d3 * 0.1666667f + (d1 * 0.5f - d2 * 0.5f);
    }
    // Horner form.
    float operator()(float t) const { return ((t * a3 + a2) * t + a1) * t + f0; }
};

}  // namespace

void cell3(int n, int ic, int ix, int iy, const TemplateGrid& tmpl, std::span<float> patch) {
    assert(n >= 1 && patch.size() >= static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    const GridView<float> zc = tmpl.view();
    const float r = 1.0f / static_cast<float>(ic);
    // Column cubics in y through template rows iy - 1 .. iy + 2 (t = 0 .. 3), for the four
    // columns ix - 1 .. ix + 2; the cell spans 1 <= t, s <= 2.
    const Cubic col[4] = {
        Cubic(zc(ix - 1, iy - 1), zc(ix - 1, iy), zc(ix - 1, iy + 1), zc(ix - 1, iy + 2)),
        Cubic(zc(ix, iy - 1), zc(ix, iy), zc(ix, iy + 1), zc(ix, iy + 2)),
        Cubic(zc(ix + 1, iy - 1), zc(ix + 1, iy), zc(ix + 1, iy + 1), zc(ix + 1, iy + 2)),
        Cubic(zc(ix + 2, iy - 1), zc(ix + 2, iy), zc(ix + 2, iy + 1), zc(ix + 2, iy + 2)),
    };
    const auto un = static_cast<std::size_t>(n);
    // t and s are stepped by adding r, not computed as 1 + (k - 1) r: that is the
    // rounding the start values are defined with.
    float t = 1.0f;
    for (std::size_t row = 0; row < un; ++row) {
        const Cubic along_row(col[0](t), col[1](t), col[2](t), col[3](t));
        float s = 1.0f;
        for (std::size_t q = 0; q < un; ++q) {
            patch[row * un + q] = along_row(s);
            s += r;
        }
        t += r;
    }
}

Status insert(int iw, int jw, GridView<const float> patch, GridView<float> work) {
    const int n1 = patch.nx(), n2 = patch.ny();
    if (iw < 1 || jw < 1 || iw + n1 - 1 > work.nx() || jw + n2 - 1 > work.ny()) return Status::patch_misfit;
    for (int r = 1; r <= n2; ++r) {
        const auto src = patch.row(r);
        std::copy(src.begin(), src.end(), work.row(jw + r - 1).begin() + (iw - 1));
    }
    return Status::ok;
}

Status zgint(BlockOffset off, const TemplateGrid& tmpl, GridView<float> section,
             std::span<float> fine, std::span<float> patch, float dummy) {
    const float xoff = off.x, yoff = off.y;
    const int nx = section.nx(), ny = section.ny();
    const int ic = tmpl.ic;
    // First and last extended-grid nodes of the section; 0.001 absorbs offsets that
    // arrive a little below a whole number.
    const int i1 = trunc_int(xoff + 0.001f) + 1;
    const int j1 = trunc_int(yoff + 0.001f) + 1;
    const int i2 = nx + trunc_int(xoff + 0.001f);
    const int j2 = ny + trunc_int(yoff + 0.001f);

    // Template cells holding them. The cubic of a cell needs one template node before
    // and two after it, hence the margins 2 and nxc - 2.
    const int cx1 = (i1 - tmpl.xt0) / ic + 1;
    const int cy1 = (j1 - tmpl.yt0) / ic + 1;
    const int cx2 = (i2 - tmpl.xt0) / ic + 1;
    const int cy2 = (j2 - tmpl.yt0) / ic + 1;
    if (cx1 < 2 || cx2 > tmpl.nxc - 2) return Status::start_columns;
    if (cy1 < 2 || cy2 > tmpl.nyc - 2) return Status::start_rows;

    const int nxw = (cx2 - cx1 + 1) * ic + 1;
    const int nyw = (cy2 - cy1 + 1) * ic + 1;
    const auto nwork = static_cast<std::size_t>(nxw) * static_cast<std::size_t>(nyw);
    if (nwork > static_cast<std::size_t>(kAccumulatorWords) || nwork > fine.size()) return Status::start_too_large;
    std::fill_n(fine.begin(), nwork, dummy);
    const GridView<float> work(fine, nxw, nyw);

    // Cells in storage order: a patch of ic + 1 points reaching into the next cell is
    // overwritten there by that cell's own patch.
    for (int cy = cy1, jw = 1; cy <= cy2; ++cy, jw += ic) {
        for (int cx = cx1, iw = 1; cx <= cx2; ++cx, iw += ic) {
            const int n = (cx == cx2 || cy == cy2) ? ic + 1 : ic;
            cell3(n, ic, cx, cy, tmpl, patch);
            const GridView<const float> cell(std::span<const float>(patch), n, n);
            if (Status s = insert(iw, jw, cell, work); s != Status::ok) return s;
        }
    }

    if (static_cast<long long>(nx) * ny > kBlockNodes) return Status::start_too_large;
    std::fill(section.data().begin(), section.data().end(), dummy);

    // Work node (1,1) is template node (cx1, cy1).
    const int xw = (cx1 - 1) * ic + tmpl.xt0;
    const int yw = (cy1 - 1) * ic + tmpl.yt0;
    const int io = i1 - xw + 1;
    const int jo = j1 - yw + 1;
    if (io < 1 || jo < 1) return Status::start_before;
    if (io + nx - 1 > nxw || jo + ny - 1 > nyw) return Status::start_beyond;

    const GridView<float> w(fine, nxw, nyw);
    for (int j = 1; j <= ny; ++j) {
        const auto src = w.row(jo + j - 1).subspan(static_cast<std::size_t>(io - 1), static_cast<std::size_t>(nx));
        std::copy(src.begin(), src.end(), section.row(j).begin());
    }
    return Status::ok;
}

}  // namespace minc
