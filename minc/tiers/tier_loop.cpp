// Tier and section loop: blocks are solved tier by tier and, within a tier, section
// by section, so that block (s, t) always finds blocks (s - 1, t) and (s, t - 1)
// solved. Block (s - 1, t) is still in the work area when block (s, t) starts; block
// (s, t - 1) is read back from the section store, which holds exactly the previous
// tier until the current tier overwrites slot s. Each tier is assembled as soon as its
// last section is solved, before the next tier overwrites the store.
#include "tier_loop.hpp"

#include <algorithm>

#include "capacities.hpp"

namespace minc {

Status pcontl(SolveContext& ctx) {
    const Partition& part = ctx.part;
    const int cpb = part.cpb, rpb = part.rpb;
    const int nb = cpb * rpb;
    const int step_s = part.section_step(), step_t = part.tier_step();
    // Three columns of every block row, or three block rows, fill at most one edge half.
    if (3 * rpb > kMaxBlocks || 3 * cpb > kMaxBlocks || nb > kBlockNodes) return Status::start_too_large;
    // The inherited bands are read at the steps, so they must lie inside the block.
    if (step_s < 1 || step_t < 1) return Status::no_partition;

    RowCounters rows;
    const int nrf_grid = rows_behind_block(nb, ctx.ncu);
    if (nrf_grid < 1) return Status::row_too_wide;
    int nrf_mask = 0;
    if (ctx.hw >= 1) {
        nrf_mask = rows_behind_block(nb, ctx.nct);
        if (nrf_mask < 1) return Status::row_too_wide;
        if (Status s = padrow(ctx.hw, rows.mask_rows, ctx.mask, ctx.nct, ctx.work.subspan(std::size_t(nb)));
            s != Status::ok)
            return s;
    }

    std::span<float> from_left = edge_from_left(ctx.arrays);
    std::span<float> from_below = edge_from_below(ctx.arrays);
    std::span<float> section = ctx.arrays.section.first(std::size_t(nb));

    float yoff = 0.0f;
    for (int t = 1; t <= part.ntier; ++t) {
        float xoff = 0.0f;
        for (int s = 1; s <= part.nsect; ++s) {
            ctx.log.block_heading();
            if (t > 1) {
                // Rows T + 1 .. T + 3 of the block below are rows 1..3 of this block.
                if (Status st = read_slot(ctx.section_store, s, nb, section); st != Status::ok) return st;
                auto src = section.subspan(std::size_t(step_t) * std::size_t(cpb), std::size_t(3 * cpb));
                std::copy(src.begin(), src.end(), from_below.begin());
            }
            if (Status st = icontl(ctx, s, t, xoff, yoff); st != Status::ok) return st;
            if (s < part.nsect) {
                // Columns S + 1 .. S + 3 of every row are columns 1..3 of the next section.
                const GridView<const float> g(std::span<const float>(section), cpb, rpb);
                std::size_t k = 0;
                for (int j = 1; j <= rpb; ++j)
                    for (int i = step_s + 1; i <= step_s + 3; ++i) from_left[k++] = g(i, j);
            }
            xoff = xoff + static_cast<float>(step_s);
        }
        if (Status st = assemb(ctx, t, 0, nrf_grid, rows); st != Status::ok) return st;
        if (ctx.hw >= 1) {
            if (Status st = assemb(ctx, t, ctx.hw, nrf_mask, rows); st != Status::ok) return st;
        }
        yoff = yoff + static_cast<float>(step_t);
        // Between tiers the grid rows so far are complete: the caller may stop here.
        if (ctx.progress && !ctx.progress(static_cast<double>(t) / static_cast<double>(part.ntier)))
            return Status::cancelled;
    }

    if (ctx.hw >= 1) {
        if (Status s = padrow(ctx.hw, rows.mask_rows, ctx.mask, ctx.nct, ctx.work.subspan(std::size_t(nb)));
            s != Status::ok)
            return s;
    }
    return Status::ok;
}

}  // namespace minc
