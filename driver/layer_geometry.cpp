// Layer centres and values in mS/m (see layer_geometry.hpp).
#include "layer_geometry.hpp"

#include <cfloat>
#include <cmath>

namespace driver {

float to_millisiemens(double value, LayerUnit unit) {
    double ms = 0.0;
    switch (unit) {
        case LayerUnit::siemens_per_metre: ms = value * 1000.0; break;
        case LayerUnit::millisiemens_per_metre: ms = value; break;
        case LayerUnit::ohm_metre: ms = value > 0.0 ? 1000.0 / value : 0.0; break;
    }
    // NaN fails the comparison too; beyond the 32-bit range a value has no point.
    if (!(std::fabs(ms) <= static_cast<double>(FLT_MAX))) return 0.0f;
    return static_cast<float>(ms);
}

std::string place_layers(const LayerColumns& in, LayerUnit unit, std::vector<float>& conductivity,
                         std::vector<double>& offset) {
    const std::size_t n = in.model.size();
    conductivity.assign(n, 0.0f);
    offset.assign(n, 0.0);
    const bool tops = !in.depth_top.empty();
    double top = 0.0;
    double above = 0.0;  // thickness of the layer above, for the half-space
    for (std::size_t i = 0; i < n; ++i) {
        if (tops) {
            top = in.depth_top[i];
            if (std::isnan(top)) return "null depth to top of layer " + std::to_string(i + 1);
        }
        double h = i < in.thickness.size() ? in.thickness[i] : std::nan("");
        if (i + 1 < n) {
            if (std::isnan(h) && tops) {
                if (std::isnan(in.depth_top[i + 1])) return "null depth to top of layer " + std::to_string(i + 2);
                h = in.depth_top[i + 1] - top;
            }
            if (std::isnan(h)) return "null thickness of layer " + std::to_string(i + 1);
            if (h < 0.0) return "negative thickness of layer " + std::to_string(i + 1);
        } else if (!(h > 0.0)) {
            h = above;  // the half-space without a thickness of its own
        }
        const double centre = top + h / 2.0;
        offset[i] = -centre;
        if (!(centre > in.doi)) conductivity[i] = to_millisiemens(in.model[i], unit);
        above = h;
        if (!tops) top += h;
    }
    return {};
}

}  // namespace driver
