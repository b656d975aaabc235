// Attachment of scattered data to grid nodes: ASSIGN accumulates per node the
// weighted mean offset and value of its points; BWTS turns the sums into fixed nodes
// or off-node constraints with the coefficients of the data equation.
#pragma once

#include <cstdint>
#include <span>

#include "grid_view.hpp"

namespace minc {

/// ASSIGN. Adds the points (x, y, z triplets in extended-grid node units) to the
/// accumulator acc (6 reals per node) of an nx x ny grid whose node (1,1) lies at
/// extended-grid position (xoff + 1, yoff + 1). wconst > 0: weighted mode, else nearest.
void assign(float wconst, float xoff, float yoff, int nx, int ny, std::span<float> acc,
            std::span<const float> points);

/// BWTS. Finishes the accumulator: fixes nodes (flag -1, grid value = mean) or sets the
/// quadrant code 1..4 and the six coefficients c1..c6 at interior nodes. izset != 0 also
/// writes the mean value at off-node data nodes.
void bwts(int izset, float wconst, float w0, GridView<float> grid, GridView<std::int32_t> flags,
          std::span<float> acc);

}  // namespace minc
