// Blanking template and mask output.
#include "blanking_template.hpp"

#include <cstddef>

namespace minc {
namespace {

// The row loop both routines share: checks that the grid lies inside the mask and that
// the buffers are wide enough, then for r = 1..nrow reads mask row r + iy0 - 1, lets
// make_row fill the grid row from the grid's part of that mask row, and appends it to out.
// make_row returns the status of any read of its own.
template <class MakeRow>
Status mask_rows_out(const MaskFrame& g, RowFile mask, std::span<std::int32_t> mrow,
                     std::span<float> row, gridout::ByteFile& out, MakeRow make_row) {
    const int ix0 = g.ix0, iy0 = g.iy0, nxm = g.nxm, nym = g.nym, ncol = g.ncol, nrow = g.nrow;
    if (ix0 <= 0 || iy0 <= 0 || nxm < 0 || nym < 0 || ncol < 0 || nrow < 0) return Status::ok;
    if (ncol + std::int64_t(ix0 - 1) > nxm || nrow + std::int64_t(iy0 - 1) > nym) return Status::ok;
    if (mrow.size() < std::size_t(nxm) || row.size() < std::size_t(ncol)) return Status::row_too_wide;
    const int joff = iy0 - 1;
    std::span<std::int32_t> mask_row = mrow.first(std::size_t(nxm));
    std::span<const std::int32_t> grid_part =
        std::span<const std::int32_t>(mask_row).subspan(std::size_t(ix0 - 1), std::size_t(ncol));
    std::span<float> out_row = row.first(std::size_t(ncol));

    for (int r = 1; r <= nrow; ++r) {
        if (rowda_read(mask, mask_row, r + joff) != Status::ok) return Status::mask_failed;
        if (Status s = make_row(grid_part, out_row); s != Status::ok) return s;
        if (!gridout::write_words(out, out_row)) return Status::store_failed;
    }
    return Status::ok;
}

}  // namespace

Status templat(const MaskFrame& g, BlankCode code, RowFile mask, TemplateRows rows,
               gridout::ByteFile& grid_rows, gridout::ByteFile& out) {
    const std::int32_t mval = code.mval;
    const float dummy = code.dummy;
    return mask_rows_out(g, mask, rows.mrow, rows.grow, out,
                         [&](std::span<const std::int32_t> cells, std::span<float> grid_row) {
                             if (!gridout::read_words(grid_rows, grid_row)) return Status::store_failed;
                             for (std::size_t c = 0; c < grid_row.size(); ++c)
                                 if (cells[c] == mval) grid_row[c] = dummy;
                             return Status::ok;
                         });
}

Status mskout(const MaskFrame& g, RowFile mask, std::span<std::int32_t> mrow, std::span<float> row,
              gridout::ByteFile& out) {
    return mask_rows_out(g, mask, mrow, row, out,
                         [](std::span<const std::int32_t> cells, std::span<float> out_row) {
                             for (std::size_t c = 0; c < out_row.size(); ++c)
                                 out_row[c] = static_cast<float>(cells[c]);
                             return Status::ok;
                         });
}

}  // namespace minc
