// The node-by-node reference of the relaxation (see relax_reference.hpp).
#include "relax_reference.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

namespace minc::test {

namespace {

// Reference: one node at a time, every place of the grid mapped to the written equation
// of its lower-left counterpart (i -> NX + 1 - i, j -> NY + 1 - j) and evaluated through
// 1-based node access exactly as written.
float reference_target(GridView<float> g, GridView<const std::int32_t> fl, std::span<const float> coef,
                       int ii, int jj) {
    const int nx = g.nx();
    const int ny = g.ny();
    const bool mx = ii > nx - 2;
    const bool my = jj > ny - 2;
    const int i = mx ? nx + 1 - ii : ii;
    const int j = my ? ny + 1 - jj : jj;
    auto Z = [&](int a, int b) { return g(mx ? nx + 1 - a : a, my ? ny + 1 - b : b); };

    if (i == 1 && j == 1) return (2.0f * (Z(2, 1) + Z(1, 2)) - Z(3, 1) - Z(1, 3)) * 0.5f;
    if (i == 2 && j == 1)
        return (2.0f * Z(1, 1) + 4.0f * (Z(3, 1) + Z(2, 2)) - Z(4, 1) - Z(1, 2) - Z(3, 2) - Z(2, 3)) *
               0.16666667f;
    if (j == 1)
        return (4.0f * (Z(i - 1, 1) + Z(i + 1, 1) + Z(i, 2)) - Z(i - 1, 2) - Z(i + 1, 2) - Z(i - 2, 1) -
                Z(i + 2, 1) - Z(i, 3)) *
               0.14285713f;
    if (i == 1 && j == 2)
        return (2.0f * Z(1, 1) + 4.0f * (Z(1, 3) + Z(2, 2)) - Z(1, 4) - Z(2, 1) - Z(2, 3) - Z(3, 2)) *
               0.16666667f;
    if (i == 2 && j == 2)
        return (8.0f * (Z(3, 2) + Z(2, 3)) + 4.0f * (Z(1, 2) + Z(2, 1)) - 2.0f * Z(3, 3) - Z(3, 1) -
                Z(1, 3) - Z(4, 2) - Z(2, 4)) *
               0.055555556f;
    if (j == 2)
        return (8.0f * (Z(i - 1, 2) + Z(i + 1, 2) + Z(i, 3)) + 4.0f * Z(i, 1) -
                2.0f * (Z(i - 1, 3) + Z(i + 1, 3)) - Z(i - 1, 1) - Z(i + 1, 1) - Z(i - 2, 2) - Z(i + 2, 2) -
                Z(i, 4)) *
               0.05263158f;
    if (i == 1)
        return (4.0f * (Z(1, j - 1) + Z(1, j + 1) + Z(2, j)) - Z(2, j - 1) - Z(2, j + 1) - Z(1, j - 2) -
                Z(1, j + 2) - Z(3, j)) *
               0.14285713f;
    if (i == 2)
        return (8.0f * (Z(2, j - 1) + Z(2, j + 1) + Z(3, j)) + 4.0f * Z(1, j) -
                2.0f * (Z(3, j - 1) + Z(3, j + 1)) - Z(1, j - 1) - Z(1, j + 1) - Z(2, j - 2) - Z(2, j + 2) -
                Z(4, j)) *
               0.05263158f;

    const float nsum = Z(i + 1, j) + Z(i, j - 1) + Z(i, j + 1) + Z(i - 1, j);
    const float dsum = Z(i + 1, j - 1) + Z(i + 1, j + 1) + Z(i - 1, j - 1) + Z(i - 1, j + 1);
    const float fsum = Z(i + 2, j) + Z(i, j - 2) + Z(i, j + 2) + Z(i - 2, j);
    const int q = fl(i, j);
    if (q == 0) return (8.0f * nsum - 2.0f * dsum - fsum) * 0.05f;
    const std::size_t k = 6 * (std::size_t(j - 1) * std::size_t(nx) + std::size_t(i - 1));
    const float c1 = coef[k], c2 = coef[k + 1], c3 = coef[k + 2], c4 = coef[k + 3], c5 = coef[k + 4],
                c6 = coef[k + 5];
    float a = 0, b = 0, gg = 0, h = 0;
    switch (q) {
        case 1: a = Z(i, j - 1); b = Z(i + 1, j - 1); gg = Z(i - 1, j); h = Z(i - 1, j + 1); break;
        case 2: a = Z(i, j - 1); b = Z(i - 1, j - 1); gg = Z(i + 1, j); h = Z(i + 1, j + 1); break;
        case 3: a = Z(i, j + 1); b = Z(i - 1, j + 1); gg = Z(i + 1, j); h = Z(i + 1, j - 1); break;
        case 4: a = Z(i, j + 1); b = Z(i + 1, j + 1); gg = Z(i - 1, j); h = Z(i - 1, j - 1); break;
        default: ADD_FAILURE() << "bad quadrant " << q;
    }
    const float sq = c2 * a + c1 * b + c3 * gg + c4 * h;
    const float d = 0.5f * dsum + 0.25f * fsum - nsum;
    return c6 * (sq + c5 - d);
}

}  // namespace

float reference_sweep(GridView<float> g, GridView<const std::int32_t> fl, std::span<const float> coef,
                      float omega) {
    float dmax = 0.0f;
    for (int j = 1; j <= g.ny(); ++j) {
        for (int i = 1; i <= g.nx(); ++i) {
            if (fl(i, j) < 0) continue;
            const float v = g(i, j);
            const float t = reference_target(g, fl, coef, i, j);
            g(i, j) = v + omega * (t - v);
            const bool interior = i >= 3 && i <= g.nx() - 2 && j >= 3 && j <= g.ny() - 2;
            if (!interior) continue;
            const float d = g(i, j) - v;
            if (std::fabs(d) >= 1.0e8f) continue;
            if (std::fabs(d) >= std::fabs(dmax)) dmax = d;
        }
    }
    return dmax;
}

// The over-relaxation control, written again from the step list.
void reference_curvmn(GridView<float> g, GridView<const std::int32_t> fl, std::span<const float> coef,
                      float tol, int maxit, int& rise, RelaxResult& r) {
    if (g.nx() < 5 || g.ny() < 5) return;
    r.niter = 0;
    r.err0 = 0.0f;
    float omega = 1.3f, prev = 1.0e20f, best = 1.0e32f;
    int ibest = 10000;
    for (;;) {
        if (r.niter >= maxit) return;
        const float dmax = reference_sweep(g, fl, coef, omega);
        if (r.niter == 0) r.err0 = std::fabs(dmax / omega);
        r.niter += 1;
        if (dmax == 0.0f) return;
        if (std::fabs(dmax) < best) {
            best = std::fabs(dmax);
            ibest = r.niter;
        } else {
            if (std::fabs(dmax) > 1.5f * best) return;
            if (r.niter - ibest > 5) return;
        }
        r.err = std::fabs(dmax / omega);
        if (r.err <= std::fabs(tol) && r.niter >= 5) return;
        const float ratio = r.err / prev;
        prev = r.err;
        if (ratio > 1.0f) {
            if (rise == 1) {
                omega = omega - 0.1f * static_cast<float>(static_cast<int>(10.0f * ratio - 9.11f));
                if (omega < 1.0f) omega = 1.0f;
                rise = 0;
            } else {
                rise += 1;
            }
        }
        if (ratio <= 1.0f && ratio >= 0.8f && omega < 1.6f) omega = omega + 0.1f;
    }
}

}  // namespace minc::test
