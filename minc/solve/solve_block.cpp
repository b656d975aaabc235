// Solve of one block: template start values, data constraints, inherited boundary,
// fill, relaxation, then the section store and the log.
#include "solve_block.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "assign_data.hpp"
#include "capacities.hpp"
#include "data_pass.hpp"
#include "fill.hpp"
#include "start_values.hpp"

namespace minc {

namespace {

// Width of the inherited band. Its outer two lines are fixed so that the block joins
// its solved neighbour with matching values and slopes; the third line starts from the
// neighbour's values but stays free, so curvature can still adjust across the seam.
constexpr int kBand = 3;

// Reads the block's chain of data records and adds its points to the accumulator.
// The template grid has already walked every chain and rejected bad links, so any
// failed seek or short read here means a broken store.
Status read_block_data(SolveContext& ctx, int first_record, BlockOffset off, bool& had_data) {
    const int nx = ctx.part.cpb, ny = ctx.part.rpb;
    std::span<float> words = ctx.recbuf.first(std::size_t(ctx.nwrec));
    for (int rec = first_record; rec != 0;) {
        DataRecordHead head;
        if (Status s = read_data_record(ctx.data_store, rec, head, words); s != Status::ok) return s;
        const std::int32_t count = head.count;
        if (count >= 1) {
            if (std::int64_t(count) * 3 > ctx.nwrec) return Status::chain_record_count;
            had_data = true;
            assign(ctx.wconst, off, nx, ny, ctx.arrays.acc, words.first(std::size_t(count) * 3));
        }
        rec = head.link;
    }
    return Status::ok;
}

}  // namespace

Status icontl(SolveContext& ctx, int isect, int itier, float xoff, float yoff) {
    const Partition& part = ctx.part;
    const int nx = part.cpb, ny = part.rpb;
    if (std::int64_t(nx) * ny > kBlockNodes) return Status::start_too_large;
    const int n = nx * ny;
    SolverArrays& a = ctx.arrays;
    const GridView<float> grid(a.section, nx, ny);
    const GridView<std::int32_t> flags(a.flags, nx, ny);

    std::fill_n(a.flags.begin(), n, 0);

    // The accumulator doubles as the fine interpolation array, and the section storage
    // as the patch, before either is set up below.
    if (Status s = zgint({xoff, yoff}, ctx.tmpl, grid, a.acc, a.section, ctx.dummy); s != Status::ok) return s;

    // Empty accumulator value: with no weight constant the sums are products and start at 1.
    const float w0 = ctx.wconst == 0.0f ? 1.0f : 0.0f;
    std::fill_n(a.acc.begin(), std::size_t(6) * std::size_t(n), w0);

    bool had_data = false;
    if (Status s = read_block_data(ctx, part.block(isect, itier), {xoff, yoff}, had_data); s != Status::ok)
        return s;
    // izset 0: nodes with off-node data keep their start value.
    if (had_data) bwts(0, ctx.wconst, w0, grid, flags, a.acc);

    // The mask is built from the data flags alone, so they are stored before the
    // inherited band fixes its nodes.
    if (ctx.hw >= 1) {
        if (Status s = wrblk(ctx.section_store, isect + part.nsect, n, std::span<const std::int32_t>(a.flags.first(std::size_t(n))));
            s != Status::ok)
            return s;
    }

    contin(isect, itier, grid, flags, a.edge);

    // The edge buffer has been consumed; its front serves as the fill's work line.
    if (Status s = gridr(grid, a.edge.first(std::size_t(ny)), ctx.dummy); s != Status::ok) return s;

    RelaxResult r;
    r.err0 = 0.0f;
    r.err = 0.0f;
    r.niter = 0;
    curvmn(grid, GridView<const std::int32_t>(flags), a.acc, {ctx.tol, ctx.maxit}, ctx.relax, r);
    // The sweep leaves changes of 1e8 or more, and NaN changes, out of its largest
    // change, so a relaxation that overflows can stop as if it had converged. A block
    // that is not finite throughout is never passed on as a result.
    const std::span<const float> solved = a.section.first(std::size_t(n));
    if (!std::all_of(solved.begin(), solved.end(), [](float v) { return std::isfinite(v); }))
        return Status::not_finite;

    if (Status s = wrblk(ctx.section_store, isect, n, std::span<const float>(a.section.first(std::size_t(n))));
        s != Status::ok)
        return s;
    ctx.log.block_result(itier, isect, r.err0, r.err, r.niter);
    return Status::ok;
}

void contin(int isect, int itier, GridView<float> grid, GridView<std::int32_t> flags, std::span<const float> edge) {
    const int nx = grid.nx(), ny = grid.ny();
    if (isect != 1) {
        std::span<const float> left = edge.first(kMaxBlocks);
        std::size_t k = 0;
        for (int j = 1; j <= ny; ++j) {
            for (int i = 1; i <= kBand; ++i) grid(i, j) = left[k++];
            flags(1, j) = -1;
            flags(2, j) = -1;
        }
    }
    // After the columns, so the corner takes the values from below.
    if (itier != 1) {
        std::span<const float> below = edge.subspan(kMaxBlocks, kMaxBlocks);
        for (int j = 1; j <= kBand; ++j) {
            auto src = below.subspan(std::size_t(j - 1) * std::size_t(nx), std::size_t(nx));
            std::copy(src.begin(), src.end(), grid.row(j).begin());
            if (j < kBand) std::fill(flags.row(j).begin(), flags.row(j).end(), -1);
        }
    }
}

}  // namespace minc
