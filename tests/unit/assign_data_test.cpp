// Tests of the data assignment: which node a point goes to, the accumulated sums in both
// modes, fixed nodes against off-node constraints, quadrant codes and the coefficients of
// the data equation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "assign_data.hpp"
#include "solver_test_util.hpp"

namespace minc {
namespace {

using test::empty_acc;
using Nodes = test::BlockArrays;

// The single node whose accumulator differs from the empty value w0, or (0, 0).
std::pair<int, int> touched(Nodes& s, float w0) {
    std::pair<int, int> found{0, 0};
    for (int j = 1; j <= s.z.ny; ++j)
        for (int i = 1; i <= s.z.nx; ++i)
            if (s.acc_at(i, j)[0] != w0) {
                EXPECT_EQ(found.first, 0) << "more than one node touched";
                found = {i, j};
            }
    return found;
}

TEST(Assign, HalfWayPointsGoToTheLowerNode) {
    struct Case {
        float x, y, xoff, yoff;
        int i, j;
    };
    // clang-format off
    const Case cases[] = {
        {3.5f,     4.0f,     0.0f, 0.0f, 3, 4},  // exactly half-way: lower column
        {4.0f,     3.5f,     0.0f, 0.0f, 4, 3},  // the same along y
        {3.50005f, 4.0f,     0.0f, 0.0f, 3, 4},  // beyond half-way, 4 - dx = 0.49995 > 0.4999
        {3.5002f,  4.0f,     0.0f, 0.0f, 4, 4},  // 4 - dx = 0.4998: the upper node
        {3.4999f,  4.49f,    0.0f, 0.0f, 3, 4},
        {2.6f,     5.4f,     0.0f, 0.0f, 3, 5},
        {13.5f,    24.5f,   10.0f, 20.0f, 3, 4}, // offsets subtracted first
        {8.5f,     1.0f,     0.0f, 0.0f, 8, 1},  // half-way beyond the last column: kept
    };
    // clang-format on
    for (float wconst : {0.0f, 10.0f}) {
        const float w0 = empty_acc(wconst);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "wconst " << wconst << " point " << c.x << ", " << c.y);
            Nodes s(8, 8, w0);
            const float pt[3] = {c.x, c.y, 7.0f};
            assign(wconst, {c.xoff, c.yoff}, 8, 8, s.acc, pt);
            EXPECT_EQ(touched(s, w0), std::make_pair(c.i, c.j));
        }
    }
}

TEST(Assign, PointsOutsideTheGridAreDropped) {
    struct Case {
        int nx, ny;
        float yoff;
        std::vector<float> pts;
    };
    std::vector<Case> cases;
    // 0.5 is half-way between node 0 and node 1 and so goes to node 0, outside; the
    // second point of each pair lies outside in y.
    for (float x : {0.4f, 0.5f, 8.6f, -3.0f, 100.0f}) cases.push_back({8, 6, 2.0f, {x, 3.0f, 1.0f, 3.0f, x + 2.0f, 1.0f}});
    // 2^32 + 512 node units away: must not wrap around to column 512.
    cases.push_back({600, 3, 0.0f, {4294967808.0f, 2.0f, 1.0f}});
    // Offsets beyond the range of long and NaN, without the step down to the lower node
    // overflowing.
    for (auto [x, y] : {std::pair{-1.0e19f, 3.0f}, {3.0f, -3.0e30f}, {1.0e30f, 3.0f}, {std::nanf(""), 3.0f}})
        cases.push_back({8, 6, 0.0f, {x, y, 1.0f}});
    cases.push_back({8, 6, 0.0f, {3.0f, 3.0f}});  // fewer than 3 words: nothing
    for (float wconst : {0.0f, 10.0f}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "wconst " << wconst << " point " << c.pts[0] << ", " << c.pts[1]);
            Nodes s(c.nx, c.ny, empty_acc(wconst));
            assign(wconst, {0.0f, c.yoff}, c.nx, c.ny, s.acc, c.pts);
            EXPECT_EQ(touched(s, empty_acc(wconst)), std::make_pair(0, 0));
        }
    }
}

TEST(Assign, WeightedModeSumsInverseDistanceWeights) {
    Nodes s(9, 9, 0.0f);
    s.acc_at(4, 5)[3] = 11.0f;  // a4 and a5 are not written
    s.acc_at(4, 5)[4] = 12.0f;
    const float pts[] = {4.25f, 5.5f, 2.0f, 3.75f, 4.75f, 6.0f};
    assign(10.0f, {0.0f, 0.0f}, 9, 9, s.acc, pts);
    const float w1 = 1.0f / (0.0625f + 0.25f + 10.0f);
    const float w2 = 1.0f / (0.0625f + 0.0625f + 10.0f);
    const float* a = s.acc_at(4, 5);
    EXPECT_EQ(a[0], 0.0f + w1 + w2);
    EXPECT_EQ(a[1], 0.0f + w1 * 0.25f + w2 * -0.25f);
    EXPECT_EQ(a[2], 0.0f + w1 * 0.5f + w2 * -0.25f);
    EXPECT_EQ(a[3], 11.0f);
    EXPECT_EQ(a[4], 12.0f);
    EXPECT_EQ(a[5], 0.0f + w1 * 2.0f + w2 * 6.0f);
    // Weights with constant 10 differ by at most 5 percent within a cell.
    EXPECT_LT(w2 / w1, 1.05f);
}

TEST(Assign, NearestModeKeepsTheClosestPointAndTheEarlierOneOnATie) {
    Nodes s(9, 9, 1.0f);
    const float pts[] = {
        4.25f,  5.0f,  1.0f,  // r2 = 0.0625
        3.75f,  5.0f,  2.0f,  // same distance: the earlier stays
        4.0f,   5.3f,  4.0f,  // farther: ignored
        4.125f, 5.0f,  3.0f,  // nearer: replaces
    };
    assign(0.0f, {0.0f, 0.0f}, 9, 9, s.acc, std::span<const float>(pts, 6));
    EXPECT_EQ(s.acc_at(4, 5)[0], 0.0625f);
    EXPECT_EQ(s.acc_at(4, 5)[1], 0.25f);
    EXPECT_EQ(s.acc_at(4, 5)[5], 1.0f);
    assign(0.0f, {0.0f, 0.0f}, 9, 9, s.acc, std::span<const float>(pts + 6, 6));
    EXPECT_EQ(s.acc_at(4, 5)[0], 0.015625f);
    EXPECT_EQ(s.acc_at(4, 5)[1], 0.125f);
    EXPECT_EQ(s.acc_at(4, 5)[2], 0.0f);
    EXPECT_EQ(s.acc_at(4, 5)[5], 3.0f);
}

TEST(Bwts, FixedNodesAgainstOffNodeConstraints) {
    struct Case {
        float wconst, fx, fy;
        bool fixed;
    };
    // clang-format off
    const Case cases[] = {
        {10.0f, 0.0f,   0.0f,  true},
        {10.0f, 0.04f,  0.0f,  true},   // r2 = 0.0016
        {10.0f, 0.03f, -0.035f, true},  // r2 = 0.002125
        {10.0f, 0.06f,  0.0f,  false},  // r2 = 0.0036
        {10.0f, 0.0f,  -0.052f, false}, // r2 = 0.002704
        {0.0f,  0.0f,   0.0f,  true},   // nearest mode: r2 = 0 is cut to 0
        {0.0f,  0.049f, 0.0f,  true},
        {0.0f,  0.0f,   0.051f, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        for (int izset = 0; izset < 2; ++izset) {
            SCOPED_TRACE(testing::Message() << "wconst " << c.wconst << " offset " << c.fx << ", " << c.fy
                                            << " izset " << izset);
            const float w0 = empty_acc(c.wconst);
            Nodes s(9, 9, w0);
            for (float& v : s.z.v) v = -5.0f;
            const float pt[3] = {4.0f + c.fx, 6.0f + c.fy, 12.5f};
            assign(c.wconst, {0.0f, 0.0f}, 9, 9, s.acc, pt);
            bwts(izset, c.wconst, w0, s.z.view(), s.flags.view(), s.acc);
            if (c.fixed) {
                EXPECT_EQ(s.flags(4, 6), -1);
                EXPECT_NEAR(s.z(4, 6), 12.5f, 1.0e-5f);
            } else {
                EXPECT_GE(s.flags(4, 6), 1);
                if (izset) {
                    EXPECT_NEAR(s.z(4, 6), 12.5f, 1.0e-5f);
                } else {
                    EXPECT_EQ(s.z(4, 6), -5.0f);
                }
            }
            // No other node is touched.
            int others = 0;
            for (int j = 1; j <= 9; ++j)
                for (int i = 1; i <= 9; ++i)
                    if (!(i == 4 && j == 6)) others += (s.flags(i, j) != 0) + (s.z(i, j) != -5.0f);
            EXPECT_EQ(others, 0);
        }
    }
}

TEST(Bwts, TwoPointsOnOppositeSidesFixTheNodeToTheirMean) {
    Nodes s(9, 9, 0.0f);
    const float pts[] = {5.25f, 4.0f, 1.0f, 4.75f, 4.0f, 3.0f};
    s.attach(pts);
    EXPECT_EQ(s.flags(5, 4), -1);
    EXPECT_FLOAT_EQ(s.z(5, 4), 2.0f);
}

TEST(Bwts, QuadrantCodesFromTheSignsOfTheMeanOffset) {
    struct Case {
        float fx, fy;
        int code;
    };
    // clang-format off
    const Case cases[] = {
        { 0.3f,  0.2f, 1}, {-0.3f,  0.2f, 2}, {-0.3f, -0.2f, 3}, { 0.3f, -0.2f, 4},
        { 0.0f, -0.3f, 4},  // a2 = 0 counts as non-negative
        { 0.0f,  0.3f, 1}, {-0.3f,  0.0f, 2}, { 0.3f,  0.0f, 1},
    };
    // clang-format on
    for (float wconst : {10.0f, 0.0f}) {
        for (const Case& c : cases) {
            // Once at an interior node, once on the outer band (which keeps the code too).
            for (int i : {5, 2}) {
                SCOPED_TRACE(testing::Message() << "wconst " << wconst << " offset " << c.fx << ", " << c.fy
                                                << " column " << i);
                Nodes s(9, 9, empty_acc(wconst));
                const float pt[3] = {static_cast<float>(i) + c.fx, 5.0f + c.fy, 1.0f};
                s.attach(pt, wconst);
                EXPECT_EQ(s.flags(i, 5), c.code);
            }
        }
    }
}

TEST(Bwts, CoefficientsByHandForAnOffsetAlongTheRow) {
    // Offset (0.5, 0): X = 0.5, Y = 0, so Q = 0, P = 1.5 * 0.5 = 0.75, T = 4 / 0.75 = 16/3,
    // U = T P / 2 - 1 = 1, V = T X = 8/3, M = V - 2U = 2/3, c2 = (V + 2) - (2 + M) = 2,
    // c1 = (M + U) - V = -1, c3 = 2/3, c4 = 1, c5 = T z, c6 = 1 / (-1 + 1 + 2 + 2/3 + 1 + 16/3) = 1/9.
    Nodes s(9, 9, 0.0f);
    const float pt[3] = {4.5f, 5.0f, 3.0f};
    s.attach(pt);
    ASSERT_EQ(s.flags(4, 5), 1);
    const float* c = s.acc_at(4, 5);
    EXPECT_NEAR(c[0], -1.0f, 1e-6f);
    EXPECT_NEAR(c[1], 2.0f, 1e-6f);
    EXPECT_NEAR(c[2], 2.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(c[3], 1.0f, 1e-6f);
    EXPECT_NEAR(c[4], 16.0f, 1e-5f);
    EXPECT_NEAR(c[5], 1.0f / 9.0f, 1e-7f);
}

TEST(Bwts, CoefficientsFollowTheWrittenStepsInFloat) {
    // Nearest mode, so the mean offset is the point's own offset. The offsets (hundredths
    // of a spacing, one per quadrant) were picked because regrouped formulas give other
    // last bits there: M = (Y + 1) V - U - U, c1 = M + (U - V), c2 = (V + 2) - T Q - 2U - M,
    // T = 4 / (P + (Q + Y)) and c6 = 1 / (c1 + c2 + 1 + ...) each change at least one of them.
    const int offsets[][2] = {{1, 9}, {-28, 47}, {-19, -42}, {9, -36}};
    for (const auto& o : offsets) {
        const float px = 5.0f + static_cast<float>(o[0]) * 0.01f;
        const float py = 5.0f + static_cast<float>(o[1]) * 0.01f;
        SCOPED_TRACE(testing::Message() << "point " << px << ", " << py);
        Nodes s(9, 9, 1.0f);
        const float z = 3.7f;
        const float pt[3] = {px, py, z};
        s.attach(pt, 0.0f);
        ASSERT_GE(s.flags(5, 5), 1);

        const float x = std::fabs(px - 5.0f);
        const float y = std::fabs(py - 5.0f);
        const float q = y * y;
        const float p = (((x + y) + y) + 1.0f) * x;
        const float t = 4.0f / ((p + q) + y);
        const float u = ((t * p) * 0.5f) - 1.0f;
        const float v = t * x;
        const float m = ((y + 1.0f) * v) - (2.0f * u);
        const float c2 = (v + 2.0f) - (((t * q) + (2.0f * u)) + m);
        const float c1 = (m + u) - v;
        const float c6 = 1.0f / (((((c1 + 1.0f) + c2) + m) + u) + t);
        const float* c = s.acc_at(5, 5);
        EXPECT_EQ(c[0], c1);
        EXPECT_EQ(c[1], c2);
        EXPECT_EQ(c[2], m);
        EXPECT_EQ(c[3], u);
        EXPECT_EQ(c[4], t * z);
        EXPECT_EQ(c[5], c6);
    }
}

TEST(Bwts, DataEquationReproducesAPlaneThroughTheDatum) {
    // If the neighbours lie on a plane and the datum lies on the same plane, the data
    // equation's target is the plane's value at the node: c6 (Sq + c5 - D) with
    // D = -Z(node) for a plane. Checked in double for offsets in every quadrant.
    auto plane = [](double x, double y) { return 2.0 + 0.7 * x - 1.3 * y; };
    const float offsets[][2] = {{0.3f, 0.2f},   {-0.45f, 0.1f}, {-0.2f, -0.35f}, {0.15f, -0.45f},
                                {0.0f, -0.3f},  {0.5f, 0.5f},   {-0.1f, 0.4f},   {0.4f, 0.0f}};
    for (const auto& o : offsets) {
        SCOPED_TRACE(testing::Message() << "offset " << o[0] << ", " << o[1]);
        Nodes s(9, 9, 0.0f);
        const float x = 5.0f + o[0], y = 5.0f + o[1];
        const float pt[3] = {x, y, static_cast<float>(plane(static_cast<double>(x), static_cast<double>(y)))};
        s.attach(pt);
        const int q = s.flags(5, 5);
        ASSERT_GE(q, 1);
        auto Z = [&](int i, int j) { return plane(i, j); };
        double a = 0, b = 0, g = 0, h = 0;
        switch (q) {
            case 1: a = Z(5, 4); b = Z(6, 4); g = Z(4, 5); h = Z(4, 6); break;
            case 2: a = Z(5, 4); b = Z(4, 4); g = Z(6, 5); h = Z(6, 6); break;
            case 3: a = Z(5, 6); b = Z(4, 6); g = Z(6, 5); h = Z(6, 4); break;
            default: a = Z(5, 6); b = Z(6, 6); g = Z(4, 5); h = Z(4, 4); break;
        }
        const float* cf = s.acc_at(5, 5);
        double c[6];
        for (int m = 0; m < 6; ++m) c[m] = static_cast<double>(cf[m]);
        const double sq = c[1] * a + c[0] * b + c[2] * g + c[3] * h;
        const double d = -Z(5, 5);
        EXPECT_NEAR(c[5] * (sq + c[4] - d), Z(5, 5), 2.0e-5);
    }
}

TEST(Bwts, OuterBandDataNodesKeepTheirFirstPassSums) {
    Nodes s(9, 9, 0.0f);
    const float pts[] = {2.3f, 5.0f, 4.0f, 5.0f, 8.2f, 6.0f};  // column 2 and row 8
    assign(10.0f, {0.0f, 0.0f}, 9, 9, s.acc, pts);
    const std::vector<float> sums = s.acc;
    bwts(0, 10.0f, 0.0f, s.z.view(), s.flags.view(), s.acc);
    for (auto [i, j] : {std::pair{2, 5}, std::pair{5, 8}}) {
        SCOPED_TRACE(testing::Message() << i << "," << j);
        const std::size_t k = 6 * (std::size_t(j - 1) * 9 + std::size_t(i - 1));
        const float sc = 1.0f / sums[k];
        const float mx = sc * sums[k + 1];
        const float my = sc * sums[k + 2];
        EXPECT_EQ(s.acc_at(i, j)[1], mx);
        EXPECT_EQ(s.acc_at(i, j)[2], my);
        EXPECT_EQ(s.acc_at(i, j)[0], mx * mx + my * my);
        EXPECT_EQ(s.acc_at(i, j)[5], sc * sums[k + 5]);
        EXPECT_GE(s.flags(i, j), 1);
    }
}

}  // namespace
}  // namespace minc
