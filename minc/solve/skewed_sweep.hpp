// The vectorised relaxation sweep: the grid of one relaxation call held in skewed storage
// (skewed_bands.hpp) so that the nodes of W rows are updated together, with the same
// results, bit for bit, as the sweep in storage order (relax_sweep).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "grid_view.hpp"
#include "skewed_bands.hpp"
#include "sweep_isa.hpp"

namespace minc {

/// The grid, flags and coefficients of one block, converted once for a run of sweeps.
/// The grid is read at construction and written back by store(); in between the view
/// passed in must not be changed by anyone else. flags and coef keep their meaning of
/// relax_sweep; they are read at construction only.
class SkewedSweep {
public:
    /// isa: a supported instruction set other than scalar. The grid is at least 5 x 5.
    SkewedSweep(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef, SweepIsa isa);

    /// One sweep, as relax_sweep: returns DMAX, the grid stays in skewed storage.
    float sweep(float omega);

    /// Writes the grid back into the view given at construction.
    void store();

private:
    // Node (i, j), 1-based, in skewed storage.
    float* node(int i, int j) const {
        return z_ + (std::ptrdiff_t(i) + 2 * std::ptrdiff_t(j)) * stride_ + (j - 1 + lanes_);
    }

    GridView<float> grid_;
    SweepIsa isa_;
    int lanes_ = 0;
    int bands_ = 0;
    int times_ = 0;  // times of one band
    std::ptrdiff_t stride_ = 0;
    std::vector<float> zbuf_;
    std::vector<std::uint16_t> kbuf_;
    std::vector<std::int32_t> coef_at_;
    std::vector<float> cbuf_;
    std::vector<std::uint8_t> band_rows_;
    std::vector<SkewedCorner> corners_;
    std::vector<std::int32_t> corner_begin_;
    std::vector<float> lane_dmax_, lane_admax_;
    float* z_ = nullptr;  // time 0
    SkewedBands bands_view_;
};

}  // namespace minc
