// The vectorised relaxation sweep: the grid of one relaxation call held in skewed storage
// (skewed_bands.hpp) so that the nodes of W rows are updated together, with the same
// results, bit for bit, as the sweep in storage order (relax_sweep).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "grid_view.hpp"
#include "relax_sweep.hpp"
#include "skewed_bands.hpp"
#include "sweep_isa.hpp"

namespace minc {

/// The grid, flags and coefficients of one block, converted once for a run of sweeps.
/// The grid is read at construction and written back by store(); in between the view
/// passed in must not be changed by anyone else. flags and coef keep their meaning of
/// relax_sweep and must outlive the object.
class SkewedSweep {
public:
    /// isa: a supported instruction set other than scalar. The grid is at least 5 x 5.
    SkewedSweep(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef, SweepIsa isa);

    /// One sweep, as relax_sweep: returns DMAX, the grid stays in skewed storage.
    float sweep(float omega);

    /// Completes the last sweep and writes the grid back into the view given at
    /// construction. Call it once, after the last sweep.
    void store();

private:
    const std::int32_t* flag_row(int j) const {
        return flags_.data().data() + std::size_t(j - 1) * std::size_t(grid_.nx());
    }
    // The rows NY - 1 and NY of the last sweep if they are still to do, else none.
    OuterRows pending_top();
    // Copies the done top rows into the skewed grid.
    void finish_top();
    // Copies rows j .. j + 1 of the skewed grid into (to_skewed false) or from rows
    // (storage order, nx wide) of a side buffer.
    void copy_rows(float* rows, int j, bool to_skewed);

    // Node (i, j), 1-based, in skewed storage.
    float* node(int i, int j) const {
        return z_ + (std::ptrdiff_t(i) + 2 * std::ptrdiff_t(j)) * stride_ + (j - 3 + lanes_);
    }

    GridView<float> grid_;
    GridView<const std::int32_t> flags_;
    SweepIsa isa_;
    int lanes_ = 0;
    int bands_ = 0;
    int times_ = 0;  // times of one band
    std::ptrdiff_t stride_ = 0;
    std::vector<float> zbuf_;
    std::vector<std::uint8_t> kbuf_;
    std::vector<std::int32_t> coef_at_;
    std::vector<float> cbuf_;
    std::vector<float> lane_dmax_, lane_admax_;
    // Rows 1..4 and NY - 3..NY in storage order, for the outer rows' scalar sweep: rows
    // 1, 2, NY - 1 and NY live here between sweeps (and are copied into the skewed grid),
    // the inner two of each are copied from the skewed grid before they are read.
    std::vector<float> bottom_, top_;
    bool top_pending_ = false;
    float top_omega_ = 1.0f;
    float* z_ = nullptr;
    SkewedBands bands_view_;
};

}  // namespace minc
