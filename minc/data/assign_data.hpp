// Attachment of scattered data to grid nodes: ASSIGN accumulates per node the
// weighted mean offset and value of its points; BWTS turns the sums into fixed nodes
// or off-node constraints with the coefficients of the data equation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "grid_view.hpp"

namespace minc {

/// The data accumulator: six reals per node, node k (0-based, storage order) at
/// kAccWidth * k. A slot changes meaning as the data pass through it:
///  - ASSIGN sums the points of the node into kAccWeight (sum of the weights w; nearest
///    mode: the squared offset of the nearest point), kAccX and kAccY (sums of w times
///    the point's offset from the node in x and y) and kAccValue (sum of w times z);
///  - BWTS's first pass turns them into the mean offset (kAccX, kAccY), its squared
///    length (kAccWeight) and the mean value (kAccValue);
///  - at an interior data node BWTS's second pass replaces all six by the coefficients
///    of the node's data equation, which the relaxation evaluates in every sweep:
///      T = kNorm * (kCoefA A + kCoefB B + kCoefG G + kCoefH H + kDataTerm - d),
///    A, B, G, H the neighbours picked by the quadrant code, d the stencil's plain part.
/// The data equation is the off-node constraint of Briggs (1974), "Machine contouring
/// using minimum curvature", Geophysics 39, 39-48: the biharmonic equation at the node
/// with the datum's value and offset entering through a Taylor expansion.
enum AccSlot : std::size_t {
    kAccWeight = 0,
    kAccX = 1,
    kAccY = 2,
    kAccValue = 5,

    kCoefB = 0,
    kCoefA = 1,
    kCoefG = 2,
    kCoefH = 3,
    kDataTerm = 4,
    kNorm = 5,

    kAccWidth = 6,
};

/// ASSIGN. Adds the points (x, y, z triplets in extended-grid node units) to the
/// accumulator acc (6 reals per node) of an nx x ny grid whose node (1,1) lies at
/// extended-grid position (off.x + 1, off.y + 1). wconst > 0: weighted mode, else nearest.
void assign(float wconst, BlockOffset off, int nx, int ny, std::span<float> acc,
            std::span<const float> points);

/// BWTS. Finishes the accumulator: fixes nodes (flag -1, grid value = mean) or sets the
/// quadrant code 1..4 and the six coefficients c1..c6 at interior nodes. izset != 0 also
/// writes the mean value at off-node data nodes.
void bwts(int izset, float wconst, float w0, GridView<float> grid, GridView<std::int32_t> flags,
          std::span<float> acc);

}  // namespace minc
