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
// Storage. All rows 1..NY are cut into bands of W rows (W = vector lanes), band b holding
// rows 1 + W b .. W (b + 1). Node (i, j) is stored at z[t * stride + slot], t = i + 2j,
// slot = j - 1 + W: one "time row" of stride = W (bands + 2) floats per time, the grid rows
// side by side in it, one band's width of slots empty below the first band and above the
// last. So the W rows of band b at time t are one aligned vector at
// z[t * stride + (b + 1) W], and the neighbour (i + a, j + b) of every lane is the vector
// of time t + a + 2b shifted by b lanes. The outer two rows and columns run in the same
// wavefront as the interior, each node with its own equation (edge_equations.hpp): the
// edge rows and columns as vector forms selected per lane, the sixteen corner nodes
// (columns 1, 2, NX - 1, NX of rows 1, 2, NY - 1, NY) by the scalar equations on the
// skewed storage, their results put into their lanes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace minc {

/// Kind bits of one lane at one time, 16 bits (0: not updated by the vector forms: fixed,
/// a corner node or padding).
enum SkewedKind : std::int32_t {
    kSkewInterior = 2,   // columns 3..NX - 2: updated and counted in the sweep change
    kSkewData = 4,       // interior with flag 1..4: the data equation
    kSkewUpper = 8,      // data equation with quadrant 3 or 4 (A from row j + 1)
    kSkewLeft = 16,      // data equation with quadrant 2 or 3 (B from column i - 1)
    kSkewOuterCol = 32,  // column 1 or NX: the 7-point edge equation
    kSkewSecondCol = 64, // column 2 or NX - 1: the second-column equation
    kSkewEast = 128,     // column NX - 1 or NX: the edge equations mirrored
    kSkewOuterRow = 256,   // row 1 or NY, columns 3..NX - 2: the 7-point edge equation
    kSkewSecondRow = 512,  // row 2 or NY - 1, columns 3..NX - 2: the second-row equation
    kSkewTop = 1024,       // row NY - 1 or NY: the edge equations mirrored
    kSkewCrossed = 2048,   // data equation with quadrant 2 or 4: exactly one of Upper, Left
    kSkewUpdate = 32768,   // flag 0 or more: updated. The top bit: sign-extended to 32 bits,
                           // it is the sign that a blend reads, with no shift
};

/// Which edge rows the lanes of a band hold.
enum SkewedBandRows : std::uint8_t {
    kBandBottomRows = 1,  // rows 1 and 2
    kBandTopRows = 2,     // row NY - 1 or NY
};

/// The equation of one corner node, as the scalar sweep writes it.
enum class CornerForm : std::int32_t { corner, eq21, eq22 };

/// A corner node of a band: at its step, its lane gets the result of the scalar equation
/// `form` with the skewed storage steps u and v (edge_equations.hpp).
struct SkewedCorner {
    std::int32_t at = 0;    // time minus the band's first time
    std::int32_t lane = 0;
    CornerForm form = CornerForm::corner;
    std::ptrdiff_t u = 0, v = 0;
};

/// The bands of one block in skewed storage.
struct SkewedBands {
    float* z = nullptr;               // time 0 of the skewed grid (reads reach 4 times before it), 64-byte aligned
    std::ptrdiff_t stride = 0;        // floats per time row, W (bands + 2)
    // Per band b and time t, at step n = b * times + t - t0(b): W kinds at kinds[n W];
    // coef_at[n], the group of the coefficients in coefs (6 vectors c1..c6 of W floats at
    // coefs[(6 g + k) W]) or -1 when no lane of the step carries a datum. Only the steps
    // with data hold coefficients: the sweep streams through less memory.
    const std::uint16_t* kinds = nullptr;
    const std::int32_t* coef_at = nullptr;
    const float* coefs = nullptr;
    const std::uint8_t* band_rows = nullptr;  // per band, SkewedBandRows bits
    // Per band b, its corners in time order: corners[corner_begin[b] .. corner_begin[b + 1]).
    const SkewedCorner* corners = nullptr;
    const std::int32_t* corner_begin = nullptr;
    float* lane_dmax = nullptr;       // out: per row (j - 1), its signed largest change
                                      // (0 for the outer two rows)
    float* lane_admax = nullptr;      // out: the magnitude of lane_dmax
    int lanes = 0;                    // W
    int bands = 0;
    int nx = 0;
    int times = 0;                    // times of one band, NX + 2 (W - 1); t0(b) = 3 + 2 W b
};

void sweep_bands_sse2(const SkewedBands& bands, float omega);
void sweep_bands_avx2(const SkewedBands& bands, float omega);
void sweep_bands_avx512(const SkewedBands& bands, float omega);

}  // namespace minc
