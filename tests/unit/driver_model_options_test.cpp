// The model options on the command line (line lists, unit names, missing values) and
// the picking of fields by role: the usual names in their order, overrides, and the
// units a field's name implies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.hpp"
#include "field_roles.hpp"
#include "model_options.hpp"
#include "output_file.hpp"
#include "workbench_xyz.hpp"

namespace driver {
namespace {

TEST(ModelOptions, LineListsAndUnits) {
    const std::optional<LineRanges> r = parse_line_ranges("3001401, 100-199,-5--2");
    ASSERT_TRUE(r.has_value());
    for (std::int64_t line : {3001401, 100, 150, 199, -5, -2}) EXPECT_TRUE(r->contains(line)) << line;
    for (std::int64_t line : {3001400, 99, 200, -6, -1}) EXPECT_FALSE(r->contains(line)) << line;
    for (const char* bad : {"", "1,", "a", "5-3", "1-", "1.5", "1234567890123456789"})
        EXPECT_FALSE(parse_line_ranges(bad).has_value()) << bad;

    EXPECT_EQ(parse_layer_unit("S/m"), LayerUnit::siemens_per_metre);
    EXPECT_EQ(parse_layer_unit("mS/m"), LayerUnit::millisiemens_per_metre);
    for (const char* ohm : {"ohm m", "ohm.m", "Ohm-m", "OHMM", "\xCE\xA9\xC2\xB7m", "ohm_metre"})
        EXPECT_EQ(parse_layer_unit(ohm), LayerUnit::ohm_metre) << ohm;
    EXPECT_FALSE(parse_layer_unit("S").has_value());
    EXPECT_FALSE(parse_layer_unit("m").has_value());
}

TEST(ModelOptions, CommandLine) {
    const std::vector<std::string> args = {"--dfn=m.dfn", "--field", "ground=DEM", "--units", "ohm.m", "--lines",
                                           "7",           "m.dat",   "--output-dir", "out", "5"};
    const CommandLine cl = parse_command_line(args);
    EXPECT_EQ(cl.model.format, ModelFormat::aseg_gdf);
    EXPECT_EQ(cl.model.dfn, "m.dfn");
    EXPECT_EQ(cl.model.fields, (std::vector<std::pair<std::string, std::string>>{{"ground", "DEM"}}));
    EXPECT_EQ(cl.model.units, LayerUnit::ohm_metre);
    EXPECT_TRUE(cl.model.lines.contains(7));
    EXPECT_EQ(cl.model.output_dir, "out");
    EXPECT_EQ(cl.operands, (std::vector<std::string>{"m.dat", "5"}));
    EXPECT_TRUE(cl.bad_model_option.empty());

    struct Bad { std::vector<std::string> args; const char* problem; };
    const std::vector<Bad> bad = {
        {{"m.dat", "--dfn"}, " --dfn needs a value"},
        {{"--format", "gdf3"}, " --format takes corvane, workbench or aseg-gdf2, not 'gdf3'"},
        {{"--field", "ground"}, " --field takes ROLE=NAME, not 'ground'"},
        {{"--units=ft"}, " --units takes S/m, mS/m or ohm.m, not 'ft'"},
        {{"--lines", "1-"}, " --lines takes line numbers and ranges such as 3001401,100-199, not '1-'"},
        {{"--output-dir="}, " --output-dir needs a value"},
    };
    for (const Bad& b : bad) EXPECT_EQ(parse_command_line(b.args).bad_model_option, b.problem);
}

// Picks from a Workbench header; the role names of `pick` in order.
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
    ModelOptions named = wb;
    named.fields = {{"RESISTIVITY", "rho_i"}, {"elevation", "Y"}};
    named.units = LayerUnit::siemens_per_metre;
    EXPECT_EQ(picked("/Line X Y DTM SIGMA_I_1 RHO_I_1 DEP_TOP_1", named, unit),
              (std::vector<std::string>{"Line", "X", "Y", "Y", "-", "-", "DEP_TOP", "RHO_I"}));
    EXPECT_EQ(unit, LayerUnit::siemens_per_metre);
    // A conductivity without units is read as its name says, or not at all.
    ModelOptions aseg;
    EXPECT_THROW(picked("/Line X Y DTM SIGMA_I_1 thk_1", aseg, unit), RunStop);
    aseg.fields = {{"conductivity", "con_mS/m"}};
    EXPECT_EQ(picked("/Line X Y DTM con_mS/m_1 thk_1", aseg, unit).back(), "con_mS/m");
    EXPECT_EQ(unit, LayerUnit::millisiemens_per_metre);
    // Scalars are one value; the thickness may lack the half-space's.
    EXPECT_THROW(picked("/Line X Y DTM_1 DTM_2 con_mS/m_1 thk_1", aseg, unit), RunStop);
    EXPECT_THROW(picked("/Line X Y DTM con_mS/m_1 con_mS/m_2 con_mS/m_3 thk_1", aseg, unit), RunStop);
    EXPECT_NO_THROW(picked("/Line X Y DTM con_mS/m_1 con_mS/m_2 con_mS/m_3 thk_1 thk_2", aseg, unit));
    ModelOptions bad_role;
    bad_role.fields = {{"depth", "X"}};
    try {
        picked("/Line X Y DTM con_mS/m_1 thk_1", bad_role, unit);
        ADD_FAILURE();
    } catch (const RunStop& s) {
        EXPECT_EQ(s.line, " --field depth=X: no role 'depth' (roles: line, east, north, ground, doi, conductivity,"
                          " resistivity, thickness, depth_top)");
    }
}

}  // namespace
}  // namespace driver
