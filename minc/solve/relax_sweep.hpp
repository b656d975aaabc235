// One relaxation sweep of CURVMN over a grid of at least 5 x 5 nodes, split out so that
// the over-relaxation control and the kernel can be read (and tested) on their own.
#pragma once

#include <cstdint>
#include <span>

#include "grid_view.hpp"

namespace minc {

/// One sweep in storage order, updating every node whose flag is 0 or more in place to
/// V + omega (T - V), T from the node's edge, plain or data equation. Returns DMAX, the
/// signed largest change over the interior nodes (columns and rows 3..N - 2), changes of
/// magnitude 1.0E8 or more left out, the later node winning on equal magnitudes.
float relax_sweep(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef,
                  float omega);

}  // namespace minc
