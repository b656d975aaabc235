// The parts of the tabular model readers: the .dfn reader, the .dat record splitter and
// the Workbench column header (field names, counts, widths, units and nulls; records in
// fixed columns, apart, and neither; numbered columns grouped into arrays); line lists,
// unit names and the picking of fields by role; layer centres and values in mS/m,
// worked out by hand from elevation offset = -(depth to top + thickness / 2); rows of the
// stations file, and the fiducial and depth of investigation they take from a model record.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "aseg_gdf.hpp"
#include "field_roles.hpp"
#include "layer_geometry.hpp"
#include "model_options.hpp"
#include "model_reader.hpp"
#include "output_file.hpp"
#include "stations_file.hpp"
#include "workbench_xyz.hpp"

namespace driver {
namespace {

TEST(AsegGdf, DfnFieldsInRecordOrder) {
    const FieldTable t = parse_dfn(
        "DEFN   ST=RECD,RT=COMM;RT:A4;COMMENTS:A76\r\n"
        "DEFN 1 ST=RECD,RT=;Line:i10:NAME=Line number\n"
        "  DEFN 2 ST=RECD,RT=;Latitude:f12.7:UNIT=deg:NULL=-99.9999999,NAME=Latitude, GDA94\n"
        "DEFN 3 ST=RECD,RT=;Tag:A6\n"
        "DEFN 4 ST=RECD,RT=;rho:30ES15.6:UNITS=ohm m,NULL=-9.9999E+32,NAME=Resistivity\n"
        "DEFN 5 ST=RECD,RT=;END DEFN\n"
        "DEFN 6 ST=RECD,RT=;After:F4.1\n",
        "m.dfn");
    EXPECT_EQ(t.values, 33);
    // name, count, width, first value, units, null, text
    using Row = std::tuple<std::string, int, int, int, std::string, std::optional<double>, bool>;
    std::vector<Row> got;
    for (const Field& f : t.fields) got.emplace_back(f.name, f.count, f.width, f.first, f.units, f.null, f.text);
    EXPECT_EQ(got, (std::vector<Row>{{"Line", 1, 10, 0, "", std::nullopt, false},
                                     {"Latitude", 1, 12, 1, "deg", -99.9999999, false},
                                     {"Tag", 1, 6, 2, "", std::nullopt, true},
                                     {"rho", 30, 15, 3, "ohm m", -9.9999e32, false}}));
}

TEST(AsegGdf, RecordsInColumnsOrApart) {
    const FieldTable t = parse_dfn("DEFN 1 ST=RECD,RT=;A:I4\nDEFN 2 ST=RECD,RT=;B:2F6.1\nDEFN 3 ST=RECD,RT=;C:A3\n",
                                   "m.dfn");
    struct Case {
        const char* line;
        bool ok;
        std::vector<std::string> values;
    };
    const std::vector<Case> cases = {
        {"  12  -1.5-200.0abc", true, {"12", "-1.5", "-200.0", "abc"}},  // columns touching
        {"  12  -1.5-200.0ab", true, {"12", "-1.5", "-200.0", "ab"}},    // a text's blanks dropped
        {"  12     *      abc", true, {"12", "*", "", "abc"}},  // a blank column has no value
        {"12 -1.5 -200 abc", true, {"12", "-1.5", "-200", "abc"}},  // apart, widths not kept
        {"12 -1.5-200.0 abc", false, {}},  // neither
        {"12 -1.5 -200 abc x", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string_view> v;
        EXPECT_EQ(split_aseg_record(c.line, t, v), c.ok);
        if (c.ok) {
            EXPECT_EQ(std::vector<std::string>(v.begin(), v.end()), c.values);
        }
    }
    EXPECT_TRUE(is_aseg_comment("comm a comment"));
    EXPECT_FALSE(is_aseg_comment("  12  -1.5"));
}

TEST(WorkbenchXyz, NumberedColumnsFormArrays) {
    const FieldTable t =
        parse_workbench_header("/ LINE_NO FID UTMX RHO_I_1 RHO_I_2 RHO_I_3 RHO_I_STD_1 DEP_TOP_1 DEP_TOP_3 X_2 DOI_STANDARD");
    std::vector<std::pair<std::string, int>> got;
    for (const Field& f : t.fields) got.emplace_back(f.name, f.count);
    EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{{"LINE_NO", 1}, {"FID", 1}, {"UTMX", 1}, {"RHO_I", 3},
                                                            {"RHO_I_STD", 1}, {"DEP_TOP", 1}, {"DEP_TOP_3", 1},
                                                            {"X_2", 1}, {"DOI_STANDARD", 1}}));
    EXPECT_EQ(t.values, 11);
    EXPECT_TRUE(is_workbench_comment("  /LINE_NO"));
    EXPECT_FALSE(is_workbench_comment("100 1"));
}


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
    using enum LayerUnit;
    // Rounded once, from the double product: 0.1 S/m is 100 mS/m exactly in 32 bits. No
    // value, none that is positive or none within the 32-bit range: 0.
    const std::tuple<double, LayerUnit, float> cases[] = {
        {0.0625, siemens_per_metre, 62.5f}, {62.5, millisiemens_per_metre, 62.5f}, {16.0, ohm_metre, 62.5f},
        {0.1, siemens_per_metre, 100.0f}, {3.0, ohm_metre, static_cast<float>(1000.0 / 3.0)}, {0.0, ohm_metre, 0.0f},
        {-5.0, ohm_metre, 0.0f}, {1e36, siemens_per_metre, 0.0f}, {kNull, millisiemens_per_metre, 0.0f}};
    for (const auto& [value, unit, want] : cases) EXPECT_EQ(to_millisiemens(value, unit), want) << value;
}

RecordPosition at(double station, double east, double fiducial, double doi) {
    return {station, 119.79, east, 7654321.88, 3, fiducial, doi};
}

TEST(StationsRow, FieldsAndEmptyValues) {
    struct Case {
        RecordPosition r;
        double shift;
        const char* want;
    };
    // clang-format off
    const Case cases[] = {
        {at(0.0, 512345.61, 10000, 200.3), 0.0,  "10000,0.00,512345.61,7654321.88,119.79,200.3\r\n"},
        // re-based: the last record at 0, the others negative
        {at(1473.3251, 512370.06, 10003.5, 157.9), 1473.3251, "10003.5,0.00,512370.06,7654321.88,119.79,157.9\r\n"},
        {at(24.875, 1e6, 12, 7.25), 1473.3251, "12,-1448.45,1000000,7654321.88,119.79,7.25\r\n"},
        // no DOI (0, negative, missing) and no fiducial: empty fields
        {at(10.0, 5.0, kNull, 0.0),   0.0, ",10.00,5,7654321.88,119.79,\r\n"},
        {at(10.0, 5.0, -3.0, -9999.0), 0.0, "-3,10.00,5,7654321.88,119.79,\r\n"},
        {at(10.0, 5.0, 1.0, kNull),    0.0, "1,10.00,5,7654321.88,119.79,\r\n"},
        // a station that rounds to zero from below is written 0.00
        {at(-0.001, 5.0, 1.0, 1e-3),   0.0, "1,0.00,5,7654321.88,119.79,0.001\r\n"},
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(stations_row(c.r, c.shift), c.want);
}

TEST(StationsRow, ModelRecordFiducialAndDoi) {
    ModelRecord r;
    ASSERT_EQ(parse_record("1001 10003 512370.06 7654326.19 121.44 29.3 1.326 0.1579D3 15 2 4 5", 2, r),
              RecordKind::record);
    EXPECT_EQ(std::tuple(r.fiducial, r.doi), std::tuple(10003.0, 157.9));
    // A short record read before keeps nothing of the previous one.
    ASSERT_EQ(parse_record("1001 7", 2, r), RecordKind::short_record);
    EXPECT_EQ(r.fiducial, 7.0);
    EXPECT_TRUE(std::isnan(r.doi));
    // The fiducial must still be a number.
    EXPECT_EQ(parse_record("1001 x 1 2 3 4 5 6 7 8 9 10", 2, r), RecordKind::unreadable);
}

}  // namespace
}  // namespace driver
