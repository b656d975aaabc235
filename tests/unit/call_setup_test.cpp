// Derived parameters of a gridding call: checks, limits, angles, half window,
// working grid and partition choice. Expected values are worked out by hand in the
// comments beside them.
#include "call_setup.hpp"
#include "call_plan.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace minc {
namespace {

using namespace std::string_literals;

// The grid and channel arguments of a request, the rest at their defaults.
GridRequest grid_args(float dx, float dy, int nx, int ny, int ichan, int maxchan) {
    GridRequest r;
    r.dx = dx;
    r.dy = dy;
    r.nx = nx;
    r.ny = ny;
    r.ichan = ichan;
    r.maxchan = maxchan;
    return r;
}

// A request for the radius in cells of a radius on a grid.
GridRequest radius_args(float radius, float dx, float dy, int nx, int ny) {
    GridRequest r = grid_args(dx, dy, nx, ny, 1, 1);
    r.radius = radius;
    return r;
}

// A request for the grid x0, y0, dx, dy, nx, ny.
GridRequest frame_args(float x0, float y0, float dx, float dy, int nx, int ny) {
    GridRequest r = grid_args(dx, dy, nx, ny, 1, 1);
    r.x0 = x0;
    r.y0 = y0;
    return r;
}

TEST(CallSetup, ArgumentChecks) {
    const float inf = INFINITY, nan = NAN;
    struct Case { GridRequest r; Status want; };
    const Case cases[] = {
        {grid_args(1.0f, 1.0f, 1, 1, 1, 1), Status::ok},
        {grid_args(25.0f, 5.0f, 41, 65, 6, 6), Status::ok},
        {grid_args(0.0f, 1.0f, 10, 10, 1, 1), Status::bad_spacing},
        {grid_args(1.0f, -2.0f, 10, 10, 1, 1), Status::bad_spacing},
        {grid_args(inf, 1.0f, 10, 10, 1, 1), Status::bad_spacing},
        {grid_args(1.0f, nan, 10, 10, 1, 1), Status::bad_spacing},
        {grid_args(1.0f, 1.0f, 0, 10, 1, 1), Status::bad_size},
        {grid_args(1.0f, 1.0f, 10, -3, 1, 1), Status::bad_size},
        {grid_args(1.0f, 1.0f, 10, 10, 7, 6), Status::bad_channel},
        {grid_args(1.0f, 1.0f, 10, 10, 0, 6), Status::bad_channel},
        {grid_args(1.0f, 1.0f, 10, 10, 1, 257), Status::bad_max_channels},
        {grid_args(1.0f, 1.0f, 10, 10, 1, 256), Status::ok},
        {grid_args(1.0f, 1.0f, 10, 10, 1, 0), Status::bad_max_channels},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "dx " << c.r.dx << " dy " << c.r.dy << " nx " << c.r.nx << " ny "
                                          << c.r.ny << " ichan " << c.r.ichan << " maxchan " << c.r.maxchan);
        EXPECT_EQ(check_arguments(c.r), c.want);
    }
    // The codes are the documented ones.
    EXPECT_EQ(code(Status::bad_spacing), -1020);
    EXPECT_EQ(code(Status::bad_size), -1021);
    EXPECT_EQ(code(Status::bad_channel), -1022);
    EXPECT_EQ(code(Status::bad_max_channels), -1023);
}

TEST(CallSetup, OriginAndNullValueChecks) {
    const float inf = INFINITY, nan = NAN;
    struct Case { const char* what; float x0, y0, dx, dy, dummy; Status expect; };
    const Case cases[] = {
        {"ordinary", 1234.5f, -60.0f, 25.0f, 5.0f, -99999.0f, Status::ok},
        {"just inside the int range", -2147483520.0f, 2147483520.0f, 1.0f, 1.0f, 0.0f, Status::ok},
        {"X0 NaN", nan, 0.0f, 1.0f, 1.0f, -99999.0f, Status::bad_origin},
        {"Y0 infinite", 0.0f, -inf, 1.0f, 1.0f, -99999.0f, Status::bad_origin},
        {"X0/DX is 2^31", -2147483648.0f, 0.0f, 1.0f, 1.0f, -99999.0f, Status::bad_origin},
        {"Y0/DY beyond", 0.0f, 100.0f, 1.0f, 1.0e-8f, -99999.0f, Status::bad_origin},
        {"X0/DX overflows to infinity", 3.0e38f, 0.0f, 1.0e-3f, 1.0f, -99999.0f, Status::bad_origin},
        {"DUMMY NaN", 0.0f, 0.0f, 1.0f, 1.0f, nan, Status::bad_dummy},
        {"DUMMY infinite is a value", 0.0f, 0.0f, 1.0f, 1.0f, -inf, Status::ok},
        {"origin first", nan, 0.0f, 1.0f, 1.0f, nan, Status::bad_origin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(check_origin_and_dummy(c.x0, c.y0, c.dx, c.dy, c.dummy), c.expect);
    }
    EXPECT_EQ(code(Status::bad_origin), -1024);
    EXPECT_EQ(code(Status::bad_dummy), -1025);
}

TEST(CallSetup, IterationLimitFromIerr) {
    EXPECT_EQ(iteration_limit(31), 512);
    EXPECT_EQ(iteration_limit(32), 32);
    EXPECT_EQ(iteration_limit(0), 512);
    EXPECT_EQ(iteration_limit(-1002), 512);  // the status word of a failed earlier call
    EXPECT_EQ(iteration_limit(2000), 2000);
}

TEST(CallSetup, RadiusInCells) {
    EXPECT_EQ(radius_in_cells(radius_args(50.0f, 25.0f, 5.0f, 41, 65)), 2.0f);
    EXPECT_EQ(radius_in_cells(radius_args(0.0f, 25.0f, 5.0f, 41, 65)), 0.0f);
    EXPECT_EQ(radius_in_cells(radius_args(-50.0f, 25.0f, 5.0f, 41, 65)), 0.0f);
    // Wider than NX*DX = 1025 or higher than NY*DY = 325: no blanking.
    EXPECT_EQ(radius_in_cells(radius_args(1026.0f, 25.0f, 5.0f, 41, 65)), 0.0f);
    EXPECT_EQ(radius_in_cells(radius_args(326.0f, 25.0f, 5.0f, 41, 65)), 0.0f);
    // Exactly as wide as the grid is still a radius: 325 / 25 = 13.
    EXPECT_EQ(radius_in_cells(radius_args(325.0f, 25.0f, 5.0f, 41, 65)), 13.0f);
    EXPECT_EQ(radius_in_cells(radius_args(NAN, 1.0f, 1.0f, 10, 10)), 0.0f);
}

TEST(CallSetup, ReducedAngle) {
    struct Case { float in, out; };
    const Case cases[] = {
        {0.0f, 0.0f},   {90.0f, 0.0f},  {180.0f, 0.0f}, {-270.0f, 0.0f}, {360.0f, 0.0f},
        {1.5f, 0.0f},   {-1.99f, 0.0f}, {2.0f, 2.0f},   {30.0f, 30.0f},  {60.0f, -30.0f},
        {45.0f, 45.0f}, {46.0f, -44.0f}, {-46.0f, 44.0f}, {135.0f, 45.0f}, {-135.0f, -45.0f},
        {405.0f, 45.0f}, {210.0f, 30.0f}, {-330.0f, 30.0f}, {91.5f, 0.0f},  {-60.0f, 30.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("angle " + std::to_string(c.in));
        EXPECT_NEAR(reduced_angle(c.in), c.out, 1e-4f);
        EXPECT_LE(std::fabs(reduced_angle(c.in)), 45.0f);
    }
}

// The largest h with (2h + 3)(2h + ncu) <= 256000, by search.
int largest_fitting(int ncu) {
    int h = -1;
    while ((2 * std::int64_t(h + 1) + 3) * (2 * std::int64_t(h + 1) + ncu) <= 256000) ++h;
    return h;
}

TEST(CallSetup, HalfWindow) {
    {
        SCOPED_TRACE("rounded to nearest");
        EXPECT_EQ(half_window(2.0f, 41).hw, 2);
        EXPECT_EQ(half_window(2.5f, 41).hw, 3);
        EXPECT_EQ(half_window(2.49f, 41).hw, 2);
        EXPECT_EQ(half_window(0.0f, 41).hw, 0);
        EXPECT_FALSE(half_window(2.0f, 41).reduced);
    }
    {
        SCOPED_TRACE("NCU 1000: 104 fits ((211)(1208) = 254888), 105 does not ((213)(1210) = 257730)");
        const HalfWindow fits = half_window(104.0f, 1000);
        EXPECT_EQ(fits.hw, 104);
        EXPECT_FALSE(fits.reduced);
        const HalfWindow h = half_window(500.0f, 1000);
        EXPECT_EQ(h.hw, 104);
        EXPECT_TRUE(h.reduced);
        EXPECT_EQ(h.radius_used, 104.0f);
        EXPECT_EQ(half_window(105.0f, 1000).hw, 104);
    }
    {
        SCOPED_TRACE("the reduction agrees with a search for several widths");
        for (int ncu : {10, 41, 300, 1000, 5000, 20000, 60000}) {
            SCOPED_TRACE("ncu " + std::to_string(ncu));
            const HalfWindow h = half_window(1.0e6f, ncu);
            EXPECT_TRUE(h.reduced);
            EXPECT_EQ(h.hw, std::max(largest_fitting(ncu), 0));
        }
    }
    {
        SCOPED_TRACE("a grid so wide that not even HW = 0 fits: no blanking");
        const HalfWindow h = half_window(3.0f, 100000);
        EXPECT_TRUE(h.reduced);
        EXPECT_EQ(h.hw, 0);
        EXPECT_LT(h.radius_used, 1.0f);
    }
    {
        SCOPED_TRACE("huge radius and huge grid do not overflow");
        EXPECT_EQ(half_window(3.0e9f, 2000000000).hw, 0);
    }
}

TEST(CallSetup, WorkingGrids) {
    const WorkingGrid g = unrotated_grid(frame_args(100.0f, -220.0f, 25.0f, 5.0f, 41, 65));
    EXPECT_EQ(g.xc0, 4.0f);
    EXPECT_EQ(g.yc0, -44.0f);
    EXPECT_EQ(g.ncu, 41);
    EXPECT_EQ(g.nru, 65);

    // xc0 = trunc(2.3) - 1 = 1, yc0 = trunc(-3.7) - 1 = -4; ncu = nint(11.6 - 1) + 1 = 12,
    // nru = nint(5.2 + 4) + 1 = 10.
    WorkingGrid r;
    EXPECT_EQ(rotated_grid(DataRange{2.3f, 10.6f, -3.7f, 4.2f}, r), Status::ok);
    EXPECT_EQ(r.xc0, 1.0f);
    EXPECT_EQ(r.yc0, -4.0f);
    EXPECT_EQ(r.ncu, 12);
    EXPECT_EQ(r.nru, 10);
    EXPECT_EQ(rotated_grid(DataRange{}, r), Status::bad_data_name);  // no point
    EXPECT_EQ(rotated_grid(DataRange{3.0f, 3.0f, 0.0f, 1.0f}, r), Status::bad_data_name);
    EXPECT_EQ(rotated_grid(DataRange{0.0f, 1.0f, 2.0f, 2.0f}, r), Status::bad_data_name);

    // Data far from the requested grid are gridded where they lie: xc0 = 4999999,
    // ncu = nint(5000101 - 4999999) + 1 = 103 (all exact in float).
    EXPECT_EQ(rotated_grid(DataRange{5.0e6f, 5000100.0f, 2.0f, 9.0f}, r), Status::ok);
    EXPECT_EQ(r.xc0, 4999999.0f);
    EXPECT_EQ(r.ncu, 103);
    EXPECT_EQ(r.yc0, 1.0f);
    EXPECT_EQ(r.nru, 10);
    // A range wider than any partition still gives its grid; the partition refuses it.
    EXPECT_EQ(rotated_grid(DataRange{0.5f, 6.0e6f, 0.0f, 1.0f}, r), Status::ok);
    EXPECT_EQ(r.xc0, -1.0f);
    EXPECT_EQ(r.ncu, 6000003);
    // Only where the origin or size would not fit an int is the call refused here.
    EXPECT_EQ(rotated_grid(DataRange{0.0f, 2.0e9f, 0.0f, 1.0f}, r), Status::too_many_blocks);
    EXPECT_EQ(rotated_grid(DataRange{0.0f, 1.0f, -INFINITY, 1.0f}, r), Status::too_many_blocks);

    DataTransform t;
    rotation_of(frame_args(0.0f, 0.0f, 1.0f, 2.0f, 10, 10), 30.0f, t);
    EXPECT_TRUE(t.rotated);
    EXPECT_EQ(t.xr, 5.0f);
    EXPECT_EQ(t.yr, 10.0f);
    EXPECT_NEAR(t.sin_a, 0.5f, 1e-6f);
    EXPECT_NEAR(t.cos_a, std::sqrt(3.0f) / 2.0f, 1e-6f);
}

// The partition of a working grid for a request of nx x ny nodes.
Status partition_for(const WorkingGrid& wg, int nx, int ny, Partition& p) {
    return choose_partition(wg, frame_args(0.0f, 0.0f, 1.0f, 1.0f, nx, ny), p);
}

TEST(CallSetup, PartitionAndOverlap) {
    // NX and NY equal to the working grid's size in each case.
    struct Chosen { const char* what; int ncu, nru, overlap, nsect, cpb, ntier, rpb; };
    const Chosen chosen[] = {
        {"one block: overlap 1 whatever NX and NY", 200, 50, 1, 1, 204, 1, 54},
        // NCP 1004, NRP 54: 5 sections of 209 columns, one tier of 54 rows.
        {"several blocks, NX and NY above 10: overlap 10", 1000, 50, 10, 5, 209, 1, 54},
        // Overlap 10 gives 36 sections of 38 x 12; overlap 5: BS 173, NS0 5, first pass
        // ratio 33/12 < 3, second pass takes 5 sections of 5 + ceil(999/5) = 205 x 12.
        {"several blocks with NY 8: partitioned again with overlap 5", 1000, 8, 5, 5, 205, 1, 12},
    };
    for (const Chosen& c : chosen) {
        SCOPED_TRACE(c.what);
        Partition p;
        ASSERT_EQ(partition_for(WorkingGrid{.ncu = c.ncu, .nru = c.nru}, c.ncu, c.nru, p), Status::ok);
        EXPECT_EQ(p.overlap, c.overlap);
        EXPECT_EQ(p.nsect, c.nsect);
        EXPECT_EQ(p.cpb, c.cpb);
        EXPECT_EQ(p.ntier, c.ntier);
        EXPECT_EQ(p.rpb, c.rpb);
    }
    struct Overlap { const char* what; int ncu, nru, overlap; };
    for (const Overlap& c : {Overlap{"tiny single block", 3, 2, 1}, Overlap{"NY 6: overlap 5", 1000, 6, 5}}) {
        SCOPED_TRACE(c.what);
        Partition p;
        ASSERT_EQ(partition_for(WorkingGrid{.ncu = c.ncu, .nru = c.nru}, c.ncu, c.nru, p), Status::ok);
        EXPECT_EQ(p.overlap, c.overlap);
    }
    {
        SCOPED_TRACE("several blocks with NY 5 or NX 5: -999");
        Partition p;
        EXPECT_EQ(partition_for(WorkingGrid{.ncu = 1000, .nru = 5}, 1000, 5, p), Status::overlap_too_small);
        EXPECT_EQ(code(Status::overlap_too_small), -999);
        Partition q;
        EXPECT_EQ(partition_for(WorkingGrid{.ncu = 5, .nru = 1000}, 5, 1000, q), Status::overlap_too_small);
    }
    {
        SCOPED_TRACE("wider or taller than any partition: still the overlap rule, then -2");
        // A side above 3600 x 1200 nodes always partitions into several (and more than
        // 3600) blocks, so NX or NY of 5 or less ends the call with -999 first.
        struct Case { int ncu, nru, nx, ny; Status want; };
        const Case cases[] = {
            {5000000, 3, 5000000, 3, Status::overlap_too_small},
            {3, 5000000, 3, 5000000, Status::overlap_too_small},
            {5000000, 8, 5000000, 8, Status::too_many_blocks},
            {2147483647, 10, 2147483647, 10, Status::too_many_blocks},
            {6000000, 40, 5, 31, Status::overlap_too_small},  // rotated: NX is the request
            {6000000, 40, 41, 31, Status::too_many_blocks},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.ncu) + " x " + std::to_string(c.nru) + ", NX " +
                         std::to_string(c.nx) + " NY " + std::to_string(c.ny));
            Partition p;
            EXPECT_EQ(partition_for(WorkingGrid{.ncu = c.ncu, .nru = c.nru}, c.nx, c.ny, p), c.want);
        }
    }
    {
        SCOPED_TRACE("more than 3600 blocks: -2");
        // NCP = NRP = 12004: at least 71 sections and 71 tiers.
        Partition p;
        EXPECT_EQ(partition_for(WorkingGrid{.ncu = 12000, .nru = 12000}, 12000, 12000, p), Status::too_many_blocks);
        EXPECT_EQ(code(Status::too_many_blocks), -2);
    }
}

TEST(CallSetup, PointsPerRecord) {
    EXPECT_EQ(points_per_record(1), 900);     // 256000 / 3 = 85333, capped
    EXPECT_EQ(points_per_record(94), 900);    // 256000 / 282 = 907
    EXPECT_EQ(points_per_record(95), 898);    // 256000 / 285 = 898.2
    EXPECT_EQ(points_per_record(3600), 23);   // 256000 / 10800 = 23.7
}

}  // namespace
}  // namespace minc
