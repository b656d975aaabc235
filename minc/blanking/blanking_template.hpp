// Blanking template: the last blanking pass. templat copies the finished grid rows to the
// template output, putting the null value at every node whose mask cell holds the blank
// code; the grid writer then reads the template output instead of the grid row file.
// mskout writes the mask itself as a grid of reals (a diagnostic; the gridding entry does
// not call it).
//
// Grid node (c, r), 1-based, lies on mask cell (c + ix0 - 1, r + iy0 - 1); the gridding
// entry passes ix0 = iy0 = HW + 1, so the mask border is never looked at.
#pragma once

#include <cstdint>
#include <span>

#include "gridout/byte_file.hpp"
#include "row_store.hpp"
#include "minc/status.hpp"

namespace minc {

/// Where a grid lies on its mask: grid node (c, r) on mask cell (c + ix0 - 1, r + iy0 - 1).
struct MaskFrame {
    int ix0 = 1, iy0 = 1;    // mask cell of grid node (1, 1)
    int nxm = 0, nym = 0;    // mask columns and rows
    int ncol = 0, nrow = 0;  // grid columns and rows
};

/// TEMPLAT: for r = 1..nrow reads mask row r + iy0 - 1 (nxm values into rows.mrow) and the
/// next ncol reals of grid_rows (from its current position, into rows.grow), sets every node
/// whose mask value equals code.mval to code.dummy (its bits copied unchanged; other nodes keep their bits)
/// and appends the row to out at its current position.
///
/// When ix0 <= 0, iy0 <= 0, ncol + ix0 - 1 > nxm or nrow + iy0 - 1 > nym (the grid does not
/// lie inside the mask), or a count is negative, returns ok at once: nothing is read or
/// written.
/// Statuses: ok; row_too_wide when mrow is shorter than nxm or grow shorter than ncol;
/// mask_failed when a mask row cannot be read; store_failed when a grid row cannot be read
/// or an output row cannot be written. Nothing is allocated.
struct BlankCode {
    std::int32_t mval = 0;  // mask value of a node to blank
    float dummy = 0.0f;     // the value it gets
};
struct TemplateRows {
    std::span<std::int32_t> mrow;  // one mask row, at least nxm values
    std::span<float> grow;         // one grid row, at least ncol values
};
Status templat(const MaskFrame& g, BlankCode code, RowFile mask, TemplateRows rows,
               gridout::ByteFile& grid_rows, gridout::ByteFile& out);

/// MSKOUT: as templat, but each output row holds the mask values of the grid's nodes
/// converted to reals (0.0, 1.0 or 2.0 for a blanking mask); no grid rows are read.
/// Statuses: ok; row_too_wide (mrow or row too short); mask_failed; store_failed (write).
Status mskout(const MaskFrame& g, RowFile mask, std::span<std::int32_t> mrow, std::span<float> row,
              gridout::ByteFile& out);

}  // namespace minc
