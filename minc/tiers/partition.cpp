// PRTISH: chooses the block size and the numbers of sections and tiers of the
// extended grid. Two passes over 32 x 32 candidate pairs: first the most nearly square
// block, then, if that is not too elongated, the pair with the fewest blocks.
#include "partition.hpp"

#include "grid_view.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace minc {
namespace {

constexpr int kCandidates = 32;

// Least count of blocks along a side of n nodes for a base block size bs:
// n / bs rounded to nearest, less one, at least 1.
int least_count(int n, float bs) {
    int c = trunc_int(static_cast<float>(n) / bs + 0.5f) - 1;
    return c <= 0 ? 1 : c;
}

// Block extent when n nodes are shared by `count` blocks that overlap by ov:
// ov + ceil((n - ov) / count), the ceiling taken as trunc(q + 0.9999).
int candidate_extent(int n, int ov, int count) {
    const float q = static_cast<float>(n - ov) / static_cast<float>(count);
    return ov + trunc_int(q + 0.9999f);
}

}  // namespace

Status prtish(const PartitionBounds& b, Partition& p) {
    const int maxw = b.max_words, maxb = b.max_blocks, ncp = b.columns, nrp = b.rows;
    const int ov = p.overlap;
    const int m = maxw / 8;
    // Base size: the side of a square block of m nodes, less the overlap.
    const float bs = static_cast<float>(trunc_int(std::sqrt(static_cast<float>(m)) - static_cast<float>(ov)));
    const int ns0 = least_count(ncp, bs);
    const int nt0 = least_count(nrp, bs);

    std::array<int, kCandidates> cw{}, rh{};
    for (int k = 1; k <= kCandidates; ++k) {
        cw[k - 1] = candidate_extent(ncp, ov, ns0 + k - 1);
        rh[k - 1] = candidate_extent(nrp, ov, nt0 + k - 1);
    }
    // Products in 64 bits: a huge grid must fail the limits, not overflow.
    auto feasible = [&](int i, int j) {
        const std::int64_t w = cw[i - 1], h = rh[j - 1];
        return 3 * w <= maxb && 3 * h <= maxb && w * h <= m;
    };
    auto ratio = [&](int i, int j) { return static_cast<float>(cw[i - 1]) / static_cast<float>(rh[j - 1]); };
    auto block_count = [&](int i, int j) {
        return static_cast<std::int64_t>(ns0 + i - 1) * static_cast<std::int64_t>(nt0 + j - 1);
    };

    int best_i = 0, best_j = 0;
    std::int64_t best_nb = 1000000;
    float best_ratio = 10000.0f;

    // First pass: the pair closest to square; strict comparison keeps the first of
    // equals in loop order (width candidate outer, height candidate inner).
    for (int i = 1; i <= kCandidates; ++i) {
        for (int j = 1; j <= kCandidates; ++j) {
            if (!feasible(i, j)) continue;
            const float r = ratio(i, j);
            if (std::fabs(r - 1.0f) < std::fabs(best_ratio - 1.0f)) {
                best_i = i;
                best_j = j;
                best_nb = block_count(i, j);
                best_ratio = r;
            }
        }
    }
    // Second pass: fewer blocks win as long as the block is not too tall (R > 0.3).
    // The best ratio is not updated here, on purpose: it only gates this pass.
    if (best_ratio < 3.0f) {
        for (int i = 1; i <= kCandidates; ++i) {
            for (int j = 1; j <= kCandidates; ++j) {
                if (!feasible(i, j)) continue;
                const std::int64_t nb = block_count(i, j);
                if (nb < best_nb && ratio(i, j) > 0.3f) {
                    best_i = i;
                    best_j = j;
                    best_nb = nb;
                }
            }
        }
    }

    if (best_i == 0) {
        p.nsect = 0;
        return Status::no_partition;
    }
    p.cpb = cw[best_i - 1];
    p.rpb = rh[best_j - 1];
    p.nsect = ns0 + best_i - 1;
    p.ntier = nt0 + best_j - 1;
    return Status::ok;
}

}  // namespace minc
