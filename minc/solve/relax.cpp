// Minimum-curvature relaxation (CURVMN): successive over-relaxation (Gauss-Seidel order,
// storage order) of the discrete biharmonic equation, Briggs (1974), with the free-edge
// equations on the two outer rows and columns and a data equation at interior nodes
// that carry an off-node datum. The sweep itself is in relax_sweep.cpp (storage order)
// and skewed_sweep.cpp (vectorised, the same results); this file holds the
// over-relaxation control around it.
#include "relax.hpp"

#include <cassert>
#include <cmath>
#include <cstddef>
#include <optional>

#include "assign_data.hpp"
#include "relax_sweep.hpp"
#include "skewed_sweep.hpp"
#include "sweep_isa.hpp"

namespace minc {

namespace {

constexpr float kOmegaStart = 1.3f;
constexpr float kPrevStart = 1.0e20f;
constexpr float kBestStart = 1.0e32f;
constexpr int kIbestStart = 10000;
constexpr int kMinSweeps = 5;      // convergence is not accepted before this sweep
constexpr int kStaleSweeps = 5;    // sweeps without a new best change that end the loop
constexpr int kRiseThreshold = 1;  // rising sweeps tolerated before omega is cut

// Cut of omega after a rising error: omega - 0.1 trunc(10 R - 9.11), floored at 1.0.
// omega stays below 1.7, so any cut of 7 or more steps lands on the floor; capping the
// step count only avoids an out-of-range conversion for a huge ratio.
float cut_omega(float omega, float ratio) {
    const float steps = 10.0f * ratio - 9.11f;
    float next = 1.0f;
    if (steps < 1000.0f) next = omega - 0.1f * static_cast<float>(trunc_int(steps));
    return next < 1.0f ? 1.0f : next;
}

}  // namespace

void curvmn(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef,
            RelaxLimits limits, RelaxState& state, RelaxResult& result) {
    const float tol = limits.tol;
    const int maxit = limits.maxit;
    const int nx = grid.nx();
    const int ny = grid.ny();
    if (nx < 5 || ny < 5) return;
    assert(flags.nx() == nx && flags.ny() == ny);
    assert(coef.size() >= kAccWidth * std::size_t(nx) * std::size_t(ny));
    const float tolerance = std::fabs(tol);

    result.niter = 0;
    result.err0 = 0.0f;
    float omega = kOmegaStart;
    float prev = kPrevStart;
    float best = kBestStart;
    int ibest = kIbestStart;

    // Between sweeps the control reads only DMAX, so a vectorised sweep keeps the grid in
    // its own storage for the whole call and writes it back once at the end.
    std::optional<SkewedSweep> vectorised;
    if (const SweepIsa isa = active_sweep_isa(); isa != SweepIsa::scalar && maxit > 0)
        vectorised.emplace(grid, flags, coef, isa);
    auto sweep = [&](float w) { return vectorised ? vectorised->sweep(w) : relax_sweep(grid, flags, coef, w); };

    while (result.niter < maxit) {
        const float dmax = sweep(omega);
        if (result.niter == 0) result.err0 = std::fabs(dmax / omega);
        ++result.niter;
        if (dmax == 0.0f) break;

        const float change = std::fabs(dmax);
        if (change < best) {
            best = change;
            ibest = result.niter;
        } else if (change > 1.5f * best) {
            break;  // diverging
        } else if (result.niter - ibest > kStaleSweeps) {
            break;  // no new best for too long
        }

        // The largest change before over-relaxation.
        result.err = std::fabs(dmax / omega);
        if (result.err <= tolerance && result.niter >= kMinSweeps) break;

        const float ratio = result.err / prev;
        prev = result.err;
        if (ratio > 1.0f) {
            // Kept on purpose: the rise count lives in the caller's state and carries over
            // from one call to the next; a second rising sweep, possibly in a later call,
            // cuts omega.
            if (state.rise == kRiseThreshold) {
                omega = cut_omega(omega, ratio);
                state.rise = 0;
            } else {
                ++state.rise;
            }
        } else if (ratio >= 0.8f && omega < 1.6f) {
            omega = omega + 0.1f;
        }
    }
    if (vectorised) vectorised->store();
}

}  // namespace minc
