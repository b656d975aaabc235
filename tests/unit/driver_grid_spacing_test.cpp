// --dx through run(), each run in a folder of its own: its forms and limits, and runs on
// parts of a survey (model files of their own, or --lines) that write the files of one
// whole -j run, the combined table assembled from the parts' tables byte for byte; without --dx a line's grids follow the
// station steps of the lines before it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "control_test_util.hpp"
#include "driver_test_util.hpp"
#include "run.hpp"

namespace driver {
namespace {

namespace fs = std::filesystem;
using driver_test::read_file;
using driver_test::write_file;

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

struct Outcome {
    int status = -1;
    std::string err;
    std::map<std::string, std::string> bytes;  // every file of the folder but the model
};

// halvex `options` <model> 5 6 in the fresh folder `name`.
Outcome run_in(const std::string& name, const std::string& model_name, const std::string& model,
           std::vector<std::string> options) {
    const fs::path home = fs::current_path();
    fs::remove_all(name);
    fs::create_directory(name);
    fs::current_path(name);
    write_file(model_name, model);
    options.insert(options.end(), {model_name, "5", "6"});
    std::ostringstream out, err;
    std::istringstream in;
    Console console{out, in, err};
    Outcome r;
    r.status = run(options, console);
    r.err = err.str();
    for (const auto& e : fs::directory_iterator(fs::current_path()))
        if (e.path().filename() != model_name) r.bytes[e.path().filename().string()] = read_file(e.path().string());
    fs::current_path(home);
    return r;
}

// The table without its first line.
std::string body(const std::string& table) { return table.substr(table.find("\r\n") + 2); }

TEST(GridSpacing, FormsAndLimits) {
    struct Case {
        std::vector<std::string> args;
        float dx;
        std::string problem;  // empty: accepted
    };
    const std::string want = " --dx takes the horizontal grid spacing, a number above 0";
    const Case cases[] = {
        {{"--dx", "12.5", "m.mod"}, 12.5f, ""},
        {{"m.mod", "--dx=20"}, 20.0f, ""},
        {{"--dx", "1e1", "--dx", "3", "m.mod"}, 3.0f, ""},
        {{"--dx", "0", "m.mod"}, 0.0f, want + ", not '0'"},
        {{"--dx=-4", "m.mod"}, 0.0f, want + ", not '-4'"},
        {{"--dx", "ten", "m.mod"}, 0.0f, want + ", not 'ten'"},
        {{"--dx", "5 5", "m.mod"}, 0.0f, want + ", not '5 5'"},
        {{"--dx=1e39"}, 0.0f, want + ", not '1e39'"},
        {{"m.mod", "--dx"}, 0.0f, want},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const CommandLine cl = parse_command_line(c.args);
        EXPECT_EQ(cl.dx, c.dx);
        EXPECT_EQ(cl.bad_dx, c.problem);
    }
    control_test::CwdTempDir dir;
    const Outcome r = run_in("bad", "m.mod", line_records(1, 5, 25.0), {"--dx", "0"});
    EXPECT_EQ(r.status, kExitStop);
    EXPECT_EQ(r.err, want + ", not '0'\n");
    EXPECT_TRUE(r.bytes.empty());
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
