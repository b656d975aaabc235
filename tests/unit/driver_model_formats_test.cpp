// Whole runs on the tabular model formats: one model written as a Corvane file, as
// ASEG-GDF2 and as Workbench XYZ gives the same tables and grids byte for byte; layers
// of their own thicknesses land at their centres; broken files stop or leave records
// out with their messages; --lines, --field, --units and --output-dir.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "control_test_util.hpp"
#include "driver_test_util.hpp"
#include "output_file.hpp"
#include "record_source.hpp"
#include "run.hpp"

namespace driver {
namespace {

namespace fs = std::filesystem;
using driver_test::read_file;
using driver_test::write_file;

// One model, six layers of 5 m. Each layer value is given three ways: S/m, mS/m and
// ohm m (exact in binary, so the three conversions meet); "" is a layer with no value.
struct Layer { const char* s_per_m; const char* ms_per_m; const char* ohm_m; };
constexpr Layer kValues[] = {{"0.0625", "62.5", "16"}, {"0.125", "125", "8"},  {"0.015625", "15.625", "64"},
                             {"0.25", "250", "4"},     {"0.5", "500", "2"},    {"", "0", "*"}};

struct Column { int line; double east, north, ground; int layer[6]; };

std::vector<Column> model_columns() {
    std::vector<Column> cols;
    for (int k = 0; k < 8; ++k) {
        const int l = k % 5;
        cols.push_back({100, 1000.0 + 25.0 * k, 5000.0 + 3.0 * k, 50.0 + 0.5 * k, {l, (l + 1) % 5, 2, (l + 3) % 5, 4, 5}});
    }
    for (int k = 0; k < 7; ++k)  // running west
        cols.push_back({200, 3000.0 - 30.0 * k, 5100.0, 40.0 - k, {4, 3, (k + 2) % 6, 1, 0, k % 5}});
    return cols;
}

std::string fmt(const char* f, double v) {
    char b[64];
    std::snprintf(b, sizeof b, f, v);
    return b;
}

void write_corvane(const std::string& name) {
    std::string s;
    int fid = 0;
    for (const Column& c : model_columns()) {
        s += std::to_string(c.line) + " " + std::to_string(++fid) + " " + fmt("%.2f", c.east) + " " + fmt("%.2f", c.north) + " " +
             fmt("%.2f", c.ground) + " 0 0 0 0 0";
        for (int v : c.layer) s += std::string(" ") + kValues[v].ms_per_m;
        s += "\n";
    }
    write_file(name, s);
}

const std::string kDfn =
    "DEFN   ST=RECD,RT=COMM;RT:A4;COMMENTS:A76\n"
    "DEFN 1 ST=RECD,RT=;LINE:I10:NAME=Line number\n"
    "DEFN 2 ST=RECD,RT=;FID:F10.1\n"
    "DEFN 3 ST=RECD,RT=;EASTING:F12.2:UNITS=m,NULL=-9999.00\n"
    "DEFN 4 ST=RECD,RT=;NORTHING:F12.2:UNITS=m,NULL=-9999.00\n"
    "DEFN 5 ST=RECD,RT=;DTM:F10.2:UNITS=m:NULL=-9999,NAME=Ground, from the DEM\n"
    "DEFN 6 ST=RECD,RT=;conductivity:6E15.6:UNITS=S/m,NULL=-99999\n"
    "DEFN 7 ST=RECD,RT=;thickness:5F8.2:UNITS=m\n"
    "DEFN 8 ST=RECD,RT=;END DEFN\n";

// One .dat record in the widths of kDfn, with these thicknesses.
std::string dat_record(const Column& c, double fid, std::vector<std::string> thickness = {"5", "5", "5", "5", "5"}) {
    std::string s = fmt("%10.0f", c.line) + fmt("%10.1f", fid) + fmt("%12.2f", c.east) + fmt("%12.2f", c.north) +
                    fmt("%10.2f", c.ground);
    for (int v : c.layer) s += *kValues[v].s_per_m ? fmt("%15.6E", std::stod(kValues[v].s_per_m)) : fmt("%15.0f", -99999);
    for (const std::string& t : thickness) s += fmt("%8.2f", std::stod(t));
    return s + "\n";
}

void write_aseg(const std::string& dat, const std::string& dfn) {
    std::string s = "COMM model of two lines\n";
    int fid = 0;
    for (const Column& c : model_columns()) s += dat_record(c, ++fid);
    write_file(dat, s);
    write_file(dfn, kDfn);
}

void write_workbench(const std::string& name) {
    std::string s = "/ Workbench export\n/LINE_NO FID UTMX UTMY ELEVATION";
    for (int k = 1; k <= 6; ++k) s += " RHO_I_" + std::to_string(k);
    for (int k = 1; k <= 6; ++k) s += " DEP_TOP_" + std::to_string(k);
    s += " DOI_STANDARD\n";
    int fid = 0;
    for (const Column& c : model_columns()) {
        s += std::to_string(c.line) + " " + std::to_string(++fid) + " " + fmt("%.2f", c.east) + " " +
             fmt("%.2f", c.north) + " " + fmt("%.2f", c.ground);
        for (int v : c.layer) s += std::string(" ") + kValues[v].ohm_m;
        s += " 0 5 10 15 20 25 *\n";
    }
    write_file(name, s);
}

struct Outcome { int status; std::string out, err; };

// A run through the gridding library, or with tables only.
Outcome halvex(const std::vector<std::string>& args, bool grids = true) {
    std::ostringstream out, err;
    std::istringstream in;
    Console console{out, in, err};
    NoGridding none;
    const int status = grids ? run(args, console) : run(args, console, none);
    return {status, out.str(), err.str()};
}

std::vector<std::string> names_in(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ModelFormats, ThreeFormatsGiveTheSameBytes) {
    control_test::CwdTempDir dir;
    write_corvane("m.mod");
    write_aseg("m.dat", "m.dfn");
    write_workbench("m.xyz");
    const Outcome c = halvex({"--output-dir", "c", "m.mod", "5", "6"});
    const Outcome a = halvex({"--output-dir", "a", "--dfn", "m.dfn", "m.dat", "5"});
    const Outcome w = halvex({"--output-dir=w", "--format", "workbench", "m.xyz", "5"});
    ASSERT_EQ(c.status, kExitOk) << c.err;
    EXPECT_EQ(a.status, kExitOk) << a.err;
    EXPECT_EQ(w.status, kExitOk) << w.err;
    EXPECT_EQ(a.out, c.out);
    EXPECT_EQ(w.out, c.out);
    const std::vector<std::string> names = names_in("c");
    EXPECT_EQ(names, (std::vector<std::string>{"100_con.grd", "100_logcon.grd", "100_logres.grd", "100_res.grd",
                                               "200_con.grd", "200_logcon.grd", "200_logres.grd", "200_res.grd",
                                               "line_100.crd", "line_100.xyz", "line_100_stations.csv", "line_200.crd",
                                               "line_200.xyz", "line_200_stations.csv", "m_all.xyz", "minc.log",
                                               "tmpdat2.tmp"}));
    EXPECT_EQ(names_in("a"), names);
    EXPECT_EQ(names_in("w"), names);
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        const std::string bytes = read_file("c/" + n);
        EXPECT_FALSE(bytes.empty());
        EXPECT_TRUE(read_file("a/" + n) == bytes);
        EXPECT_TRUE(read_file("w/" + n) == bytes);
    }
    // Nothing but the inputs and the three folders here: the lock went with the outputs.
    EXPECT_EQ(names_in("."), (std::vector<std::string>{"a", "c", "m.dat", "m.dfn", "m.mod", "m.xyz", "w"}));
}

// Layers of 2, 3, 5, 10 and 20 m over a half-space with no thickness of its own, ground
// at 50 m: centres at depths 1, 3.5, 7.5, 15, 30 and 40 + 20 / 2 = 50.
TEST(ModelFormats, UnequalLayersLieAtTheirCentres) {
    control_test::CwdTempDir dir;
    const Column c{7, 0.0, 0.0, 50.0, {0, 1, 2, 3, 4, 0}};
    std::string dat;
    for (int k = 0; k < 3; ++k) {
        Column ck = c;
        ck.east = 10.0 * k;
        dat += dat_record(ck, k, {"2", "3", "5", "10", "20"});
    }
    write_file("u.dat", dat);
    write_file("u.dfn", kDfn);
    const Outcome r = halvex({"--dfn", "u.dfn", "u.dat", "2.5"}, false);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const std::string table = read_file("line_7.xyz");
    std::vector<double> depths;
    std::istringstream rows(table.substr(table.find('\n') + 1));
    for (std::string row; std::getline(rows, row);) depths.push_back(std::stod(row.substr(13, 13)));
    const std::vector<double> one = {49.0, 46.5, 42.5, 35.0, 20.0, 0.0};
    std::vector<double> all;
    for (int k = 0; k < 3; ++k) all.insert(all.end(), one.begin(), one.end());
    EXPECT_EQ(depths, all);
    // The coordinate file's depth is the top layer's centre below the ground.
    EXPECT_NE(read_file("line_7.crd").find("          -1.00"), std::string::npos);
}

struct BrokenCase {
    const char* what;
    std::string dfn;    // replaces kDfn when not empty
    std::string dat;    // the .dat
    std::vector<std::string> extra;  // options before the operands
    int status;
    std::string err;
};

TEST(ModelFormats, BrokenFilesSayWhatIsWrong) {
    const std::vector<Column> cols = model_columns();
    std::string good;
    for (int k = 0; k < 3; ++k) good += dat_record(cols[static_cast<std::size_t>(k)], k);
    auto without = [](std::string s, const std::string& line) { return s.erase(s.find(line), line.size()); };
    auto replaced = [](std::string s, const std::string& from, const std::string& to) {
        return s.replace(s.find(from), from.size(), to);
    };
    std::string null_east = good + dat_record(cols[3], 3);
    null_east.replace(null_east.find("1025.00") - 5, 12, fmt("%12.2f", -9999.0));
    // The fiducials fill their ten columns: "       100" and "12345678.9" run together.
    std::string glued;
    for (int k = 0; k < 3; ++k) glued += dat_record(cols[static_cast<std::size_t>(k)], 12345678.9);
    const std::vector<BrokenCase> cases = {
        {"a field the .dat lacks", replaced(kDfn, "DEFN 8 ST=RECD,RT=;END DEFN", "DEFN 8 ST=RECD,RT=;DOI:F8.2\nDEFN 9 END DEFN"),
         good, {}, kExitStop,
         " record holds 16 values in 184 characters; the fields take 17 values or 192 characters (m.dat, line 1); table cut short: m_all.xyz holds 1 line\n"},
        {"widths that do not add up", replaced(kDfn, "FID:F10.1", "FID:F9.1"), glued, {}, kExitStop,
         " record holds 15 values in 184 characters; the fields take 16 values or 183 characters (m.dat, line 1); table cut short: m_all.xyz holds 1 line\n"},
        {"widths that do not add up, values apart", replaced(kDfn, "FID:F10.1", "FID:F9.1"), good, {}, kExitOk, ""},
        {"a missing role", without(kDfn, "DEFN 5 ST=RECD,RT=;DTM:F10.2:UNITS=m:NULL=-9999,NAME=Ground, from the DEM\n"),
         good, {}, kExitStop,
         " no field for the ground in m.dfn (names tried: dtm, elevation, ground_elevation, ground, elev, topo,"
         " topography, dem; fields: LINE, FID, EASTING, NORTHING, conductivity, thickness; name one with --field"
         " ROLE=NAME)\n"},
        {"unknown units", replaced(kDfn, "UNITS=S/m", "UNITS=furlongs"), good, {}, kExitStop,
         " unknown units 'furlongs' of field conductivity in m.dfn (S/m, mS/m or ohm.m; --units overrides)\n"},
        {"no units", replaced(kDfn, "UNITS=S/m,", ""), good, {}, kExitStop,
         " the units of field conductivity in m.dfn are not given: name them with --units (S/m, mS/m or ohm.m)\n"},
        {"arrays of different lengths", replaced(kDfn, "thickness:5F8.2", "thickness:3F8.2"), good, {}, kExitStop,
         " arrays of different lengths in m.dfn: conductivity has 6 values, thickness has 3\n"},
        {"an unknown format", replaced(kDfn, "F12.2:UNITS=m,NULL", "Z12:UNITS=m,NULL"), good, {}, kExitStop,
         " field EASTING has format 'Z12', not a Fortran format such as I10, F10.2 or 30E15.6 (m.dfn, line 4)\n"},
        {"a null east", "", null_east, {}, kExitIncomplete,
         " warning: no value for the east; record left out (m.dat, line 2)\n"},
        {"a field named that the file lacks", "", good, {"--field", "ground=TOPO_M"}, kExitStop,
         " --field ground=TOPO_M: no field 'TOPO_M' in m.dfn (fields: LINE, FID, EASTING, NORTHING, DTM,"
         " conductivity, thickness)\n"},
        // Neither the name nor the units would do without the options.
        {"a field and units named", replaced(replaced(kDfn, "DTM", "GROUND_LEVEL"), "UNITS=S/m", "UNITS=furlongs"), good,
         {"--field", "Ground=ground_level", "--units", "S/m"}, kExitOk, ""},
        {"an option's value", "", good, {"--units", "ft"}, kExitStop, " --units takes S/m, mS/m or ohm.m, not 'ft'\n"},
        {"a value that is no number", "", replaced(good, "     50.00", "       abc"), {}, kExitStop,
         " field DTM holds 'abc', not a number (m.dat, line 1); table cut short: m_all.xyz holds 1 line\n"},
    };
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.what);
        control_test::CwdTempDir dir;
        write_file("m.dfn", c.dfn.empty() ? kDfn : c.dfn);
        write_file("m.dat", c.dat);
        std::vector<std::string> args = c.extra;
        for (const char* a : {"--dfn", "m.dfn", "m.dat", "5"}) args.push_back(a);
        const Outcome r = halvex(args, false);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(ModelFormats, NullLayersGiveNoPointAndTheDoiCutsDeeperOnes) {
    control_test::CwdTempDir dir;
    write_workbench("m.xyz");
    // DOI 12 m: layers centred at 2.5, 7.5 and 12.5 m; the third lies below it.
    std::string text = read_file("m.xyz");
    for (std::size_t at = 0; (at = text.find(" *\n", at)) != std::string::npos;) text.replace(at, 3, " 12\n");
    write_file("m.xyz", text);
    ASSERT_EQ(halvex({"--format", "workbench", "--lines", "150-250", "m.xyz", "5"}, false).status, kExitOk);
    // Line 200 only; its 7 records give 2 points each (a sixth layer "*" lies below the DOI).
    EXPECT_FALSE(fs::exists("line_100.xyz"));
    const std::string table = read_file("line_200.xyz");
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 7 * 2);
}

TEST(ModelFormats, AnEndlessLineIsBoundedLikeAModelRecord) {
    ModelOptions options;
    options.format = ModelFormat::workbench;
    std::istringstream in("/LINE_NO UTMX UTMY ELEVATION RHO_I_1 THK_1\n1 2 3 4 5 6\n" + std::string(300, '7'));
    std::int32_t ndepth = 0;
    const std::unique_ptr<RecordSource> source = open_tabular_source(options, "", in, "m.xyz", ndepth, 64);
    ModelReader::Item item{};
    for (RecordKind kind : {RecordKind::record, RecordKind::too_long}) {
        ASSERT_TRUE(source->next(item));
        EXPECT_EQ(item.kind, kind);
    }
    EXPECT_TRUE(item.last);
    EXPECT_FALSE(source->next(item));
    std::istringstream header("/" + std::string(300, 'A'));  // a header line beyond the bound
    EXPECT_THROW(open_tabular_source(options, "", header, "m.xyz", ndepth, 64), RunStop);
}

}  // namespace
}  // namespace driver
