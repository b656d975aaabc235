// REJONL: builds the template grid, a coarse grid IC node intervals apart over the
// whole extended grid, from every chain of the data scratch store. Each point is taken
// from one block only (the XLIM/YLIM filter drops the overlap copies); the template is
// filled and given at most 30 relaxation sweeps. Sections start from it (ZGINT).
#include "template_grid.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>

#include "assign_data.hpp"
#include "capacities.hpp"
#include "data_pass.hpp"
#include "fill.hpp"

namespace minc {
namespace {

constexpr float kTemplateWeight = 0.1f;  // ASSIGN / BWTS weight constant on the template
constexpr int kTemplateSweeps = 30;

// One block's chain as the template reads it: its first record and the limits beyond
// which its points belong to the next section or tier.
struct ChainBlock {
    int first = 0;                // first record of the chain
    bool last_section = false;    // no section to the right: no x limit
    bool last_tier = false;       // no tier above: no y limit
    float xlim = 0.0f, ylim = 0.0f;
};

// Reads the chain of one block and assigns the points that belong to this block
// (x <= xlim unless it is the last section, y <= ylim unless the last tier) to the
// template, converted to template units (rc = 1 / IC).
Status read_chain(const TemplateFrame& f, gridout::ByteFile& scratch, const ChainBlock& b,
                  std::span<float> recbuf, const TemplateGrid& tmpl, std::span<float> acc) {
    const int records = f.records;
    const bool last_section = b.last_section, last_tier = b.last_tier;
    const float xlim = b.xlim, ylim = b.ylim;
    const float rc = 1.0f / static_cast<float>(tmpl.ic);
    const auto words = recbuf.first(static_cast<std::size_t>(f.nwrec));
    int rec = b.first;
    // A chain visits each record at most once; more visits than records means the
    // links form a loop, which only a damaged store can produce.
    for (int visited = 0; rec != 0; ++visited) {
        if (rec < 1 || rec > records || visited >= records) return Status::chain_record_range;
        DataRecordHead head;
        if (Status s = read_data_record(scratch, rec, head, words); s != Status::ok) return s;
        rec = head.link;
        const int n = head.count;
        if (n < 1) continue;
        if (n > kMaxPointsPerRecord || static_cast<std::size_t>(3 * n) > recbuf.size()) {
            return Status::chain_record_count;
        }
        // Kept points are packed to the front of the buffer; the write index never
        // passes the read index.
        std::size_t kept = 0;
        for (std::size_t k = 0; k < static_cast<std::size_t>(3 * n); k += 3) {
            const float x = recbuf[k], y = recbuf[k + 1], z = recbuf[k + 2];
            if ((last_section || x <= xlim) && (last_tier || y <= ylim)) {
                recbuf[kept] = (x - 1.0f) * rc + 3.0f;
                recbuf[kept + 1] = (y - 1.0f) * rc + 3.0f;
                recbuf[kept + 2] = z;
                kept += 3;
            }
        }
        if (kept > 0) assign(kTemplateWeight, {0.0f, 0.0f}, tmpl.nxc, tmpl.nyc, acc, recbuf.first(kept));
    }
    return Status::ok;
}

}  // namespace

Status rejonl(const TemplateFrame& f, gridout::ByteFile& scratch, std::span<float> recbuf,
              SolverArrays arrays, TemplateGrid& tmpl, RelaxState& state) {
    const Partition& part = f.part;
    const float dummy = f.dummy;
    assert(recbuf.size() >= static_cast<std::size_t>(f.nwrec));
    assert(arrays.section.size() >= static_cast<std::size_t>(kBlockNodes));
    assert(arrays.flags.size() >= static_cast<std::size_t>(kBlockNodes));
    assert(arrays.acc.size() >= static_cast<std::size_t>(kAccumulatorWords));
    assert(arrays.edge.size() >= static_cast<std::size_t>(kEdgeWords));
    assert(tmpl.values.size() >= static_cast<std::size_t>(kBlockNodes));

    std::fill_n(arrays.section.begin(), kBlockNodes, 0.0f);
    std::fill_n(arrays.flags.begin(), kBlockNodes, 0);
    std::fill_n(arrays.acc.begin(), kAccumulatorWords, 0.0f);

    const int nx = part.cpb, ny = part.rpb, ov = part.overlap;
    // Node intervals spanned by all blocks together.
    const int nxt = (nx - ov) * (part.nsect - 1) + nx - 1;
    const int nyt = (ny - ov) * (part.ntier - 1) + ny - 1;

    // The smallest step from 4 up whose template, with its margins of 7 nodes, fits one
    // block's worth of nodes.
    int ic = 4;
    int nxc = 0, nyc = 0;
    for (;; ++ic) {
        nxc = nxt / ic + 7;
        nyc = nyt / ic + 7;
        if (static_cast<long long>(nxc) * nyc <= kBlockNodes) break;
    }
    tmpl.ic = ic;
    tmpl.nxc = nxc;
    tmpl.nyc = nyc;
    tmpl.xt0 = 1 - 2 * ic;
    tmpl.yt0 = 1 - 2 * ic;
    // The accumulator and the flags were cleared in full above; only the values start blank.
    std::fill_n(tmpl.values.begin(), static_cast<std::size_t>(nxc) * static_cast<std::size_t>(nyc), dummy);

    for (int t = 1; t <= part.ntier; ++t) {
        for (int s = 1; s <= part.nsect; ++s) {
            const ChainBlock b{.first = part.block(s, t),
                               .last_section = s == part.nsect,
                               .last_tier = t == part.ntier,
                               .xlim = static_cast<float>(s * (nx - ov)),
                               .ylim = static_cast<float>(t * (ny - ov))};
            if (Status st = read_chain(f, scratch, b, recbuf, tmpl, arrays.acc); st != Status::ok) {
                return st;
            }
        }
    }

    const GridView<float> grid = tmpl.view();
    const GridView<std::int32_t> flags(arrays.flags, nxc, nyc);
    // IZSET 1: off-node data nodes also start at their data mean.
    bwts(1, kTemplateWeight, 0.0f, grid, flags, arrays.acc);
    // The whole edge buffer serves as the work line: a template may be taller than
    // one half of it.
    if (Status st = gridr(grid, arrays.edge, dummy); st != Status::ok) return st;
    RelaxResult result;
    curvmn(grid, GridView<const std::int32_t>(flags), arrays.acc, {f.tol, kTemplateSweeps}, state, result);
    return Status::ok;
}

}  // namespace minc
