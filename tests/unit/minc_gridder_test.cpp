// The run's section gridder: four calls per line with the arguments of the driver's
// table, the status word carried from call to call, a one-line warning per failed call,
// and the exit status of a run in which a call failed.
#include "minc_gridder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "control_test_util.hpp"
#include "driver_test_util.hpp"
#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"
#include "run.hpp"

namespace driver {
namespace {

namespace fs = std::filesystem;

using TempDir = control_test::CwdTempDir;

/// A line point file: stations 0..200 by 25, elevations 100..65 by 5, eight reals per
/// point (station, elevation, east, north, con, log10 con, res, log10 res).
void write_points(const std::string& name) {
    std::vector<float> points;
    for (int k = 0; k < 9; ++k)
        for (int i = 0; i < 8; ++i) {
            const float con = 10.0f + float(k) + 2.0f * float(i);
            points.insert(points.end(), {25.0f * float(k), 100.0f - 5.0f * float(i), 0.0f, 0.0f, con,
                                         std::log10(con), 1000.0f / con, 3.0f - std::log10(con)});
        }
    driver_test::write_floats(name, points);
}

// The grid of those points: 9 x 8 nodes from (0, 65), no blanking.
GridCall line_call(const std::string& label, const std::string& datfile) {
    const SectionLayout layout{0.0f, 0.0f, 200.0f, 65.0f, 100.0f, 9, 8};
    return make_grid_call(label, datfile, layout, CellSizes{.xcell = 25.0f, .cell = 5.0f});
}

TEST(MincGridder, FourGridsPerLineWithTheirChannelsAndModes) {
    TempDir dir;
    write_points("tmpdat.tmp");
    std::ostringstream console;
    MincGridder g(console);
    EXPECT_EQ(g.grid_line(line_call("7", "tmpdat.tmp")), std::nullopt);
    EXPECT_EQ(console.str(), "");
    EXPECT_EQ(g.failed_calls(), 0);
    EXPECT_EQ(g.status_word(), 0);
    // Node (k + 1, 8 - i) holds point (k, i) of the file, back from ln for con and res.
    const float con = 10.0f + 4.0f + 2.0f * 3.0f;  // k = 4, i = 3: node (5, 5)
    const float want[4] = {con, std::log10(con), 1000.0f / con, 3.0f - std::log10(con)};
    for (std::size_t q = 0; q < 4; ++q) {
        SCOPED_TRACE(std::string(kQuantities[q].suffix));
        std::string name = "7";
        name += kQuantities[q].suffix;
        gridout::GridData grid;
        ASSERT_EQ(gridout::read_grid(gridout::disk(), name, grid), gridout::GridStatus::ok);
        EXPECT_EQ(grid.header.ne, 9);
        EXPECT_EQ(grid.header.nv, 8);
        EXPECT_EQ(grid.header.kx, 1);
        EXPECT_NEAR(grid.node(5, 5), want[q], 1e-5f * std::fabs(want[q]));
    }
}

TEST(MincGridder, PointsHeldInMemoryGridAsTheLinePointFile) {
    TempDir dir;
    write_points("tmpdat.tmp");
    const std::string bytes = driver_test::read_file("tmpdat.tmp");
    std::vector<float> points(bytes.size() / 4);
    std::memcpy(points.data(), bytes.data(), bytes.size());
    // A null value and a point outside the grid: dropped the same way by both routes.
    points.insert(points.end(), {50.0f, 80.0f, 0.0f, 0.0f, kNullValue, kNullValue, kNullValue, kNullValue});
    points.insert(points.end(), {900.0f, 80.0f, 0.0f, 0.0f, 5.0f, 0.7f, 200.0f, 2.3f});
    driver_test::write_floats("tmpdat.tmp", points);

    std::ostringstream console;
    MincGridder from_file(console), from_memory(console);
    ASSERT_EQ(from_file.grid_line(line_call("1", "tmpdat.tmp")), std::nullopt);
    GridCall call = line_call("2", "tmpdat.tmp");
    call.points = points;
    fs::remove("tmpdat.tmp");  // the memory route must not need the file
    ASSERT_EQ(from_memory.grid_line(call), std::nullopt);
    EXPECT_EQ(console.str(), "");
    for (const Quantity& q : kQuantities) {
        SCOPED_TRACE(std::string(q.suffix));
        std::string one = "1", two = "2";
        one += q.suffix;
        two += q.suffix;
        const std::string a = driver_test::read_file(one);
        ASSERT_FALSE(a.empty());
        EXPECT_EQ(a, driver_test::read_file(two));
    }
}

TEST(MincGridder, FailedCallsWarnAndTheStatusWordCarriesOn) {
    TempDir dir;
    std::ostringstream console;
    MincGridder g(console);
    EXPECT_EQ(g.grid_line(line_call("12", "tmpdat2.tmp")), std::nullopt);  // no such file
    EXPECT_EQ(g.failed_calls(), 4);
    EXPECT_EQ(g.status_word(), -1002);
    std::istringstream lines(console.str());
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        SCOPED_TRACE(line);
        EXPECT_NE(line.find("line 12"), std::string::npos);
        std::string name = "12";
        name += kQuantities[std::size_t(n)].suffix;
        EXPECT_NE(line.find(name), std::string::npos);
        EXPECT_NE(line.find("-1002"), std::string::npos);
        ++n;
    }
    EXPECT_EQ(n, 4);
    // The next line grids although the status word it passes in is -1002: a negative
    // word is no iteration limit, and the call resets the word to 0.
    write_points("tmpdat.tmp");
    console.str("");
    EXPECT_EQ(g.grid_line(line_call("13", "tmpdat.tmp")), std::nullopt);
    EXPECT_EQ(console.str(), "");
    EXPECT_EQ(g.status_word(), 0);
    EXPECT_EQ(g.failed_calls(), 4);
    EXPECT_TRUE(fs::exists("13_logres.grd"));
}

TEST(MincGridder, RunEndsNonZeroWhenACallFailed) {
    TempDir dir;
    // One line of three records; its conductivity grid cannot be written because a
    // folder has that name.
    std::ostringstream model;
    model << "/ test\n";
    for (int k = 0; k < 3; ++k) {
        model << "7 " << k << " " << 1000 + 25 * k << ".0 5000.0 102.5 0 0 0 0 16";
        for (int i = 0; i < 16; ++i) model << " " << 10 + k + i << ".0";
        model << "\n";
    }
    driver_test::write_file("m.mod", model.str());
    const auto convert = [](std::ostringstream& out, std::ostringstream& err) {
        std::istringstream in;
        Console console{out, in, err};
        const std::vector<std::string> args{"m.mod", "5", "16"};
        return run(args, console);
    };
    {
        std::ostringstream out, err;
        EXPECT_EQ(convert(out, err), kExitOk) << err.str();
        EXPECT_EQ(err.str(), "");
        EXPECT_TRUE(fs::exists("7_res.grd"));
    }
    fs::remove("7_con.grd");
    fs::create_directory("7_con.grd");
    driver_test::write_file("7_con.grd/keep", "x");
    {
        std::ostringstream out, err;
        EXPECT_EQ(convert(out, err), kExitGridFailed);
        // The warning goes to standard error alone; standard output keeps the reports.
        EXPECT_EQ(err.str().rfind(" warning: line 7: grid file 7_con.grd not written, gridding code -1034", 0), 0u)
            << err.str();
        EXPECT_EQ(out.str().find("warning"), std::string::npos);
        EXPECT_NE(out.str().find(" Processing line : 7\n"), std::string::npos);
        // The other three grids of the line are still written.
        EXPECT_TRUE(fs::exists("7_logcon.grd"));
        EXPECT_TRUE(fs::exists("7_logres.grd"));
    }
}

}  // namespace
}  // namespace driver
