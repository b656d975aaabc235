// One relaxation sweep of CURVMN over a grid of at least 5 x 5 nodes, split out so that
// the over-relaxation control and the kernel can be read (and tested) on their own.
#pragma once

#include <cstddef>
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

/// The sweep of one outer row (row 1 or NY) or one second row (row 2 or NY - 1) in any
/// storage of the grid: r points at the row's node in column 1, col is the storage step
/// from a node to the next column, dir the step from a node to its neighbour in the next
/// row towards the inside of the grid; f holds the row's nx flags. Nodes with a flag of 0
/// or more are updated in the written order of the row with the row's edge equations.
/// Used by the vectorised sweep, which keeps the grid in another storage order.
void relax_outer_row(float* r, const std::int32_t* f, int nx, std::ptrdiff_t col, std::ptrdiff_t dir, float omega);
void relax_second_row(float* r, const std::int32_t* f, int nx, std::ptrdiff_t col, std::ptrdiff_t dir, float omega);

}  // namespace minc
