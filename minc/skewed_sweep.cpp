// The vectorised relaxation sweep around its band kernels: conversion into and out of the
// skewed storage, the four outer rows (swept by the scalar row code in storage order in
// two small side buffers, before and after the bands), the dispatch to the instruction
// set's band kernel, and the merge of the rows' largest changes.
#include "skewed_sweep.hpp"

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "assign_data.hpp"
#include "relax_sweep.hpp"

namespace minc {

namespace {

constexpr std::size_t kAlignFloats = 16;  // 64 bytes

// The first 64-byte aligned element of a buffer allocated 64 bytes longer.
template <class T>
T* aligned_start(std::vector<T>& buf) {
    const auto addr = reinterpret_cast<std::uintptr_t>(buf.data());
    const std::size_t skip = ((64 - addr % 64) % 64) / sizeof(T);
    return buf.data() + skip;
}

}  // namespace

SkewedSweep::SkewedSweep(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef,
                         SweepIsa isa)
    : grid_(grid), flags_(flags), isa_(isa), lanes_(sweep_isa_lanes(isa)) {
    const int nx = grid.nx();
    const int ny = grid.ny();
    assert(nx >= 5 && ny >= 5 && isa != SweepIsa::scalar);
    const int w = lanes_;
    const int rows = ny - 4;  // interior rows 3..NY - 2
    bands_ = (rows + w - 1) / w;
    times_ = nx + 2 * (w - 1);
    stride_ = std::ptrdiff_t(w) * (bands_ + 2);
    // Times 0 .. NX + 2 W bands + 8: the last band's reads reach 4 times past its last node.
    const std::ptrdiff_t time_rows = nx + 2 * std::ptrdiff_t(w) * bands_ + 9;

    zbuf_.assign(std::size_t(time_rows * stride_) + kAlignFloats, 0.0f);
    z_ = aligned_start(zbuf_);
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) *node(i, j) = grid(i, j);

    // Kinds, and which steps (band, time) have a lane with a datum.
    const std::size_t steps = std::size_t(bands_) * std::size_t(times_);
    kbuf_.assign(steps * std::size_t(w) + 64, 0);
    std::uint8_t* const kinds = aligned_start(kbuf_);
    coef_at_.assign(steps, -1);
    auto step_of = [&](int i, int j) {
        const int band = (j - 3) / w;
        return std::size_t(band) * std::size_t(times_) + std::size_t(i + 2 * j - (1 + 2 * (3 + w * band)));
    };
    for (int j = 3; j <= ny - 2; ++j) {
        const std::size_t lane = std::size_t((j - 3) % w);
        for (int i = 1; i <= nx; ++i) {
            const std::int32_t f = flags(i, j);
            if (f < 0) continue;
            std::int32_t kind = kSkewUpdate;
            if (i >= 3 && i <= nx - 2) {
                kind |= kSkewInterior;
                if (f >= 1 && f <= 4) {
                    kind |= kSkewData;
                    if (f >= 3) kind |= kSkewUpper;
                    if (f == 2 || f == 3) kind |= kSkewLeft;
                    coef_at_[step_of(i, j)] = 0;
                }
            } else {
                if (i == 1 || i == nx) kind |= kSkewOuterCol;
                if (i == 2 || i == nx - 1) kind |= kSkewSecondCol;
                if (i >= nx - 1) kind |= kSkewEast;
            }
            kinds[step_of(i, j) * std::size_t(w) + lane] = static_cast<std::uint8_t>(kind);
        }
    }
    std::int32_t groups = 0;
    for (std::int32_t& g : coef_at_)
        if (g == 0) g = groups++;
    cbuf_.assign(std::size_t(groups) * kAccWidth * std::size_t(w) + kAlignFloats, 0.0f);
    float* const coefs = aligned_start(cbuf_);
    for (int j = 3; j <= ny - 2; ++j) {
        const std::size_t lane = std::size_t((j - 3) % w);
        for (int i = 3; i <= nx - 2; ++i) {
            const std::int32_t f = flags(i, j);
            if (f < 1 || f > 4) continue;
            const std::size_t group = std::size_t(coef_at_[step_of(i, j)]);
            const std::size_t node_at = kAccWidth * (std::size_t(j - 1) * std::size_t(nx) + std::size_t(i - 1));
            for (std::size_t k = 0; k < kAccWidth; ++k)
                coefs[(group * kAccWidth + k) * std::size_t(w) + lane] = coef[node_at + k];
        }
    }

    bottom_.assign(4 * std::size_t(nx), 0.0f);
    top_.assign(4 * std::size_t(nx), 0.0f);
    for (int r = 0; r < 4; ++r)
        for (int i = 1; i <= nx; ++i) {
            bottom_[std::size_t(r) * std::size_t(nx) + std::size_t(i - 1)] = grid(i, 1 + r);
            top_[std::size_t(r) * std::size_t(nx) + std::size_t(i - 1)] = grid(i, ny - 3 + r);
        }

    lane_dmax_.assign(std::size_t(bands_) * std::size_t(w) + kAlignFloats, 0.0f);
    lane_admax_.assign(std::size_t(bands_) * std::size_t(w) + kAlignFloats, 0.0f);
    bands_view_ = SkewedBands{.z = z_,
                              .stride = stride_,
                              .kinds = kinds,
                              .coef_at = coef_at_.data(),
                              .coefs = coefs,
                              .lane_dmax = aligned_start(lane_dmax_),
                              .lane_admax = aligned_start(lane_admax_),
                              .lanes = w,
                              .bands = bands_,
                              .nx = nx,
                              .times = times_};
}

void SkewedSweep::copy_rows(float* rows, int j, bool to_skewed) {
    const int nx = grid_.nx();
    for (int r = 0; r < 2; ++r) {
        float* z = node(1, j + r);
        float* row = rows + std::size_t(r) * std::size_t(nx);
        for (int i = 0; i < nx; ++i, z += stride_) {
            if (to_skewed)
                *z = row[i];
            else
                row[i] = *z;
        }
    }
}

float SkewedSweep::sweep(float omega) {
    const int nx = grid_.nx();
    const int ny = grid_.ny();
    float* const b = bottom_.data();  // rows 1..4
    float* const t = top_.data();     // rows NY - 3..NY

    // Rows 1 and 2 in storage order (they read rows 3 and 4 before the bands change them),
    // together with the top rows of the previous sweep if they are still to do; the bands;
    // then rows NY - 1 and NY, which in a grid of 6 rows or more touch no row that the
    // next sweep's rows 1 and 2 touch, and which no one reads before the next sweep's
    // bands: they are left for that sweep, so that the scalar chains of both sides run
    // interleaved.
    copy_rows(b + 2 * nx, 3, false);
    relax_outer_rows(OuterRows{.z = b, .flags = flag_row(1), .omega = omega}, pending_top(), nx);
    finish_top();
    copy_rows(b, 1, true);
    switch (isa_) {
#if defined(__x86_64__)
        case SweepIsa::sse2: sweep_bands_sse2(bands_view_, omega); break;
        case SweepIsa::avx2: sweep_bands_avx2(bands_view_, omega); break;
        case SweepIsa::avx512: sweep_bands_avx512(bands_view_, omega); break;
#endif
        default: assert(false && "no band kernel for this instruction set"); break;
    }
    copy_rows(t, ny - 3, false);
    top_pending_ = true;
    top_omega_ = omega;
    if (ny < 6) {
        relax_outer_rows(OuterRows{}, pending_top(), nx);
        finish_top();
    }

    // Rows in written order; within a row the kernel kept the later node on a tie.
    float dmax = 0.0f;
    float admax = 0.0f;
    for (int r = 0; r < ny - 4; ++r) {
        const float a = bands_view_.lane_admax[r];
        if (a >= admax) {
            admax = a;
            dmax = bands_view_.lane_dmax[r];
        }
    }
    return dmax;
}

OuterRows SkewedSweep::pending_top() {
    if (!top_pending_) return OuterRows{};
    const int nx = grid_.nx();
    return OuterRows{.z = top_.data() + 2 * nx, .flags = flag_row(grid_.ny() - 1), .omega = top_omega_};
}

void SkewedSweep::finish_top() {
    if (!top_pending_) return;
    copy_rows(top_.data() + 2 * grid_.nx(), grid_.ny() - 1, true);
    top_pending_ = false;
}

void SkewedSweep::store() {
    relax_outer_rows(OuterRows{}, pending_top(), grid_.nx());
    finish_top();
    for (int j = 1; j <= grid_.ny(); ++j)
        for (int i = 1; i <= grid_.nx(); ++i) grid_(i, j) = *node(i, j);
}

}  // namespace minc
