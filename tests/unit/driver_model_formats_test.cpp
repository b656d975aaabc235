// Whole runs on the survey options, each in a folder of its own: one model written as a
// Corvane file, as ASEG-GDF2 and as Workbench XYZ gives the same tables and grids byte for
// byte; layers of their own thicknesses land at their centres; broken files stop or leave
// records out with their messages; --lines, --field, --units and --output-dir. --dx: its
// forms and limits, and runs on parts of a survey (model files of their own, or --lines)
// that write the files of one whole -j run, the combined table assembled from the parts'
// tables byte for byte; without --dx a line's grids follow the station steps of the lines
// before it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "command_line.hpp"
#include "control_test_util.hpp"
#include "driver_test_util.hpp"
#include "model_reader.hpp"
#include "output_file.hpp"
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

std::string corvane() {
    std::string s;
    int fid = 0;
    for (const Column& c : model_columns()) {
        s += std::to_string(c.line) + " " + std::to_string(++fid) + " " + fmt("%.2f", c.east) + " " + fmt("%.2f", c.north) + " " +
             fmt("%.2f", c.ground) + " 0 0 0 0 0";
        for (int v : c.layer) s += std::string(" ") + kValues[v].ms_per_m;
        s += "\n";
    }
    return s;
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

std::string aseg_dat() {
    std::string s = "COMM model of two lines\n";
    int fid = 0;
    for (const Column& c : model_columns()) s += dat_record(c, ++fid);
    return s;
}

std::string workbench(const char* doi = "*") {
    std::string s = "/ Workbench export\n/LINE_NO FID UTMX UTMY ELEVATION";
    for (int k = 1; k <= 6; ++k) s += " RHO_I_" + std::to_string(k);
    for (int k = 1; k <= 6; ++k) s += " DEP_TOP_" + std::to_string(k);
    s += " DOI_STANDARD\n";
    int fid = 0;
    for (const Column& c : model_columns()) {
        s += std::to_string(c.line) + " " + std::to_string(++fid) + " " + fmt("%.2f", c.east) + " " +
             fmt("%.2f", c.north) + " " + fmt("%.2f", c.ground);
        for (int v : c.layer) s += std::string(" ") + kValues[v].ohm_m;
        s += std::string(" 0 5 10 15 20 25 ") + doi + "\n";
    }
    return s;
}

struct Outcome {
    int status = -1;
    std::string out, err;
    std::map<std::string, std::string> bytes;  // every file the run left, by path in the folder
};

// halvex `args` in the fresh folder `name` holding the `inputs`: through the gridding
// library, or with tables only.
Outcome run_in(const std::string& name, const std::map<std::string, std::string>& inputs,
               const std::vector<std::string>& args, bool grids = true) {
    const fs::path home = fs::current_path();
    fs::remove_all(name);
    fs::create_directory(name);
    fs::current_path(name);
    for (const auto& [n, text] : inputs) write_file(n, text);
    std::ostringstream out, err;
    std::istringstream in;
    Console console{out, in, err};
    NoGridding none;
    Outcome r;
    r.status = grids ? run(args, console) : run(args, console, none);
    r.out = out.str();
    r.err = err.str();
    for (const auto& e : fs::recursive_directory_iterator("."))
        if (const std::string n = e.path().lexically_relative(".").string(); e.is_regular_file() && !inputs.contains(n))
            r.bytes[n] = read_file(n);
    fs::current_path(home);
    return r;
}

TEST(ModelFormats, ThreeFormatsGiveTheSameBytes) {
    control_test::CwdTempDir dir;
    const Outcome c = run_in("c", {{"m.mod", corvane()}}, {"--output-dir", "o", "m.mod", "5", "6"});
    const Outcome a =
        run_in("a", {{"m.dat", aseg_dat()}, {"m.dfn", kDfn}}, {"--output-dir", "o", "--dfn", "m.dfn", "m.dat", "5"});
    const Outcome w = run_in("w", {{"m.xyz", workbench()}}, {"--output-dir=o", "--format", "workbench", "m.xyz", "5"});
    ASSERT_EQ(c.status, kExitOk) << c.err;
    for (const Outcome* o : {&a, &w})
        EXPECT_TRUE(o->status == kExitOk && o->out == c.out && o->bytes == c.bytes) << o->err;
    // Two lines: four grids and three tables each; the combined table, the log and the
    // point file; all in o/, the lock gone with the run.
    EXPECT_EQ(c.bytes.size(), 17u);
    EXPECT_EQ(c.bytes.begin()->first, "o/100_con.grd");
    EXPECT_EQ(c.bytes.rbegin()->first, "o/tmpdat2.tmp");

    // A DOI of 12 m: of the layers centred at 2.5, 7.5 and 12.5 m the third lies below
    // it; the null sixth layer gives no point. Line 200 alone: 7 records of 2 points.
    const Outcome d =
        run_in("d", {{"m.xyz", workbench("12")}}, {"--format", "workbench", "--lines", "150-250", "m.xyz", "5"}, false);
    ASSERT_EQ(d.status, kExitOk) << d.err;
    EXPECT_EQ(d.bytes.count("line_100.xyz"), 0u);
    const std::string& table = d.bytes.at("line_200.xyz");
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 1 + 7 * 2);
}

// Layers of 2, 3, 5, 10 and 20 m over a half-space with no thickness of its own, ground
// at 50 m: centres at depths 1, 3.5, 7.5, 15, 30 and 40 + 20 / 2 = 50.
TEST(ModelFormats, UnequalLayersLieAtTheirCentres) {
    control_test::CwdTempDir dir;
    std::string dat;
    for (int k = 0; k < 3; ++k)
        dat += dat_record({7, 10.0 * k, 0.0, 50.0, {0, 1, 2, 3, 4, 0}}, k, {"2", "3", "5", "10", "20"});
    const Outcome r = run_in("u", {{"u.dat", dat}, {"u.dfn", kDfn}}, {"--dfn", "u.dfn", "u.dat", "2.5"}, false);
    ASSERT_EQ(r.status, kExitOk) << r.err;
    const std::string& table = r.bytes.at("line_7.xyz");
    std::vector<double> depths, want;
    std::istringstream rows(table.substr(table.find('\n') + 1));
    for (std::string row; std::getline(rows, row);) depths.push_back(std::stod(row.substr(13, 13)));
    for (int k = 0; k < 3; ++k) want.insert(want.end(), {49.0, 46.5, 42.5, 35.0, 20.0, 0.0});
    EXPECT_EQ(depths, want);
    // The coordinate file's depth is the top layer's centre below the ground.
    EXPECT_NE(r.bytes.at("line_7.crd").find("          -1.00"), std::string::npos);
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
        {"a record without end", "", good + std::string(kMaxRecordChars + 1, '7'), {}, kExitStop,
         " a text line of more than " + std::to_string(kMaxRecordChars) +
             " characters is not a model record (m.dat, line 4); run stopped; table cut short: m_all.xyz holds 1 line\n"},
        {"a value that is no number", "", replaced(good, "     50.00", "       abc"), {}, kExitStop,
         " field DTM holds 'abc', not a number (m.dat, line 1); table cut short: m_all.xyz holds 1 line\n"},
    };
    control_test::CwdTempDir dir;
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = c.extra;
        for (const char* a : {"--dfn", "m.dfn", "m.dat", "5"}) args.push_back(a);
        const Outcome r = run_in("b", {{"m.dfn", c.dfn.empty() ? kDfn : c.dfn}, {"m.dat", c.dat}}, args, false);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
    }
}

// A survey line of `stations` records `step` apart along east, 6 cells of 5 m.
std::string line_records(int line, int stations, double step) {
    std::string s;
    char buf[64];
    for (int k = 0; k < stations; ++k) {
        std::snprintf(buf, sizeof buf, "%d 0 %.1f %.1f %.2f 0 0 0 0 0", line, 1000.0 + step * k, 500.0 + 40.0 * line,
                      100.0 + 3.0 * std::sin(0.4 * k));
        s += buf;
        for (int i = 0; i < 6; ++i) {
            std::snprintf(buf, sizeof buf, " %.3f", 20.0 + 15.0 * std::sin(0.3 * k + 0.9 * i + line) + 2.0 * i);
            s += buf;
        }
        s += "\n";
    }
    return s;
}

// The table without its first line.
std::string body(const std::string& table) { return table.substr(table.find("\r\n") + 2); }

TEST(GridSpacing, FormsAndLimits) {
    const std::string bad = " --dx takes the horizontal grid spacing, a number above 0";
    const std::tuple<std::vector<std::string>, float, std::string> cases[] = {
        {{"--dx", "12.5", "m.mod"}, 12.5f, ""}, {{"m.mod", "--dx=20"}, 20.0f, ""},
        {{"--dx", "1e1", "--dx", "3", "m.mod"}, 3.0f, ""}, {{"--dx=-4", "m.mod"}, 0.0f, bad + ", not '-4'"},
        {{"--dx", "5 5", "m.mod"}, 0.0f, bad + ", not '5 5'"}, {{"--dx=1e39"}, 0.0f, bad + ", not '1e39'"},
        {{"m.mod", "--dx"}, 0.0f, bad}};
    for (const auto& [args, dx, problem] : cases) {
        const CommandLine cl = parse_command_line(args);
        EXPECT_EQ(std::tuple(cl.dx, cl.bad_dx), std::tuple(dx, problem)) << args.front() << " " << args.back();
    }
    control_test::CwdTempDir dir;
    const Outcome r = run_in("bad", {{"m.mod", line_records(1, 5, 25.0)}}, {"--dx", "0", "m.mod", "5", "6"});
    EXPECT_EQ(std::tuple(r.status, r.err, r.bytes.size()), std::tuple(kExitStop, bad + ", not '0'\n", std::size_t{0}));
}

// halvex `options` <model> 5 6, the model alone in the folder.
Outcome run_in(const std::string& name, const std::string& model_name, const std::string& model,
               std::vector<std::string> options) {
    options.insert(options.end(), {model_name, "5", "6"});
    return run_in(name, {{model_name, model}}, options);
}

TEST(GridSpacing, PartsOfASurveyWriteTheFilesOfTheWholeRun) {
    control_test::CwdTempDir dir;
    // Line 1 has the smallest station step; lines 2 and 3 a larger one.
    const std::string one = line_records(1, 14, 10.0), two = line_records(2, 9, 25.0), three = line_records(3, 7, 30.0);
    const Outcome whole = run_in("whole", "s.mod", one + two + three, {"-j", "2", "--dx", "12"});
    ASSERT_EQ(whole.status, kExitOk) << whole.err;
    // The parts as model files of their own, and as --lines of the whole model file.
    for (const bool by_lines : {false, true}) {
        SCOPED_TRACE(by_lines ? "--lines" : "model files");
        const Outcome first = by_lines ? run_in("first", "s.mod", one + two + three, {"--dx", "12", "--lines", "1", "-j", "1"})
                                       : run_in("first", "a.mod", one, {"--dx", "12", "-j", "1"});
        const Outcome rest = by_lines ? run_in("rest", "s.mod", one + two + three, {"--lines=2-3", "--dx=12", "-j2"})
                                      : run_in("rest", "b.mod", two + three, {"--dx=12", "-j2"});
        ASSERT_EQ(first.status, kExitOk) << first.err;
        ASSERT_EQ(rest.status, kExitOk) << rest.err;
        const std::string first_table = by_lines ? "s_all.xyz" : "a_all.xyz";
        const std::string rest_table = by_lines ? "s_all.xyz" : "b_all.xyz";

        int grids = 0;
        for (const auto& [name, bytes] : whole.bytes) {
            if (name == "s_all.xyz") continue;
            // minc.log and the line point file are the last line's: those of the part holding it.
            const Outcome& part = name.find("1") != std::string::npos && name != "minc.log" ? first : rest;
            ASSERT_EQ(part.bytes.count(name), 1u) << name;
            EXPECT_TRUE(part.bytes.at(name) == bytes) << name;
            grids += name.ends_with(".grd");
        }
        EXPECT_EQ(grids, 12);
        // Besides, the first part has a table, a log and a line point file of its own.
        EXPECT_EQ(first.bytes.size() + rest.bytes.size(), whole.bytes.size() + 3);
        // The combined table: the first part's, then the other parts' without their header.
        EXPECT_TRUE(first.bytes.at(first_table) + body(rest.bytes.at(rest_table)) == whole.bytes.at("s_all.xyz"));
    }

    // Without --dx the lines after line 1 are gridded at its step, alone at their own.
    const Outcome coupled = run_in("coupled", "s.mod", one + two, {"-j", "2"});
    const Outcome alone = run_in("alone", "b.mod", two, {"-j", "2"});
    ASSERT_EQ(coupled.status, kExitOk) << coupled.err;
    EXPECT_FALSE(coupled.bytes.at("2_con.grd") == alone.bytes.at("2_con.grd"));
    EXPECT_TRUE(coupled.bytes.at("line_2.xyz") == alone.bytes.at("line_2.xyz"));
}

}  // namespace
}  // namespace driver
