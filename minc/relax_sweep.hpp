// One relaxation sweep of CURVMN over a grid of at least 5 x 5 nodes, split out so that
// the over-relaxation control and the kernel can be read (and tested) on their own.
#pragma once

#include <cstdint>
#include <span>

#include "grid_view.hpp"

namespace minc {

/// One sweep in storage order, updating every node whose flag is 0 or more in place to
/// V + omega (T - V), T from the node's edge, plain or data equation. Returns DMAX, the
/// signed largest change over the interior nodes (columns and rows 3..N - 2), changes of
/// magnitude 1.0E8 or more left out, the later node winning on equal magnitudes.
float relax_sweep(GridView<float> grid, GridView<const std::int32_t> flags, std::span<const float> coef,
                  float omega);

/// Two outer rows of one side of the grid in storage order (NX wide): z points at the
/// first of them, flags at its flags, omega is the factor of their sweep; z null: none.
struct OuterRows {
    float* z = nullptr;
    const std::int32_t* flags = nullptr;
    float omega = 1.0f;
};

/// The sweep's rows 1 and 2 (bottom: z at row 1, rows 3 and 4 following it) and rows
/// NY - 1 and NY (top: z at row NY - 1, rows NY - 3 and NY - 2 before it) alone, with the
/// results of relax_sweep for these rows. The two sides are independent of each other
/// here: a caller gives both only when neither reads a row that the other writes (the
/// top of one sweep and the bottom of the next, in a grid of 6 rows or more). Used by the
/// vectorised sweep.
void relax_outer_rows(const OuterRows& bottom, const OuterRows& top, int nx);

}  // namespace minc
