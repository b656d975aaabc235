// Solve of one block of the partition (ICONTL): start values from the template grid,
// the block's data as constraints, the boundary inherited from the blocks to the left
// and below (CONTIN), a fill of blank nodes, the minimum-curvature relaxation, then
// the block (and its node flags) into the section store and its result line into the
// log. SolveContext carries everything one gridding call hands to the tier loop.
#pragma once

#include <cstdint>
#include <span>

#include "capacities.hpp"
#include "minc/minc.hpp"
#include "gridout/byte_file.hpp"
#include "grid_view.hpp"
#include "parameter_log.hpp"
#include "partition.hpp"
#include "relax.hpp"
#include "row_store.hpp"
#include "minc/status.hpp"
#include "template_grid.hpp"

namespace minc {

/// What the tier loop, the block solve and the assembly share for one gridding call.
/// All spans are slices of the call's fixed stores; nothing here allocates.
struct SolveContext {
    const Partition& part;  // CPB, RPB, NSECT, NTIER, overlap
    float dummy;            // null value: blank nodes, unfilled grid-row places
    float tol;              // relaxation tolerance (1.0e-4)
    int maxit;              // relaxation sweep limit
    float wconst;           // data weight constant (10.0)
    int hw;                 // half window in cells; >= 1: node flags are kept and a mask built
    int ncu, nru;           // working grid
    int nct;                // mask columns, ncu + 2 * hw (only read when hw >= 1)
    const TemplateGrid& tmpl;
    SolverArrays arrays;    // section grid (kBlockNodes), flags, accumulator, edge buffer
    std::span<float> work;  // work area, kWorkWords: a block at the front, row buffers behind
    std::span<float> recbuf;   // one data scratch record (at least nwrec words)
    int nwrec;                 // point words per data scratch record (3 * points)
    gridout::ByteFile& data_store;     // data scratch store: record = link, count, nwrec words
    gridout::ByteFile& section_store;  // slots of CPB * RPB words
    gridout::ByteFile& grid_rows;      // grid rows appended in order
    RowFile mask;                      // mask rows; file is nullptr when hw == 0
    ParameterLog& log;
    RelaxState& relax;
    Progress progress = nullptr;       // told the share of tiers done; may be empty
};

/// The edge buffer halves: values inherited from the block to the left (3 per block
/// row, row after row) and from the block below (3 block rows of CPB values).
inline std::span<float> edge_from_left(const SolverArrays& a) { return a.edge.first(kMaxBlocks); }
inline std::span<float> edge_from_below(const SolverArrays& a) {
    return a.edge.subspan(kMaxBlocks, kMaxBlocks);
}

/// ICONTL. Solves block (isect, itier) (1-based) whose node (1,1) is extended-grid node
/// (xoff + 1, yoff + 1), into ctx.arrays.section. The edge buffer must hold the
/// inherited values (tier loop). Stores the grid as slot isect of the section store and,
/// when ctx.hw >= 1, the node flags as it stood before the inherited band was fixed as
/// slot NSECT + isect; writes the block's result line to the log.
/// Statuses: those of zgint and gridr (the block is then neither stored nor logged);
/// store_failed when a data record or a slot cannot be read or written;
/// chain_record_count when a record claims more points than it holds; not_finite when a
/// node of the relaxed block is not finite (the block is then neither stored nor logged).
Status icontl(SolveContext& ctx, int isect, int itier, float xoff, float yoff);

/// CONTIN. Copies the inherited band of 3 nodes into the block: from the left (isect > 1)
/// columns 1..3 of every row from the first edge half, from below (itier > 1) rows 1..3
/// from the second half; the outer two columns / rows become fixed (flag -1), the third
/// keeps its flag. Rows are done after columns, so at the corner the values from below win.
void contin(int isect, int itier, GridView<float> grid, GridView<std::int32_t> flags,
            std::span<const float> edge);

}  // namespace minc
