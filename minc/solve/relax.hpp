// Minimum-curvature relaxation (CURVMN): over-relaxed sweeps of the biharmonic
// equation with edge and corner equations and off-node data constraints.
#pragma once

#include <cstdint>
#include <span>

#include "grid_view.hpp"
#include "minc/relax_state.hpp"

namespace minc {

struct RelaxResult {
    float err0 = 0.0f;  // error of the first sweep
    float err = 0.0f;   // error of the last sweep that reached the error update; the
                        // caller sets it before the call, it is kept otherwise
    int niter = 0;      // sweeps done
};

/// CURVMN. grid: complete, relaxed in place; flags: -1 fixed, 0 free, 1..4 quadrant
/// of an off-node datum; coef: 6 reals per node (BWTS). A grid
/// smaller than 5 x 5 is left alone and result is not touched.
struct RelaxLimits {
    float tol = 1.0e-4f;  // convergence limit on the largest change of a sweep; |tol| is used
    int maxit = 512;      // sweeps at most
};
void curvmn(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef,
            RelaxLimits limits, RelaxState& state, RelaxResult& result);

}  // namespace minc
