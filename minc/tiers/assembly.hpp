// Assembly of finished rows (ASSEMB, PADROW). When a tier is solved, the tier's share
// of the working grid is cut out of its overlapping blocks in the section store and
// written as grid rows (grid row store, appended) or, in mask mode, as data-mask rows
// (mask store, row-addressed; 1 where a block node holds data, 0 elsewhere, HW zero
// columns on each side). Every working node comes from exactly one block.
#pragma once

#include <span>

#include "capacities.hpp"
#include "row_store.hpp"
#include "solve_block.hpp"
#include "minc/status.hpp"

namespace minc {

/// Rows written so far to the grid row store and to the mask store.
struct RowCounters {
    int grid_rows = 0;
    int mask_rows = 0;
};

/// Block columns [first, last] (1-based) that section s gives to the working grid.
struct Share {
    int first = 0, last = 0;
    int count() const { return last - first + 1; }
};
/// One section (or tier) of a partition: the 1-based index of `count`, the step between
/// their starts (S or T) and the working grid's extent across them (NCU or NRU).
struct ShareOf {
    int index;
    int count;
    int step;
    int extent;
};
/// Share of a section across the working grid's columns; the first section starts at
/// block column 3, later ones at 1 (the extended grid's two extra nodes).
Share section_share(const ShareOf& s);
/// Share of a tier across the working grid's rows, in block rows.
Share tier_share(const ShareOf& t);

/// Rows of nc words that fit behind a block of nb nodes in the work area (NRF).
inline int rows_behind_block(int nb, int nc) { return nc > 0 ? (kWorkWords - nb) / nc : 0; }

/// ASSEMB. Writes tier itier's rows: imask == 0 grid rows of NCU values to
/// ctx.grid_rows (rows.grid_rows advanced), imask == HW >= 1 mask rows of NCT values
/// as mask rows HW + 1.. (rows.mask_rows advanced). Rows are built in groups of at most
/// nrf in ctx.work behind the block. Mask mode also carries the flags of the block row
/// just after a tier's share into the next tier's first mask row (see assembly.cpp).
/// Statuses: row_too_wide when nrf < 1; store_failed when a store read or write fails.
Status assemb(SolveContext& ctx, int itier, int imask, int nrf, RowCounters& rows);

/// PADROW. Writes npad rows of ncol zero words as mask rows irow + 1 .. irow + npad,
/// advancing irow; row is the scratch row. store_failed when a write fails,
/// row_too_wide when row holds fewer than ncol words.
Status padrow(int npad, int& irow, RowFile lu, int ncol, std::span<float> row);

}  // namespace minc
