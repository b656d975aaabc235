// GEOFLIP: the input grid is read whole (after its header has been validated against the
// file's length), transposed with the element order reversed, and written under a
// temporary name that is renamed into place once complete.
#include "gridout/flip.hpp"

#include <cmath>
#include <vector>

namespace gridout {

GridStatus geoflip(FileSystem& fs, const std::string& infile, const std::string& outfile) {
    auto in = fs.open(infile, OpenMode::read_only);
    if (!in) return GridStatus::cannot_open;
    GridHeader ih;
    if (GridStatus s = read_grid_header(*in, ih); s != GridStatus::ok) return s;

    // The header fields are used as 32-bit reals, as the flipped header is built from them.
    const int ne = ih.ne, nv = ih.nv;
    const float de = static_cast<float>(ih.de);
    const float dv = static_cast<float>(ih.dv);
    const float x0 = static_cast<float>(ih.x0);
    const float y0 = static_cast<float>(ih.y0);
    const float new_x0 = y0 + static_cast<float>(nv - 1) * dv;
    // Spacings or an origin beyond the range of a 32-bit real would be written as
    // infinities, a header no reader accepts: such an input is refused instead.
    if (!std::isfinite(de) || !std::isfinite(dv) || !std::isfinite(x0) || !std::isfinite(new_x0))
        return GridStatus::bad_header;

    std::vector<float> a, b;
    const std::size_t count = std::size_t(ne) * std::size_t(nv);
    if (!try_zeros(a, count) || !try_zeros(b, count)) return GridStatus::bad_header;
    if (GridStatus s = read_grid_values(*in, ih, a); s != GridStatus::ok) return s;
    in->close();

    // A(e, v) is element e of input vector v; the output's vector m = NE - e + 1 holds,
    // as its element v, A(e, NV - v + 1) when KX is 1 and A(e, v) otherwise.
    const std::size_t une = std::size_t(ne), unv = std::size_t(nv);
    for (std::size_t m = 0; m < une; ++m) {
        const std::size_t e = une - 1 - m;
        for (std::size_t v = 0; v < unv; ++v) {
            const std::size_t src_v = ih.kx == 1 ? unv - 1 - v : v;
            b[m * unv + v] = a[src_v * une + e];
        }
    }

    // The flipped grid always stores its vectors last first (KX -2: any order but 1).
    // Columns become rows: the input's rows give the columns and their spacing.
    const GridFrame frame{.ne = nv, .nv = ne, .order = -2, .dx = dv, .dy = de, .x0 = new_x0, .y0 = x0};
    const GridHeader oh = frame_header(frame, 0.0f, 0.0f);

    PendingFile out(fs, outfile);
    if (GridStatus s = out.create(); s != GridStatus::ok) return s;
    if (GridStatus s = write_header(out.file(), oh); s != GridStatus::ok) return s;
    if (!write_words(out.file(), std::span<const float>(b))) return GridStatus::write_failed;
    return out.commit();
}

}  // namespace gridout
