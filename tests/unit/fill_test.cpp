// Tests of the fill of blank nodes: line interpolation (PLUGM) and the lattice, row,
// column and remainder stages of GRIDR, with expected grids worked out by hand.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "fill.hpp"

namespace minc {
namespace {

constexpr float kNull = -99999.0f;
constexpr float B = kNull;  // a blank entry in the tables below

TEST(Plugm, FillsLinesFromTheirKnownEntries) {
    struct Case {
        const char* what;
        std::vector<float> in, out;
    };
    const float third = (1.0f - 0.0f) / 3.0f;  // each entry is the previous plus the step
    // clang-format off
    const Case cases[] = {
        {"single known entry",  {B, B, 4, B, B},          {4, 4, 4, 4, 4}},
        {"ends by constants",   {B, 1, B, B, 7, B},       {1, 1, 3, 5, 7, 7}},
        {"two gaps",            {2, B, 4, B, B, B, 0},    {2, 3, 4, 3, 2, 1, 0}},
        {"nothing blank",       {1, 2, 3},                {1, 2, 3}},
        {"all blank",           {B, B, B},                {B, B, B}},
        {"empty line",          {},                       {}},
        {"one entry",           {B},                      {B}},
        {"last entry known",    {B, B, 9},                {9, 9, 9}},
        {"steps accumulate",    {0, B, B, 1},             {0, 0 + third, (0 + third) + third, 1}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> line = c.in;
        plugm(line, kNull);
        EXPECT_EQ(line, c.out);
    }
}

struct Known {
    int i, j;
    float v;
};

// A blank nx x ny grid with the known nodes set.
Grid<float> blank_grid(int nx, int ny, std::initializer_list<Known> known = {}) {
    Grid<float> g(nx, ny, kNull);
    for (const Known& k : known) g(k.i, k.j) = k.v;
    return g;
}

// GRIDR with a work line of its own.
Status fill(Grid<float>& g) {
    std::vector<float> work(static_cast<std::size_t>(g.ny));
    return gridr(g.view(), work, kNull);
}

TEST(Gridr, GridWithoutBlanksIsUnchanged) {
    Grid<float> g(10, 12);
    for (std::size_t k = 0; k < g.v.size(); ++k) g.v[k] = static_cast<float>(k % 13) - 6.0f;
    const Grid<float> before = g;
    EXPECT_EQ(fill(g), Status::ok);
    EXPECT_EQ(g.v, before.v);
}

TEST(Gridr, EmptyGridIsAnError) {
    for (auto [nx, ny] : {std::pair{12, 12}, std::pair{5, 3}, std::pair{20, 9}}) {
        SCOPED_TRACE(testing::Message() << nx << " x " << ny);
        Grid<float> g = blank_grid(nx, ny);
        EXPECT_EQ(fill(g), Status::no_values);
        EXPECT_EQ(g.v, blank_grid(nx, ny).v);  // left blank
    }
}

TEST(Gridr, EightRowsUseOnlyColumnsAndTheRemainder) {
    // NY = 8: no lattice and no row stage. Columns 2, 5 and 9 have known entries and are
    // interpolated; (9,5) lies on what would be a lattice row, so a row stage run by
    // mistake would spread 7 along row 5. The other columns get the mean of the filled
    // columns: (20 + 80 + 56) / 24 = 6.5.
    Grid<float> g = blank_grid(12, 8, {{2, 3, 1.0f}, {2, 6, 4.0f}, {5, 1, 10.0f}, {9, 5, 7.0f}});
    ASSERT_EQ(fill(g), Status::ok);
    const float column2[8] = {1, 1, 1, 2, 3, 4, 4, 4};
    for (int j = 1; j <= 8; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(g(2, j), column2[j - 1]);
        EXPECT_EQ(g(5, j), 10.0f);
        EXPECT_EQ(g(9, j), 7.0f);
        for (int i : {1, 3, 4, 6, 7, 8, 10, 11, 12}) EXPECT_EQ(g(i, j), 6.5f) << i;
    }
}

TEST(Gridr, NineByNineRunsOnlyTheFirstTwoLatticePasses) {
    // The lattice is the node (5,5) alone and the pass limit is 9 / 8 = 1: passes of width
    // 3 and 7 run; neither window (rows and columns 4..6, then 2..8) holds (1,1) or (9,9),
    // so (5,5) stays blank. A width-9 pass (wrongly run) would set it to 4 and spread it.
    // Columns: 1 becomes 0, 9 becomes 8, the rest the mean (9 * 0 + 9 * 8) / 18 = 4.
    Grid<float> g = blank_grid(9, 9, {{1, 1, 0.0f}, {9, 9, 8.0f}});
    ASSERT_EQ(fill(g), Status::ok);
    for (int j = 1; j <= 9; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(g(1, j), 0.0f);
        EXPECT_EQ(g(9, j), 8.0f);
        for (int i = 2; i <= 8; ++i) EXPECT_EQ(g(i, j), 4.0f) << i;
    }

    // With a known node inside the width-7 window, (5,5) takes it in the second pass and
    // row 5 and then every column are filled from it.
    Grid<float> h = blank_grid(9, 9, {{1, 1, 0.0f}, {5, 8, 4.0f}});
    ASSERT_EQ(fill(h), Status::ok);
    EXPECT_EQ(h(5, 5), 4.0f);
    const float column1[9] = {0, 1, 2, 3, 4, 4, 4, 4, 4};
    for (int j = 1; j <= 9; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(h(1, j), column1[j - 1]);
        for (int i = 2; i <= 9; ++i) EXPECT_EQ(h(i, j), 4.0f) << i;
    }
}

TEST(Gridr, WidthThreeWindowAveragesAtOnce) {
    // (5,5) has two known nodes in its 3 x 3 window: their mean 3 in the first pass.
    // Nodes off the lattice are filled only by the row and column stages, so (4,4) and
    // (6,6) keep their values.
    Grid<float> g = blank_grid(13, 13, {{4, 4, 2.0f}, {6, 6, 4.0f}});
    ASSERT_EQ(fill(g), Status::ok);
    EXPECT_EQ(g(5, 5), 3.0f);
    EXPECT_EQ(g(4, 4), 2.0f);
    EXPECT_EQ(g(6, 6), 4.0f);
    for (float v : g.v) EXPECT_NE(v, kNull);
}

TEST(Gridr, LatticeNodesFilledInAPassAreSeenLaterInTheSamePass) {
    // 17 x 9: lattice (5,5), (9,5), (13,5); pass limit 17 / 8 = 2, so widths 3, 7 and
    // one pass of width 9 run. Only the width-9 windows reach the known (1,5) = 8 and
    // (17,5) = 0: (5,5) = 8, then (9,5) sees (5,5) = 8, then (13,5) averages (9,5) = 8
    // and (17,5) = 0 to 4. Row 5 is interpolated between those, and every column is
    // constant at its row-5 value.
    Grid<float> g = blank_grid(17, 9, {{1, 5, 8.0f}, {17, 5, 0.0f}});
    ASSERT_EQ(fill(g), Status::ok);
    const float row5[17] = {8, 8, 8, 8, 8, 8, 8, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    for (int j = 1; j <= 9; ++j)
        for (int i = 1; i <= 17; ++i) EXPECT_EQ(g(i, j), row5[i - 1]) << i << "," << j;
}

TEST(Gridr, WidthNinePassesGoOnWhileTheyFillNodes) {
    // 33 x 13: lattice columns 5..29, rows 5 and 9; pass limit 33 / 8 = 4, so the widths
    // run 3, 7, 9, 9, 9. Known: (33,1) = 0 and (33,13) = 8, reached by width 9 only.
    // Pass 3: (29,5) = 0; (25,9) sees (29,5) = 0; (29,9) averages (29,5), (25,9) and
    // (33,13) to 8/3. Pass 4 (it runs because pass 3 filled nodes): (21,5) sees (25,9) = 0,
    // then (25,5) averages (21,5), (29,5), (25,9) and (29,9). Stopping after pass 3 would
    // leave (25,5) to the row stage, which continues (29,5) = 0 as a constant.
    Grid<float> g = blank_grid(33, 13, {{33, 1, 0.0f}, {33, 13, 8.0f}});
    ASSERT_EQ(fill(g), Status::ok);
    const float third = (0.0f + 0.0f + 8.0f) / 3.0f;
    EXPECT_EQ(g(29, 5), 0.0f);
    EXPECT_EQ(g(25, 9), 0.0f);
    EXPECT_EQ(g(29, 9), third);
    EXPECT_EQ(g(21, 5), 0.0f);
    EXPECT_EQ(g(25, 5), (((0.0f + 0.0f) + 0.0f) + third) / 4.0f);
}

TEST(Gridr, RemainderMeanIsTheFloatMeanInStorageOrder) {
    // A 3 x 4 grid: too small for the lattice; column 1 holds 0.1, 0.2, 0.3 and 0.4 is
    // blank (becomes 0.3 by constant continuation); columns 2 and 3 are all blank and take
    // the mean of column 1, summed in storage order in float.
    Grid<float> g = blank_grid(3, 4, {{1, 1, 0.1f}, {1, 2, 0.2f}, {1, 3, 0.3f}});
    ASSERT_EQ(fill(g), Status::ok);
    const float mean = (((0.1f + 0.2f) + 0.3f) + 0.3f) / 4.0f;
    EXPECT_EQ(g(1, 4), 0.3f);
    for (int j = 1; j <= 4; ++j) {
        EXPECT_EQ(g(2, j), mean);
        EXPECT_EQ(g(3, j), mean);
    }
}

}  // namespace
}  // namespace minc
