// The relaxation sweep in storage order, node by node: the reference that the vectorised
// sweep (skewed_sweep.cpp) reproduces bit for bit. The equations of the outer rows and
// columns are in edge_equations.hpp.
//
// Speed: a sweep is Gauss-Seidel, so each node waits for the one just updated to its
// left; that wait, not memory or arithmetic throughput, bounds the sweep. The interior
// run keeps the current row in registers (no reload of a value just stored), sums the
// neighbours so that the terms depending on the last updates come last, and carries the
// left neighbour also pre-scaled by 8 (checked, see the run). The chain per node is then
// the add that completes 8 Nsum, the two subtractions and the multiply of the target and
// the three operations of the over-relaxed update.
#include "relax_sweep.hpp"

#include <bit>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "assign_data.hpp"
#include "edge_equations.hpp"

namespace minc {

namespace {

using Step = std::ptrdiff_t;

// Over-relaxed update of an outer-band node; its change does not enter DMAX.
template <class Equation>
inline void update_edge(float* p, std::int32_t flag, float omega, Equation eq) {
    if (flag < 0) return;
    const float v = *p;
    const float t = eq(p);
    *p = v + omega * (t - v);
}

// Row 1 (dir = +nx) or row NY (dir = -nx); dir points into the grid.
void sweep_row1(float* r, const std::int32_t* f, int nx, Step dir, float omega) {
    update_edge(r, f[0], omega, [=](const float* p) { return eq_corner(p, 1, dir); });
    update_edge(r + 1, f[1], omega, [=](const float* p) { return eq_21(p, 1, dir); });
    for (int k = 2; k <= nx - 3; ++k)
        update_edge(r + k, f[k], omega, [=](const float* p) { return eq_i1(p, 1, dir); });
    update_edge(r + nx - 2, f[nx - 2], omega, [=](const float* p) { return eq_21(p, -1, dir); });
    update_edge(r + nx - 1, f[nx - 1], omega, [=](const float* p) { return eq_corner(p, -1, dir); });
}

// Row 2 (dir = +nx) or row NY - 1 (dir = -nx).
void sweep_row2(float* r, const std::int32_t* f, int nx, Step dir, float omega) {
    update_edge(r, f[0], omega, [=](const float* p) { return eq_21(p, dir, 1); });
    update_edge(r + 1, f[1], omega, [=](const float* p) { return eq_22(p, 1, dir); });
    for (int k = 2; k <= nx - 3; ++k)
        update_edge(r + k, f[k], omega, [=](const float* p) { return eq_i2(p, 1, dir); });
    update_edge(r + nx - 2, f[nx - 2], omega, [=](const float* p) { return eq_22(p, -1, dir); });
    update_edge(r + nx - 1, f[nx - 1], omega, [=](const float* p) { return eq_21(p, dir, -1); });
}

// Storage offsets of the neighbours A, B, G, H of a data node per quadrant code 1..4:
// the data equation leans on the side of the node where its datum lies.
struct QuadrantNeighbours {
    Step a, b, g, h;
};

inline QuadrantNeighbours quadrant_neighbours(std::int32_t q, Step s) {
    switch (q) {
        case 1: return {-s, -s + 1, -1, s - 1};
        case 2: return {-s, -s - 1, 1, s + 1};
        case 3: return {s, s - 1, 1, 1 - s};
        default: return {s, s + 1, -1, -1 - s};
    }
}

// Sweep-change bookkeeping: later nodes win ties; huge changes are kept out.
struct SweepChange {
    float dmax = 0.0f;
    float admax = 0.0f;  // |dmax|
};

// Target of a plain interior node from 8 Nsum; kept out of line so that the rare
// recomputation stays a branch and never joins the dependent chain of the sweep.
[[gnu::noinline]] float recompute_plain_target(float nsum8, float dsum, float fsum) {
    return (nsum8 - 2.0f * dsum - fsum) * 0.05f;
}

// Interior row j (3..NY - 2): columns 1, 2, the interior run 3..NX - 2, columns NX - 1, NX.
void sweep_interior_row(float* r, const std::int32_t* f, const float* c, int nx, float omega,
                        SweepChange& change) {
    const Step s = nx;
    update_edge(r, f[0], omega, [=](const float* p) { return eq_i1(p, s, 1); });
    update_edge(r + 1, f[1], omega, [=](const float* p) { return eq_i2(p, s, 1); });

    // The interior run: node k of the run is column k + 3. zm2, zm1, z0, zp1 mirror the
    // current values of the columns k + 1 .. k + 4 of this row, so the value just stored
    // is never read back from memory.
    //
    // 8 Nsum is formed as 8 (Z(i+1,j) + Z(i,j-1) + Z(i,j+1)) + 8 Z(i-1,j), with 8 Z(i-1,j)
    // carried from the previous update as 8 V + 8 omega (T - V). Scaling by 8 commutes with
    // float rounding away from overflow and underflow, so this equals 8 * Nsum and takes
    // the multiply off the chain that links each node to the last one. The equality is
    // checked at every node, off that chain, and the target is recomputed from 8 * Nsum
    // where it fails (extreme magnitudes), so the result is always that of 8 * Nsum.
    float* const z = r + 2;
    const std::int32_t* const fl = f + 2;
    const float* const cf = c + 12;
    const float* const dn = z - s;
    const float* const up = z + s;
    const float* const dn2 = z - 2 * s;
    const float* const up2 = z + 2 * s;
    const float omega8 = 8.0f * omega;
    float zm2 = z[-2];
    float zm1 = z[-1];
    float zm1x8 = 8.0f * zm1;
    float z0 = z[0];
    float zp1 = z[1];
    float dmax = change.dmax;
    float admax = change.admax;
    const int run = nx - 4;
    for (int k = 0; k < run; ++k) {
        const float zp2 = z[k + 2];
        const std::int32_t flag = fl[k];
        float z0x8 = 8.0f * z0;
        if (flag >= 0) {
            const float s3 = zp1 + dn[k] + up[k];
            const float nsum = s3 + zm1;
            const float dsum = dn[k + 1] + up[k + 1] + dn[k - 1] + up[k - 1];
            const float fsum = zp2 + dn2[k] + up2[k] + zm2;
            float t;
            if (flag == 0) {
                const float nsum8 = 8.0f * s3 + zm1x8;
                t = (nsum8 - 2.0f * dsum - fsum) * 0.05f;
                const float exact8 = 8.0f * nsum;
                if (std::bit_cast<std::uint32_t>(nsum8) != std::bit_cast<std::uint32_t>(exact8)) [[unlikely]]
                    t = recompute_plain_target(exact8, dsum, fsum);
            } else {
                assert(flag <= 4);
                const float* cc = cf + kAccWidth * k;
                const QuadrantNeighbours q = quadrant_neighbours(flag, s);
                const float* p = z + k;
                const float sq = cc[kCoefA] * p[q.a] + cc[kCoefB] * p[q.b] + cc[kCoefG] * p[q.g] + cc[kCoefH] * p[q.h];
                const float d = 0.5f * dsum + 0.25f * fsum - nsum;
                t = cc[kNorm] * (sq + cc[kDataTerm] - d);
            }
            const float e = t - z0;
            const float nv = z0 + omega * e;
            z0x8 = z0x8 + omega8 * e;
            z[k] = nv;
            const float d = nv - z0;
            const float ad = std::fabs(d);
            const bool take = (ad < 1.0e8f) & (ad >= admax);
            admax = take ? ad : admax;
            dmax = take ? d : dmax;
            z0 = nv;
        }
        zm2 = zm1;
        zm1 = z0;
        zm1x8 = z0x8;
        z0 = zp1;
        zp1 = zp2;
    }
    change.dmax = dmax;
    change.admax = admax;

    update_edge(r + nx - 2, f[nx - 2], omega, [=](const float* p) { return eq_i2(p, s, -1); });
    update_edge(r + nx - 1, f[nx - 1], omega, [=](const float* p) { return eq_i1(p, s, -1); });
}

}  // namespace

float relax_sweep(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef,
                  float omega) {
    const int nx = grid.nx();
    const int ny = grid.ny();
    assert(nx >= 5 && ny >= 5 && flags.nx() == nx && flags.ny() == ny);
    assert(coef.size() >= kAccWidth * std::size_t(nx) * std::size_t(ny));
    float* const z = grid.data().data();
    const std::int32_t* const f = flags.data().data();
    const float* const c = coef.data();
    const Step s = nx;
    auto row = [&](int j) { return std::size_t(j - 1) * std::size_t(nx); };

    SweepChange change;
    sweep_row1(z + row(1), f + row(1), nx, s, omega);
    sweep_row2(z + row(2), f + row(2), nx, s, omega);
    for (int j = 3; j <= ny - 2; ++j)
        sweep_interior_row(z + row(j), f + row(j), c + kAccWidth * row(j), nx, omega, change);
    sweep_row2(z + row(ny - 1), f + row(ny - 1), nx, -s, omega);
    sweep_row1(z + row(ny), f + row(ny), nx, -s, omega);
    return change.dmax;
}

}  // namespace minc
