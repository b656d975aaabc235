// Section layout (search radius, ranges rounded outward to whole cells, node counts)
// and the console reports of a completed line.
#include <gtest/gtest.h>

#include <cmath>

#include "section_gridding.hpp"

namespace driver {
namespace {

// Layouts worked out by hand: each range end divided by its cell, truncated toward zero,
// multiplied back and moved one cell outward when it fell inside the range.
TEST(SectionLayout, RangesRoundOutwardToWholeCells) {
    struct Case {
        const char* what;
        float xcell, cell, xmin, xmax, zmin, zmax;
        SectionLayout want;  // radius, gx0, gx1, gz0, gz1, nx, nz
    };
    // clang-format off
    const Case cases[] = {
        // -217.5 / 5 = -43.5 -> -43 -> -215, above -217.5 -> -220; 97.5 -> 19 -> 95 -> 100.
        {"cell 5, stations every 25 m to 1000, tops at 100 with 64 cells",
         25.0f, 5.0f, 0.0f, 1000.0f, -217.5f, 97.5f, {50.0f, 0.0f, 1000.0f, -220.0f, 100.0f, 41, 65}},
        {"no step above the cell size keeps xcell at its start",
         1000.0f, 5.0f, 0.0f, 1000.0f, -10.0f, 10.0f, {2000.0f, 0.0f, 1000.0f, -10.0f, 10.0f, 2, 5}},
        {"re-based line -300 .. 0, xcell 40",
         40.0f, 5.0f, -300.0f, 0.0f, 0.0f, 0.0f, {80.0f, -320.0f, 0.0f, 0.0f, 0.0f, 9, 1}},
        {"exact multiples stay",
         25.0f, 5.0f, -200.0f, 75.0f, -20.0f, 35.0f, {50.0f, -200.0f, 75.0f, -20.0f, 35.0f, 12, 12}},
        // x: 10 rounds down to 0, 1010 up to 1025; z: -12 / 5 -> -2 -> -10, already above -12.
        {"whole range below zero and whole range above zero",
         25.0f, 5.0f, 10.0f, 1010.0f, -48.0f, -12.0f, {50.0f, 0.0f, 1025.0f, -50.0f, -10.0f, 42, 9}},
        {"radius from the cell size when 5 cell exceeds 2 xcell",
         20.0f, 10.0f, 0.0f, 100.0f, 0.0f, 10.0f, {50.0f, 0.0f, 100.0f, 0.0f, 10.0f, 6, 2}},
        {"radius from the cell size when 5 cell equals 2 xcell",
         25.0f, 10.0f, 0.0f, 100.0f, 0.0f, 10.0f, {50.0f, 0.0f, 100.0f, 0.0f, 10.0f, 5, 2}},
        // xcell 0.3 (0.300000012 in 32 bits): 16.5 / 0.300000012 + 1 is 55.99999...,
        // truncated to 55, and node 55 at 54 x 0.300000012 = 16.2000006 lies short of 16.5,
        // so a 56th node is added.
        {"count gets one more when the quotient falls short",
         0.3f, 5.0f, 0.0f, 16.5f, 0.0f, 0.0f, {25.0f, 0.0f, 16.5f, 0.0f, 0.0f, 56, 1}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SectionLayout g = section_layout(CellSizes{.xcell = c.xcell, .cell = c.cell},
                                               LineExtent{.xmin = c.xmin, .xmax = c.xmax, .zmin = c.zmin, .zmax = c.zmax});
        EXPECT_EQ(g.radius, c.want.radius);
        EXPECT_EQ(g.gx0, c.want.gx0);
        EXPECT_EQ(g.gx1, c.want.gx1);
        EXPECT_EQ(g.nx, c.want.nx);
        EXPECT_EQ(g.gz0, c.want.gz0);
        EXPECT_EQ(g.gz1, c.want.gz1);
        EXPECT_EQ(g.nz, c.want.nz);
    }
}

TEST(SectionLayout, TopJustBelowZeroRoundsUpToPlainZero) {
    // Columns at elevation 0, cell 5, 64 cells: centres from -2.5 down to -317.5. The top
    // -2.5 / 5 = -0.5 truncates to the whole number 0, so gz1 = 5 x 0 = 0, which is not
    // below -2.5 and stays: a plain zero, shown without a minus sign.
    const SectionLayout g = section_layout(CellSizes{.xcell = 25.0f, .cell = 5.0f},
                                           LineExtent{.xmin = 0.0, .xmax = 1000.0, .zmin = -317.5, .zmax = -2.5});
    EXPECT_EQ(g.gz1, 0.0f);
    EXPECT_FALSE(std::signbit(g.gz1));
    EXPECT_EQ(g.gz0, -320.0f);  // -63.5 -> -63 -> -315, above -317.5 -> -320
    EXPECT_EQ(g.nz, 65);        // 320 / 5 + 1
    EXPECT_EQ(layout_report(g),
              "  generating grid\n"
              "\n"
              "  x range to output :    0.000000       1000.000    \n"
              "  number of x cells :           41\n"
              "  z range to output :    0.000000      -320.0000    \n"
              "  number of z cells :           65\n");
}

TEST(SectionLayout, CountGetsOneMoreWhenTheQuotientFallsShort) {
    // xcell 0.3 (0.300000012 in 32 bits), range 0 .. 16.5: 16.5 / 0.300000012 + 1 is
    // 55.99999..., truncated to 55, and node 55 at 54 x 0.300000012 = 16.2000006 lies short
    // of 16.5, so a 56th node is added.
    const SectionLayout g = section_layout(CellSizes{.xcell = 0.3f, .cell = 5.0f},
                                           LineExtent{.xmin = 0.0, .xmax = 16.5, .zmin = 0.0, .zmax = 0.0});
    EXPECT_EQ(g.gx1, 16.5f);
    EXPECT_EQ(g.nx, 56);
}

TEST(SectionReports, LineReportLayout) {
    EXPECT_EQ(line_report("7", 3, LineExtent{.xmin = 0.0, .xmax = 50.0, .zmin = 87.5, .zmax = 98.5}),
              "\n"
              " Processing line : 7\n"
              "\n"
              " Number of points :      3\n"
              " x range :       0.00     50.00\n"
              " z range :      98.50     87.50\n");
    // Precise values keep their hundredths; wide values give asterisks.
    EXPECT_EQ(line_report("-12", 1234567, LineExtent{.xmin = -1475.678, .xmax = 0.0, .zmin = -0.004, .zmax = 12345678.0}),
              "\n"
              " Processing line : -12\n"
              "\n"
              " Number of points : ******\n"
              " x range :   -1475.68      0.00\n"
              " z range : **********     -0.00\n");
}

TEST(SectionReports, LayoutReportInFreeFormat) {
    const SectionLayout g{50.0f, 0.0f, 1000.0f, -220.0f, 100.0f, 41, 65};
    EXPECT_EQ(layout_report(g),
              "  generating grid\n"
              "\n"
              "  x range to output :    0.000000       1000.000    \n"
              "  number of x cells :           41\n"
              "  z range to output :    100.0000      -220.0000    \n"
              "  number of z cells :           65\n");
}

TEST(GridCall, CarriesEverythingTheFourCallsNeed) {
    const SectionLayout g{50.0f, -320.0f, 0.0f, -220.0f, 100.0f, 9, 65};
    const GridCall c = make_grid_call("3", "tmpdat2.tmp", g, CellSizes{.xcell = 40.0f, .cell = 5.0f});
    EXPECT_EQ(c.label, "3");
    EXPECT_EQ(c.out_files,
              (std::array<std::string, 4>{"3_con.grd", "3_logcon.grd", "3_res.grd", "3_logres.grd"}));
    EXPECT_EQ(c.datfile, "tmpdat2.tmp");
    EXPECT_EQ(c.x0, -320.0f);
    EXPECT_EQ(c.y0, -220.0f);
    EXPECT_EQ(c.dx, 40.0f);
    EXPECT_EQ(c.dy, 5.0f);
    EXPECT_EQ(c.nx, 9);
    EXPECT_EQ(c.ny, 65);
    EXPECT_EQ(c.radius, 50.0f);
    // Channels 3..6 of the point records, logarithmic gridding for Con and Res.
    for (std::size_t k = 0; k < kQuantities.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(kQuantities[k].channel, 3 + static_cast<int>(k));
        EXPECT_EQ(kQuantities[k].mode, k % 2 == 0 ? 2 : 1);
    }
}

}  // namespace
}  // namespace driver
