// Runs with -j N through run() with a scripted console, each in a folder of its own:
// every output is the same bytes for every N; the tables, coordinate files, line point
// files and the console are those of the run without -j; the first line's grids are
// too (every line grids as the first of a run); "minc.log" is the last call's. Also
// the -j forms and limits, and the terminal progress shown only on a terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "control_test_util.hpp"
#include "driver_test_util.hpp"
#include "parallel_lines.hpp"
#include "run.hpp"

namespace driver {
namespace {

namespace fs = std::filesystem;
using driver_test::read_file;
using driver_test::write_file;

constexpr int kDepthCells = 6;  // cell 5

// A survey line of `stations` records 25 apart along east (westward when `west`), at
// rolling elevations; conductivities vary with station, depth and line. `zero` gives
// every cell conductivity 0: the line has no point and its four gridding calls fail.
std::string line_records(int line, int stations, bool west = false, bool zero = false) {
    std::string s;
    char buf[64];
    for (int k = 0; k < stations; ++k) {
        const int step = west ? stations - 1 - k : k;
        std::snprintf(buf, sizeof buf, "%d 0 %.1f %.1f %.2f 0 0 0 0 0", line, 1000.0 + 25.0 * step,
                      500.0 + 40.0 * line, 100.0 + 3.0 * std::sin(0.4 * k));
        s += buf;
        for (int i = 0; i < kDepthCells; ++i) {
            const double c = zero ? 0.0 : 20.0 + 15.0 * std::sin(0.3 * k + 0.9 * i + line) + 2.0 * i;
            std::snprintf(buf, sizeof buf, " %.3f", c);
            s += buf;
        }
        s += "\n";
    }
    return s;
}

struct Files {
    int status = -1;
    std::string out, err;
    std::map<std::string, std::string> bytes;  // every file of the folder but the model
};

// Runs halvex with `options` before "m.mod 5 6" in the folder `name` (made fresh) and
// collects what it left there.
Files run_in(const std::string& name, const std::string& model, std::vector<std::string> options,
             bool terminal = false) {
    const fs::path home = fs::current_path();
    fs::remove_all(name);
    fs::create_directory(name);
    fs::current_path(name);
    write_file("m.mod", model);
    std::vector<std::string> args = std::move(options);
    args.insert(args.end(), {"m.mod", "5", std::to_string(kDepthCells)});
    std::ostringstream out, err;
    std::istringstream in;
    Console console{out, in, err};
    console.err_is_terminal = terminal;
    Files f;
    f.status = run(args, console);
    f.out = out.str();
    f.err = err.str();
    for (const auto& e : fs::directory_iterator(fs::current_path())) {
        const std::string file = e.path().filename().string();
        if (file != "m.mod") f.bytes[file] = read_file(file);
    }
    fs::current_path(home);
    return f;
}

std::vector<std::string> names_of(const Files& f) {
    std::vector<std::string> v;
    for (const auto& [name, bytes] : f.bytes) v.push_back(name);
    return v;
}

bool is_grid(const std::string& name) { return name.size() > 4 && name.substr(name.size() - 4) == ".grd"; }

TEST(ParallelLines, SameBytesForEveryThreadCountAndTheSequentialTablesAndConsole) {
    control_test::CwdTempDir dir;
    struct Case {
        const char* what;
        std::string model;
        int status;
        std::string first_line;  // whose grids match the run without -j
        bool same_log;           // the last call does not relax: its log is the sequential one
    };
    const Case cases[] = {
        {"one line", line_records(1, 12), kExitOk, "1", true},
        {"two lines, one westward", line_records(1, 12) + line_records(2, 9, true), kExitOk, "1", false},
        {"five lines, a short one dropped, one without points, a record skipped",
         line_records(3, 10) + line_records(4, 2) + line_records(5, 11, true) +
             line_records(6, 4, false, true) + line_records(7, 7) + "7 0 1\n" + line_records(7, 8) +
             line_records(8, 13, true),
         kExitIncomplete, "3", false},
        {"the last line has no points", line_records(1, 9) + line_records(2, 5, true, true),
         kExitIncomplete, "1", true},
        {"a stop after two lines",
         line_records(1, 8) + line_records(2, 10, true) + "3 0 x y\n" + line_records(3, 8), kExitStop,
         "1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Files seq = run_in("seq", c.model, {});
        const Files j1 = run_in("j1", c.model, {"-j", "1"});
        ASSERT_EQ(seq.status, c.status) << seq.err;
        for (const char* jobs : {"2", "3"}) {
            SCOPED_TRACE(std::string("-j ") + jobs);
            const Files jn = run_in(std::string("j") + jobs, c.model, {"--jobs", jobs});
            EXPECT_EQ(jn.status, j1.status);
            EXPECT_EQ(jn.out, j1.out);
            EXPECT_EQ(jn.err, j1.err);
            ASSERT_EQ(names_of(jn), names_of(j1));
            for (const auto& [name, bytes] : j1.bytes) EXPECT_TRUE(jn.bytes.at(name) == bytes) << name;
        }
        // Against the run that carries the relaxation state from line to line.
        EXPECT_EQ(j1.status, seq.status);
        EXPECT_EQ(j1.out, seq.out);
        EXPECT_EQ(j1.err, seq.err);
        ASSERT_EQ(names_of(j1), names_of(seq));
        int grids = 0;
        for (const auto& [name, bytes] : seq.bytes) {
            if (is_grid(name)) ++grids;
            const bool carried = (is_grid(name) && name.rfind(c.first_line + "_", 0) != 0) ||
                                 (name == "minc.log" && !c.same_log);
            if (!carried) {
                EXPECT_TRUE(j1.bytes.at(name) == bytes) << name;
            }
        }
        EXPECT_GE(grids, 4);
        ASSERT_EQ(j1.bytes.count("minc.log"), 1u);
        EXPECT_EQ(j1.bytes.at("minc.log").substr(0, 30), seq.bytes.at("minc.log").substr(0, 30));
    }
}

TEST(ParallelLines, ALabelThatComesBackKeepsTheLaterLinesGrids) {
    control_test::CwdTempDir dir;
    // Line 1 long and slow to grid, line 77, then line 1 again, short: on two or three
    // threads the second line 1 would be done first if nothing held it back.
    const std::string model = line_records(1, 160) + line_records(77, 5) + line_records(1, 6, true);
    const Files alone = run_in("alone", line_records(1, 6, true), {"-j", "1"});
    const Files j1 = run_in("j1", model, {"-j", "1"});
    ASSERT_EQ(j1.status, kExitOk) << j1.err;
    EXPECT_TRUE(j1.bytes.at("1_res.grd") == alone.bytes.at("1_res.grd"));
    for (int round = 0; round < 12; ++round) {
        const Files jn = run_in("jn", model, {"-j", round % 2 == 0 ? "2" : "3"});
        EXPECT_TRUE(jn.bytes == j1.bytes && jn.out == j1.out) << "round " << round;
    }
}

TEST(ParallelLines, EveryLineGridsAsTheFirstLineOfARun) {
    control_test::CwdTempDir dir;
    const std::string lines[] = {line_records(1, 30), line_records(2, 26, true), line_records(3, 34)};
    const Files together = run_in("together", lines[0] + lines[1] + lines[2], {"-j", "2"});
    ASSERT_EQ(together.status, kExitOk) << together.err;
    int differ = 0;
    const Files seq = run_in("seq", lines[0] + lines[1] + lines[2], {});
    for (int k = 0; k < 3; ++k) {
        const std::string label = std::to_string(k + 1);
        SCOPED_TRACE("line " + label);
        const Files alone = run_in("alone", lines[k], {});
        for (const auto& [name, bytes] : alone.bytes) {
            if (!is_grid(name)) continue;
            EXPECT_TRUE(together.bytes.at(name) == bytes) << name;
            differ += seq.bytes.at(name) != bytes ? 1 : 0;
        }
    }
    // The lines are chosen so that the state carried from line to line changes a grid:
    // without that, this test could not tell a fresh state from a carried one.
    EXPECT_GT(differ, 0);
}

TEST(ParallelLines, WarningsOfFailedCallsInLineOrderAmongTheOtherMessages) {
    control_test::CwdTempDir dir;
    // Lines 2 and 4 have no points; line 3 is dropped; the stop comes in line 6, after
    // line 5 is complete.
    const std::string model = line_records(1, 9) + line_records(2, 4, false, true) + line_records(3, 2) +
                              line_records(4, 3, true, true) + line_records(5, 6) + line_records(6, 3) +
                              "7 0 bad\n";
    const Files f = run_in("j2", model, {"-j2"});
    EXPECT_EQ(f.status, kExitStop);
    const std::string failed = ": grid file ";
    const std::vector<std::string> order = {
        " warning: line 2: grid file 2_con.grd not written",
        " warning: line 2: grid file 2_logres.grd not written",
        " warning: survey line 3 has only 2 records",
        " warning: line 4: grid file 4_con.grd not written",
        " warning: line 4: grid file 4_logres.grd not written",
        "  error reading the input xyz data file (m.mod, line ",
    };
    std::size_t at = 0;
    for (const std::string& want : order) {
        SCOPED_TRACE(want);
        const std::size_t found = f.err.find(want, at);
        ASSERT_NE(found, std::string::npos) << f.err;
        at = found + want.size();
    }
    EXPECT_EQ(f.err.find("line 1" + failed), std::string::npos);
    EXPECT_EQ(f.err.find("line 5" + failed), std::string::npos);
    EXPECT_EQ(f.bytes.count("5_logres.grd"), 1u);
    EXPECT_EQ(f.bytes.count("line_6.xyz"), 0u);
}

TEST(ParallelLines, ThreadCountFormsAndLimits) {
    struct Case {
        std::vector<std::string> args;
        int jobs;
        std::string problem;  // empty: accepted
        std::vector<std::string> operands;
    };
    const std::string range = " takes a number of gridding threads from 1 to " + std::to_string(kMaxJobs);
    const Case cases[] = {
        {{"-j", "4", "m.mod"}, 4, "", {"m.mod"}},
        {{"m.mod", "-j4"}, 4, "", {"m.mod"}},
        {{"--jobs", "256", "m.mod", "5"}, 256, "", {"m.mod", "5"}},
        {{"--jobs=1", "m.mod"}, 1, "", {"m.mod"}},
        {{"-j", "2", "-j", "3", "m.mod"}, 3, "", {"m.mod"}},
        {{"--", "-j", "2"}, 0, "", {"-j", "2"}},
        {{"-j", "0", "m.mod"}, 0, " -j" + range + ", not '0'", {"m.mod"}},
        {{"-j257", "m.mod"}, 0, " -j" + range + ", not '257'", {"m.mod"}},
        {{"--jobs=-2", "m.mod"}, 0, " --jobs" + range + ", not '-2'", {"m.mod"}},
        {{"-j", "two", "m.mod"}, 0, " -j" + range + ", not 'two'", {"m.mod"}},
        {{"--jobs=2x"}, 0, " --jobs" + range + ", not '2x'", {}},
        {{"--jobs=99999999999"}, 0, " --jobs" + range + ", not '99999999999'", {}},
        {{"m.mod", "-j"}, 0, " -j" + range, {"m.mod"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const CommandLine cl = parse_command_line(c.args);
        EXPECT_EQ(cl.jobs, c.jobs);
        EXPECT_EQ(cl.bad_jobs, c.problem);
        EXPECT_EQ(cl.operands, c.operands);
    }
    // A bad count stops the run before anything is written.
    control_test::CwdTempDir dir;
    const Files f = run_in("bad", line_records(1, 5), {"-j", "0"});
    EXPECT_EQ(f.status, kExitStop);
    EXPECT_EQ(f.out, "");
    EXPECT_EQ(f.err, " -j" + range + ", not '0'\n");
    EXPECT_TRUE(f.bytes.empty());
    EXPECT_NE(help_text().find("-j N, --jobs N"), std::string::npos);
}

// Standard error with the status lines and the summary taken out.
std::string without_progress(const std::string& err) {
    static const std::regex status("\r\033\\[K(halvex: gridding line [^\r\n]*)?");
    static const std::regex summary(
        "halvex: [0-9]+ lines?, [0-9]+ points, [0-9]+ grids, [0-9]+ failed calls?, [0-9]+\\.[0-9] s\n$");
    return std::regex_replace(std::regex_replace(err, status, ""), summary, "");
}

TEST(ParallelLines, ProgressOnlyOnATerminal) {
    control_test::CwdTempDir dir;
    const std::string model = line_records(1, 9) + line_records(2, 4, false, true) + line_records(3, 6);
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"-j", "2"}}) {
        SCOPED_TRACE(options.empty() ? "sequential" : "-j 2");
        const Files plain = run_in("plain", model, options);
        const Files shown = run_in("shown", model, options, /*terminal=*/true);
        EXPECT_EQ(plain.err.find("halvex:"), std::string::npos);
        EXPECT_EQ(shown.out, plain.out);
        EXPECT_EQ(shown.status, plain.status);
        EXPECT_EQ(without_progress(shown.err), plain.err);
        ASSERT_EQ(names_of(shown), names_of(plain));
        for (const auto& [name, bytes] : plain.bytes) EXPECT_TRUE(shown.bytes.at(name) == bytes) << name;
        for (const char* label : {"1", "2", "3"})
            EXPECT_NE(shown.err.find(std::string("halvex: gridding line ") + label + ", "), std::string::npos)
                << label;
        // The last line is handed over with the whole model file read.
        EXPECT_NE(shown.err.find("halvex: gridding line 3, 100 % of the model file, "), std::string::npos);
        const std::regex summary(
            "\r\033\\[Khalvex: 3 lines, [0-9]+ points, 8 grids, 4 failed calls, [0-9]+\\.[0-9] s\n$");
        EXPECT_TRUE(std::regex_search(shown.err, summary)) << shown.err;
        // Every status line is taken off before other text: none is followed by text
        // that does not start by rewriting the line.
        const std::regex stale("halvex: gridding line [^\r\n]*[^\r]( warning|\n)");
        EXPECT_FALSE(std::regex_search(shown.err, stale)) << shown.err;
    }
    // The points counted are those of the tables: lines 1 and 3, six cells a record.
    const Files shown = run_in("count", model, {}, true);
    EXPECT_NE(shown.err.find("halvex: 3 lines, " + std::to_string((9 + 6) * kDepthCells) + " points"),
              std::string::npos)
        << shown.err;
}

}  // namespace
}  // namespace driver
