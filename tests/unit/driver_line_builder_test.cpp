// Line statistics, the run-wide horizontal cell size and the points of a record.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "line_builder.hpp"

namespace driver {
namespace {

// A line being built with cell 5, and the run's xcell and the last record's points.
struct Line {
    Line(std::int32_t ndepth, std::int64_t number)
        : depth(make_depth_table(ndepth, 5.0f)), b(depth, 5.0f) {
        b.start(number);
    }
    void add(double east, double north, double elevation, std::vector<float> con) {
        ModelRecord r;
        r.line_number = b.stats().line_number;
        r.east = east;
        r.north = north;
        r.elevation = elevation;
        r.conductivity = std::move(con);
        const std::size_t before = b.points().size();
        b.add(r, xcell);
        pts.assign(b.points().begin() + static_cast<std::ptrdiff_t>(before), b.points().end());
    }
    std::vector<float> depth;
    LineBuilder b;
    double xcell = kInitialXcell;
    std::vector<float> pts;
};

TEST(DepthTable, CellCentresBelowTheColumnTop) {
    const std::vector<float> d = make_depth_table(64, 5.0f);
    ASSERT_EQ(d.size(), 64u);
    EXPECT_EQ(d[0], -2.5f);
    EXPECT_EQ(d[1], -7.5f);
    EXPECT_EQ(d[63], -317.5f);
    // With elevation 100 the cells lie at 97.5, 92.5, ..., -217.5.
    EXPECT_EQ(100.0f + d[0], 97.5f);
    EXPECT_EQ(100.0f + d[63], -217.5f);
    const std::vector<float> half = make_depth_table(2, 0.5f);
    EXPECT_EQ(half, (std::vector<float>{-0.25f, -0.75f}));
}

TEST(Xcell, SmallestStepAboveTheCellSize) {
    SCOPED_TRACE("cell 5");
    EXPECT_EQ(update_xcell(1000.0, 25.0, 5.0f), 25.0);
    EXPECT_EQ(update_xcell(25.0, 30.0, 5.0f), 25.0);   // larger steps leave it
    EXPECT_EQ(update_xcell(25.0, 5.0, 5.0f), 25.0);    // a step equal to cell is ignored
    EXPECT_EQ(update_xcell(25.0, 4.0, 5.0f), 25.0);    // as is a smaller one
    EXPECT_EQ(update_xcell(25.0, -20.0, 5.0f), 25.0);  // and a negative one
    EXPECT_EQ(update_xcell(25.0, 5.5, 5.0f), 5.5);
    EXPECT_EQ(update_xcell(1000.0, 1000.0, 5.0f), 1000.0);  // not below the start value
}

TEST(LineLabel, DecimalTextOfAnyWidth) {
    EXPECT_EQ(line_label(7), "7");
    EXPECT_EQ(line_label(-3), "-3");
    EXPECT_EQ(line_label(-99999), "-99999");
    EXPECT_EQ(line_label(123456789), "123456789");  // too wide for 8 characters: kept whole
}

TEST(LineBuilder, StatisticsOfAWindingLine) {
    Line line(2, 9);
    // Stations are straight-line distances from the first record: 0, 50, 30 (3-4-5), 10.
    line.add(100.0, 200.0, 50.0, {1.0f, 1.0f});
    EXPECT_EQ(line.b.stats().record_count, 1);
    EXPECT_EQ(line.b.stats().zmax, 47.5);
    EXPECT_EQ(line.b.stats().zmin, 42.5);
    line.add(130.0, 240.0, 60.0, {1.0f, 0.0f});
    EXPECT_EQ(line.xcell, 50.0);
    line.add(118.0, 224.0, 40.0, {0.0f, 0.0f});
    EXPECT_EQ(line.xcell, 50.0);  // step -20 ignored
    line.add(106.0, 208.0, 45.0, {2.0f, 3.0f});
    EXPECT_EQ(line.xcell, 50.0);  // step -20 again

    const LineStats& s = line.b.stats();
    EXPECT_EQ(s.line_number, 9);
    EXPECT_EQ(s.label, "9");
    EXPECT_EQ(s.record_count, 4);
    EXPECT_EQ(s.point_count, 5);
    EXPECT_EQ(s.first_east, 100.0);
    EXPECT_EQ(s.first_north, 200.0);
    EXPECT_EQ(s.last_east, 106.0);
    EXPECT_EQ(s.last_north, 208.0);
    EXPECT_EQ(s.xmin, 0.0);
    EXPECT_EQ(s.xmax, 50.0);
    EXPECT_EQ(s.zmax, 57.5);  // top cell of the record at 60
    EXPECT_EQ(s.zmin, 32.5);  // bottom cell of the record at 40
    EXPECT_FALSE(runs_west(s));

    ASSERT_EQ(line.b.records().size(), 4u);
    EXPECT_EQ(line.b.records()[1].station, 50.0);
    EXPECT_EQ(line.b.records()[2].station, 30.0);
    EXPECT_EQ(line.b.records()[3].station, 10.0);
    EXPECT_EQ(line.b.records()[1].points, 1u);
    EXPECT_EQ(line.b.records()[2].points, 0u);
    EXPECT_TRUE(line.b.gave_point(1, 0));
    EXPECT_FALSE(line.b.gave_point(1, 1));
    EXPECT_FALSE(line.b.gave_point(2, 0));
    EXPECT_TRUE(line.b.gave_point(3, 1));

    // The last record's points: station 10, depths 42.5 and 37.5. The logarithms are the
    // C library's log10f at run time (the compiler would fold a constant argument with
    // a correctly rounded result, which log10f(3) is not).
    volatile float two = 2.0f;
    volatile float three = 3.0f;
    const float lg2 = std::log10(static_cast<float>(two));
    const float lg3 = std::log10(static_cast<float>(three));
    // clang-format off
    const std::vector<float> want = {
        10.0f, 42.5f, 106.0f, 208.0f, 2.0f, lg2, 500.0f, 3.0f - lg2,
        10.0f, 37.5f, 106.0f, 208.0f, 3.0f, lg3, 1000.0f / 3.0f, 3.0f - lg3,
    };
    // clang-format on
    EXPECT_EQ(line.pts, want);

    // A new line resets everything but line.xcell, which the caller keeps.
    line.b.start(10);
    EXPECT_EQ(line.b.stats().record_count, 0);
    EXPECT_TRUE(line.b.records().empty());
    line.add(0.0, 0.0, 0.0, {0.0f, 4.0f});
    EXPECT_EQ(line.b.stats().point_count, 1);
    EXPECT_FALSE(line.b.gave_point(0, 0));
    EXPECT_TRUE(line.b.gave_point(0, 1));
}

TEST(LineBuilder, ReversedLineIsRebasedOntoItsLastRecord) {
    Line line(1, 2);
    // A line that turns back: stations 0, 150, 100 from first to last.
    line.add(300.0, 0.0, 0.0, {1.0f});
    line.add(150.0, 0.0, 0.0, {1.0f});
    line.add(200.0, 0.0, 0.0, {1.0f});
    EXPECT_TRUE(runs_west(line.b.stats()));
    EXPECT_EQ(line.b.stats().xmax, 150.0);
    line.b.rebase();
    EXPECT_EQ(line.b.stats().xmin, -100.0);
    EXPECT_EQ(line.b.stats().xmax, 0.0);
    EXPECT_EQ(line.b.records().back().station, 100.0);  // records keep their stations as read
    const std::span<const float> p = line.b.points();  // the points' stations are shifted
    ASSERT_EQ(p.size(), 3u * kPointReals);
    EXPECT_EQ(p[kStation], -100.0f);
    EXPECT_EQ(p[kPointReals + kStation], 50.0f);
    EXPECT_EQ(p[2 * kPointReals + kStation], 0.0f);
}

TEST(LineBuilder, MapCoordinatesKeepTheirPrecision) {
    Line line(1, 1);
    // Northings 7654321.74, 7654346.76, 7654371.74: precise steps 25.02 and 24.98. In
    // 32-bit reals (spacing 0.5 there) they would be 7654321.5, 7654347.0, 7654371.5,
    // steps 25.5 and 24.5, and line.xcell would become 24.5.
    line.add(512345.67, 7654321.74, 0.0, {1.0f});
    line.add(512345.67, 7654346.76, 0.0, {1.0f});
    line.add(512345.67, 7654371.74, 0.0, {1.0f});
    EXPECT_NEAR(line.xcell, 24.98, 1e-6);
    EXPECT_NEAR(line.b.stats().xmax, 50.0, 1e-6);
    EXPECT_EQ(line.b.records()[2].north, 7654371.74);
    // The point record carries the 32-bit rounding of the precise values.
    EXPECT_EQ(line.pts[kNorth], static_cast<float>(7654371.74));
    EXPECT_EQ(line.pts[kEast], static_cast<float>(512345.67));
}

}  // namespace
}  // namespace driver
