// Layer centres and values in mS/m: each way of giving the geometry, the half-space
// rule, the depth of investigation, nulls and the unit conversions, against values
// worked out by hand from elevation offset = -(depth to top + thickness / 2).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "layer_geometry.hpp"

namespace driver {
namespace {

const double kNull = std::nan("");

struct GeometryCase {
    const char* what;
    std::vector<double> model, thickness, depth_top;
    double doi;
    std::vector<float> conductivity;
    std::vector<double> offset;
    const char* problem;
};

TEST(LayerGeometry, CentresAndValuesFollowTheRule) {
    const std::vector<GeometryCase> cases = {
        {"thicknesses, half-space without its own", {10, 20, 30}, {2, 6}, {}, kNull, {10, 20, 30}, {-1, -5, -11}, ""},
        {"thicknesses, half-space with its own", {10, 20, 30}, {2, 6, 10}, {}, kNull, {10, 20, 30}, {-1, -5, -13}, ""},
        {"half-space thickness 0 counts as none", {10, 20, 30}, {2, 6, 0}, {}, kNull, {10, 20, 30}, {-1, -5, -11}, ""},
        {"depths to top alone", {10, 20, 30}, {}, {0, 4, 10}, kNull, {10, 20, 30}, {-2, -7, -13}, ""},
        {"depths to top and thicknesses", {10, 20, 30}, {1, 1, 1}, {0, 4, 10}, kNull, {10, 20, 30}, {-0.5, -4.5, -10.5},
         ""},
        {"below the depth of investigation", {10, 20, 30}, {2, 6}, {}, 5.0, {10, 20, 0}, {-1, -5, -11}, ""},
        {"null and infinite values", {kNull, INFINITY, 30}, {2, 6}, {}, kNull, {0, 0, 30}, {-1, -5, -11}, ""},
        {"null thickness", {10, 20, 30}, {2, kNull}, {}, kNull, {}, {}, "null thickness of layer 2"},
        {"negative thickness", {10, 20, 30}, {-2, 6}, {}, kNull, {}, {}, "negative thickness of layer 1"},
        {"null depth to top", {10, 20, 30}, {}, {0, kNull, 10}, kNull, {}, {}, "null depth to top of layer 2"},
        {"null first depth to top", {10, 20, 30}, {}, {kNull, 4, 10}, kNull, {}, {}, "null depth to top of layer 1"},
    };
    for (const GeometryCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> con;
        std::vector<double> off;
        const std::string problem = place_layers({c.model, c.thickness, c.depth_top, c.doi},
                                                 LayerUnit::millisiemens_per_metre, con, off);
        EXPECT_EQ(problem, c.problem);
        if (!problem.empty()) continue;
        EXPECT_EQ(con, c.conductivity);
        EXPECT_EQ(off, c.offset);
    }
}

TEST(LayerGeometry, UnitsBecomeMillisiemensPerMetre) {
    EXPECT_EQ(to_millisiemens(0.0625, LayerUnit::siemens_per_metre), 62.5f);
    EXPECT_EQ(to_millisiemens(62.5, LayerUnit::millisiemens_per_metre), 62.5f);
    EXPECT_EQ(to_millisiemens(16.0, LayerUnit::ohm_metre), 62.5f);
    // Rounded once, from the double product: 0.1 S/m is 100 mS/m exactly in 32 bits.
    EXPECT_EQ(to_millisiemens(0.1, LayerUnit::siemens_per_metre), 100.0f);
    EXPECT_EQ(to_millisiemens(3.0, LayerUnit::ohm_metre), static_cast<float>(1000.0 / 3.0));
    EXPECT_EQ(to_millisiemens(0.0, LayerUnit::ohm_metre), 0.0f);
    EXPECT_EQ(to_millisiemens(-5.0, LayerUnit::ohm_metre), 0.0f);
    EXPECT_EQ(to_millisiemens(1e36, LayerUnit::siemens_per_metre), 0.0f);
    EXPECT_EQ(to_millisiemens(kNull, LayerUnit::millisiemens_per_metre), 0.0f);
}

}  // namespace
}  // namespace driver
