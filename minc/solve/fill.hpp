// Fill of blank nodes (value exactly the null value): lattice averages, linear
// interpolation along lattice rows and every column, then the mean of what is known.
#pragma once

#include <span>

#include "grid_view.hpp"
#include "minc/status.hpp"

namespace minc {

/// GRIDR. work_line holds at least grid.ny() reals. Returns no_values when the grid
/// holds nothing but the null value.
Status gridr(GridView<float> grid, std::span<float> work_line, float dummy);

/// PLUGM. Fills the blank entries of a line from its known entries.
void plugm(std::span<float> line, float dummy);

}  // namespace minc
