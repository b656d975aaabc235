// Start values of a section: bicubic interpolation of the template grid (ZGINT),
// cell by cell (CELL3) into a fine work array (INSERT), then the section's window.
#pragma once

#include <span>

#include "grid_view.hpp"
#include "minc/status.hpp"
#include "template_grid.hpp"

namespace minc {

/// ZGINT. Fills section (nx x ny, node (1,1) at extended node (off.x + 1, off.y + 1)).
/// fine: work array of kAccumulatorWords reals; patch: scratch of at least (ic + 1)^2
/// reals that may alias the section storage (it is used before the section is filled).
Status zgint(BlockOffset off, const TemplateGrid& tmpl, GridView<float> section,
             std::span<float> fine, std::span<float> patch, float dummy);

/// CELL3. Evaluates the template cell at template node (ix, iy) on n x n points spaced
/// 1 / ic apart into patch (row length n).
void cell3(int n, int ic, int ix, int iy, const TemplateGrid& tmpl, std::span<float> patch);

/// INSERT. Copies the patch into work with patch node (1,1) at work node (iw, jw);
/// patch_misfit (and nothing copied) when it does not fit.
Status insert(int iw, int jw, GridView<const float> patch, GridView<float> work);

}  // namespace minc
