// The vectorised relaxation sweep around its band kernels: conversion into and out of the
// skewed storage, the kinds of every lane, the corner nodes, the dispatch to the
// instruction set's band kernel and the merge of the rows' largest changes.
#include "skewed_sweep.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "assign_data.hpp"

namespace minc {

namespace {

constexpr std::size_t kAlignFloats = 16;  // 64 bytes
// Times kept before time 0: a band's first step reads the four times before it.
constexpr std::ptrdiff_t kTimesBefore = 4;
// Times kept after the last band's last time: its reads reach four times past it.
constexpr std::ptrdiff_t kTimesAfter = 5;

// The first 64-byte aligned element of a buffer allocated 64 bytes longer.
template <class T>
T* aligned_start(std::vector<T>& buf) {
    const auto addr = reinterpret_cast<std::uintptr_t>(buf.data());
    const std::size_t skip = ((64 - addr % 64) % 64) / sizeof(T);
    return buf.data() + skip;
}

// Which of the outer two lines a node index lies on: 1 the outer, 2 the second, 0 neither.
int edge_line(int k, int n) {
    if (k == 1 || k == n) return 1;
    if (k == 2 || k == n - 1) return 2;
    return 0;
}

}  // namespace

SkewedSweep::SkewedSweep(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef,
                         SweepIsa isa)
    : grid_(grid), isa_(isa), lanes_(sweep_isa_lanes(isa)) {
    const int nx = grid.nx();
    const int ny = grid.ny();
    assert(nx >= 5 && ny >= 5 && isa != SweepIsa::scalar);
    const int w = lanes_;
    bands_ = (ny + w - 1) / w;
    times_ = nx + 2 * (w - 1);
    stride_ = std::ptrdiff_t(w) * (bands_ + 2);
    // Times 0 .. NX + 2 W bands: the last band's last time.
    const std::ptrdiff_t time_rows = kTimesBefore + nx + 2 * std::ptrdiff_t(w) * bands_ + 1 + kTimesAfter;

    zbuf_.assign(std::size_t(time_rows * stride_) + kAlignFloats, 0.0f);
    z_ = aligned_start(zbuf_) + kTimesBefore * stride_;
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) *node(i, j) = grid(i, j);

    // Kinds, corners, and which steps (band, time) have a lane with a datum.
    const std::size_t steps = std::size_t(bands_) * std::size_t(times_);
    kbuf_.assign(steps * std::size_t(w) + 32, 0);
    std::uint16_t* const kinds = aligned_start(kbuf_);
    coef_at_.assign(steps, -1);
    band_rows_.assign(std::size_t(bands_), 0);
    auto first_time = [&](int band) { return 3 + 2 * w * band; };
    auto step_of = [&](int i, int j) {
        const int band = (j - 1) / w;
        return std::size_t(band) * std::size_t(times_) + std::size_t(i + 2 * j - first_time(band));
    };
    // Storage steps east and north; a mirrored side walks them backwards.
    const std::ptrdiff_t east = stride_;
    const std::ptrdiff_t north = 2 * stride_ + 1;
    std::vector<std::vector<SkewedCorner>> corners(static_cast<std::size_t>(bands_));
    for (int j = 1; j <= ny; ++j) {
        const int band = (j - 1) / w;
        const std::size_t lane = std::size_t((j - 1) % w);
        const int row_line = edge_line(j, ny);
        const bool top = j >= ny - 1;
        if (row_line != 0) band_rows_[std::size_t(band)] |= top ? kBandTopRows : kBandBottomRows;
        for (int i = 1; i <= nx; ++i) {
            const std::int32_t f = flags(i, j);
            if (f < 0) continue;
            const int col_line = edge_line(i, nx);
            const bool east_side = i >= nx - 1;
            std::int32_t kind = kSkewUpdate;
            if (row_line != 0 && col_line != 0) {
                // A corner node: its own equation, u along the row where the written
                // sweep takes it so, else along the column.
                const std::ptrdiff_t ex = east_side ? -east : east;
                const std::ptrdiff_t ny_step = top ? -north : north;
                SkewedCorner c;
                c.at = i + 2 * j - first_time(band);
                c.lane = static_cast<std::int32_t>(lane);
                c.u = ex;
                c.v = ny_step;
                if (row_line == 1 && col_line == 1) {
                    c.form = CornerForm::corner;
                } else if (row_line == 1 || col_line == 2) {
                    c.form = row_line == 1 ? CornerForm::eq21 : CornerForm::eq22;
                } else {  // second row, outer column
                    c.form = CornerForm::eq21;
                    c.u = ny_step;
                    c.v = ex;
                }
                corners[std::size_t(band)].push_back(c);
                continue;
            }
            if (row_line != 0) {
                kind |= row_line == 1 ? kSkewOuterRow : kSkewSecondRow;
                if (top) kind |= kSkewTop;
            } else if (col_line != 0) {
                kind |= col_line == 1 ? kSkewOuterCol : kSkewSecondCol;
                if (east_side) kind |= kSkewEast;
            } else {
                kind |= kSkewInterior;
                if (f >= 1 && f <= 4) {
                    kind |= kSkewData;
                    if (f >= 3) kind |= kSkewUpper;
                    if (f == 2 || f == 3) kind |= kSkewLeft;
                    if (f == 2 || f == 4) kind |= kSkewCrossed;
                    coef_at_[step_of(i, j)] = 0;
                }
            }
            kinds[step_of(i, j) * std::size_t(w) + lane] = static_cast<std::uint16_t>(kind);
        }
    }
    corner_begin_.assign(std::size_t(bands_) + 1, 0);
    for (int b = 0; b < bands_; ++b) {
        std::vector<SkewedCorner>& list = corners[std::size_t(b)];
        std::stable_sort(list.begin(), list.end(),
                         [](const SkewedCorner& x, const SkewedCorner& y) { return x.at < y.at; });
        corners_.insert(corners_.end(), list.begin(), list.end());
        corner_begin_[std::size_t(b) + 1] = static_cast<std::int32_t>(corners_.size());
    }

    std::int32_t groups = 0;
    for (std::int32_t& g : coef_at_)
        if (g == 0) g = groups++;
    cbuf_.assign(std::size_t(groups) * kAccWidth * std::size_t(w) + kAlignFloats, 0.0f);
    float* const coefs = aligned_start(cbuf_);
    for (int j = 3; j <= ny - 2; ++j) {
        const std::size_t lane = std::size_t((j - 1) % w);
        for (int i = 3; i <= nx - 2; ++i) {
            const std::int32_t f = flags(i, j);
            if (f < 1 || f > 4) continue;
            const std::size_t group = std::size_t(coef_at_[step_of(i, j)]);
            const std::size_t node_at = kAccWidth * (std::size_t(j - 1) * std::size_t(nx) + std::size_t(i - 1));
            for (std::size_t k = 0; k < kAccWidth; ++k)
                coefs[(group * kAccWidth + k) * std::size_t(w) + lane] = coef[node_at + k];
        }
    }

    lane_dmax_.assign(std::size_t(bands_) * std::size_t(w) + kAlignFloats, 0.0f);
    lane_admax_.assign(std::size_t(bands_) * std::size_t(w) + kAlignFloats, 0.0f);
    bands_view_ = SkewedBands{.z = z_,
                              .stride = stride_,
                              .kinds = kinds,
                              .coef_at = coef_at_.data(),
                              .coefs = coefs,
                              .band_rows = band_rows_.data(),
                              .corners = corners_.data(),
                              .corner_begin = corner_begin_.data(),
                              .lane_dmax = aligned_start(lane_dmax_),
                              .lane_admax = aligned_start(lane_admax_),
                              .lanes = w,
                              .bands = bands_,
                              .nx = nx,
                              .times = times_};
}

float SkewedSweep::sweep(float omega) {
    switch (isa_) {
#if defined(__x86_64__)
        case SweepIsa::sse2: sweep_bands_sse2(bands_view_, omega); break;
        case SweepIsa::avx2: sweep_bands_avx2(bands_view_, omega); break;
        case SweepIsa::avx512: sweep_bands_avx512(bands_view_, omega); break;
#endif
        default: assert(false && "no band kernel for this instruction set"); break;
    }

    // Rows 3..NY - 2 in written order; within a row the kernel kept the later node on a tie.
    float dmax = 0.0f;
    float admax = 0.0f;
    for (int r = 2; r < grid_.ny() - 2; ++r) {
        const float a = bands_view_.lane_admax[r];
        if (a >= admax) {
            admax = a;
            dmax = bands_view_.lane_dmax[r];
        }
    }
    return dmax;
}

void SkewedSweep::store() {
    for (int j = 1; j <= grid_.ny(); ++j)
        for (int i = 1; i <= grid_.nx(); ++i) grid_(i, j) = *node(i, j);
}

}  // namespace minc
