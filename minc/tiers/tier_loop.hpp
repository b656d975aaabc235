// Tier and section loop (PCONTL): solves every block in the order tier by tier,
// section by section, hands each block's boundary to the block to its right and the
// block above through the edge buffer, and assembles each tier into grid rows (and
// mask rows) as soon as its last section is solved.
#pragma once

#include "assembly.hpp"
#include "solve_block.hpp"
#include "minc/status.hpp"

namespace minc {

/// PCONTL. Preconditions: ctx.tmpl is built, ctx.data_store holds the block chains,
/// ctx.section_store has room for NSECT slots (2 * NSECT when hw >= 1), ctx.grid_rows is
/// positioned at its start and, when hw >= 1, ctx.mask holds its header.
/// Afterwards the grid row store holds the NRU rows of NCU values and the mask store
/// rows 1..NRU + 2 * HW. Returns the first failure of icontl or assemb (the log then
/// ends with the failed block's heading), row_too_wide when a row does not fit behind
/// the block, store_failed on a failed store access, no_partition when a section or
/// tier step is below 1. After each tier, ctx.progress (when set) is told the share of
/// tiers done; a false return stops the loop with cancelled.
Status pcontl(SolveContext& ctx);

}  // namespace minc
