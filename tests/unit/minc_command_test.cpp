// The minc command's library half: arguments to options and request, and whole runs
// with their streams in memory, in a fresh current directory. The program's own
// behaviour (exit codes, files) is pinned by the minc golden runs.
#include "minc_command.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "control_test_util.hpp"

namespace minc_cli {
namespace {

struct RunOutcome { Exit exit; std::string out, err; };

Parsed parse(const std::vector<std::string>& args) { return parse_args(args); }

RunOutcome run_with(const std::vector<std::string>& args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    const Exit e = run(args, Streams{in, out, err});
    return RunOutcome{e, out.str(), err.str()};
}

TEST(MincCommand, ArgumentsBecomeARequest) {
    struct Case {
        std::vector<std::string> args;
        float x0, y0, dx, dy;
        int nx, ny, iopt, maxchan, ichan;
    };
    const Case cases[] = {
        // Both edges of the region are nodes: 6.5 / 0.5 + 1 = 14 columns.
        {{"-R0/6.5/1/3", "-I0.5", "in.xyz"}, 0.0f, 1.0f, 0.5f, 0.5f, 14, 5, 1, 1, 1},
        {{"--origin=2,3", "--size", "7,4", "--spacing=1,2", "--reverse-rows", "in.xyz"}, 2.0f, 3.0f, 1.0f,
         2.0f, 7, 4, 2, 1, 1},
        {{"--binary", "4", "--channel=3", "-R", "0,10,0,5", "-I", "2.5", "--", "-data"}, 0.0f, 0.0f, 2.5f,
         2.5f, 5, 3, 1, 4, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const Parsed p = parse_args(c.args);
        ASSERT_EQ(std::tuple(p.error, p.action), std::tuple("", Parsed::Action::grid));
        std::string error;
        const std::optional<minc::GridRequest> r = request_of(p.options, error);
        ASSERT_TRUE(r) << error;
        EXPECT_EQ(std::tuple(r->x0, r->y0, r->dx, r->dy, r->nx, r->ny, r->iopt, r->maxchan, r->ichan),
                  std::tuple(c.x0, c.y0, c.dx, c.dy, c.nx, c.ny, c.iopt, c.maxchan, c.ichan));
        EXPECT_EQ(std::tuple(r->outfile, r->datfile), std::tuple("grid.grd", c.maxchan > 1 ? "-data" : ""));
    }    // --help and --version end the parse where they stand; a bad option before them does not.
    EXPECT_EQ(parse({"--help", "-Z"}).action, Parsed::Action::help);
    EXPECT_EQ(parse({"x", "--version", "y", "z"}).action, Parsed::Action::version);
    EXPECT_EQ(parse({"-Z", "--help"}).error, "unknown option -Z");
}

TEST(MincCommand, RunsReportOnTheirStreams) {
    control_test::CwdTempDir dir;
    const std::string plane = "# x y z\n0 0 1\n4 0 5\n0 4 -3\n4 4 1\n2 2 1\n";
    const auto usage = [](const std::string& e) { return "minc: " + e + "\n(minc --help shows the options)\n"; };
    struct Case { std::vector<std::string> args; std::string input; Exit exit; std::string out, err; };
    const Case cases[] = {
        {{"-I1", "in.xyz"}, "", Exit::bad_input, "", usage("give --region, or --origin and --size")},
        {{"-R0/1/0/1", "in.xyz"}, "", Exit::bad_input, "", usage("--spacing is required")},
        {{"-R0/1/0/1", "-I1", "a", "b"}, "", Exit::bad_input, "", usage("more than one input file: a, b")},
        {{"-R0/1/0/1", "-I1", "--mode", "4", "in"}, "", Exit::bad_input, "", usage("--mode is 1, 2 or 3")},
        {{"-R0/1/0/1", "-I1", "--channel", "2", "in"}, "", Exit::bad_input, "",
         usage("--channel applies to --binary input only (text input has one z column)")},
        {{"-R1/0/0/1", "-I1", "in"}, "", Exit::bad_input, "", usage("--region needs XMIN < XMAX and YMIN < YMAX")},
        {{"-R0/4/0/4", "-I1", "-"}, plane, Exit::ok, "minc: wrote grid.grd: 5 x 5 nodes, z from -3 to 5\n", ""},
        // A skipped line: the grid is written, the warning and the count.
        {{"-q", "-R0/4/0/4", "-I1", "-o", "s.grd", "-"}, plane + "1 1 nan\n", Exit::lines_skipped, "",
         "minc: warning: line 7: z 'nan' is not a finite 32-bit real; the line is skipped\n"
         "minc: 1 data line was skipped\n"},
        {{"--origin=0,0", "--size=1000,5", "-I1", "-o", "f.grd", "-"}, plane, Exit::gridding_failed, "",
         std::string("minc: gridding failed with code -999: ") + minc::describe(minc::Status::overlap_too_small) + "\n"},
        {{"-R0/4/0/4", "-I1", "missing.xyz"}, "", Exit::bad_input, "", "minc: cannot read missing.xyz\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        const RunOutcome o = run_with(c.args, c.input);
        EXPECT_EQ(std::tuple(o.exit, o.out, o.err), std::tuple(c.exit, c.out, c.err));
    }
}

}  // namespace
}  // namespace minc_cli
