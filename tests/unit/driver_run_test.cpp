// Whole runs through run() with a scripted console, each in a fresh temporary folder:
// the argument table and the prompts, every stop and its exit status, the record loop
// (dropped lines, short records, the last record), the warnings and exit statuses of
// runs that leave something out, the folder lock, the limits on records and depth
// cells, the options, re-basing, precise positions, the overwrite guard, outputs that
// cannot be written, and what reaches the gridding seam. Expected console text and
// table rows are written out by hand from the format rules.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "command_line.hpp"
#include "control_test_util.hpp"
#include "driver_test_util.hpp"
#include "model_reader.hpp"
#include "run.hpp"

namespace driver {
namespace {

namespace fs = std::filesystem;
using driver_test::read_file;
using driver_test::read_floats;
using driver_test::write_file;

const std::string kBanner =
    "\n"
    "  This program reads an CORVANE model file and outputs\n"
    "  GRD grid file and an xyz data file for each\n"
    "  line read from the input file\n"
    "\n"
    "  Usage is halvex infil cell ndepth\n"
    "\n";
const std::string kHeader = " Station  Depth   East   North  Con  LogCon  Res  LogRes\r\n";

using TempDir = control_test::CwdTempDir;

std::vector<std::string> files_here() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::current_path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Removes every file of the current folder, between the cases of one test.
void clear_folder() {
    for (const auto& e : fs::directory_iterator(fs::current_path())) fs::remove_all(e.path());
}

// A model record: line, an unused value, east, north, elevation, five unused values and
// the conductivities.
std::string rec(const std::string& line, const std::string& east, const std::string& north,
                const std::string& elevation, const std::vector<std::string>& con) {
    std::string s = line;
    for (const std::string& part : {std::string("0"), east, north, elevation}) {
        s.push_back(' ');
        s.append(part);
    }
    s.append(" 0 0 0 0 0");
    for (const std::string& c : con) {
        s.push_back(' ');
        s.append(c);
    }
    s.push_back('\n');
    return s;
}

class RecordingGridder final : public SectionGridder {
public:
    std::optional<std::string> grid_line(const GridCall& call) override {
        calls.push_back(call);
        datfile_bytes.push_back(read_file(call.datfile));
        return stop;
    }
    std::vector<GridCall> calls;
    std::vector<std::string> datfile_bytes;  // the point file as the gridder finds it
    std::optional<std::string> stop;
};

struct Outcome {
    int status;
    std::string out;  // standard output: banner, prompts, line reports
    std::string err;  // standard error: warnings and stop messages
};

Outcome halvex(std::vector<std::string> args, const std::string& input = "",
               SectionGridder* gridder = nullptr, std::string_view version = {}) {
    std::ostringstream out, err;
    std::istringstream in(input);
    Console console{out, in, err};
    NoGridding none;
    const int status = run(args, console, gridder != nullptr ? *gridder : none, version);
    return {status, out.str(), err.str()};
}

// Converts `model` as "m.mod" with cell 5 and two depth cells.
Outcome convert(const std::string& model, SectionGridder* gridder = nullptr) {
    write_file("m.mod", model);
    return halvex({"m.mod", "5", "2"}, "", gridder);
}

// The end of a stop message whose run kept the combined table cut short.
std::string cut_short(const std::string& table, int lines) {
    return "; table cut short: " + table + " holds " + std::to_string(lines) + (lines == 1 ? " line" : " lines");
}

// A line of three records at one place: each gives one point in its top cell.
std::string three_records(const std::string& line) {
    return rec(line, "0", "0", "100", {"1", "0"}) + rec(line, "10", "0", "100", {"1", "0"}) +
           rec(line, "20", "0", "100", {"1", "0"});
}

// Lines 1, 2 (two records, dropped) and 3 (running west); cell 5, two depth cells.
const std::string kThreeLines = "/ survey of three lines\n" +
                                rec("1", "100", "0", "100", {"10", "0"}) +
                                rec("1", "125", "0", "100", {"10", "20"}) +
                                rec("1", "150", "0", "100", {"0", "0"}) +
                                rec("2", "0", "0", "0", {"1", "1"}) +
                                rec("2", "10", "0", "0", {"1", "1"}) +
                                rec("3", "300", "50", "60", {"1000", "0.5"}) +
                                rec("3", "200", "50", "60", {"2", "0"}) +
                                rec("3", "100", "50", "60", {"0", "4"});

TEST(DriverRun, ThreeLinesOneDroppedOneRebased) {
    TempDir dir;
    RecordingGridder g;
    const Outcome r = convert(kThreeLines, &g);
    EXPECT_EQ(r.status, kExitIncomplete);
    EXPECT_EQ(r.err, " warning: survey line 2 has only 2 records, fewer than 3; not written or gridded"
                     " (m.mod, lines 5 to 6)\n");
    // Line 2 sets xcell to its step of 10 although it is dropped; line 3 uses it.
    EXPECT_EQ(r.out, kBanner +
                         "\n Processing line : 1\n\n"
                         " Number of points :      3\n"
                         " x range :       0.00     50.00\n"
                         " z range :      97.50     92.50\n"
                         "  generating grid\n\n"
                         "  x range to output :    0.000000       50.00000    \n"
                         "  number of x cells :            3\n"
                         "  z range to output :    100.0000       90.00000    \n"
                         "  number of z cells :            3\n"
                         "\n Processing line : 3\n\n"
                         " Number of points :      3\n"
                         " x range :    -200.00      0.00\n"
                         " z range :      57.50     52.50\n"
                         "  generating grid\n\n"
                         "  x range to output :   -200.0000       0.000000    \n"
                         "  number of x cells :           21\n"
                         "  z range to output :    60.00000       50.00000    \n"
                         "  number of z cells :            3\n");

    const std::string line1 =
        "         0.00        97.50       100.00         0.00  0.100000E+02  0.100000E+01  0.100000E+03  0.200000E+01\r\n"
        "        25.00        97.50       125.00         0.00  0.100000E+02  0.100000E+01  0.100000E+03  0.200000E+01\r\n"
        "        25.00        92.50       125.00         0.00  0.200000E+02  0.130103E+01  0.500000E+02  0.169897E+01\r\n";
    const std::string line3 =
        "      -200.00        57.50       300.00        50.00  0.100000E+04  0.300000E+01  0.100000E+01  0.000000E+00\r\n"
        "      -200.00        52.50       300.00        50.00  0.500000E+00 -0.301030E+00  0.200000E+04  0.330103E+01\r\n"
        "      -100.00        57.50       200.00        50.00  0.200000E+01  0.301030E+00  0.500000E+03  0.269897E+01\r\n"
        "         0.00        52.50       100.00        50.00  0.400000E+01  0.602060E+00  0.250000E+03  0.239794E+01\r\n";
    EXPECT_EQ(read_file("m_all.xyz"), kHeader + line1 + line3);
    EXPECT_EQ(read_file("line_1.xyz"), kHeader + line1);
    EXPECT_EQ(read_file("line_3.xyz"), kHeader + line3);
    EXPECT_EQ(read_file("line_1.crd"),
              " Station  Depth   East   North\r\n"
              "           0.00          -2.50         100.00           0.00\r\n"
              "          50.00          -2.50         150.00           0.00\r\n");
    EXPECT_EQ(read_file("line_3.crd"),
              " Station  Depth   East   North\r\n"
              "        -200.00          -2.50         300.00          50.00\r\n"
              "           0.00          -2.50         100.00          50.00\r\n");
    // Every record of the line in model order, the stations re-based as the grid's x.
    EXPECT_EQ(read_file("line_3_stations.csv"),
              "fiducial,station_m,east_m,north_m,ground_elevation_m,doi_m\r\n"
              "0,-200.00,300,50,60,\r\n0,-100.00,200,50,60,\r\n0,0.00,100,50,60,\r\n");
    // Line 3 was re-based onto tmpdat2.tmp and its tmpdat.tmp deleted.
    EXPECT_EQ(files_here(), (std::vector<std::string>{"line_1.crd", "line_1.xyz", "line_1_stations.csv",
                                                      "line_3.crd", "line_3.xyz", "line_3_stations.csv",
                                                      "m.mod", "m_all.xyz", "tmpdat2.tmp"}));

    ASSERT_EQ(g.calls.size(), 2u);
    EXPECT_EQ(g.calls[0].datfile, "tmpdat.tmp");
    EXPECT_EQ(g.calls[0].out_files[0], "1_con.grd");
    EXPECT_EQ(g.calls[0].dx, 25.0f);
    EXPECT_EQ(g.calls[0].radius, 50.0f);
    EXPECT_EQ(g.calls[1].datfile, "tmpdat2.tmp");
    EXPECT_EQ(g.calls[1].out_files[3], "3_logres.grd");
    EXPECT_EQ(g.calls[1].x0, -200.0f);
    EXPECT_EQ(g.calls[1].y0, 50.0f);
    EXPECT_EQ(g.calls[1].dx, 10.0f);
    EXPECT_EQ(g.calls[1].dy, 5.0f);
    EXPECT_EQ(g.calls[1].nx, 21);
    EXPECT_EQ(g.calls[1].ny, 3);
    EXPECT_EQ(g.calls[1].radius, 25.0f);

    // The point file each call reads: 32-byte records, stations re-based for line 3.
    ASSERT_EQ(g.datfile_bytes[0].size(), 3u * 32u);
    const std::vector<float> first = driver_test::floats_of(g.datfile_bytes[0]);
    EXPECT_EQ(first[0], 0.0f);
    EXPECT_EQ(first[1], 97.5f);
    EXPECT_EQ(first[2], 100.0f);
    EXPECT_EQ(first[4], 10.0f);
    EXPECT_EQ(first[6], 100.0f);
    const std::string& p3 = g.datfile_bytes[1];
    ASSERT_EQ(p3.size(), 4u * 32u);
    const std::vector<float> v3 = driver_test::floats_of(p3);
    // clang-format off
    const float stations[] = {-200.0f, -200.0f, -100.0f, 0.0f};
    const float depths[] = {57.5f, 52.5f, 57.5f, 52.5f};
    const float cons[] = {1000.0f, 0.5f, 2.0f, 4.0f};
    const float res[] = {1.0f, 2000.0f, 500.0f, 250.0f};
    // clang-format on
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(v3[8 * k + 0], stations[k]);
        EXPECT_EQ(v3[8 * k + 1], depths[k]);
        EXPECT_EQ(v3[8 * k + 3], 50.0f);
        EXPECT_EQ(v3[8 * k + 4], cons[k]);
        EXPECT_EQ(v3[8 * k + 6], res[k]);
    }
    EXPECT_EQ(read_file("tmpdat2.tmp"), p3);
}

TEST(DriverRun, ArgumentTable) {
    TempDir dir;
    // Three records with 64 conductivities each, only the top cell positive.
    std::vector<std::string> con(64, "0");
    con[0] = "1";
    write_file("m.mod", rec("1", "0", "0", "100", con) + rec("1", "100", "0", "100", con) +
                            rec("1", "200", "0", "100", con));
    struct Case {
        std::vector<std::string> args;
        float cell;
        int ndepth;
    };
    const Case cases[] = {
        {{"m.mod"}, 5.0f, 64},
        {{"m.mod", "10"}, 10.0f, 64},
        {{"m.mod", "10", "32"}, 10.0f, 32},
        {{"m.mod", "10", "32", "7"}, 10.0f, 64},
        {{"m.mod", "1.0D1", "32"}, 10.0f, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.size());
        RecordingGridder g;
        const Outcome r = halvex(c.args, "", &g);
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(r.out.find("enter"), std::string::npos);  // no prompt
        ASSERT_EQ(g.calls.size(), 1u);
        EXPECT_EQ(g.calls[0].dy, c.cell);
        // The lowest cell centre lies at 100 - (ndepth - 0.5) cell, rounded down to a cell.
        const float zmin = 100.0f - (static_cast<float>(c.ndepth) - 0.5f) * c.cell;
        EXPECT_EQ(g.calls[0].y0, zmin - 0.5f * c.cell);
    }
}

TEST(DriverRun, PromptsAndTheirAnswers) {
    TempDir dir;
    write_file("m.mod", three_records("4"));
    const std::string p1 = " enter name of the CORVANE model file : ";
    const std::string p12 = p1 + " enter the Corvane cell size : ";
    const std::string prompts = p12 + " enter the number of depth cells : ";
    {
        SCOPED_TRACE("answers, a blank line before a number is skipped");
        RecordingGridder g;
        const Outcome r = halvex({}, "m.mod\n\n 0.5 \n2\n", &g);
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(r.out.substr(0, kBanner.size() + prompts.size()), kBanner + prompts);
        ASSERT_EQ(g.calls.size(), 1u);
        EXPECT_EQ(g.calls[0].dy, 0.5f);
        EXPECT_EQ(g.calls[0].y0, 99.0f);  // lowest centre 100 - 0.75 = 99.25, down to 99.0
    }
    clear_folder();
    write_file("m.mod", three_records("4"));
    struct Stop {
        std::string input;
        std::string tail;
    };
    // Answers are held to the length of a model record, as from a device without lines.
    const std::string endless(kMaxRecordChars + 1, '\0');
    const std::string too_long = " an answer of more than " + std::to_string(kMaxRecordChars) + " characters; run stopped\n";
    const Stop stops[] = {
        {endless, p1 + too_long},
        {"m.mod\n" + endless, p12 + too_long},
        {"\n", p1 + " no file name supplied \n"},
        {"   \n", p1 + " no file name supplied \n"},
        {"", p1 + " no file name supplied \n"},
        {"m.mod\n0\n", p12 + "  Cell size must be positive\n"},
        {"m.mod\n-1\n", p12 + "  Cell size must be positive\n"},
        {"m.mod\nabc\n", p12 + " Cell size is not a number: 'abc'\n"},
        {"m.mod\n", p12 + " no answer given for the cell size\n"},
        {"m.mod\n5\n0\n", prompts + "  number of cells must be positive\n"},
        {"m.mod\n5\n6.5\n", prompts + " number of depth cells is not an integer: '6.5'\n"},
        {"nofile\n5\n2\n", prompts + " The specified data file does not exist (nofile)\n"},
        {"m.mod\n5\n100001\n", prompts + " number of depth cells 100001 is above the limit of 100000\n"},
    };
    for (const Stop& s : stops) {
        SCOPED_TRACE(s.input.substr(0, 20));
        const Outcome r = halvex({}, s.input, nullptr);
        EXPECT_EQ(r.status, kExitStop);
        // The prompts go to standard output, the stop message alone to standard error.
        const std::size_t cut = s.tail.rfind(" : ") + 3;
        EXPECT_EQ(r.out, kBanner + s.tail.substr(0, cut));
        EXPECT_EQ(r.err, s.tail.substr(cut));
    }
    EXPECT_EQ(files_here(), (std::vector<std::string>{"m.mod"}));
}

TEST(DriverRun, CommandLineStops) {
    TempDir dir;
    write_file("m.mod", three_records("4"));
    struct Stop {
        std::vector<std::string> args;
        std::string line;
    };
    const Stop stops[] = {
        {{""}, " No data file supplied\n"},
        {{"   "}, " No data file supplied\n"},
        {{"", "5", "2"}, " No data file supplied\n"},
        {{"missing.mod"}, " The specified data file does not exist (missing.mod)\n"},
        {{"m.mod", "0"}, "  Cell size must be positive\n"},
        {{"m.mod", "-2.5", "2"}, "  Cell size must be positive\n"},
        {{"m.mod", "5", "0"}, "  number of cells must be positive\n"},
        {{"m.mod", "5", "-3"}, "  number of cells must be positive\n"},
        {{"m.mod", "five"}, " Cell size is not a number: 'five'\n"},
        {{"m.mod", ""}, " Cell size is not a number: ''\n"},
        {{"m.mod", "1e400"}, " Cell size is not a number: '1e400'\n"},
        {{"m.mod", "nan"}, " Cell size is not a number: 'nan'\n"},
        {{"m.mod", "5", "2.0"}, " number of depth cells is not an integer: '2.0'\n"},
        {{"m.mod", "5", "x"}, " number of depth cells is not an integer: 'x'\n"},
        {{"."}, " cannot open the data file .\n"},
        {{"m.mod", "5", "100001"}, " number of depth cells 100001 is above the limit of 100000\n"},
        {{"m.mod", "5", "100000000"}, " number of depth cells 100000000 is above the limit of 100000\n"},
    };
    for (const Stop& s : stops) {
        SCOPED_TRACE(s.line);
        const Outcome r = halvex(s.args);
        EXPECT_EQ(r.status, kExitStop);
        EXPECT_EQ(r.out, kBanner);
        EXPECT_EQ(r.err, s.line);
    }
    EXPECT_EQ(files_here(), (std::vector<std::string>{"m.mod"}));
}

TEST(DriverRun, CombinedTableName) {
    TempDir dir;
    fs::create_directory("data");
    fs::create_directory("survey.2024");
    struct Case {
        const char* infil;
        const char* table;  // beside the model, named after the model file's own name
    };
    const Case cases[] = {
        {"model.old.txt", "model.old_all.xyz"}, {"model", "model_all.xyz"}, {"./data/m.mod", "./data/m_all.xyz"},
        {"m.1.mod", "m.1_all.xyz"}, {"survey.2024/lines.mod", "survey.2024/lines_all.xyz"}, {".mod", ".mod_all.xyz"},
    };
    std::set<std::string> tables;
    for (const Case c : cases) {
        SCOPED_TRACE(c.infil);
        write_file(c.infil, "/ nothing\n");
        tables.insert(fs::path(c.table).lexically_normal().string());
        const Outcome r = halvex({c.infil, "5", "2"});
        // A model of comments only: no line, no report, the table header alone, and
        // a run that converted nothing.
        EXPECT_EQ(r.status, kExitStop);
        EXPECT_EQ(r.out, kBanner);
        EXPECT_EQ(r.err, " nothing converted: " + std::string(c.infil) +
                             " holds no survey line of 3 or more records\n");
        EXPECT_EQ(read_file(c.table), kHeader);
    }
    // No table anywhere else: none in a parent folder, none shared by two models.
    std::set<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator("."))
        if (e.path().string().ends_with("_all.xyz")) found.insert(e.path().lexically_normal().string());
    EXPECT_EQ(found, tables);
}

TEST(DriverRun, RecordLoopEdges) {
    TempDir dir;
    {
        clear_folder();
        SCOPED_TRACE("a header without a comment character ends the run");
        const Outcome r = convert(three_records("1") + "Line Station East North\n" + three_records("2"));
        EXPECT_EQ(r.status, kExitStop);
        // Line 1 is still in progress at the error: not completed, not written, but its
        // point file stays with the points written so far.
        EXPECT_EQ(r.out, kBanner);
        EXPECT_EQ(r.err, "  error reading the input xyz data file (m.mod, line 4)" + cut_short("m_all.xyz", 1) + "\n");
        EXPECT_EQ(read_file("m_all.xyz"), kHeader);
        EXPECT_FALSE(fs::exists("line_1.xyz"));
        EXPECT_EQ(fs::file_size("tmpdat.tmp"), 3u * 32u);
    }
    {
        SCOPED_TRACE("numbers that do not convert");
        for (const char* bad : {"nan", "inf", "1e400", "1.0D99", "3,4e"}) {
            clear_folder();
            SCOPED_TRACE(bad);
            const Outcome r = convert(three_records("1") + rec("1", "30", "0", "100", {bad, "0"}));
            EXPECT_EQ(r.status, kExitStop);
            EXPECT_EQ(r.err, "  error reading the input xyz data file (m.mod, line 4)" + cut_short("m_all.xyz", 1) + "\n");
        }
    }
    {
        clear_folder();
        SCOPED_TRACE("a short record inside the file is skipped; the line still has three records");
        const Outcome r = convert("/ head\n" + rec("1", "0", "0", "100", {"1", "0"}) +
                                  rec("1", "10", "0", "100", {"1"}) + rec("1", "20", "0", "100", {"1", "0"}) +
                                  rec("1", "30", "0", "100", {"1", "0"}));
        EXPECT_EQ(r.status, kExitIncomplete);
        EXPECT_NE(r.out.find(" Number of points :      3\n"), std::string::npos);
        EXPECT_NE(r.out.find(" x range :       0.00     30.00\n"), std::string::npos);
    }
    {
        clear_folder();
        SCOPED_TRACE("the last record opens a new line after a completed one");
        RecordingGridder g;
        const Outcome r = convert(three_records("1") + rec("2", "5", "5", "0", {"7", "7"}), &g);
        EXPECT_EQ(r.status, kExitIncomplete);
        EXPECT_NE(r.out.find(" Processing line : 1\n"), std::string::npos);
        EXPECT_EQ(r.out.find(" Processing line : 2\n"), std::string::npos);
        EXPECT_EQ(g.calls.size(), 1u);
        EXPECT_EQ(fs::file_size("tmpdat.tmp"), 3u * 32u);  // still line 1's points
    }
    {
        clear_folder();
        SCOPED_TRACE("a trailing comment makes that record an ordinary one-record line");
        const Outcome r = convert(three_records("1") + rec("2", "5", "5", "0", {"7", "7"}) + "! end\n");
        EXPECT_EQ(r.status, kExitIncomplete);
        EXPECT_NE(r.out.find("\n Processing line : 2\n\n Number of points :      1\n"
                             " x range :       0.00      0.00\n"
                             " z range :      -2.50     -7.50\n"),
                  std::string::npos);
        EXPECT_FALSE(fs::exists("tmpdat.tmp"));
    }
    {
        clear_folder();
        SCOPED_TRACE("line numbers truncate; -99999 is an ordinary line; labels of any width");
        RecordingGridder g;
        const Outcome r = convert(rec("5.9", "0", "0", "0", {"1", "0"}) +
                                  rec("5.2", "10", "0", "0", {"1", "0"}) +
                                  rec("5", "20", "0", "0", {"1", "0"}) + three_records("-99999") +
                                  three_records("-0.5") + three_records("123456789"), &g);
        EXPECT_EQ(r.status, kExitOk);
        ASSERT_EQ(g.calls.size(), 4u);
        EXPECT_EQ(g.calls[0].label, "5");
        EXPECT_EQ(g.calls[1].label, "-99999");
        EXPECT_EQ(g.calls[2].label, "0");
        EXPECT_EQ(g.calls[3].label, "123456789");
        EXPECT_TRUE(fs::exists("line_-99999.xyz"));
        EXPECT_TRUE(fs::exists("line_123456789.crd"));
    }
    {
        clear_folder();
        SCOPED_TRACE("a line of zero conductivities is still completed, but nothing was converted");
        RecordingGridder g;
        const Outcome r = convert(rec("8", "0", "0", "0", {"0", "-1"}) + rec("8", "10", "0", "0", {"0", "0"}) +
                                  rec("8", "20", "0", "0", {"0", "0"}), &g);
        EXPECT_EQ(r.status, kExitStop);
        EXPECT_EQ(r.err, " nothing converted: every conductivity in m.mod is 0 or less, so no line has a point\n");
        EXPECT_EQ(read_file("line_8.xyz"), kHeader);
        EXPECT_EQ(fs::file_size("tmpdat.tmp"), 0u);
        ASSERT_EQ(g.calls.size(), 1u);
        EXPECT_EQ(g.datfile_bytes[0], "");
    }
}

TEST(DriverRun, TurningLineAndRepeatedLabel) {
    TempDir dir;
    // Stations 0, 150, 100 from first to last, running west: -100, 50, 0, range -100..0.
    const Outcome r = convert(rec("6", "300", "0", "10", {"1", "0"}) + rec("6", "150", "0", "10", {"1", "0"}) +
                              rec("6", "200", "0", "10", {"1", "0"}) + three_records("7") +
                              rec("6", "0", "0", "10", {"2", "0"}) + rec("6", "10", "0", "10", {"2", "0"}) +
                              rec("6", "20", "0", "10", {"2", "0"}));
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_NE(r.out.find(" x range :    -100.00      0.00\n"), std::string::npos);
    const std::vector<float> p = read_floats("tmpdat.tmp");  // the last line, line 6 again
    ASSERT_EQ(p.size(), 24u);
    EXPECT_EQ(p[4], 2.0f);
    // The combined table holds both lines 6, the line table only the second.
    const std::string all = read_file("m_all.xyz");
    EXPECT_NE(all.find("      -100.00         7.50       300.00"), std::string::npos);
    EXPECT_NE(all.find("        50.00         7.50       150.00"), std::string::npos);
    EXPECT_EQ(read_file("line_6.xyz").find("-100.00"), std::string::npos);
    EXPECT_EQ(all.size(), kHeader.size() + 9u * 110u);
}

TEST(DriverRun, NeverOverwritesTheModelFile) {
    TempDir dir;
    const std::string model = three_records("1");
    const std::string stop_tail = " is the model file being read; run stopped\n";
    struct Case {
        const char* model;  // the model file's name, which is also the refused output
        const char* what;
        bool through_parent;  // named by a path through the parent folder
        bool reaches_a_line;  // the stop comes after the line's report
        int table_lines;      // lines of the combined table kept at the stop
    };
    const Case cases[] = {
        {"tmpdat.tmp", "model named like the line point file", false, false, 1},
        {"line_1.xyz", "model named through the parent folder like its own line table", true, false, 1},
        {"line_1.xyz", "model named like its own line table", false, false, 1},
        {"1_res.grd", "model named like a grid file of its line; the gridder is never called", false,
         true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_file(c.model, model);
        const std::string infil =
            c.through_parent ? "../" + dir.path().filename().string() + "/" + c.model : c.model;
        RecordingGridder g;
        const Outcome r = halvex({infil, "5", "2"}, "", &g);
        EXPECT_EQ(r.status, kExitStop);
        const std::string table = infil.substr(0, infil.size() - fs::path(infil).extension().string().size()) + "_all.xyz";
        EXPECT_EQ(r.err, " output file " + std::string(c.model) + " is the model file being read; run stopped" +
                             cut_short(table, c.table_lines) + "\n");
        if (c.reaches_a_line)
            EXPECT_NE(r.out.find(" Processing line : 1\n"), std::string::npos);
        else
            EXPECT_EQ(r.out, kBanner);
        EXPECT_TRUE(g.calls.empty());
        EXPECT_EQ(read_file(c.model), model);
        fs::remove(c.model);
    }
    {
        SCOPED_TRACE("an output name that links to the model");
        write_file("m.mod", model);
        fs::create_symlink("m.mod", "m_all.xyz");
        const Outcome r = halvex({"m.mod", "5", "2"});
        EXPECT_EQ(r.status, kExitStop);
        EXPECT_EQ(r.out, kBanner);
        EXPECT_EQ(r.err, " output file m_all.xyz" + stop_tail);
        EXPECT_EQ(read_file("m.mod"), model);
    }
}

TEST(DriverRun, OutputsThatCannotBeWritten) {
    TempDir dir;
    write_file("m.mod", three_records("1"));
    struct Case {
        const char* name;
        char kind;  // 'd' a folder in the way (cannot be created), 'f' a full disk, 'p' a pipe
        std::string line;
    };
    const Case cases[] = {
        {"m_all.xyz", 'f', " cannot write file m_all.xyz\n"},
        {"m_all.xyz", 'd', " cannot create file m_all.xyz\n"},
        {"m_all.xyz", 'p', " output file m_all.xyz is a pipe; run stopped\n"},
        {"tmpdat.tmp", 'f', " cannot write file tmpdat.tmp" + cut_short("m_all.xyz", 1) + "\n"},
        {"line_1.xyz", 'f', " cannot write file line_1.xyz" + cut_short("m_all.xyz", 4) + "\n"},
        {"line_1.xyz", 'd', " cannot create file line_1.xyz" + cut_short("m_all.xyz", 1) + "\n"},
        {"line_1.xyz", 'p', " output file line_1.xyz is a pipe; run stopped" + cut_short("m_all.xyz", 1) + "\n"},
        {"line_1.crd", 'f', " cannot write file line_1.crd" + cut_short("m_all.xyz", 4) + "\n"},
        {"line_1_stations.csv", 'f', " cannot write file line_1_stations.csv" + cut_short("m_all.xyz", 4) + "\n"},
    };
    const auto remove_outputs = [] {
        for (const char* n : {"m_all.xyz", "tmpdat.tmp", "line_1.xyz", "line_1.crd", "line_1_stations.csv"})
            fs::remove_all(n);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        remove_outputs();
        if (c.kind == 'd') fs::create_directory(c.name);
        if (c.kind == 'f') fs::create_symlink("/dev/full", c.name);  // every write fails
        if (c.kind == 'p') {
            ASSERT_EQ(::mkfifo(c.name, 0600), 0);  // no reader: never written
        }
        const Outcome r = halvex({"m.mod", "5", "2"});
        EXPECT_EQ(r.status, kExitStop);
        EXPECT_EQ(r.err, c.line);
    }
    {
        SCOPED_TRACE("a line running west writes its re-based points only");
        remove_outputs();
        write_file("m.mod", rec("1", "20", "0", "100", {"1", "0"}) + rec("1", "10", "0", "100", {"1", "0"}) +
                                rec("1", "0", "0", "100", {"1", "0"}));
        fs::create_symlink("/dev/full", "tmpdat.tmp");
        RecordingGridder g;
        const Outcome r = halvex({"m.mod", "5", "2"}, "", &g);
        EXPECT_EQ(r.status, kExitOk) << r.err;
        EXPECT_FALSE(fs::exists(fs::symlink_status("tmpdat.tmp")));
        EXPECT_EQ(fs::file_size("tmpdat2.tmp"), 3u * 32u);
        fs::remove("tmpdat2.tmp");
        write_file("m.mod", three_records("1"));
    }
    {
        SCOPED_TRACE("a stop from the gridder");
        remove_outputs();
        RecordingGridder g;
        g.stop = " cannot write file 1_con.grd";
        const Outcome r = halvex({"m.mod", "5", "2"}, "", &g);
        EXPECT_EQ(r.status, kExitStop);
        EXPECT_EQ(r.err, " cannot write file 1_con.grd" + cut_short("m_all.xyz", 4) + "\n");
    }
}

TEST(DriverRun, OutputsThroughLinksAndWriteProtectedOutputs) {
    TempDir dir;
    const std::string kept = " (the files of the 1 line converted before are kept)" + cut_short("m_all.xyz", 4) + "\n";
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string model;
        int status;
        std::string tail;  // end of standard error
        const char* file;  // a file to check afterwards, and what it must hold
        std::string content;
    };
    const std::string line1 = three_records("1");
    const Case cases[] = {
        {"a table name that links elsewhere is written through",
         [] { write_file("real.xyz", "old"); fs::create_symlink("real.xyz", "line_1.xyz"); },
         line1, kExitOk, "", "real.xyz", ""},
        {"a write-protected combined table is refused and kept",
         [] { write_file("m_all.xyz", "old"); fs::permissions("m_all.xyz", fs::perms(0444)); },
         line1, kExitStop, " output file m_all.xyz is write-protected; run stopped\n", "m_all.xyz", "old"},
        {"a write-protected line table is refused and kept",
         [] { write_file("line_1.xyz", "old"); fs::permissions("line_1.xyz", fs::perms(0440)); },
         line1, kExitStop, " output file line_1.xyz is write-protected; run stopped" + cut_short("m_all.xyz", 1) + "\n",
         "line_1.xyz", "old"},
        {"a stop keeps the files written before it, and says so",
         [] { write_file("line_2.xyz", "old"); },
         line1 + rec("2", "0", "0", "100", {"1", "0"}) + "Line Station East North\n", kExitStop,
         "  error reading the input xyz data file (m.mod, line 5)" + kept, "line_2.xyz", "old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear_folder();
        c.prepare();
        const Outcome r = convert(c.model);
        EXPECT_EQ(r.status, c.status);
        ASSERT_GE(r.err.size(), c.tail.size());
        EXPECT_EQ(r.err.substr(r.err.size() - c.tail.size()), c.tail);
        if (c.status == kExitOk) {
            EXPECT_TRUE(fs::is_symlink("line_1.xyz"));
            EXPECT_EQ(read_file(c.file), read_file("line_1.xyz"));
            EXPECT_EQ(read_file(c.file).substr(0, kHeader.size()), kHeader);
        } else {
            EXPECT_EQ(read_file(c.file), c.content);
        }
        for (const std::string& name : files_here())
            EXPECT_EQ(name.find(".part"), std::string::npos) << name;
    }
    // The stop above keeps the combined table with the rows of line 1 and the point file
    // with the points of line 2 read so far.
    EXPECT_EQ(read_file("m_all.xyz").substr(kHeader.size()), read_file("line_1.xyz").substr(kHeader.size()));
    EXPECT_EQ(fs::file_size("tmpdat.tmp"), 32u);
}

TEST(DriverRun, AKilledRunLeavesNoPartialFileAndNoTemporary) {
    // A real process converts a model it reads from a pipe; once line 1 is written and
    // line 2 is being written, the process is killed. The earlier files of the run
    // before must stand as they were, with no temporary beside them.
    TempDir dir;
    write_file("m_all.xyz", "earlier complete table");
    write_file("line_2.xyz", "earlier line 2");
    ASSERT_EQ(::mkfifo("m.mod", 0600), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RecordingGridder g;
        halvex({"m.mod", "5", "2"}, "", &g);
        ::_exit(0);
    }
    std::string line2;
    for (int k = 0; k < 200; ++k) line2 += rec("2", std::to_string(10 * k), "0", "100", {"1", "2"});
    {
        std::ofstream model("m.mod", std::ios::binary);
        model << three_records("1") << line2 << std::flush;
        // Line 1 is complete once line 2 begins: wait for its last file.
        for (int k = 0; k < 1000 && !fs::exists("line_1_stations.csv"); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ::kill(child, SIGKILL);  // the pipe stays open: the run is waiting for more of line 2
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(read_file("m_all.xyz"), "earlier complete table");
    EXPECT_EQ(read_file("line_2.xyz"), "earlier line 2");
    EXPECT_EQ(read_file("line_1.xyz").size(), kHeader.size() + 3u * 110u);
    EXPECT_EQ(files_here(), (std::vector<std::string>{"line_1.crd", "line_1.xyz", "line_1_stations.csv", "line_2.xyz",
                                                      "m.mod", "m_all.xyz", "tmpdat.tmp"}));
    EXPECT_EQ(fs::file_size("tmpdat.tmp"), 3u * 32u) << "the point file of line 1, complete";
}

TEST(DriverRun, FortranNumbersAndPrecisePositions) {
    TempDir dir;
    // Map coordinates and a high column top that 32-bit reals would move; numbers with D
    // exponents, commas and tabs as Fortran programs write them.
    RecordingGridder g;
    const Outcome r =
        convert("21,0,512345.67,7654321.74,8388620.37,0,0,0,0,0,1.0D1,\t2d1\r\n"
                "21 0 512345.67 7654346.76 8388620.37 0 0 0 0 0 0.1D+02 0\r\n"
                "21\t0\t512345.67\t7654371.74\t8388620.37\t0\t0\t0\t0\t0\t1.0E1\t0.0\r\n",
                &g);
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_NE(r.out.find(" x range :       0.00     50.00\n"), std::string::npos);
    EXPECT_NE(r.out.find(" z range : 8388617.878388612.87\n"), std::string::npos);
    EXPECT_EQ(read_file("line_21.xyz"),
              kHeader +
                  "         0.00   8388617.87    512345.67   7654321.74  0.100000E+02  0.100000E+01  0.100000E+03  0.200000E+01\r\n"
                  "         0.00   8388612.87    512345.67   7654321.74  0.200000E+02  0.130103E+01  0.500000E+02  0.169897E+01\r\n"
                  "        25.02   8388617.87    512345.67   7654346.76  0.100000E+02  0.100000E+01  0.100000E+03  0.200000E+01\r\n"
                  "        50.00   8388617.87    512345.67   7654371.74  0.100000E+02  0.100000E+01  0.100000E+03  0.200000E+01\r\n");
    EXPECT_EQ(read_file("line_21.crd"),
              " Station  Depth   East   North\r\n"
              "           0.00          -2.50      512345.67     7654321.74\r\n"
              "          50.00          -2.50      512345.67     7654371.74\r\n");
    // The point file rounds the precise values to 32 bits (spacing 0.5 at these
    // northings, 1.0 at this height).
    const std::vector<float> p = read_floats("tmpdat.tmp");
    ASSERT_EQ(p.size(), 32u);
    EXPECT_EQ(p[1], 8388618.0f);   // 8388617.87, spacing 1 there
    EXPECT_EQ(p[3], 7654321.5f);   // 7654321.74
    EXPECT_EQ(p[8 * 2 + 0], 25.02f);
    EXPECT_EQ(p[8 * 2 + 3], 7654347.0f);
    // xcell from the precise steps 25.02 and 24.98, rounded to 32 bits for the grid.
    ASSERT_EQ(g.calls.size(), 1u);
    EXPECT_EQ(g.calls[0].dx, static_cast<float>(24.98));
}

// The names of the line tables in the current folder.
std::vector<std::string> line_tables_here() {
    std::vector<std::string> names;
    for (const std::string& n : files_here())
        if (n.rfind("line_", 0) == 0 && n.ends_with(".xyz")) names.push_back(n);
    return names;
}

TEST(DriverRun, WarningsAndExitStatus) {
    TempDir dir;
    const std::string skipped = " warning: record holds 11 numbers, fewer than 10 + ndepth = 12; skipped";
    const std::string dropped = " warning: survey line ";
    const std::string nothing = " nothing converted: m.mod holds no survey line of 3 or more records\n";
    struct Case {
        const char* what;
        std::string model;  // converted with cell 5 and two depth cells
        int status;
        std::string err;
        std::vector<std::string> tables;  // line tables written
    };
    const Case cases[] = {
        {"every record converted", "/ head\n" + three_records("1"), kExitOk, "", {"line_1.xyz"}},
        {"a short record inside a line is skipped",
         rec("1", "0", "0", "100", {"1", "0"}) + rec("1", "10", "0", "100", {"1"}) +
             rec("1", "20", "0", "100", {"1", "0"}) + rec("1", "30", "0", "100", {"1", "0"}),
         kExitIncomplete, skipped + " (m.mod, line 2)\n", {"line_1.xyz"}},
        {"a last record cut short ends the data", three_records("1") + "1 0 30 0 100 0 0",
         kExitIncomplete,
         " warning: the last record holds 7 numbers, fewer than 10 + ndepth = 12; the model data end"
         " before it (m.mod, line 4)\n",
         {"line_1.xyz"}},
        {"ndepth too large: the first record is short and not the last",
         "/ head\n" + rec("1", "0", "0", "100", {"1"}) + three_records("1"), kExitStop,
         " the first record holds 11 numbers, fewer than 10 + ndepth = 12 (m.mod, line 2): check ndepth;"
         " run stopped" + cut_short("m_all.xyz", 1) + "\n",
         {}},
        {"ndepth too small: the first record holds more numbers",
         rec("1", "0", "0", "100", {"1", "0", "3"}) + rec("1", "10", "0", "100", {"1", "0"}) +
             rec("1", "20", "0", "100", {"1", "0", "3", "4"}),
         kExitOk,
         " warning: the first record holds 13 numbers, more than 10 + ndepth = 12; the numbers after"
         " the first 12 of a record are ignored (m.mod, line 1): check ndepth\n",
         {"line_1.xyz"}},
        {"a line of two records inside the file",
         rec("7", "0", "0", "100", {"1", "0"}) + rec("7", "10", "0", "100", {"1", "0"}) + three_records("8"),
         kExitIncomplete,
         dropped + "7 has only 2 records, fewer than 3; not written or gridded (m.mod, lines 1 to 2)\n",
         {"line_8.xyz"}},
        {"the last record opens a new line", three_records("1") + rec("2", "0", "0", "100", {"1", "0"}),
         kExitIncomplete,
         dropped + "2 has only 1 record, fewer than 3; not written or gridded (m.mod, line 4)\n",
         {"line_1.xyz"}},
        {"no line of three records",
         rec("5", "0", "0", "100", {"1", "0"}) + rec("5", "10", "0", "100", {"1", "0"}) + "! x\n" +
             rec("6", "0", "0", "100", {"1", "0"}),
         kExitStop,
         dropped + "5 has only 2 records, fewer than 3; not written or gridded (m.mod, lines 1 to 2)\n" +
             dropped + "6 has only 1 record, fewer than 3; not written or gridded (m.mod, line 4)\n" + nothing,
         {}},
        {"the only record is cut short", "1 0 0 0 100\n", kExitStop,
         " warning: the last record holds 5 numbers, fewer than 10 + ndepth = 12; the model data end"
         " before it (m.mod, line 1)\n" + nothing,
         {}},
        {"an unreadable record after a converted line",
         three_records("1") + rec("2", "0", "0", "100", {"1", "0"}) + "2 0 x\n" + three_records("2"),
         kExitStop,
         "  error reading the input xyz data file (m.mod, line 5) (the files of the 1 line converted before are kept)" +
             cut_short("m_all.xyz", 4) + "\n",
         {"line_1.xyz"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear_folder();
        const Outcome r = convert(c.model);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out.find("warning"), std::string::npos);  // stdout keeps the reports only
        EXPECT_EQ(line_tables_here(), c.tables);
    }
}

TEST(DriverRun, LimitsOnRecordsAndDepthCells) {
    TempDir dir;
    {
        SCOPED_TRACE("depth cells far beyond the record layout of old are read");
        std::vector<std::string> con(200, "0.5");
        write_file("m.mod", rec("1", "0", "0", "0", con) + rec("1", "10", "0", "0", con) +
                                rec("1", "20", "0", "0", con));
        const Outcome r = halvex({"m.mod", "1", "200"});
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_NE(r.out.find(" z range :      -0.50   -199.50\n"), std::string::npos);
        EXPECT_EQ(read_file("line_1.xyz").size(), kHeader.size() + 600u * 110u);
    }
    const std::string at_limit = std::to_string(kMaxDepthCells);
    const std::string too_long = " a text line of more than " + std::to_string(kMaxRecordChars) +
                                 " characters is not a model record";
    // A record padded with blanks to exactly the longest text line taken.
    std::string widest = rec("1", "0", "0", "100", {"1", "0"});
    widest.insert(widest.size() - 1, kMaxRecordChars + 1 - widest.size(), ' ');
    struct Case {
        const char* what;
        std::string model;  // written to m.mod unless empty
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"the largest ndepth on a small model: sized by what the records hold",
         three_records("1"), {"m.mod", "5", at_limit}, kExitStop,
         " the first record holds 12 numbers, fewer than 10 + ndepth = " +
             std::to_string(kMaxDepthCells + 10) + " (m.mod, line 1): check ndepth; run stopped" +
             cut_short("m_all.xyz", 1) + "\n"},
        {"records of exactly the longest text line", widest + widest + widest, {"m.mod", "5", "2"},
         kExitOk, ""},
        {"a first line one character too long", std::string(kMaxRecordChars + 1, '1'),
         {"m.mod", "5", "2"}, kExitStop, too_long + " (m.mod, line 1); run stopped" + cut_short("m_all.xyz", 1) + "\n"},
        {"a line too long after two records", rec("1", "0", "0", "100", {"1", "0"}) +
                                                   rec("1", "10", "0", "100", {"1", "0"}) +
                                                   std::string(kMaxRecordChars + 10, ' ') + "\n",
         {"m.mod", "5", "2"}, kExitStop, too_long + " (m.mod, line 3); run stopped" + cut_short("m_all.xyz", 1) + "\n"},
        {"a device that never ends a line", "", {"z.mod", "5", "2"}, kExitStop,
         too_long + " (z.mod, line 1); run stopped" + cut_short("z_all.xyz", 1) + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear_folder();
        if (!c.model.empty()) write_file("m.mod", c.model);
        else fs::create_symlink("/dev/zero", "z.mod");
        const Outcome r = halvex(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
    }
}

// Grids nothing; during the first gridding call it runs halvex a second time in the same
// folder, both through run() and as a process of its own, while the first run holds
// the folder.
class SecondRunGridder final : public SectionGridder {
public:
    std::optional<std::string> grid_line(const GridCall&) override {
        if (nested.has_value()) return std::nullopt;
        nested = halvex({"m.mod", "5", "2"});
        process_status = run_process();
        return std::nullopt;
    }
    std::optional<Outcome> nested;
    int process_status = -1;

private:
    static int run_process() {
        const std::string exe = std::string(HALVEX_BINARY_DIR) + "/driver/halvex";
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, "second.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, "second.err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> words = {exe, "m.mod", "5", "2"};
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, exe.c_str(), &files, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&files);
        if (rc != 0) return -2;
        int wstatus = 0;
        if (waitpid(pid, &wstatus, 0) != pid || !WIFEXITED(wstatus)) return -3;
        return WEXITSTATUS(wstatus);
    }
};

TEST(DriverRun, OneRunPerFolder) {
    TempDir dir;
    write_file("m.mod", three_records("1"));
    const std::string busy =
        " another halvex run is working in " + fs::current_path().string() + "; run stopped\n";
    SecondRunGridder g;
    const Outcome first = halvex({"m.mod", "5", "2"}, "", &g);
    EXPECT_EQ(first.status, kExitOk);
    EXPECT_EQ(first.err, "");
    ASSERT_TRUE(g.nested.has_value());
    EXPECT_EQ(g.nested->status, kExitStop);
    EXPECT_EQ(g.nested->out, kBanner);
    EXPECT_EQ(g.nested->err, busy);
    EXPECT_EQ(g.process_status, kExitStop);
    EXPECT_EQ(read_file("second.out"), kBanner);
    EXPECT_EQ(read_file("second.err"), busy);
    // The first run's outputs are its own, and its lock file is gone.
    EXPECT_EQ(files_here(), (std::vector<std::string>{"line_1.crd", "line_1.xyz", "line_1_stations.csv", "m.mod",
                                                      "m_all.xyz", "second.err", "second.out", "tmpdat.tmp"}));
    EXPECT_EQ(read_file("line_1.xyz").size(), kHeader.size() + 3u * 110u);
    // The folder is free again once the run has ended.
    EXPECT_EQ(halvex({"m.mod", "5", "2"}).status, kExitOk);
}

TEST(DriverRun, OptionsAndOperandsAfterDoubleDash) {
    TempDir dir;
    write_file("--m.mod", three_records("1"));
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // empty: the banner and line report of a run
        std::string err;
    };
    const Case cases[] = {
        {{"--help"}, kExitOk, help_text(), ""},
        {{"--m.mod", "5", "2", "--help"}, kExitOk, help_text(), ""},
        {{"--version"}, kExitOk, "halvex 9.8.7\n", ""},
        {{"--bogus"}, kExitStop, "", " unknown option --bogus (a model file of that name goes after --; see halvex --help)\n"},
        {{"--m.mod", "5", "2"}, kExitStop, "", " unknown option --m.mod (a model file of that name goes after --; see halvex --help)\n"},
        {{"--", "--help"}, kExitStop, kBanner, " The specified data file does not exist (--help)\n"},
        {{"-5"}, kExitStop, kBanner, " The specified data file does not exist (-5)\n"},
        {{"--", "--m.mod", "5", "2"}, kExitOk, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const Outcome r = halvex(c.args, "", nullptr, "9.8.7");
        EXPECT_EQ(r.status, c.status);
        if (!c.out.empty()) {
            EXPECT_EQ(r.out, c.out);
        }
        EXPECT_EQ(r.err, c.err);
    }
    // Only the run after "--" wrote anything.
    EXPECT_EQ(files_here(), (std::vector<std::string>{"--m.mod", "--m_all.xyz", "line_1.crd",
                                                      "line_1.xyz", "line_1_stations.csv", "tmpdat.tmp"}));
    const std::string help = help_text();
    EXPECT_NE(help.find("1 to " + std::to_string(kMaxDepthCells)), std::string::npos);
    EXPECT_NE(help.find(std::to_string(kMaxRecordChars) + " characters"), std::string::npos);
}

}  // namespace
}  // namespace driver
