// Line lists, unit names and the picking of fields by role: the usual
// names in their order, overrides, and the units a field's name implies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_options.hpp"
#include "field_roles.hpp"
#include "output_file.hpp"
#include "workbench_xyz.hpp"

namespace driver {
namespace {

TEST(ModelOptions, LineListsAndUnits) {
    const std::optional<LineRanges> r = parse_line_ranges("3001401, 100-199,-5--2");
    ASSERT_TRUE(r.has_value());
    for (std::int64_t line : {3001401, 100, 199, -5, -2}) EXPECT_TRUE(r->contains(line)) << line;
    for (std::int64_t line : {3001400, 99, 200, -6, -1}) EXPECT_FALSE(r->contains(line)) << line;
    for (const char* bad : {"", "1,", "5-3", "1-", "1.5", "1234567890123456789"})
        EXPECT_FALSE(parse_line_ranges(bad).has_value()) << bad;
    for (const char* ohm : {"ohm m", "Ohm-m", "\xCE\xA9\xC2\xB7m"}) EXPECT_EQ(parse_layer_unit(ohm), LayerUnit::ohm_metre);
    EXPECT_EQ(parse_layer_unit("mS / m"), LayerUnit::millisiemens_per_metre);
    EXPECT_FALSE(parse_layer_unit("S").has_value());
}

// The fields picked from a Workbench header, by role, the layer values last.
std::vector<std::string> picked(const std::string& header, const ModelOptions& options, LayerUnit& unit) {
    const FieldTable t = parse_workbench_header(header);
    const FieldPick p = pick_fields(t, options, "m.xyz");
    std::vector<std::string> names;
    for (Role r : {Role::line, Role::east, Role::north, Role::ground, Role::doi, Role::thickness, Role::depth_top})
        names.push_back(p.of(r) < 0 ? "-" : t.fields[static_cast<std::size_t>(p.of(r))].name);
    names.push_back(t.fields[static_cast<std::size_t>(p.model)].name);
    unit = p.unit;
    return names;
}

TEST(FieldRoles, PickedByNameInOrder) {
    ModelOptions wb;
    wb.format = ModelFormat::workbench;
    LayerUnit unit{};
    EXPECT_EQ(picked("/LINE_NO UTMX UTMY ELEVATION DOI_CONSERVATIVE DOI_STANDARD RHO_I_1 RHO_I_2 THK_1", wb, unit),
              (std::vector<std::string>{"LINE_NO", "UTMX", "UTMY", "ELEVATION", "DOI_STANDARD", "THK", "-", "RHO_I"}));
    EXPECT_EQ(unit, LayerUnit::ohm_metre);
    // Conductivity before resistivity; Workbench's SIGMA_I is in mS/m.
    EXPECT_EQ(picked("/Line X Y DTM SIGMA_I_1 RHO_I_1 DEP_TOP_1", wb, unit).back(), "SIGMA_I");
    EXPECT_EQ(unit, LayerUnit::millisiemens_per_metre);
    wb.fields = {{"RESISTIVITY", "rho_i"}, {"elevation", "Y"}};
    EXPECT_EQ(picked("/Line X Y DTM SIGMA_I_1 RHO_I_1 DEP_TOP_1", wb, unit),
              (std::vector<std::string>{"Line", "X", "Y", "Y", "-", "-", "DEP_TOP", "RHO_I"}));
    // Elsewhere a conductivity's units come from the file, its name or --units.
    ModelOptions aseg;
    EXPECT_THROW(picked("/Line X Y DTM SIGMA_I_1 thk_1", aseg, unit), RunStop);
    aseg.fields = {{"conductivity", "con_mS/m"}};
    EXPECT_EQ(picked("/Line X Y DTM con_mS/m_1 thk_1", aseg, unit).back(), "con_mS/m");
    EXPECT_EQ(unit, LayerUnit::millisiemens_per_metre);
    EXPECT_THROW(picked("/Line X Y DTM_1 DTM_2 con_mS/m_1 thk_1", aseg, unit), RunStop);  // a scalar of two
}

}  // namespace
}  // namespace driver
