// The gridding entry as a whole: each test runs calls in a fresh temporary directory
// and looks at what a user sees there: the status, the grid file, "minc.log" and the
// absence of scratch files.
#include "minc/minc.hpp"
#include "minc/minc.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "control_test_util.hpp"
#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"

namespace minc {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using control_test::CwdTempDir;

const char* const kScratchNames[] = {"~mincgr.tmp", "~mincms.tmp", "~mincir.tmp",
                                     "~mincsb.tmp", "~minctm.tmp", "~mincrt.tmp"};

struct Point {
    float x, y;
    std::vector<float> ch;
};

void write_data(const std::string& name, const std::vector<Point>& pts) {
    std::ofstream f(name, std::ios::binary);
    for (const Point& p : pts) {
        f.write(reinterpret_cast<const char*>(&p.x), 4);
        f.write(reinterpret_cast<const char*>(&p.y), 4);
        f.write(reinterpret_cast<const char*>(p.ch.data()), std::streamsize(4 * p.ch.size()));
    }
}

std::string read_file(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> log_lines(const std::string& name = "minc.log") {
    const std::string all = read_file(name);
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < all.size()) {
        const std::size_t end = all.find("\r\n", at);
        if (end == std::string::npos) break;
        out.push_back(all.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

bool has_label(const std::vector<std::string>& lines, const std::string& label) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(label, 0) == 0; });
}

/// The value field of a parameter line (offsets 16..27, blanks removed).
std::string value_of(const std::vector<std::string>& lines, const std::string& label) {
    for (const std::string& l : lines)
        if (l.rfind(label, 0) == 0 && l.size() >= 28) {
            std::string v = l.substr(16, 12);
            v.erase(std::remove(v.begin(), v.end(), ' '), v.end());
            return v;
        }
    return "<missing>";
}

gridout::GridData read_grid_file(const std::string& name) {
    gridout::GridData g;
    EXPECT_EQ(gridout::read_grid(gridout::disk(), name, g), gridout::GridStatus::ok) << name;
    return g;
}

/// A plane sampled on a scattered pattern inside [0, w] x [0, h], one channel.
std::vector<Point> plane_points(float w, float h, int n, float a, float b, float c) {
    std::vector<Point> pts;
    std::uint32_t s = 12345u;
    auto rnd = [&]() {
        s = s * 1664525u + 1013904223u;
        return static_cast<float>(s >> 8) / 16777216.0f;
    };
    for (int k = 0; k < n; ++k) {
        const float x = w * rnd(), y = h * rnd();
        pts.push_back(Point{x, y, {a * x + b * y + c}});
    }
    return pts;
}

GridRequest request(const std::string& out, float x0, float y0, float d, int nx, int ny) {
    GridRequest r;
    r.outfile = out;
    r.datfile = "data.bin";
    r.x0 = x0;
    r.y0 = y0;
    r.dx = d;
    r.dy = d;
    r.nx = nx;
    r.ny = ny;
    r.ichan = 1;
    r.maxchan = 1;
    return r;
}

/// MINC through the exported C entry, with its texts as given (padded or NUL-ended).
/// IERR goes in as 0 (the default iteration limit); returns IERR.
int call_minc(std::string out, float x0, float y0, float dx, float dy, int nx, int ny, float radius,
              std::string dat, int ichan, float dummy, int maxchan, int mode, int iopt, float& gmin,
              float& gmax, float angle) {
    int ierr = 0;
    MINC(out.data(), int(out.size()), &x0, &y0, &dx, &dy, &nx, &ny, &radius, dat.data(),
         int(dat.size()), &ichan, &dummy, &maxchan, &mode, &iopt, &gmin, &gmax, &angle, &ierr);
    return ierr;
}

/// One call with a fresh relaxation state, as the first call of a process makes it.
GridResult grid_fresh(const GridRequest& r, Stores kind = Stores::memory) {
    RelaxState st;
    return grid(r, st, kind);
}

int dummy_count(const gridout::GridData& g) {
    return int(std::count(g.values.begin(), g.values.end(), gridout::kGridDummy));
}

TEST(MincEntry, RadiusZeroNegativeOrTooLargeMeansNoBlanking) {
    CwdTempDir dir;
    // Data only in the left third: a blanking radius would blank the right part.
    write_data("data.bin", plane_points(10.0f, 20.0f, 40, 1.0f, 0.5f, 3.0f));
    for (float radius : {0.0f, -5.0f, 31.0f /* > NX*DX = 30 */}) {
        SCOPED_TRACE("radius " + std::to_string(radius));
        GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, 30, 30);
        r.radius = radius;
        const GridResult res = grid_fresh(r);
        ASSERT_TRUE(res.ok()) << res.code();
        const auto lines = log_lines();
        EXPECT_EQ(value_of(lines, " half window "), "0.");
        EXPECT_FALSE(has_label(lines, " total columns "));
        EXPECT_FALSE(has_label(lines, " total rows "));
        EXPECT_EQ(dummy_count(read_grid_file("g.grd")), 0);
    }
    {
        SCOPED_TRACE("radius 3: blanking, far nodes are dummies");
        GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, 30, 30);
        r.radius = 3.0f;
        ASSERT_TRUE(grid_fresh(r).ok());
        const auto lines = log_lines();
        EXPECT_EQ(value_of(lines, " half window "), "3.");
        EXPECT_EQ(value_of(lines, " total columns "), "36.");
        EXPECT_EQ(value_of(lines, " total rows "), "36.");
        const gridout::GridData g = read_grid_file("g.grd");
        EXPECT_EQ(g.node(30, 15), gridout::kGridDummy);  // 20 cells from the nearest datum
        EXPECT_NE(g.node(5, 10), gridout::kGridDummy);   // among the data
    }
}

TEST(MincEntry, AnglesThatGridUnrotated) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(40.0f, 30.0f, 60, 2.0f, -1.0f, 10.0f));
    GridRequest r = request("ref.grd", 0.0f, 0.0f, 1.0f, 41, 31);
    ASSERT_TRUE(grid_fresh(r).ok());
    const std::string ref = read_file("ref.grd");
    for (float angle : {90.0f, 180.0f, -270.0f, 1.5f}) {
        SCOPED_TRACE("angle " + std::to_string(angle));
        GridRequest q = r;
        q.outfile = "turned.grd";
        q.angle = angle;
        ASSERT_TRUE(grid_fresh(q).ok());
        EXPECT_EQ(read_file("turned.grd"), ref);
    }
}

TEST(MincEntry, RotatedCalls) {
    CwdTempDir dir;
    // A plane: minimum curvature reproduces it in any frame.
    write_data("data.bin", plane_points(40.0f, 30.0f, 200, 2.0f, -1.0f, 10.0f));
    GridRequest r = request("r30.grd", 0.0f, 0.0f, 1.0f, 41, 31);
    r.angle = 30.0f;
    RelaxState st;
    const GridResult res = grid(r, st, Stores::disk);
    ASSERT_TRUE(res.ok()) << res.code();
    for (const char* n : kScratchNames) EXPECT_FALSE(fs::exists(n)) << n;
    const gridout::GridData g = read_grid_file("r30.grd");
    EXPECT_EQ(g.header.ne, 41);
    EXPECT_EQ(g.header.nv, 31);
    EXPECT_EQ(g.header.x0, 0.0);
    EXPECT_EQ(g.header.y0, 0.0);
    // Interior nodes lie on the plane 2x - y + 10 (range -20 .. 90) up to the
    // relaxation's convergence (about 0.15 here) and the bilinear resampling of a plane,
    // which is exact. A wrong turn or origin would be off by several units.
    for (int j = 5; j <= 26; j += 3)
        for (int i = 5; i <= 36; i += 3) {
            const float x = float(i - 1), y = float(j - 1);
            EXPECT_NEAR(g.node(i, j), 2.0f * x - y + 10.0f, 0.5f) << "node " << i << "," << j;
        }
    // The unrotated grid of the same plane differs in its bits (another frame).
    GridRequest u = r;
    u.outfile = "r0.grd";
    u.angle = 0.0f;
    ASSERT_TRUE(grid(u, st).ok());
    EXPECT_NE(read_file("r0.grd"), read_file("r30.grd"));
    {
        SCOPED_TRACE("60 degrees is gridded as -30");
        GridRequest a = r, b = r;
        a.outfile = "a60.grd";
        a.angle = 60.0f;
        b.outfile = "m30.grd";
        b.angle = -30.0f;
        RelaxState sa, sb;
        ASSERT_TRUE(grid(a, sa).ok());
        ASSERT_TRUE(grid(b, sb).ok());
        EXPECT_EQ(read_file("a60.grd"), read_file("m30.grd"));
        EXPECT_NE(read_file("a60.grd"), read_file("r30.grd"));
    }
    {
        SCOPED_TRACE("a rotated call needs a NUL in DATFILE and a non-empty range");
        float gmin = 0.0f, gmax = 0.0f;
        int ierr = 0;
        ierr = call_minc("x.grd\0"s, 0.0f, 0.0f, 1.0f, 1.0f, 41, 31, 0.0f, "data.bin    "s, 1, -99999.0f,
                  1, 1, 1, gmin, gmax, 30.0f);
        EXPECT_EQ(ierr, -1000);
        ierr = 0;
        ierr = call_minc("x.grd\0"s, 0.0f, 0.0f, 1.0f, 1.0f, 41, 31, 0.0f, "data.bin    "s, 1, -99999.0f,
                  1, 1, 1, gmin, gmax, 0.0f);
        EXPECT_EQ(ierr, 0) << "the same name grids unrotated";
        write_data("one.bin", {Point{3.0f, 4.0f, {1.0f}}});
        ierr = 0;
        ierr = call_minc("y.grd\0"s, 0.0f, 0.0f, 1.0f, 1.0f, 41, 31, 0.0f, "one.bin\0"s, 1, -99999.0f, 1,
                  1, 1, gmin, gmax, 30.0f);
        EXPECT_EQ(ierr, -1000);  // one point: a degenerate range
        EXPECT_FALSE(fs::exists("y.grd"));
    }
}

/// The sweep counts of the block result lines (offsets 37..40).
std::vector<int> sweep_counts() {
    std::vector<int> out;
    for (const std::string& l : log_lines())
        if (l.size() == 41)  // result lines are 43 bytes with CR LF; no other line is
            out.push_back(std::stoi(l.substr(37, 3)));
    return out;
}

TEST(MincEntry, IterationLimitFromIerr) {
    CwdTempDir dir;
    // A few points far apart on a large grid: the relaxation needs many sweeps.
    write_data("data.bin", {Point{5.0f, 5.0f, {0.0f}}, Point{150.0f, 20.0f, {100.0f}},
                            Point{40.0f, 90.0f, {-50.0f}}, Point{120.0f, 100.0f, {30.0f}}});
    GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, 160, 110);
    int most31 = 0, most32 = 0;
    for (int ierr : {31, 32}) {
        r.iterations = ierr;
        ASSERT_TRUE(grid_fresh(r).ok());
        const std::vector<int> sweeps = sweep_counts();
        ASSERT_FALSE(sweeps.empty());
        (ierr == 31 ? most31 : most32) = *std::max_element(sweeps.begin(), sweeps.end());
    }
    EXPECT_EQ(most32, 32);  // the limit is reached
    EXPECT_GT(most31, 32);  // 31 is below 32: the default 512 applies
}

TEST(MincEntry, OverlapRulesInTheLog) {
    CwdTempDir dir;
    {
        SCOPED_TRACE("one block, overlap 1");
        write_data("data.bin", plane_points(6.0f, 4.0f, 10, 1.0f, 1.0f, 0.0f));
        ASSERT_TRUE(grid_fresh(request("g.grd", 0.0f, 0.0f, 1.0f, 7, 5)).ok());
        const auto lines = log_lines();
        EXPECT_EQ(value_of(lines, " number tiers "), "1.");
        EXPECT_EQ(value_of(lines, " sections/tier "), "1.");
        EXPECT_EQ(value_of(lines, " columns/block "), "11.");
        // NRP 9 is below the overlap 10: RH = 10 + ceil(-1) = 10 (the ceiling is
        // trunc(q + 0.9999), and trunc(-0.0001) is 0).
        EXPECT_EQ(value_of(lines, " rows/block "), "10.");
    }
    {
        SCOPED_TRACE("several blocks and NY 8: overlap 5");
        write_data("data.bin", plane_points(999.0f, 7.0f, 400, 0.01f, 1.0f, 0.0f));
        const GridResult res = grid_fresh(request("g.grd", 0.0f, 0.0f, 1.0f, 1000, 8));
        ASSERT_TRUE(res.ok()) << res.code();
        const auto lines = log_lines();
        EXPECT_EQ(value_of(lines, " sections/tier "), "5.");
        EXPECT_EQ(value_of(lines, " columns/block "), "205.");
        EXPECT_EQ(value_of(lines, " rows/block "), "12.");
        const gridout::GridData g = read_grid_file("g.grd");
        EXPECT_EQ(g.header.ne, 1000);
        EXPECT_EQ(g.header.nv, 8);
    }
    {
        SCOPED_TRACE("several blocks and NY 5: -999, log ends after the half window");
        fs::remove("g.grd");
        const GridResult res = grid_fresh(request("g.grd", 0.0f, 0.0f, 1.0f, 1000, 5));
        EXPECT_EQ(res.code(), -999);
        EXPECT_FALSE(fs::exists("g.grd"));
        const auto lines = log_lines();
        EXPECT_EQ(lines.size(), 12u);
        EXPECT_FALSE(has_label(lines, " number tiers "));
    }
}

TEST(MincEntry, HalfWindowReduction) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(999.0f, 290.0f, 300, 0.01f, 0.1f, 0.0f));
    // Radius 250 cells on a grid 1000 columns wide: (503)(1500) > 256000, reduced to 104.
    GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, 1000, 30);
    r.dy = 10.0f;
    r.radius = 250.0f;
    RelaxState st;
    ASSERT_TRUE(grid(r, st).ok());
    const auto lines = log_lines();
    EXPECT_EQ(value_of(lines, " half window "), "104.");
    EXPECT_EQ(value_of(lines, " radius used "), "104.000");
    EXPECT_EQ(value_of(lines, " total columns "), "1208.");
    EXPECT_EQ(value_of(lines, " total rows "), "238.");
    // The radius-used line follows the half window line directly.
    const auto hw = std::find_if(lines.begin(), lines.end(),
                                 [](const std::string& l) { return l.rfind(" half window ", 0) == 0; });
    ASSERT_NE(hw, lines.end());
    ASSERT_NE(hw + 1, lines.end());
    EXPECT_EQ((hw + 1)->rfind(" radius used ", 0), 0u);
    {
        SCOPED_TRACE("no reduction: no radius used line");
        r.radius = 20.0f;
        ASSERT_TRUE(grid(r, st).ok());
        EXPECT_FALSE(has_label(log_lines(), " radius used "));
    }
}

TEST(MincEntry, NamesAndMissingFiles) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(10.0f, 10.0f, 20, 1.0f, 1.0f, 0.0f));
    float gmin = 0.0f, gmax = 0.0f;
    RelaxState st;
    auto call = [&](const std::string& out, const std::string& dat) {
        int ierr = 0;
        ierr = call_minc(out, 0.0f, 0.0f, 1.0f, 1.0f, 11, 11, 0.0f, dat, 1, -99999.0f, 1, 1, 1, gmin,
                  gmax, 0.0f);
        return ierr;
    };
    {
        SCOPED_TRACE("OUTFILE all blanks gives outfile.grd");
        EXPECT_EQ(call(std::string(80, ' '), "data.bin\0"s), 0);
        EXPECT_TRUE(fs::exists("outfile.grd"));
    }
    {
        SCOPED_TRACE("a 1-character name before a NUL is kept");
        EXPECT_EQ(call("a\0     "s, "data.bin\0"s), 0);
        EXPECT_TRUE(fs::exists("a"));
        EXPECT_EQ(call("b       "s, "data.bin"s), 0);  // without NUL: too short
        EXPECT_FALSE(fs::exists("b"));
    }
    {
        SCOPED_TRACE("DATFILE naming a missing file: -1002 and no grid file");
        EXPECT_EQ(call("m.grd\0"s, "missing.bin\0"s), -1002);
        EXPECT_FALSE(fs::exists("m.grd"));
        EXPECT_EQ(call("m.grd\0"s, std::string(80, ' ')), -1000);
        EXPECT_EQ(call("m.grd\0"s, "d"s), -1000);  // 1 character without NUL
        EXPECT_FALSE(fs::exists("m.grd"));
    }
    {
        SCOPED_TRACE("a data file with no accepted point: -1002");
        write_data("dummies.bin", {Point{1.0f, 1.0f, {-99999.0f}}, Point{2.0f, 2.0f, {-99999.0f}}});
        EXPECT_EQ(call("m.grd\0"s, "dummies.bin\0"s), -1002);
    }
    {
        SCOPED_TRACE("a read-only data file grids");
        ::chmod("data.bin", 0444);
        EXPECT_EQ(call("ro.grd\0"s, "data.bin\0"s), 0);
        EXPECT_TRUE(fs::exists("ro.grd"));
    }
}

TEST(MincEntry, OutputsThatWouldReplaceTheDataOrAreProtected) {
    CwdTempDir dir;
    struct Case {
        const char* what;
        std::function<void()> prepare;
        const char* outfile;
        const char* datfile;
        float angle;
        int want;
        const char* unchanged;  // a file that must keep its bytes
    };
    const Case cases[] = {
        {"the same name", [] {}, "data.bin", "data.bin", 0.0f, -1040, "data.bin"},
        {"another spelling of the path", [] {}, "./data.bin", "data.bin", 0.0f, -1040, "data.bin"},
        {"a rotated call", [] {}, "data.bin", "data.bin", 30.0f, -1040, "data.bin"},
        {"a link to the data", [] { fs::create_symlink("data.bin", "l.grd"); }, "l.grd", "data.bin", 0.0f,
         -1040, "data.bin"},
        {"the log is the data", [] { fs::copy_file("data.bin", "minc.log"); }, "g.grd", "minc.log", 0.0f,
         -1040, "minc.log"},
        {"a write-protected grid", [] { std::ofstream("ro.grd") << "old"; fs::permissions("ro.grd", fs::perms(0444)); },
         "ro.grd", "data.bin", 0.0f, -1041, "ro.grd"},
        {"a link to another grid file is written through",
         [] { std::ofstream("target.grd") << "old"; fs::create_symlink("target.grd", "lk.grd"); },
         "lk.grd", "data.bin", 0.0f, 0, "data.bin"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& e : fs::directory_iterator(fs::current_path())) fs::remove_all(e.path());
        write_data("data.bin", plane_points(10.0f, 10.0f, 20, 1.0f, 1.0f, 0.0f));
        c.prepare();
        const std::string before = read_file(c.unchanged);
        std::set<std::string> names_before = dir.names();
        GridRequest r = request(c.outfile, 0.0f, 0.0f, 1.0f, 11, 11);
        r.datfile = c.datfile;
        r.angle = c.angle;
        const GridResult res = grid_fresh(r);
        EXPECT_EQ(res.code(), c.want);
        EXPECT_EQ(read_file(c.unchanged), before);
        names_before.insert("minc.log");
        EXPECT_EQ(dir.names(), names_before);
        if (c.want == 0) {
            EXPECT_TRUE(fs::is_symlink("lk.grd"));
            EXPECT_EQ(read_grid_file("target.grd").header.ne, 11);
        }
    }
}

TEST(MincEntry, AGridFileMadeInMemoryIsWrittenAsTheCallWouldHave) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(10.0f, 10.0f, 20, 1.0f, 1.0f, 0.0f));
    std::vector<minc::Point> pts;
    for (const Point& p : plane_points(10.0f, 10.0f, 20, 1.0f, 1.0f, 0.0f)) pts.push_back({p.x, p.y, p.ch[0]});
    RelaxState st;
    const GridFile made = grid_file(request("x.grd", 0.0f, 0.0f, 1.0f, 11, 11), pts, st);
    ASSERT_TRUE(made.result.ok());
    GridFile failed = made;
    failed.result.status = Status::no_data;
    struct Case {
        const char* what;
        std::function<void()> prepare;
        const GridFile* file;
        const char* name;
        int want;          // the code grid() gives for the same output name
        const char* kept;  // a file that must keep its bytes, or none
    };
    const Case cases[] = {
        {"a new file", [] {}, &made, "new.grd", 0, nullptr},
        {"a write-protected grid is kept",
         [] { std::ofstream("ro.grd") << "old"; fs::permissions("ro.grd", fs::perms(0444)); }, &made, "ro.grd",
         -1041, "ro.grd"},
        {"a folder that does not exist", [] {}, &made, "no/such.grd", -1034, nullptr},
        {"a failed call writes nothing", [] { std::ofstream("old.grd") << "old"; }, &failed, "old.grd",
         code(Status::no_data), "old.grd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        const std::string before = c.kept ? read_file(c.kept) : "";
        GridRequest r = request(c.name, 0.0f, 0.0f, 1.0f, 11, 11);
        if (c.file == &made) {
            EXPECT_EQ(grid_fresh(r).code(), c.want);
        }
        EXPECT_EQ(code(write_grid_file(*c.file, c.name)), c.want);
        if (c.kept) {
            EXPECT_EQ(read_file(c.kept), before);
        }
        if (c.want == 0) {
            EXPECT_EQ(read_file(c.name), std::string(reinterpret_cast<const char*>(made.bytes.data()), made.bytes.size()));
        }
    }
}

TEST(MincEntry, ShortFinalRecordAndNonFiniteRecordsAreDropped) {
    CwdTempDir dir;
    const std::vector<Point> pts = plane_points(20.0f, 20.0f, 50, 1.0f, -0.5f, 4.0f);
    write_data("data.bin", pts);
    ASSERT_TRUE(grid_fresh(request("ref.grd", 0.0f, 0.0f, 1.0f, 21, 21)).ok());
    {
        SCOPED_TRACE("a record cut short by the end of the file");
        write_data("data.bin", pts);
        std::ofstream f("data.bin", std::ios::binary | std::ios::app);
        const float part[2] = {10.0f, 10.0f};  // x and y of a record without its value
        f.write(reinterpret_cast<const char*>(part), sizeof part);
        f.close();
        ASSERT_TRUE(grid_fresh(request("short.grd", 0.0f, 0.0f, 1.0f, 21, 21)).ok());
        EXPECT_EQ(read_file("short.grd"), read_file("ref.grd"));
    }
    {
        SCOPED_TRACE("records whose value or position is not finite");
        std::vector<Point> more = pts;
        more.push_back(Point{5.0f, 5.0f, {NAN}});
        more.push_back(Point{NAN, 5.0f, {100.0f}});
        more.push_back(Point{6.0f, INFINITY, {100.0f}});
        more.push_back(Point{7.0f, 7.0f, {INFINITY}});
        write_data("data.bin", more);
        ASSERT_TRUE(grid_fresh(request("nan.grd", 0.0f, 0.0f, 1.0f, 21, 21)).ok());
        EXPECT_EQ(read_file("nan.grd"), read_file("ref.grd"));
    }
}

TEST(MincEntry, ArgumentChecksAndFailedCallsKeepGminGmax) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(10.0f, 10.0f, 20, 1.0f, 1.0f, 0.0f));
    struct Case { const char* what; std::function<void(GridRequest&)> set; int code; };
    const Case cases[] = {
        {"DX 0", [](GridRequest& r) { r.dx = 0.0f; }, -1020},
        {"DY negative", [](GridRequest& r) { r.dy = -1.0f; }, -1020},
        {"DX infinite", [](GridRequest& r) { r.dx = INFINITY; }, -1020},
        {"NX 0", [](GridRequest& r) { r.nx = 0; }, -1021},
        {"NY negative", [](GridRequest& r) { r.ny = -4; }, -1021},
        {"ICHAN 2 of 1", [](GridRequest& r) { r.ichan = 2; }, -1022},
        {"ICHAN 0", [](GridRequest& r) { r.ichan = 0; }, -1022},
        {"MAXCHAN 257", [](GridRequest& r) { r.maxchan = 257; }, -1023},
        {"X0 NaN", [](GridRequest& r) { r.x0 = NAN; }, -1024},
        {"Y0 infinite", [](GridRequest& r) { r.y0 = -INFINITY; }, -1024},
        {"X0/DX 3e9", [](GridRequest& r) { r.x0 = 3.0e9f; }, -1024},
        {"Y0/DY 1e10", [](GridRequest& r) { r.y0 = 100.0f; r.dy = 1.0e-8f; }, -1024},
        {"X0/DX -2^31, rotated", [](GridRequest& r) { r.x0 = -2147483648.0f; r.angle = 30.0f; }, -1024},
        {"DUMMY NaN", [](GridRequest& r) { r.dummy = NAN; }, -1025},
        {"missing data", [](GridRequest& r) { r.datfile = "nothing.bin"; }, -1002},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, 11, 11);
        c.set(r);
        float gmin = 123.0f, gmax = 456.0f;
        int ierr = 0;
        RelaxState st;
        ierr = call_minc(r.outfile + '\0', r.x0, r.y0, r.dx, r.dy, r.nx, r.ny, r.radius,
                  r.datfile + '\0', r.ichan, r.dummy, r.maxchan, r.mode, r.iopt, gmin, gmax,
                  r.angle);
        EXPECT_EQ(ierr, c.code);
        EXPECT_EQ(gmin, 123.0f);
        EXPECT_EQ(gmax, 456.0f);
        EXPECT_FALSE(fs::exists("g.grd"));
        // The parameter lines are written before any check.
        EXPECT_GE(log_lines().size(), 11u);
    }
}

TEST(MincEntry, DataAtNodesAreReproduced) {
    CwdTempDir dir;
    // Conductivity-like values at every other node of a 25 x 5 lattice, gridded through the natural
    // logarithm (MODE 2) and back; channel 2 of 3.
    std::vector<Point> pts;
    for (int j = 0; j < 13; j += 2)
        for (int i = 0; i < 41; i += 2) {
            const float v = 10.0f + float(i) * 0.5f + float(j) * 2.0f;
            pts.push_back(Point{25.0f * float(i), -60.0f + 5.0f * float(j), {-1.0f, v, 7.0f}});
        }
    write_data("data.bin", pts);
    GridRequest r = request("con.grd", 0.0f, -60.0f, 25.0f, 41, 13);
    r.dy = 5.0f;
    r.ichan = 2;
    r.maxchan = 3;
    r.mode = 2;
    r.radius = 75.0f;  // 3 cells: every data cell has another in its window
    const GridResult res = grid_fresh(r);
    ASSERT_TRUE(res.ok()) << res.code();
    const gridout::GridData g = read_grid_file("con.grd");
    EXPECT_EQ(g.header.ne, 41);
    EXPECT_EQ(g.header.nv, 13);
    EXPECT_EQ(g.header.x0, 0.0);
    EXPECT_EQ(g.header.y0, -60.0);
    for (const Point& p : pts) {
        const int i = int(std::lround(p.x / 25.0f)) + 1, j = int(std::lround((p.y + 60.0f) / 5.0f)) + 1;
        EXPECT_NEAR(g.node(i, j), p.ch[1], 1e-4f * p.ch[1]) << "node " << i << "," << j;
    }
    EXPECT_NEAR(res.gmin, 10.0f, 1e-3f);
    EXPECT_NEAR(res.gmax, 10.0f + 20.0f + 24.0f, 1e-2f);
}

TEST(MincEntry, LogOfTwoCallsInARow) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(20.0f, 20.0f, 40, 1.0f, 1.0f, 0.0f));
    RelaxState st;
    GridRequest first = request("g.grd", 0.0f, 0.0f, 1.0f, 21, 21);
    first.radius = 4.0f;
    ASSERT_TRUE(grid(first, st).ok());
    const std::string log1 = read_file("minc.log");
    std::vector<Point> shifted = plane_points(20.0f, 20.0f, 40, 1.0f, 1.0f, 0.0f);
    for (Point& p : shifted) p.x += 1234.5f;
    write_data("data.bin", shifted);
    GridRequest second = request("g.grd", 1234.5f, 0.0f, 1.0f, 21, 21);
    ASSERT_TRUE(grid(second, st).ok());
    const std::string log2 = read_file("minc.log");
    // Second call only: its own origin, no mask lines of the first call.
    const std::string label = " x origin " + std::string(6, ' ');
    EXPECT_EQ(log2.substr(0, 30), label + "     1234.50\r\n");
    EXPECT_EQ(log1.substr(0, 30), label + "        0.00\r\n");
    EXPECT_EQ(log2.find(" total columns "), std::string::npos);
    EXPECT_NE(log1.find(" total columns "), std::string::npos);
    EXPECT_EQ(log2.find(" x origin "), log2.rfind(" x origin "));
}

TEST(MincEntry, NoScratchFileLeftOnEitherStoreKind) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(30.0f, 20.0f, 60, 1.0f, 1.0f, 0.0f));
    struct Case { const char* what; std::function<void(GridRequest&)> set; int code; };
    const Case cases[] = {
        {"plain", [](GridRequest&) {}, 0},
        {"blanked", [](GridRequest& r) { r.radius = 3.0f; }, 0},
        {"rotated and blanked", [](GridRequest& r) { r.radius = 3.0f; r.angle = 20.0f; }, 0},
        {"-999", [](GridRequest& r) { r.nx = 2000; r.ny = 4; }, -999},
        {"-1002", [](GridRequest& r) { r.datfile = "none.bin"; }, -1002},
        {"-1000", [](GridRequest& r) { r.datfile = ""; }, -1000},
        {"-1020", [](GridRequest& r) { r.dx = 0.0f; }, -1020},
    };
    for (Stores kind : {Stores::memory, Stores::disk})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (kind == Stores::disk ? " on disk" : " in memory"));
            fs::remove("g.grd");
            GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, 31, 21);
            c.set(r);
            EXPECT_EQ(grid_fresh(r, kind).code(), c.code);
            std::set<std::string> expect{"data.bin", "minc.log"};
            if (c.code == 0) expect.insert("g.grd");
            EXPECT_EQ(dir.names(), expect);
        }
}

TEST(MincEntry, DiskStoresAreTheCallsOwn) {
    CwdTempDir dir;
    // Far apart value ranges: a store shared by the two calls would show in either grid.
    write_data("a.bin", plane_points(60.0f, 50.0f, 400, 1.0f, 2.0f, 0.0f));
    write_data("b.bin", plane_points(60.0f, 50.0f, 300, -3.0f, 1.0f, 5000.0f));
    const auto call = [](const char* dat, const char* out, Stores kind) {
        GridRequest r = request(out, 0.0f, 0.0f, 0.5f, 121, 101);
        r.datfile = dat;
        r.radius = 4.0f;
        r.angle = 20.0f;  // rotated and blanked: all six stores are used
        r.log_to = LogTo::memory;
        EXPECT_EQ(grid_fresh(r, kind).code(), 0);
    };
    call("a.bin", "a0.grd", Stores::memory);
    call("b.bin", "b0.grd", Stores::memory);
    // Links and folders under the stores' old names, as another user may plant them:
    // never followed, never in the way, never removed. Two calls at once in the folder.
    std::ofstream("victim") << "keep";
    for (std::size_t k = 0; k < std::size(kScratchNames); ++k)
        k % 2 == 0 ? fs::create_symlink("victim", kScratchNames[k]) : (void)fs::create_directory(kScratchNames[k]);
    std::set<std::string> after = dir.names();
    after.insert({"a.grd", "b.grd"});
    for (int round = 0; round < 3; ++round) {
        std::thread ta(call, "a.bin", "a.grd", Stores::disk), tb(call, "b.bin", "b.grd", Stores::disk);
        ta.join();
        tb.join();
        EXPECT_EQ(read_file("a.grd"), read_file("a0.grd"));
        EXPECT_EQ(read_file("b.grd"), read_file("b0.grd"));
    }
    EXPECT_EQ(read_file("victim"), "keep");
    EXPECT_EQ(dir.names(), after);
}

// True once the process has a file of `folder` other than "data.bin" open: a store,
// named or not.
bool has_store_open_in(pid_t pid, const fs::path& folder) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const fs::path to = fs::read_symlink(e.path(), ec);
        if (to.parent_path() == folder && to.filename() != "data.bin") return true;
    }
    return false;
}

TEST(MincEntry, KilledDiskStoreCallLeavesNothing) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(400.0f, 300.0f, 20000, 1.0f, 2.0f, 0.0f));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        GridRequest r = request("g.grd", 0.0f, 0.0f, 0.5f, 801, 601);
        r.radius = 3.0f;
        r.angle = 10.0f;
        r.log_to = LogTo::memory;
        (void)grid_fresh(r, Stores::disk);
        ::_exit(0);
    }
    int wstatus = 0;
    while (!has_store_open_in(child, fs::current_path()) && ::waitpid(child, &wstatus, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
    ASSERT_TRUE(WIFSIGNALED(wstatus)) << "the call ended before it could be killed";
    EXPECT_EQ(dir.names(), std::set<std::string>{"data.bin"});
}

bool documented(int code) {
    return code == 0 || code == -2 || code == -999 || (code <= -1000 && code >= -1011) ||
           code == -1013 || code == -1014 || (code <= -1020 && code >= -1025) ||
           (code <= -1030 && code >= -1037) || code == -1040 || code == -1041;
}

TEST(MincEntry, AbsurdSizesFailWithoutBuildingTheirStores) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(10.0f, 10.0f, 20, 1.0f, 1.0f, 0.0f));
    struct Case { int nx, ny; float radius; };
    const Case cases[] = {{10, 2147483647, 3.0f}, {2147483647, 10, 3.0f}, {5000000, 5000000, 2.0f},
                          {20000, 20000, 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nx) + " x " + std::to_string(c.ny));
        GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, c.nx, c.ny);
        r.radius = c.radius;
        const int code = grid_fresh(r).code();
        EXPECT_TRUE(code == -2 || code == -1001) << code;
        EXPECT_EQ(dir.names(), (std::set<std::string>{"data.bin", "minc.log"}));
    }
}

TEST(MincEntry, GridsBeyondAnyPartitionFollowTheOverlapRuleFirst) {
    CwdTempDir dir;
    {
        SCOPED_TRACE("unrotated, 5000000 x 3: several blocks with NY 3 is -999");
        write_data("data.bin", plane_points(10.0f, 2.0f, 20, 1.0f, 1.0f, 0.0f));
        EXPECT_EQ(grid_fresh(request("g.grd", 0.0f, 0.0f, 1.0f, 5000000, 3)).code(), -999);
        const auto lines = log_lines();
        EXPECT_EQ(lines.size(), 12u);  // the parameters and the half window
        EXPECT_EQ(value_of(lines, " half window "), "0.");
        EXPECT_EQ(dir.names(), (std::set<std::string>{"data.bin", "minc.log"}));
    }
    // Rotated by 30 degrees about the centre (20, 15) of a 41 x 31 grid: a point 6 million
    // cells east of the centre lies 5.2 million cells along one axis of the rotated
    // frame from the others, a range no partition can hold.
    write_data("wide.bin", {Point{20.0f, 15.0f, {1.0f}}, Point{6000020.0f, 15.0f, {2.0f}},
                            Point{20.0f, 25.0f, {3.0f}}});
    for (int nx : {5, 41}) {
        SCOPED_TRACE("rotated, data 6 million cells apart, NX " + std::to_string(nx));
        GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, nx, 31);
        r.datfile = "wide.bin";
        r.angle = 30.0f;
        EXPECT_EQ(grid_fresh(r).code(), nx == 5 ? -999 : -2);
        EXPECT_EQ(log_lines().size(), 12u);
        EXPECT_EQ(dir.names(), (std::set<std::string>{"data.bin", "wide.bin", "minc.log"}));
    }
    {
        SCOPED_TRACE("rotated, all data 5 million cells away: gridded where they lie");
        std::vector<Point> far = plane_points(20.0f, 20.0f, 30, 1.0f, 1.0f, 0.0f);
        for (Point& p : far) p.x += 5.0e6f;
        write_data("far.bin", far);
        GridRequest r = request("g.grd", 0.0f, 0.0f, 1.0f, 41, 31);
        r.datfile = "far.bin";
        r.angle = 30.0f;
        ASSERT_EQ(grid_fresh(r).code(), 0);
        // The requested grid lies far outside the solved one: every node is null.
        const gridout::GridData g = read_grid_file("g.grd");
        EXPECT_EQ(g.header.ne, 41);
        EXPECT_EQ(g.header.nv, 31);
        EXPECT_EQ(dummy_count(g), 41 * 31);
    }
}

TEST(MincEntry, RandomArgumentsGiveSuccessOrADocumentedCode) {
    CwdTempDir dir;
    std::vector<Point> pts;
    for (const Point& p : plane_points(60.0f, 40.0f, 80, 0.5f, 0.25f, 2.0f))
        pts.push_back(Point{p.x, p.y, {p.ch[0], p.ch[0] - 20.0f}});
    write_data("data.bin", pts);
    std::uint32_t s = 777u;
    auto pick = [&](int n) {
        s = s * 1664525u + 1013904223u;
        return int((s >> 8) % std::uint32_t(n));
    };
    const float spacings[] = {0.0f, -1.0f, NAN, 0.5f, 1.0f, 3.0f, 1.0f, 2.0f, 0.75f, 1.5f};
    const float radii[] = {-5.0f, 0.0f, 2.0f, 7.0f, 1.0e6f, NAN};
    std::map<int, int> codes;
    for (int k = 0; k < 80; ++k) {
        GridRequest r = request("g.grd", float(pick(40)) - 20.0f, float(pick(40)) - 20.0f,
                                spacings[pick(10)], pick(120) - 2, pick(120) - 2);
        r.dy = spacings[pick(10)];
        r.radius = radii[pick(6)];
        r.angle = float(pick(800)) - 400.0f;
        r.maxchan = pick(8) == 0 ? 300 : 2;
        r.ichan = pick(8) == 0 ? 3 : 1 + pick(2);
        r.mode = 1 + pick(4);
        r.iopt = pick(2);
        r.iterations = pick(2) == 0 ? 0 : 40;
        SCOPED_TRACE("call " + std::to_string(k) + ": nx " + std::to_string(r.nx) + " ny " +
                     std::to_string(r.ny) + " dx " + std::to_string(r.dx) + " dy " +
                     std::to_string(r.dy) + " radius " + std::to_string(r.radius) + " angle " +
                     std::to_string(r.angle) + " ichan " + std::to_string(r.ichan) + " mode " +
                     std::to_string(r.mode));
        fs::remove("g.grd");
        const GridResult res = grid_fresh(r, k % 2 == 0 ? Stores::memory : Stores::disk);
        EXPECT_TRUE(documented(res.code())) << res.code();
        ++codes[res.code()];
        std::set<std::string> expect{"data.bin", "minc.log"};
        if (res.ok()) {
            expect.insert("g.grd");
            const gridout::GridData g = read_grid_file("g.grd");
            EXPECT_EQ(g.header.ne, r.nx);
            EXPECT_EQ(g.header.nv, r.ny);
        }
        EXPECT_EQ(dir.names(), expect);
    }
    // The draw reaches the gridding often enough to mean something.
    EXPECT_GE(codes[0], 15);
}

TEST(MincEntry, GridderCarriesTheRelaxationStateFromCallToCall) {
    CwdTempDir dir;
    // First call: a plane on a 31 x 31 grid, after which the counter of rising sweeps
    // stands at 1. Second call: four far-apart points on a large grid, whose result
    // depends on the counter it starts with.
    write_data("plane.bin", plane_points(30.0f, 30.0f, 5, 1.0f, -0.5f, 4.0f));
    write_data("far.bin", {Point{5.0f, 5.0f, {0.0f}}, Point{150.0f, 20.0f, {100.0f}},
                           Point{40.0f, 90.0f, {-50.0f}}, Point{120.0f, 100.0f, {30.0f}},
                           Point{80.0f, 50.0f, {10.0f}}});
    GridRequest first = request("first.grd", 0.0f, 0.0f, 1.0f, 31, 31);
    first.datfile = "plane.bin";
    GridRequest second = request("second.grd", 0.0f, 0.0f, 1.0f, 160, 110);
    second.datfile = "far.bin";

    Gridder g;
    ASSERT_TRUE(g.grid(first).ok());
    const RelaxState after_first = g.relax_state();
    ASSERT_EQ(after_first.rise, 1);
    ASSERT_TRUE(g.grid(second).ok());

    GridRequest carried = second, fresh = second;
    carried.outfile = "carried.grd";
    fresh.outfile = "fresh.grd";
    RelaxState from_first = after_first, from_start;
    ASSERT_TRUE(grid(carried, from_first).ok());
    ASSERT_TRUE(grid(fresh, from_start).ok());
    EXPECT_EQ(read_file("second.grd"), read_file("carried.grd"));
    EXPECT_NE(read_file("second.grd"), read_file("fresh.grd"));
    EXPECT_EQ(g.relax_state().rise, from_first.rise);
}

TEST(MincEntry, StoreKindsGiveTheSameGrid) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(60.0f, 40.0f, 80, 0.3f, -0.2f, 5.0f));
    for (float angle : {0.0f, 25.0f}) {
        SCOPED_TRACE("angle " + std::to_string(angle));
        GridRequest r = request("m.grd", 0.0f, 0.0f, 1.0f, 61, 41);
        r.radius = 6.0f;
        r.angle = angle;
        Gridder mem(Stores::memory), disk(Stores::disk);
        const GridResult a = mem.grid(r);
        r.outfile = "d.grd";
        const GridResult b = disk.grid(r);
        ASSERT_TRUE(a.ok() && b.ok());
        EXPECT_EQ(read_file("m.grd"), read_file("d.grd"));
        EXPECT_EQ(a.gmin, b.gmin);
        EXPECT_EQ(a.gmax, b.gmax);
        EXPECT_EQ(mem.relax_state().rise, disk.relax_state().rise);
    }
}

TEST(MincEntry, PointsInMemoryGridAsTheirDataFile) {
    CwdTempDir dir;
    struct Case { const char* what; float radius, angle; int mode, iopt; float c; };
    const Case cases[] = {
        {"plain", 0.0f, 0.0f, 1, 1, 5.0f},
        {"blanked", 4.0f, 0.0f, 1, 1, 5.0f},
        {"rotated", 0.0f, 25.0f, 1, 1, 5.0f},
        {"mode 2, rows reversed, some values refused", 3.0f, 0.0f, 2, 2, 2.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Point> recs = plane_points(40.0f, 30.0f, 70, 0.2f, -0.3f, c.c);
        // Records that every route must drop the same way.
        recs.push_back(Point{10.0f, 10.0f, {-99999.0f}});
        recs.push_back(Point{11.0f, 12.0f, {NAN}});
        recs.push_back(Point{NAN, 12.0f, {3.0f}});
        write_data("data.bin", recs);
        std::vector<minc::Point> pts;
        for (const Point& p : recs) pts.push_back(minc::Point{p.x, p.y, p.ch[0]});

        GridRequest r = request("file.grd", 0.0f, 0.0f, 1.0f, 41, 31);
        r.radius = c.radius;
        r.angle = c.angle;
        r.mode = c.mode;
        r.iopt = c.iopt;
        Gridder from_file, from_points, to_memory;
        const GridResult f = from_file.grid(r);
        ASSERT_TRUE(f.ok()) << f.code();
        const std::string file_log = read_file("minc.log");
        r.outfile = "points.grd";
        r.datfile.clear();  // not needed: the points are the input
        const GridResult p = from_points.grid(r, pts);
        ASSERT_TRUE(p.ok()) << p.code();
        EXPECT_EQ(read_file("points.grd"), read_file("file.grd"));
        EXPECT_EQ(read_file("minc.log"), file_log);
        EXPECT_EQ(p.gmin, f.gmin);
        EXPECT_EQ(p.gmax, f.gmax);

        r.outfile = "never.grd";
        const GridValues m = to_memory.grid_values(r, pts);
        ASSERT_TRUE(m.ok()) << m.result.code();
        EXPECT_FALSE(fs::exists("never.grd"));
        const gridout::GridData g = read_grid_file("file.grd");
        EXPECT_EQ(m.nx, g.header.ne);
        EXPECT_EQ(m.ny, g.header.nv);
        ASSERT_EQ(m.values.size(), g.values.size());
        EXPECT_EQ(0, std::memcmp(m.values.data(), g.values.data(), 4 * g.values.size()));
        EXPECT_EQ(m.result.gmin, f.gmin);
        EXPECT_EQ(m.result.gmax, f.gmax);
        EXPECT_EQ(from_points.relax_state().rise, from_file.relax_state().rise);
        EXPECT_EQ(to_memory.relax_state().rise, from_file.relax_state().rise);

        // Made in memory and put in place later: the same file, nothing written before.
        RelaxState later_state;
        r.outfile = "unused.grd";
        const GridFile made = grid_file(r, pts, later_state);
        ASSERT_TRUE(made.result.ok()) << made.result.code();
        EXPECT_FALSE(fs::exists("unused.grd"));
        EXPECT_EQ(later_state.rise, from_file.relax_state().rise);
        EXPECT_EQ(write_grid_file(made, "later.grd"), Status::ok);
        EXPECT_EQ(read_file("later.grd"), read_file("file.grd"));
    }
    {
        SCOPED_TRACE("no accepted point, and an in-memory grid of a failed call is empty");
        const std::vector<minc::Point> nulls = {{1.0f, 1.0f, -99999.0f}, {2.0f, 2.0f, NAN}};
        RelaxState st;
        GridRequest r = request("none.grd", 0.0f, 0.0f, 1.0f, 11, 11);
        EXPECT_EQ(grid(r, nulls, st).status, Status::no_data);
        EXPECT_FALSE(fs::exists("none.grd"));
        const GridValues m = grid_values(r, nulls, st);
        EXPECT_EQ(m.result.status, Status::no_data);
        EXPECT_TRUE(m.values.empty());
    }
}

TEST(MincEntry, LogKeptInMemoryHoldsTheBytesOfTheLogFile) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(20.0f, 20.0f, 40, 1.0f, 1.0f, 0.0f));
    std::vector<minc::Point> pts;
    for (const Point& p : plane_points(20.0f, 20.0f, 40, 1.0f, 1.0f, 0.0f))
        pts.push_back(minc::Point{p.x, p.y, p.ch[0]});
    struct Case {
        const char* what;
        GridRequest r;
        bool from_points;
    };
    GridRequest plain = request("g.grd", 0.0f, 0.0f, 1.0f, 21, 21);
    GridRequest blanked = plain;
    blanked.radius = 4.0f;
    GridRequest failing = plain;
    failing.nx = 0;
    GridRequest no_file = plain;
    no_file.datfile = "missing.bin";
    const Case cases[] = {
        {"plain", plain, false},
        {"blanked", blanked, false},
        {"from points", blanked, true},
        {"a failed call", failing, false},
        {"a missing data file", no_file, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RelaxState to_file_state, to_memory_state;
        fs::remove("minc.log");
        fs::remove("g.grd");
        const GridResult to_file = c.from_points ? grid(c.r, pts, to_file_state) : grid(c.r, to_file_state);
        const std::string file_log = read_file("minc.log");
        const std::string file_grid = read_file("g.grd");
        ASSERT_FALSE(file_log.empty());
        EXPECT_TRUE(to_file.log.empty());

        std::ofstream("minc.log", std::ios::binary) << "an earlier log";
        fs::remove("g.grd");
        GridRequest m = c.r;
        m.log_to = LogTo::memory;
        const GridResult to_memory = c.from_points ? grid(m, pts, to_memory_state) : grid(m, to_memory_state);
        EXPECT_EQ(to_memory.code(), to_file.code());
        EXPECT_EQ(to_memory.log, file_log);
        EXPECT_TRUE(read_file("g.grd") == file_grid) << "the grids differ";
        EXPECT_EQ(read_file("minc.log"), "an earlier log");
        EXPECT_EQ(to_memory_state.rise, to_file_state.rise);
    }
    // A data file named like the log is no conflict when the log stays in memory.
    fs::copy_file("data.bin", "minc.log", fs::copy_options::overwrite_existing);
    GridRequest named_log = plain;
    named_log.datfile = "minc.log";
    RelaxState st;
    EXPECT_EQ(grid(named_log, st).status, Status::output_is_input);
    named_log.log_to = LogTo::memory;
    EXPECT_TRUE(grid(named_log, st).ok());
}

TEST(MincEntry, CallsOnSeveralThreadsAtOnceGiveTheGridsOfOneAfterTheOther) {
    CwdTempDir dir;
    std::vector<minc::Point> pts;
    for (const Point& p : plane_points(40.0f, 30.0f, 300, 0.7f, -0.2f, 5.0f))
        pts.push_back(minc::Point{p.x, p.y, p.ch[0]});
    GridRequest r = request("", 0.0f, 0.0f, 1.0f, 41, 31);
    r.radius = 3.0f;
    r.log_to = LogTo::memory;
    constexpr int kThreads = 4;
    std::vector<GridValues> serial(kThreads), parallel(kThreads);
    // Each thread its own request (another size) and state, with memory stores.
    auto job = [&](int k, std::vector<GridValues>& out) {
        GridRequest q = r;
        q.nx = 41 + k;
        RelaxState st;
        out[std::size_t(k)] = grid_values(q, pts, st, Stores::memory);
    };
    for (int k = 0; k < kThreads; ++k) job(k, serial);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) threads.emplace_back(job, k, std::ref(parallel));
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < kThreads; ++k) {
        SCOPED_TRACE("thread " + std::to_string(k));
        ASSERT_TRUE(serial[std::size_t(k)].ok());
        EXPECT_EQ(parallel[std::size_t(k)].result.code(), 0);
        EXPECT_EQ(parallel[std::size_t(k)].values, serial[std::size_t(k)].values);
        EXPECT_EQ(parallel[std::size_t(k)].result.log, serial[std::size_t(k)].result.log);
        EXPECT_EQ(parallel[std::size_t(k)].nx, 41 + k);
    }
    EXPECT_TRUE(dir.names().empty());
}

}  // namespace
}  // namespace minc

namespace minc {
namespace {

// Grids so wide (or tall) that the partition's rounded-up blocks overshoot: with NCU
// 30596 the 181 sections of step 170 would give 30598 columns before the last one.
// Data sit on nodes, where the solve keeps them exactly, and neighbouring nodes differ,
// so a column or row taken from the wrong place of its block shows at once.
TEST(MincEntry, GridsWhoseBlocksOvershootAreClippedToTheGrid) {
    CwdTempDir dir;
    // The blanked grid's half window shrinks to 2 to fit the work area, so its data
    // lie 2 nodes apart to keep each other in their windows.
    struct Case { const char* what; int nx, ny; float radius; int step_x, step_y; };
    const Case cases[] = {
        {"181 sections", 30596, 48, 0.0f, 7, 3},
        {"181 sections, blanked", 30596, 48, 4.0f, 2, 2},
        {"181 tiers", 48, 30596, 0.0f, 3, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Point> pts;
        for (int j = 0; j < c.ny; j += c.step_y)
            for (int i = 0; i < c.nx; i += c.step_x)
                pts.push_back(Point{float(i), float(j), {1.0f + 0.01f * float(i) + 0.5f * float(j)}});
        write_data("data.bin", pts);
        GridRequest r = request("w.grd", 0.0f, 0.0f, 1.0f, c.nx, c.ny);
        r.radius = c.radius;
        r.iterations = 32;  // the data nodes are fixed whatever the sweeps do
        const GridResult res = grid_fresh(r);
        ASSERT_TRUE(res.ok()) << res.code();
        const gridout::GridData g = read_grid_file("w.grd");
        ASSERT_EQ(g.header.ne, c.nx);
        ASSERT_EQ(g.header.nv, c.ny);
        int kept = 0;
        for (const Point& p : pts) {
            const float v = g.node(int(p.x) + 1, int(p.y) + 1);
            if (c.radius > 0.0f && v == gridout::kGridDummy) continue;
            ASSERT_NEAR(v, p.ch[0], 1e-5f * p.ch[0]) << "node " << p.x + 1 << "," << p.y + 1;
            ++kept;
        }
        EXPECT_GE(kept, int(pts.size()) / 2);
        if (c.radius == 0.0f) {
            EXPECT_EQ(dummy_count(g), 0);
        }
    }
}

}  // namespace
}  // namespace minc

namespace minc {
namespace {

// Inputs that no grid can come from end the call with a code of their own, leave no
// grid and keep GMIN and GMAX as they were.
TEST(MincEntry, InputsThatCannotBeGriddedEndWithTheirOwnCodes) {
    CwdTempDir dir;
    // Values near the largest float at neighbouring nodes: the relaxation overflows and
    // every change is infinite or NaN.
    std::vector<Point> huge;
    for (int j = 0; j <= 10; j += 2)
        for (int i = 0; i <= 10; i += 2) huge.push_back(Point{float(i), float(j), {(i + j) % 4 == 0 ? 3.0e38f : -3.0e38f}});
    write_data("huge.bin", huge);
    // Points along one line that a rotation by 30 degrees turns upright: the rotated
    // working grid is 3 columns wide and 2000 rows tall, so it needs several blocks that
    // are no wider than their overlap.
    std::vector<Point> strip;
    const float sin30 = std::sin(30.0f * 3.1415925f / 180.0f), cos30 = std::cos(30.0f * 3.1415925f / 180.0f);
    for (int k = -1000; k <= 1000; k += 10) {
        const float t = float(k);
        strip.push_back(Point{20.0f + t * sin30, 20.0f + t * cos30, {t}});
    }
    write_data("strip.bin", strip);
    // Logarithms rising by 8.8 per cell up to 88 (near the largest float) over the left
    // quarter of the grid: the grid carries the slope on, and e^v overflows.
    std::vector<Point> ramp;
    for (int j = 0; j <= 40; j += 2)
        for (int i = 0; i <= 10; i += 2) ramp.push_back(Point{float(i) - 5.0f, float(j) - 5.0f, {std::exp(8.8f * float(i))}});
    write_data("ramp.bin", ramp);
    // The endless file is read to the record limit (2^23 records), so each of those
    // cases runs with one store kind only.
    const std::vector<Stores> both = {Stores::memory, Stores::disk};
    struct Case {
        const char* what; const char* datfile; float dummy, angle; int maxchan, mode; int code;
        std::vector<Stores> kinds;
    };
    const Case cases[] = {
        {"relaxation overflows", "huge.bin", -99999.0f, 0.0f, 1, 1, -1036, both},
        {"values overflow once transformed back", "ramp.bin", -99999.0f, 0.0f, 1, 2, -1036, both},
        {"endless data, all accepted", "/dev/zero", -99999.0f, 0.0f, 6, 1, -1037, {Stores::memory}},
        {"endless data, none accepted", "/dev/zero", 0.0f, 0.0f, 1, 1, -1037, {Stores::disk}},
        {"endless data, rotated", "/dev/zero", -99999.0f, 30.0f, 1, 1, -1037, {Stores::memory}},
        {"rotated grid narrower than the overlap", "strip.bin", -99999.0f, 30.0f, 1, 1, -1001, both},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GridRequest r = request("g.grd", -5.0f, -5.0f, 1.0f, 41, 41);
        r.datfile = c.datfile;
        r.dummy = c.dummy;
        r.angle = c.angle;
        r.maxchan = c.maxchan;
        r.mode = c.mode;
        for (Stores kind : c.kinds) {
            RelaxState st;
            EXPECT_EQ(grid(r, st, kind).code(), c.code);
            EXPECT_EQ(dir.names(), (std::set<std::string>{"huge.bin", "strip.bin", "ramp.bin", "minc.log"}));
        }
    }
    {
        SCOPED_TRACE("the same data at a modest scale grid");
        for (Point& p : huge) p.ch[0] *= 1.0e-30f;
        write_data("huge.bin", huge);
        for (Point& p : ramp) p.ch[0] = std::pow(p.ch[0], 0.25f);
        write_data("ramp.bin", ramp);
        GridRequest r = request("g.grd", -5.0f, -5.0f, 1.0f, 41, 41);
        for (const char* name : {"huge.bin", "ramp.bin"}) {
            r.datfile = name;
            r.mode = name[0] == 'r' ? 2 : 1;
            EXPECT_TRUE(grid_fresh(r).ok()) << name;
        }
    }
}

TEST(MincEntry, ProgressIsToldEachTierAndCanStopTheCall) {
    CwdTempDir dir;
    write_data("data.bin", plane_points(299.0f, 299.0f, 400, 0.02f, -0.01f, 3.0f));
    // 300 x 300 nodes: more nodes than one block holds, so several tiers.
    GridRequest r = request("plain.grd", 0.0f, 0.0f, 1.0f, 300, 300);
    r.radius = 6.0f;
    ASSERT_TRUE(grid_fresh(r).ok());
    const int ntier = std::stoi(value_of(log_lines(), " number tiers "));
    ASSERT_GE(ntier, 2);
    const std::string plain_log = read_file("minc.log");

    std::vector<double> shares;
    r.outfile = "told.grd";
    r.progress = [&](double share) { shares.push_back(share); return true; };
    ASSERT_TRUE(grid_fresh(r).ok());
    EXPECT_EQ(read_file("told.grd"), read_file("plain.grd"));
    EXPECT_EQ(read_file("minc.log"), plain_log);
    ASSERT_EQ(shares.size(), std::size_t(ntier));
    for (int t = 1; t <= ntier; ++t) EXPECT_EQ(shares[std::size_t(t - 1)], double(t) / double(ntier));

    for (int stop_at : {1, ntier}) {
        SCOPED_TRACE("false at call " + std::to_string(stop_at));
        int calls = 0;
        r.outfile = "stopped.grd";
        r.progress = [&](double) { return ++calls < stop_at; };
        for (Stores kind : {Stores::memory, Stores::disk}) {
            calls = 0;
            const GridResult res = grid_fresh(r, kind);
            EXPECT_EQ(std::tuple(res.status, res.code(), calls), std::tuple(Status::cancelled, -1042, stop_at));
            EXPECT_EQ(dir.names(), (std::set<std::string>{"data.bin", "minc.log", "plain.grd", "told.grd"}));
        }
    }
}

TEST(MincEntry, OneStatusTableForEveryCode) {
    // Every code has its own entry, success first; the C entry and describe() read it.
    const std::span<const StatusText> table = status_table();
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table.front().status, Status::ok);
    const std::string readme = read_file(std::string(HALVEX_SOURCE_DIR) + "/README.md");
    std::set<int> codes;
    for (const StatusText& t : table) {
        SCOPED_TRACE(code(t.status));
        EXPECT_TRUE(codes.insert(code(t.status)).second);
        EXPECT_STREQ(MINC_STATUS_TEXT(code(t.status)), t.text);
        // The README's table lists each code with its text, as the library gives it.
        const std::string row = "| " + std::to_string(code(t.status)) + " | " + t.text + " |";
        EXPECT_TRUE(t.status == Status::ok || readme.find(row) != std::string::npos) << "README.md lacks\n" << row;
    }
    EXPECT_STREQ(MINC_STATUS_TEXT(-1012), "unknown status");
}

}  // namespace
}  // namespace minc
