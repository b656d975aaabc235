// GEOROT and ROTGRD: bilinear resampling of a grid file onto a rotated grid.
//
// Both turn each output node's world position into a fractional source cell (p, q),
// truncate toward zero to the cell's lower-left node (c, r) and interpolate from the
// cell's four corners. Truncation toward zero (not floor) is kept on purpose: positions
// up to one cell before the source's first node map to cell 0 with a negative fraction
// and are extrapolated from the first cell rather than becoming dummy; callers' grids
// rely on that edge.
#include "gridout/rotate.hpp"

#include <cmath>
#include <vector>

namespace gridout {
namespace {

// The single-precision pi of the gridding library, kept so that rotated positions match
// those of its other implementations to the last bit.
constexpr float kPi = 3.1415925f;

// A source grid held in memory, addressed by 0-based (c, r) counted from its origin.
struct SourceGrid {
    int nc = 0, nr = 0, kx = 1;
    std::vector<float> values;  // file order
    float at(int c, int r) const {
        return values[std::size_t(file_row(kx, nr, r + 1)) * std::size_t(nc) + std::size_t(c)];
    }
};

// Opens and validates the source, then reads nc x nr values (the caller's counts, which
// the file must be long enough to hold) into memory. The whole source is read at once:
// the resampling visits it in an order set by the angle, and one read replaces up to
// four small seeks and reads per output node.
GridStatus load_source(FileSystem& fs, const std::string& name, int nc, int nr, SourceGrid& g) {
    if (nc < 1 || nr < 1) return GridStatus::bad_arguments;
    auto f = fs.open(name, OpenMode::read_only);
    if (!f) return GridStatus::cannot_open;
    GridHeader h;
    if (GridStatus s = read_grid_header(*f, h); s != GridStatus::ok) return s;
    const std::int64_t values = std::int64_t(nc) * nr;  // below 2^62; in bytes it could overflow
    if ((f->size() - kGridHeaderBytes) / 4 < values) return GridStatus::bad_header;
    if (!try_zeros(g.values, std::size_t(nc) * std::size_t(nr))) return GridStatus::bad_arguments;
    g.nc = nc;
    g.nr = nr;
    g.kx = h.kx;
    if (!seek_to(*f, kGridHeaderBytes)) return GridStatus::read_failed;
    auto bytes = std::as_writable_bytes(std::span<float>(g.values));
    if (read_up_to(*f, bytes) != static_cast<std::int64_t>(bytes.size())) return GridStatus::read_failed;
    return GridStatus::ok;
}

// The lower-left node index of fractional position p on an axis of n nodes, truncated
// toward zero; false when it falls outside 0 .. n - 1 (or p is not a number).
bool cell_index(float p, int n, int& c) {
    if (!(p > -2.0e9f && p < 2.0e9f)) return false;
    c = static_cast<int>(p);
    return c >= 0 && c <= n - 1;
}

// GEOROT's node rule: bilinear inside the source, z00 on the last column or row or when
// a corner is not valid. The upper-left corner z01 is tested against -1.0E20 rather than
// -1.0E30; kept on purpose, as grids written by the library's other implementations
// depend on the same choice.
float georot_node(const SourceGrid& src, float p, float q) {
    int c = 0, r = 0;
    if (!cell_index(p, src.nc, c) || !cell_index(q, src.nr, r)) return kGridDummy;
    const float fx = p - static_cast<float>(c);
    const float fy = q - static_cast<float>(r);
    const float z00 = src.at(c, r);
    if (c < src.nc - 1 && r < src.nr - 1) {
        const float z10 = src.at(c + 1, r);
        const float z01 = src.at(c, r + 1);
        const float z11 = src.at(c + 1, r + 1);
        if (z00 > kNullBound && z10 > kNullBound && z11 > kNullBound && z01 > -1.0e20f)
            return fy * (fx * z11 + (1.0f - fx) * z01) + (1.0f - fy) * (fx * z10 + (1.0f - fx) * z00);
    }
    return z00;
}

// ROTGRD's node rule with its null-aware fall-backs: the full bilinear value when no
// corner is null, else linear along the first valid pair (lower row, upper row, left
// column, right column), else the first valid corner, else z00.
float rotgrd_node(const SourceGrid& src, float pu, float pv) {
    int col = 0, row = 0;
    if (!cell_index(pu, src.nc, col) || !cell_index(pv, src.nr, row)) return kGridDummy;
    const float fx = pu - static_cast<float>(col);
    const float fy = pv - static_cast<float>(row);
    const float p00 = src.at(col, row);
    if (col < src.nc - 1 && row < src.nr - 1) {
        const float p10 = src.at(col + 1, row);
        const float p01 = src.at(col, row + 1);
        const float p11 = src.at(col + 1, row + 1);
        const bool n00 = is_null(p00), n10 = is_null(p10), n01 = is_null(p01), n11 = is_null(p11);
        if (!n00 && !n10 && !n01 && !n11)
            return (1.0f - fy) * ((1.0f - fx) * p00 + fx * p10) + fy * ((1.0f - fx) * p01 + fx * p11);
        if (!n00 && !n10) return (1.0f - fx) * p00 + fx * p10;
        if (!n01 && !n11) return (1.0f - fx) * p01 + fx * p11;
        if (!n00 && !n01) return (1.0f - fy) * p00 + fy * p01;
        if (!n10 && !n11) return (1.0f - fy) * p10 + fy * p11;
        if (!n00) return p00;
        if (!n01) return p01;
        if (!n10) return p10;
        if (!n11) return p11;
        return p00;
    }
    // Last input column or row. The test here is strictly below the null bound (a value
    // of exactly -1.0E30 is kept); kept on purpose as the routine has always done.
    float value = p00;
    if (value < kNullBound && col < src.nc - 1) value = src.at(col + 1, row);
    if (value < kNullBound && row < src.nr - 1) value = src.at(col, row + 1);
    return value;
}

}  // namespace

GridStatus georot(FileSystem& src_fs, const std::string& srcfil, FileSystem& out_fs,
                  const std::string& grdfil, const GeorotParams& p) {
    if (p.nx < 1 || p.ny < 1 || !finite_frame(p.dx, p.dy, p.x0, p.y0)) return GridStatus::bad_arguments;
    if (!p.work.empty() && p.work.size() < std::size_t(p.nx)) return GridStatus::bad_arguments;
    const float s = std::sin(p.angle * kPi / 180.0f);
    const float k = std::cos(p.angle * kPi / 180.0f);

    SourceGrid src;
    if (GridStatus st = load_source(src_fs, srcfil, p.snc, p.snr, src); st != GridStatus::ok) return st;

    std::vector<float> own;
    std::span<float> work = p.work;
    if (work.empty()) {
        if (!try_zeros(own, std::size_t(p.nx))) return GridStatus::bad_arguments;
        work = own;
    }
    work = work.first(std::size_t(p.nx));

    PendingFile out(out_fs, grdfil);
    if (GridStatus st = out.create(); st != GridStatus::ok) return st;
    const GridFrame frame{.ne = p.nx, .nv = p.ny, .order = p.iopt, .dx = p.dx, .dy = p.dy, .x0 = p.x0, .y0 = p.y0};
    const GridHeader h = frame_header(frame, p.gmin, p.gmax);
    if (GridStatus st = write_header(out.file(), h); st != GridStatus::ok) return st;

    for (int j = 1; j <= p.ny; ++j) {
        const float y = p.y0 + static_cast<float>(j - 1) * p.dy;
        const float ddy = y - p.yr;
        for (int i = 1; i <= p.nx; ++i) {
            const float x = p.x0 + static_cast<float>(i - 1) * p.dx;
            const float ddx = x - p.xr;
            const float u = (ddx * k - ddy * s) / p.uscl + p.uoff;
            const float v = (ddx * s + ddy * k) / p.vscl + p.voff;
            const float pc = (u - p.sx0) / p.sdx;
            const float qr = (v - p.sy0) / p.sdy;
            work[std::size_t(i - 1)] = georot_node(src, pc, qr);
        }
        if (!write_grid_row(out.file(), work, j, p.ny, p.iopt)) return GridStatus::write_failed;
    }
    return out.commit();
}

GridStatus rotgrd(FileSystem& in_fs, const std::string& infile, FileSystem& out_fs,
                  const std::string& outfile, const RotgrdParams& p) {
    if (p.ne < 1 || p.nv < 1 || !finite_frame(p.dx, p.dy, p.x0, p.y0)) return GridStatus::bad_arguments;
    const float c = std::cos(p.angle * kPi / 180.0f);
    const float s = std::sin(p.angle * kPi / 180.0f);

    SourceGrid src;
    if (GridStatus st = load_source(in_fs, infile, p.nein, p.nvin, src); st != GridStatus::ok) return st;

    std::vector<float> row;
    if (!try_zeros(row, std::size_t(p.ne))) return GridStatus::bad_arguments;

    PendingFile out(out_fs, outfile);
    if (GridStatus st = out.create(); st != GridStatus::ok) return st;
    const GridFrame frame{.ne = p.ne, .nv = p.nv, .order = p.kxout, .dx = p.dx, .dy = p.dy, .x0 = p.x0, .y0 = p.y0};
    const GridHeader h = frame_header(frame, p.zmin, p.zmax);
    if (GridStatus st = write_header(out.file(), h); st != GridStatus::ok) return st;

    for (int j = 1; j <= p.nv; ++j) {
        const float y = p.y0 + static_cast<float>(j - 1) * p.dy;
        for (int i = 1; i <= p.ne; ++i) {
            const float x = p.x0 + static_cast<float>(i - 1) * p.dx;
            // Rotated position in output cell units, then relative to the input's first node.
            const float u = ((x - p.xc) * c - (y - p.yc) * s) / p.dx;
            const float v = ((x - p.xc) * s + (y - p.yc) * c) / p.dy;
            row[std::size_t(i - 1)] = rotgrd_node(src, u - p.xoff, v - p.yoff);
        }
        if (!write_grid_row(out.file(), row, j, p.nv, p.kxout)) return GridStatus::write_failed;
    }
    return out.commit();
}

}  // namespace gridout
