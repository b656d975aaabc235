// Layered models as inversion programs deliver them: a value per layer (conductivity
// or resistivity in the file's units) and the layers' thicknesses or depths to their
// tops. Each layer becomes one point at its centre:
//     elevation = ground elevation - (depth to top + thickness / 2).
// Depths to the tops come from the file or are summed from the thicknesses. The bottom
// layer, a half-space, is placed half its given thickness below its top or, where the
// file gives it no thickness, half the thickness of the layer above.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "model_options.hpp"

namespace driver {

/// One record's layer columns; NaN marks a null or non-finite value.
struct LayerColumns {
    std::span<const double> model;      // one value per layer, in `unit`
    std::span<const double> thickness;  // empty, one per layer, or one fewer
    std::span<const double> depth_top;  // empty or one per layer
    double doi;                         // depth of investigation below ground; NaN: none
};

/// Fills `conductivity` (mS/m, one per layer; 0 where the layer gives no point: its
/// value is null or not finite, or its centre lies below the depth of investigation)
/// and `offset` (each layer centre's elevation relative to the ground, negative below
/// it). Returns what is wrong with the geometry (a null or negative thickness, a null
/// depth to top), or an empty text.
std::string place_layers(const LayerColumns& in, LayerUnit unit, std::vector<float>& conductivity,
                         std::vector<double>& offset);

/// A layer value in `unit` as mS/m; 0 for a null, non-finite or out-of-range value and
/// for a resistivity of 0 or less.
float to_millisiemens(double value, LayerUnit unit);

}  // namespace driver
