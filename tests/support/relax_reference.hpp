// The relaxation written again, node by node, from the equation table and the step list:
// the reference that the fast sweeps of the library are compared with, bit for bit.
#pragma once

#include <cstdint>
#include <span>

#include "grid_view.hpp"
#include "relax.hpp"

namespace minc::test {

/// One sweep in the written order, every place of the grid mapped to the written equation
/// of its lower-left counterpart (i -> NX + 1 - i, j -> NY + 1 - j) and evaluated through
/// 1-based node access exactly as written. Returns DMAX.
float reference_sweep(GridView<float> g, GridView<const std::int32_t> fl, std::span<const float> coef, float omega);

/// The over-relaxation control of CURVMN around reference_sweep; rise is the carried state.
void reference_curvmn(GridView<float> g, GridView<const std::int32_t> fl, std::span<const float> coef, float tol,
                      int maxit, int& rise, RelaxResult& r);

}  // namespace minc::test
