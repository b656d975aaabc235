// GEOROT and ROTGRD: identity resampling, the rotation's sense, bilinear values worked
// out by hand, the dummy and edge rules of GEOROT, the null-aware fall-backs of ROTGRD,
// and bad sources (status, no output file).
#include "gridout/rotate.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "gridout_test_util.hpp"

namespace {

using namespace gridout;
using namespace gridout_test;

constexpr float D = kGridDummy;

// The plane z = c + 10 r on 4 x 4 nodes, (c, r) 0-based from the origin.
std::vector<float> plane4x4() {
    std::vector<float> v(16);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) v[std::size_t(r * 4 + c)] = float(c) + 10.0f * float(r);
    return v;
}

// GEOROT parameters for a unit source of nc x nr nodes at the origin, identity frame.
GeorotParams unit_georot(int snc, int snr, float x0, float y0, int nx, int ny) {
    GeorotParams p;
    p.snc = snc;
    p.snr = snr;
    p.x0 = x0;
    p.y0 = y0;
    p.nx = nx;
    p.ny = ny;
    return p;
}

// One output node of GEOROT at world position (x, y) in the identity frame.
float georot_at(MemoryFileSystem& fs, int snc, int snr, float x, float y) {
    const GeorotParams p = unit_georot(snc, snr, x, y, 1, 1);
    EXPECT_EQ(georot(fs, "src.grd", fs, "one.grd", p), GridStatus::ok);
    GridData d;
    EXPECT_EQ(read_grid(fs, "one.grd", d), GridStatus::ok);
    return d.values.empty() ? 0.0f : d.values[0];
}

TEST(Georot, IdentityReproducesTheSourceInEitherOrientation) {
    // 4 x 3 source with one dummy node; origin (10, -2), cells 0.5 x 0.25 (exact in binary).
    const std::vector<float> v = {1, 2, 3, 4, 5, D, 7, 8, 9, 10, 11, 12};
    for (int src_kx : {1, -2}) {
        for (int iopt : {1, 0}) {
            SCOPED_TRACE("source KX " + std::to_string(src_kx) + ", IOPT " + std::to_string(iopt));
            MemoryFileSystem fs;
            put_grid(fs, "~mincrt.tmp", 4, 3, src_kx, v);
            GeorotParams p;
            p.sdx = p.dx = 0.5f;
            p.sdy = p.dy = 0.25f;
            p.sx0 = p.x0 = 10.0f;
            p.sy0 = p.y0 = -2.0f;
            p.snc = p.nx = 4;
            p.snr = p.ny = 3;
            p.iopt = iopt;
            p.gmin = -5.0f;
            p.gmax = 99.0f;
            ASSERT_EQ(georot(fs, "~mincrt.tmp", fs, "out.grd", p), GridStatus::ok);
            GridData d;
            ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
            expect_frame(d.header, {4, 3, iopt == 1 ? 1 : -2, 0.5, 0.25, 10.0, -2.0});
            EXPECT_EQ(d.header.zmin, -5.0f) << "GMIN passed through, not computed";
            EXPECT_EQ(d.header.zmax, 99.0f);
            EXPECT_EQ(d.header.median, D);
            for (int j = 1; j <= 3; ++j)
                for (int i = 1; i <= 4; ++i)
                    EXPECT_EQ(d.node(i, j), v[std::size_t((j - 1) * 4 + (i - 1))]) << "node " << i << "," << j;
            EXPECT_TRUE(fs.exists("~mincrt.tmp")) << "the source is left for the caller";
        }
    }
}

TEST(Georot, QuarterTurnIsCounterClockwise) {
    // The source plane with origin (-1.5, -1.5) in the (u, v) frame.
    MemoryFileSystem fs;
    put_grid(fs, "src.grd", 4, 4, 1, plane4x4());
    GeorotParams p = unit_georot(4, 4, 1.0f, 0.0f, 1, 1);  // output node at (XR + 1, YR)
    p.sx0 = p.sy0 = -1.5f;
    p.angle = 90.0f;
    ASSERT_EQ(georot(fs, "src.grd", fs, "out.grd", p), GridStatus::ok);
    GridData d;
    ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
    // u = 0, v = 1 give p = 1.5, q = 2.5 and the plane's value 1.5 + 25; a clockwise turn
    // would give v = -1 and 6.5.
    EXPECT_NEAR(d.values[0], 26.5f, 1e-4f);
}

TEST(Georot, BilinearValueAndTheDummyAndEdgeRules) {
    // 2 x 2 source: (0,0) 1, (1,0) 2, (0,1) 3, (1,1) 4 unless replaced below.
    struct Case { const char* what; std::vector<float> src; float x, y, want; };
    const std::vector<Case> cases = {
        {"four valid corners: bilinear mean", {1, 2, 3, 4}, 0.5f, 0.5f, 2.5f},
        {"fx only", {1, 2, 3, 4}, 0.25f, 0.0f, 1.25f},
        {"one corner dummy: z00", {1, 2, 3, D}, 0.5f, 0.5f, 1.0f},
        {"z00 dummy: z00 even so", {D, 2, 3, 4}, 0.5f, 0.5f, D},
        {"upper-left corner below -1.0E20 is not valid", {1, 2, -1.0e25f, 4}, 0.5f, 0.0f, 1.0f},
        {"last column: z00, not interpolated", {1, 2, 3, 4}, 1.5f, 0.0f, 2.0f},
        {"last row: z00", {1, 2, 3, 4}, 0.5f, 1.0f, 3.0f},
        {"beyond the last column: dummy", {1, 2, 3, 4}, 2.0f, 0.0f, D},
        {"one cell before the first column: dummy", {1, 2, 3, 4}, -1.0f, 0.0f, D},
        {"below the first row: dummy", {1, 2, 3, 4}, 0.0f, -1.5f, D},
        {"half a cell before the first column: extrapolated", {1, 2, 3, 4}, -0.5f, 0.0f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem fs;
        put_grid(fs, "src.grd", 2, 2, 1, c.src);
        EXPECT_EQ(georot_at(fs, 2, 2, c.x, c.y), c.want);
    }
    {
        SCOPED_TRACE("the lower-right corner only has to exceed -1.0E30");
        MemoryFileSystem fs;
        put_grid(fs, "src.grd", 2, 2, 1, {1, -1.0e25f, 3, 4});
        // fy = 0, fx = 0.5: 0.5 x -1.0E25 + 0.5 x 1.
        EXPECT_FLOAT_EQ(georot_at(fs, 2, 2, 0.5f, 0.0f), -5.0e24f);
    }
}

TEST(Georot, ScalesOffsetsAndSourceFrame) {
    // The plane z = c + 10 r. Every quantity below is exact in binary:
    // node 1: x = 3, y = 5, dx = 2, dy = 4; u = 2 / 4 + 0.5 = 1, v = 4 / 8 - 0.25 = 0.25;
    //         p = (1 - 0.5) / 0.25 = 2, q = (0.25 - 0) / 0.125 = 2: z = 2 + 20 = 22.
    // node 2: x = 3.5, dx = 2.5; u = 1.125, p = 2.5: z = 22.5.
    // node 3: x = 4, dx = 3; u = 1.25, p = 3: the last source column, z00 = 3 + 20 = 23.
    MemoryFileSystem fs;
    put_grid(fs, "src.grd", 4, 4, 1, plane4x4());
    GeorotParams p = unit_georot(4, 4, 3.0f, 5.0f, 3, 1);
    p.dx = 0.5f;
    p.xr = 1.0f;
    p.yr = 1.0f;
    p.uscl = 4.0f;
    p.uoff = 0.5f;
    p.vscl = 8.0f;
    p.voff = -0.25f;
    p.sx0 = 0.5f;
    p.sdx = 0.25f;
    p.sy0 = 0.0f;
    p.sdy = 0.125f;
    ASSERT_EQ(georot(fs, "src.grd", fs, "out.grd", p), GridStatus::ok);
    GridData d;
    ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
    EXPECT_EQ(d.values, (std::vector<float>{22.0f, 22.5f, 23.0f}));
}

TEST(Georot, PositionsThatAreNotNumbersOrHugeAreDummy) {
    MemoryFileSystem fs;
    put_grid(fs, "src.grd", 2, 2, 1, {1, 2, 3, 4});
    {
        SCOPED_TRACE("USCL 0: 0 / 0 at the centre, infinity beside it");
        GeorotParams p = unit_georot(2, 2, 0.0f, 0.0f, 2, 1);
        p.uscl = 0.0f;
        ASSERT_EQ(georot(fs, "src.grd", fs, "out.grd", p), GridStatus::ok);
        GridData d;
        ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
        EXPECT_EQ(d.values, (std::vector<float>{D, D}));
    }
    {
        SCOPED_TRACE("positions far beyond the range of an integer, either side");
        GeorotParams p = unit_georot(2, 2, -1.0f, 0.0f, 3, 1);  // x = -1, 0, 1
        p.uscl = 1.0e-30f;
        ASSERT_EQ(georot(fs, "src.grd", fs, "out.grd", p), GridStatus::ok);
        GridData d;
        ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
        // x = 0 stays at p = 0: the first node.
        EXPECT_EQ(d.values, (std::vector<float>{D, 1.0f, D}));
    }
}

TEST(Georot, UsesTheCallersWorkBuffer) {
    MemoryFileSystem fs;
    put_grid(fs, "src.grd", 3, 1, 1, {4, 5, 6});
    std::vector<float> work(8, -7.0f);
    GeorotParams p = unit_georot(3, 1, 0.0f, 0.0f, 3, 1);
    p.work = work;
    ASSERT_EQ(georot(fs, "src.grd", fs, "out.grd", p), GridStatus::ok);
    GridData d;
    ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
    EXPECT_EQ(d.values, (std::vector<float>{4, 5, 6}));
    EXPECT_EQ(work[0], 4.0f) << "the row was built in the caller's buffer";

    std::vector<float> small(2);
    p.work = small;
    EXPECT_EQ(georot(fs, "src.grd", fs, "small.grd", p), GridStatus::bad_arguments);
    EXPECT_FALSE(fs.exists("small.grd"));
}

TEST(Georot, BadSourcesLeaveNoOutput) {
    using namespace std::string_literals;
    MemoryFileSystem fs;
    put_grid(fs, "src.grd", 2, 2, 1, {1, 2, 3, 4});
    struct Case { const char* what; std::string source; int snc, snr, ny; GridStatus want; };
    for (const Case& c : {Case{"missing source", "none.grd", 2, 2, 2, GridStatus::cannot_open},
                          Case{"source name beginning with NUL", "\0src.grd"s, 2, 2, 2, GridStatus::cannot_open},
                          Case{"source shorter than SNC x SNR", "src.grd", 3, 2, 2, GridStatus::bad_header},
                          Case{"absurd source counts", "src.grd", 0x7fffffff, 0x7fffffff, 2, GridStatus::bad_header},
                          Case{"negative source count", "src.grd", -2, 2, 2, GridStatus::bad_arguments},
                          Case{"no output rows", "src.grd", 2, 2, 0, GridStatus::bad_arguments}}) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(georot(fs, c.source, fs, "out.grd", unit_georot(c.snc, c.snr, 0, 0, 2, c.ny)), c.want);
    }
    {
        SCOPED_TRACE("corrupt source header");
        auto f = fs.open("src.grd", OpenMode::read_write);
        ASSERT_TRUE(write_word<std::int32_t>(*f, 8));  // element size 8
        f->close();
        EXPECT_EQ(georot(fs, "src.grd", fs, "out.grd", unit_georot(2, 2, 0, 0, 2, 2)), GridStatus::bad_header);
    }
    EXPECT_EQ(fs.names(), (std::vector<std::string>{"src.grd"}));
}

TEST(Georot, ReadsFromMemoryAndWritesToDisk) {
    // The gridding library keeps its rotated scratch grid in memory and writes the final
    // grid to disk: the two file systems of one call differ.
    MemoryFileSystem scratch;
    put_grid(scratch, "~mincrt.tmp", 3, 2, -2, {1, 2, 3, 4, 5, 6});
    control_test::TempDir dir;
    DiskFileSystem disk_fs;
    const std::string out = file_in(dir, "final.grd");
    ASSERT_EQ(georot(scratch, "~mincrt.tmp", disk_fs, out, unit_georot(3, 2, 0.0f, 0.0f, 3, 2)), GridStatus::ok);
    GridData d;
    ASSERT_EQ(read_grid(disk_fs, out, d), GridStatus::ok);
    EXPECT_EQ(d.values, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(disk_fs.exists(file_in(dir, "~mincrt.tmp")));
    EXPECT_EQ(dir.names(), (std::set<std::string>{"final.grd"}));
    EXPECT_EQ(georot(scratch, "~mincrt.tmp", disk_fs, file_in(dir, "no/dir/x.grd"),
                     unit_georot(3, 2, 0.0f, 0.0f, 3, 2)),
              GridStatus::cannot_create);
}

// ROTGRD parameters: identity frame, unit cells, input nein x nvin at the origin.
RotgrdParams unit_rotgrd(int nein, int nvin, float x0, float y0, int ne, int nv) {
    RotgrdParams p;
    p.nein = nein;
    p.nvin = nvin;
    p.x0 = x0;
    p.y0 = y0;
    p.ne = ne;
    p.nv = nv;
    return p;
}

float rotgrd_at(MemoryFileSystem& fs, int nein, int nvin, float x, float y) {
    EXPECT_EQ(rotgrd(fs, "in.grd", fs, "one.grd", unit_rotgrd(nein, nvin, x, y, 1, 1)), GridStatus::ok);
    GridData d;
    EXPECT_EQ(read_grid(fs, "one.grd", d), GridStatus::ok);
    return d.values.empty() ? 0.0f : d.values[0];
}

TEST(Rotgrd, IdentityHeaderAndOrientation) {
    const std::vector<float> v = {1, 2, 3, 4, 5, 6};  // 3 x 2
    for (int kxin : {1, -2}) {
        for (int kxout : {1, 5}) {
            SCOPED_TRACE("KXIN " + std::to_string(kxin) + ", KXOUT " + std::to_string(kxout));
            MemoryFileSystem fs;
            put_grid(fs, "in.grd", 3, 2, kxin, v);
            RotgrdParams p = unit_rotgrd(3, 2, 0.0f, 0.0f, 3, 2);
            p.kxout = kxout;
            p.zmin = 0.5f;
            p.zmax = 7.5f;
            ASSERT_EQ(rotgrd(fs, "in.grd", fs, "out.grd", p), GridStatus::ok);
            GridData d;
            ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
            EXPECT_EQ(d.header.kx, kxout == 1 ? 1 : -2);
            EXPECT_EQ(d.header.zmin, 0.5f);
            EXPECT_EQ(d.header.zmax, 7.5f);
            EXPECT_EQ(d.header.mean, D);
            for (int j = 1; j <= 2; ++j)
                for (int i = 1; i <= 3; ++i)
                    EXPECT_EQ(d.node(i, j), v[std::size_t((j - 1) * 3 + (i - 1))]) << "node " << i << "," << j;
        }
    }
}

TEST(Rotgrd, NullAwareFallBacks) {
    // Corners P00 1, P10 2, P01 3, P11 4; the node at fx = 0.25, fy = 0.5.
    constexpr float N = D;
    struct Case { const char* what; std::vector<float> src; float want; };
    const std::vector<Case> cases = {
        {"no null: bilinear", {1, 2, 3, 4}, 2.25f},
        {"P11 null: along the lower row, fy ignored", {1, 2, 3, N}, 1.25f},
        {"P00 null: along the upper row", {N, 2, 3, 4}, 3.25f},
        {"P10 and P11 null: up the left column", {1, N, 3, N}, 2.0f},
        {"P00 and P01 null: up the right column", {N, 2, N, 4}, 3.0f},
        {"only P01 valid", {N, N, 3, N}, 3.0f},
        {"only P10 valid", {N, 2, N, N}, 2.0f},
        {"exactly -1.0E30 is null", {1, 2, 3, -1.0e30f}, 1.25f},
        {"all null: P00", {-2.0e30f, N, N, N}, -2.0e30f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem fs;
        put_grid(fs, "in.grd", 2, 2, 1, c.src);
        EXPECT_EQ(rotgrd_at(fs, 2, 2, 0.25f, 0.5f), c.want);
    }
}

TEST(Rotgrd, LastColumnAndRowAndOutside) {
    constexpr float N = D;
    // 3 x 2 input: row 0: a b c, row 1: d e f.
    struct Case { const char* what; std::vector<float> src; float x, y, want; };
    const std::vector<Case> cases = {
        {"last row: P00", {1, 2, 3, 4, 5, 6}, 0.5f, 1.0f, 4.0f},
        {"last row, P00 null: P10", {1, 2, 3, N, 5, 6}, 0.5f, 1.0f, 5.0f},
        {"last row and column, P00 null: stays null", {1, 2, 3, 4, 5, N}, 2.0f, 1.0f, N},
        {"last column, P00 null: P01", {1, 2, N, 4, 5, 6}, 2.0f, 0.5f, 6.0f},
        {"last column, P00 exactly -1.0E30 is kept", {1, 2, -1.0e30f, 4, 5, 6}, 2.0f, 0.0f, -1.0e30f},
        {"outside to the right", {1, 2, 3, 4, 5, 6}, 3.0f, 0.0f, N},
        {"outside below", {1, 2, 3, 4, 5, 6}, 0.0f, -1.0f, N},
        {"just before the first column maps to column 0", {1, 2, 3, 4, 5, 6}, -0.5f, 0.0f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem fs;
        put_grid(fs, "in.grd", 3, 2, 1, c.src);
        EXPECT_EQ(rotgrd_at(fs, 3, 2, c.x, c.y), c.want);
    }
}

TEST(Rotgrd, OffsetsAndRotationSense) {
    // The plane with the input's first node at (-1.5, -1.5) cells.
    MemoryFileSystem fs;
    put_grid(fs, "in.grd", 4, 4, 1, plane4x4());
    RotgrdParams p = unit_rotgrd(4, 4, 3.0f, 2.0f, 1, 1);  // the node at (XC + 1, YC)
    p.xc = 2.0f;
    p.yc = 2.0f;
    p.xoff = p.yoff = -1.5f;
    p.angle = 90.0f;
    ASSERT_EQ(rotgrd(fs, "in.grd", fs, "out.grd", p), GridStatus::ok);
    GridData d;
    ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
    EXPECT_NEAR(d.values[0], 26.5f, 1e-4f);
}

TEST(Rotgrd, LongNamesAreUsedWhole) {
    // Names are used as given, however long.
    const std::string long_in = std::string(590, 'i') + ".grd";
    const std::string long_out = std::string(590, 'o') + ".grd";
    const std::string long_rot = std::string(590, 'r') + ".grd";
    MemoryFileSystem fs;
    put_grid(fs, long_in, 2, 2, 1, {1, 2, 3, 4});
    ASSERT_EQ(rotgrd(fs, long_in, fs, long_out, unit_rotgrd(2, 2, 0, 0, 2, 2)), GridStatus::ok);
    EXPECT_TRUE(fs.exists(long_out));
    ASSERT_EQ(georot(fs, long_in, fs, long_rot, unit_georot(2, 2, 0, 0, 2, 2)), GridStatus::ok);
    EXPECT_TRUE(fs.exists(long_rot));
}

TEST(Rotgrd, BadInputsLeaveNoOutput) {
    MemoryFileSystem fs;
    put_grid(fs, "in.grd", 2, 2, 1, {1, 2, 3, 4});
    EXPECT_EQ(rotgrd(fs, "missing.grd", fs, "out.grd", unit_rotgrd(2, 2, 0, 0, 2, 2)), GridStatus::cannot_open);
    EXPECT_EQ(rotgrd(fs, "in.grd", fs, "out.grd", unit_rotgrd(2, 3, 0, 0, 2, 2)), GridStatus::bad_header);
    EXPECT_EQ(rotgrd(fs, "in.grd", fs, "out.grd", unit_rotgrd(0, 2, 0, 0, 2, 2)), GridStatus::bad_arguments);
    EXPECT_EQ(rotgrd(fs, "in.grd", fs, "out.grd", unit_rotgrd(2, 2, 0, 0, -1, 2)), GridStatus::bad_arguments);
    EXPECT_EQ(fs.names(), (std::vector<std::string>{"in.grd"}));
}

}  // namespace
