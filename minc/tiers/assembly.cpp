// Assembly of finished rows from the tier's blocks in the section store.
//
// Geometry (1-based): block (s, t) node (i, j) is extended-grid node
// ((s - 1) * S + i, (t - 1) * T + j), S = CPB - overlap, T = RPB - overlap, and working
// node (c, r) is extended node (c + 2, r + 2). Each block gives the working grid a
// share of its columns and rows so that every working node comes from exactly one
// block: the first block of a row or column skips the two extra extended nodes, the
// others start at their first node, and every block but the last stops at step S (T),
// just before its successor's first node.
//
// For wide grids the partition rounds every block up, so with many sections (tiers) the
// shares of the blocks before the last can add up to more than the row (column) holds:
// with NCU 30596 and 181 sections of step 170 the first 180 give 30598 columns and the
// last one -2. Each share is therefore clipped to the nodes still left, never below
// none; a grid whose shares fit is assembled exactly as before.
//
// Mask rows hold 32-bit integers. They are built in the (float) work area as the bit
// patterns of those integers and written as words, so no integer arithmetic is ever
// done on float storage and no second buffer is needed.
#include "assembly.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>

namespace minc {

namespace {

Share leading_share(const ShareOf& sh) {
    const int k = sh.index, count = sh.count, step = sh.step, extent = sh.extent;
    if (count == 1) return {3, extent + 2};
    if (k == 1) return {3, step};
    if (k < count) return {1, step};
    // The last one gives what the others left: extent minus (step - 2) minus
    // (count - 2) * step nodes.
    return {1, extent - (count - 1) * step + 2};
}

// Mask words as they sit in the float row buffer.
const float kMaskZero = std::bit_cast<float>(std::int32_t{0});
const float kMaskOne = std::bit_cast<float>(std::int32_t{1});

// Number of nodes of a share that still fit when `left` nodes remain: never more than
// left and never below 0, so it is always a valid size.
int clipped(const Share& sh, int left) { return std::max(0, std::min(sh.count(), left)); }

}  // namespace

Share section_share(const ShareOf& s) { return leading_share(s); }

Share tier_share(const ShareOf& t) { return leading_share(t); }

namespace {

// One group of block rows g0..g1 of a tier, built in the buffer behind the block.
struct RowGroup {
    int imask;         // HW in mask mode, else 0
    int nc;            // words per row: NCU, or NCT in mask mode
    int g0, g1;        // block rows of the group
    int share_last;    // last block row of the tier's share; the row after it is the seam row
    std::span<float> buffer;
    bool mask() const { return imask > 0; }
    std::span<float> row(int j) const {
        return buffer.subspan(std::size_t(j - g0) * std::size_t(nc), std::size_t(nc));
    }
};

// Copies every section's share of the group's rows from the section store into the
// buffer: values in grid mode, ones where a block node holds data in mask mode.
Status gather_sections(SolveContext& ctx, const RowGroup& g) {
    const Partition& part = ctx.part;
    const int cpb = part.cpb, rpb = part.rpb, nsect = part.nsect;
    const int nb = cpb * rpb;
    std::span<float> block = ctx.work.first(std::size_t(nb));
    std::span<std::int32_t> block_flags = ctx.arrays.flags.first(std::size_t(nb));
    const int col_start = g.imask;
    int col0 = col_start;  // 0-based output column of the section's first share column
    for (int s = 1; s <= nsect; ++s) {
        const Share full = section_share(
            {.index = s, .count = nsect, .step = part.section_step(), .extent = ctx.ncu});
        const int ncols = clipped(full, ctx.ncu - (col0 - col_start));
        const Share cols{full.first, full.first + ncols - 1};
        assert(full.last + (s < nsect ? 1 : 0) <= cpb);
        if (ncols == 0) continue;  // the sections before have filled the row
        if (!g.mask()) {
            if (Status st = read_slot(ctx.section_store, s, nb, block); st != Status::ok) return st;
            const GridView<float> a(block, cpb, rpb);
            for (int j = g.g0; j <= g.g1; ++j) {
                auto src = a.row(j).subspan(std::size_t(cols.first - 1), std::size_t(ncols));
                std::copy(src.begin(), src.end(), g.row(j).begin() + col0);
            }
        } else {
            if (Status st = read_slot(ctx.section_store, nsect + s, nb, block_flags); st != Status::ok)
                return st;
            const GridView<std::int32_t> a(block_flags, cpb, rpb);
            for (int j = g.g0; j <= g.g1; ++j) {
                std::span<float> out = g.row(j);
                for (int i = cols.first; i <= cols.last; ++i)
                    if (a(i, j) != 0) out[std::size_t(col0 + i - cols.first)] = kMaskOne;
                // The node after the share is the next section's first column; the
                // next section writes only its own ones there, so the two merge. A
                // clipped share ends the row, and its next node is no working node.
                if (s < nsect && ncols == full.count() && a(cols.last + 1, j) != 0)
                    out[std::size_t(col0 + ncols)] = kMaskOne;
            }
        }
        col0 += ncols;
    }
    return Status::ok;
}

// Writes the group's rows to the grid row store or the mask store; `done` once the
// last row of the grid (mask) is written.
Status write_rows(SolveContext& ctx, const RowGroup& g, RowCounters& rows, bool& done) {
    for (int j = g.g0; j <= g.g1; ++j) {
        std::span<float> out = g.row(j);
        if (!g.mask()) {
            ++rows.grid_rows;
            if (Status s = rowio(ctx.grid_rows, out); s != Status::ok) return s;
            if (rows.grid_rows >= ctx.nru) {
                done = true;
                return Status::ok;
            }
            continue;
        }
        std::fill_n(out.begin(), g.imask, kMaskZero);
        std::fill_n(out.end() - g.imask, g.imask, kMaskZero);
        if (j > g.share_last) {
            // The carried row of the tier seam: the next tier's first mask row.
            if (Status s = rowda_write(ctx.mask, std::span<const float>(out), rows.mask_rows + 1);
                s != Status::ok)
                return s;
            continue;
        }
        ++rows.mask_rows;
        if (Status s = rowda_write(ctx.mask, std::span<const float>(out), rows.mask_rows); s != Status::ok)
            return s;
        if (rows.mask_rows >= g.imask + ctx.nru) {
            done = true;
            return Status::ok;
        }
    }
    return Status::ok;
}

}  // namespace

// Mask mode also mends a gap at the tier seam. A block's flags mark the nodes that
// received data in that block's solve, and the block row just after a tier's share
// (row T + 1) is the same line of nodes as the next tier's first share row. A datum
// there that only the lower block received would otherwise be lost from the mask, as
// a datum at column S + 1 would be at a section seam without the column merge in
// gather_sections. So for every tier but the last the assembly builds that row as
// well (with the same section merges) and writes it in place of the next mask row
// without advancing the counter; the next tier starts its first row from it instead of
// from zeros, and as rows only ever gain ones, the node is 1 when either tier flags it.
Status assemb(SolveContext& ctx, int itier, int imask, int nrf, RowCounters& rows) {
    const Partition& part = ctx.part;
    const int nb = part.cpb * part.rpb;
    const bool mask = imask > 0;
    const int nc = mask ? ctx.nct : ctx.ncu;
    if (nrf < 1 || nc < 1) return Status::row_too_wide;
    if (std::size_t(nb) + std::size_t(nc) * std::size_t(nrf) > ctx.work.size()) return Status::row_too_wide;

    const Share rows_share = tier_share(
        {.index = itier, .count = part.ntier, .step = part.tier_step(), .extent = ctx.nru});
    const int rows_left = mask ? imask + ctx.nru - rows.mask_rows : ctx.nru - rows.grid_rows;
    const int tier_rows = clipped(rows_share, rows_left);
    // Only a tier that leaves rows for the next one has a seam row to carry.
    const bool carry_out = mask && itier < part.ntier && tier_rows < rows_left;
    const int share_last = rows_share.first + tier_rows - 1;
    const int last_row = share_last + (carry_out ? 1 : 0);
    assert(last_row <= part.rpb);

    std::span<float> buffer = ctx.work.subspan(std::size_t(nb), std::size_t(nc) * std::size_t(nrf));
    for (int g0 = rows_share.first; g0 <= last_row; g0 += nrf) {
        const RowGroup g{.imask = imask,
                         .nc = nc,
                         .g0 = g0,
                         .g1 = std::min(g0 + nrf - 1, last_row),
                         .share_last = share_last,
                         .buffer = buffer};
        const int ng = g.g1 - g0 + 1;
        std::fill_n(buffer.begin(), std::size_t(ng) * std::size_t(nc), mask ? kMaskZero : ctx.dummy);
        if (mask && itier > 1 && g0 == rows_share.first) {
            if (Status s = rowda_read(ctx.mask, g.row(g0), rows.mask_rows + 1); s != Status::ok) return s;
        }
        if (Status s = gather_sections(ctx, g); s != Status::ok) return s;
        bool done = false;
        if (Status s = write_rows(ctx, g, rows, done); s != Status::ok || done) return s;
    }
    return Status::ok;
}

Status padrow(int npad, int& irow, RowFile lu, int ncol, std::span<float> row) {
    if (ncol < 0 || row.size() < std::size_t(ncol)) return Status::row_too_wide;
    std::span<float> words = row.first(std::size_t(ncol));
    std::fill(words.begin(), words.end(), kMaskZero);
    for (int k = 0; k < npad; ++k) {
        ++irow;
        if (Status s = rowda_write(lu, std::span<const float>(words), irow); s != Status::ok) return s;
    }
    return Status::ok;
}

}  // namespace minc
