// Blanking template and mask output.
#include "blanking_template.hpp"

#include <cstddef>

namespace minc {
namespace {

// The placement check both routines share: the grid must lie inside the mask.
bool grid_inside_mask(int ix0, int iy0, int nxm, int nym, int ncol, int nrow) {
    if (ix0 <= 0 || iy0 <= 0 || nxm < 0 || nym < 0 || ncol < 0 || nrow < 0) return false;
    const std::int64_t ioff = ix0 - 1;
    const std::int64_t joff = iy0 - 1;
    return ncol + ioff <= nxm && nrow + joff <= nym;
}

}  // namespace

Status templat(int ix0, int iy0, std::int32_t mval, float dummy, RowFile mask,
               std::span<std::int32_t> mrow, int nxm, int nym, gridout::ByteFile& grid_rows,
               std::span<float> grow, int ncol, int nrow, gridout::ByteFile& out) {
    if (!grid_inside_mask(ix0, iy0, nxm, nym, ncol, nrow)) return Status::ok;
    if (mrow.size() < std::size_t(nxm) || grow.size() < std::size_t(ncol)) return Status::row_too_wide;
    const std::size_t ioff = std::size_t(ix0 - 1);
    const int joff = iy0 - 1;
    std::span<std::int32_t> mask_row = mrow.first(std::size_t(nxm));
    std::span<float> grid_row = grow.first(std::size_t(ncol));

    for (int r = 1; r <= nrow; ++r) {
        if (rowda_read(mask, mask_row, r + joff) != Status::ok) return Status::mask_failed;
        if (!gridout::read_words(grid_rows, grid_row)) return Status::store_failed;
        for (std::size_t c = 0; c < grid_row.size(); ++c)
            if (mask_row[c + ioff] == mval) grid_row[c] = dummy;
        if (!gridout::write_words(out, grid_row)) return Status::store_failed;
    }
    return Status::ok;
}

Status mskout(int ix0, int iy0, RowFile mask, std::span<std::int32_t> mrow, int nxm, int nym,
              std::span<float> row, int ncol, int nrow, gridout::ByteFile& out) {
    if (!grid_inside_mask(ix0, iy0, nxm, nym, ncol, nrow)) return Status::ok;
    if (mrow.size() < std::size_t(nxm) || row.size() < std::size_t(ncol)) return Status::row_too_wide;
    const std::size_t ioff = std::size_t(ix0 - 1);
    const int joff = iy0 - 1;
    std::span<std::int32_t> mask_row = mrow.first(std::size_t(nxm));
    std::span<float> out_row = row.first(std::size_t(ncol));

    for (int r = 1; r <= nrow; ++r) {
        if (rowda_read(mask, mask_row, r + joff) != Status::ok) return Status::mask_failed;
        for (std::size_t c = 0; c < out_row.size(); ++c)
            out_row[c] = static_cast<float>(mask_row[c + ioff]);
        if (!gridout::write_words(out, out_row)) return Status::store_failed;
    }
    return Status::ok;
}

}  // namespace minc
