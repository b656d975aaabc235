// The skewed storage of the vectorised relaxation sweep, as the per-instruction-set band
// kernels see it. Plain data only: this header is shared by units built for different
// instruction sets, so it must not define any function.
//
// Re-timing. A node's update reads its 13-node stencil and nothing else; every neighbour
// (i + a, j + b) that the written order has already updated has a + 2b <= -1, and every
// one it has not yet updated has a + 2b >= 1. Updating node (i, j) at time t = i + 2j
// therefore reproduces the written order exactly, and the nodes of one time are
// independent: row j runs two columns behind row j - 1.
//
// Storage. The interior rows 3..NY - 2 are cut into bands of W rows (W = vector lanes).
// Node (i, j) is stored at z[t * stride + slot], t = i + 2j, slot = j - 3 + W: one "time
// row" of stride = W (bands + 2) floats per time, the grid rows side by side in it. Slots
// 0..W - 1 hold rows 1 and 2 (slots W - 2, W - 1) below the first band; rows NY - 1 and NY
// follow the last interior row. So the W rows of band b at time t are one aligned vector
// at z[t * stride + (b + 1) W], and the neighbour (i + a, j + b) of every lane is the
// vector of time t + a + 2b shifted by b lanes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace minc {

/// Kind bits of one lane at one time, one byte (0: not updated: fixed, edge row or padding).
enum SkewedKind : std::int32_t {
    kSkewUpdate = 1,     // flag 0 or more: updated
    kSkewInterior = 2,   // columns 3..NX - 2: updated and counted in the sweep change
    kSkewData = 4,       // interior with flag 1..4: the data equation
    kSkewUpper = 8,      // data equation with quadrant 3 or 4 (A from row j + 1)
    kSkewLeft = 16,      // data equation with quadrant 2 or 3 (B from column i - 1)
    kSkewOuterCol = 32,  // column 1 or NX: the 7-point edge equation
    kSkewSecondCol = 64, // column 2 or NX - 1: the second-column equation
    kSkewEast = 128,     // column NX - 1 or NX: the edge equations mirrored
};

/// The bands of one block in skewed storage.
struct SkewedBands {
    float* z = nullptr;               // the skewed grid, 64-byte aligned
    std::ptrdiff_t stride = 0;        // floats per time row, W (bands + 2)
    // Per band b and time t, at step n = b * times + t - t0(b): W kind bytes at kinds[n W];
    // coef_at[n], the group of the coefficients in coefs (6 vectors c1..c6 of W floats at
    // coefs[(6 g + k) W]) or -1 when no lane of the step carries a datum. Only the steps
    // with data hold coefficients: the sweep streams through less memory.
    const std::uint8_t* kinds = nullptr;
    const std::int32_t* coef_at = nullptr;
    const float* coefs = nullptr;
    float* lane_dmax = nullptr;       // out: per interior row (j - 3), its signed largest change
    float* lane_admax = nullptr;      // out: the magnitude of lane_dmax
    int lanes = 0;                    // W
    int bands = 0;
    int nx = 0;
    int times = 0;                    // times of one band, NX + 2 (W - 1); t0(b) = 7 + 2 W b
};

void sweep_bands_sse2(const SkewedBands& bands, float omega);
void sweep_bands_avx2(const SkewedBands& bands, float omega);
void sweep_bands_avx512(const SkewedBands& bands, float omega);

}  // namespace minc
