// The .dfn reader, the .dat record splitter and the Workbench column header: field
// names, counts, widths, units and nulls as a .dfn writes them; records in fixed
// columns, apart, and neither; numbered Workbench columns grouped into arrays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aseg_gdf.hpp"
#include "output_file.hpp"
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
    ASSERT_EQ(t.fields.size(), 4u);
    EXPECT_EQ(t.values, 33);
    const Field& line = t.fields[0];
    EXPECT_EQ(line.name, "Line");
    EXPECT_EQ(line.width, 10);
    EXPECT_FALSE(line.null.has_value());
    const Field& lat = t.fields[1];
    EXPECT_EQ(lat.units, "deg");
    EXPECT_EQ(lat.null, -99.9999999);
    EXPECT_EQ(lat.first, 1);
    EXPECT_TRUE(t.fields[2].text);
    const Field& rho = t.fields[3];
    EXPECT_EQ(rho.count, 30);
    EXPECT_EQ(rho.width, 15);
    EXPECT_EQ(rho.first, 3);
    EXPECT_EQ(rho.units, "ohm m");
    EXPECT_EQ(rho.null, -9.9999e32);
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
    std::vector<std::string> names;
    std::vector<int> counts;
    for (const Field& f : t.fields) {
        names.push_back(f.name);
        counts.push_back(f.count);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"LINE_NO", "FID", "UTMX", "RHO_I", "RHO_I_STD", "DEP_TOP", "DEP_TOP_3",
                                               "X_2", "DOI_STANDARD"}));
    EXPECT_EQ(counts, (std::vector<int>{1, 1, 1, 3, 1, 1, 1, 1, 1}));
    EXPECT_EQ(t.values, 11);
    EXPECT_TRUE(is_workbench_comment("  /LINE_NO"));
    EXPECT_FALSE(is_workbench_comment("100 1"));
}

}  // namespace
}  // namespace driver
