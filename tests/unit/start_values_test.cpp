// Start values from the template grid: bicubic patches reproduce constants, planes
// and cubics, start at the template nodes, and fit the section's window; failures for
// sections outside the template.
#include "start_values.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "capacities.hpp"

namespace minc {
namespace {

constexpr float kDummy = -99999.0f;

// A template grid with its own storage.
struct OwnedTemplate {
    std::vector<float> v = std::vector<float>(kBlockNodes, 0.0f);
    TemplateGrid t;
    OwnedTemplate(int ic, int nxc, int nyc) {
        t.ic = ic;
        t.nxc = nxc;
        t.nyc = nyc;
        t.xt0 = t.yt0 = 1 - 2 * ic;
        t.values = v;
    }
    // Sets node (c, r) to f(c, r) for every template node.
    void set(const std::function<double(double, double)>& f) {
        for (int r = 1; r <= t.nyc; ++r)
            for (int c = 1; c <= t.nxc; ++c) t.view()(c, r) = static_cast<float>(f(c, r));
    }
    // Template coordinate of extended-grid node e (template node c at (c - 1) ic + xt0).
    double coord(int e) const { return static_cast<double>(e - t.xt0) / t.ic + 1.0; }
};

struct Section {
    Grid<float> g;
    std::vector<float> fine = std::vector<float>(kAccumulatorWords);
    std::vector<float> patch;
    Section(int nx, int ny, int ic) : g(nx, ny), patch(static_cast<std::size_t>((ic + 1) * (ic + 1))) {}
    Status run(float xoff, float yoff, const TemplateGrid& t) { return zgint({xoff, yoff}, t, g.view(), fine, patch, kDummy); }
};

// Largest |value| of the template: the scale of the rounding.
float scale_of(const OwnedTemplate& ot) {
    float m = 1.0f;
    for (int k = 0; k < ot.t.nxc * ot.t.nyc; ++k) m = std::max(m, std::fabs(ot.v[static_cast<std::size_t>(k)]));
    return m;
}

// Rounding bound for start values of a polynomial the cubics reproduce exactly. Each
// value passes through two cubic fits and two Horner evaluations at 1 <= t <= 2, whose
// intermediates stay of the order of the template values; every step rounds by half an
// ulp and the errors largely cancel along the chain (the fits are exact for these
// data), so the result lies within a few ulps of the scale. The inexact constants
// 0.3333333 and 0.1666667 contribute below 1e-7 relative. 4 ulps of the scale is tight
// enough that a coefficient off in its fifth digit is caught.
float tolerance(float scale) { return 4.0f * FLT_EPSILON * scale; }

// Checks every section node against f at its template coordinates.
void expect_on(const Section& s, const OwnedTemplate& ot, float xoff, float yoff,
               const std::function<double(double, double)>& f) {
    const float tol = tolerance(scale_of(ot));
    const int i1 = static_cast<int>(xoff + 0.001f) + 1, j1 = static_cast<int>(yoff + 0.001f) + 1;
    int bad = 0;
    for (int j = 1; j <= s.g.ny; ++j) {
        for (int i = 1; i <= s.g.nx; ++i) {
            const double want = f(ot.coord(i1 + i - 1), ot.coord(j1 + j - 1));
            if (std::fabs(static_cast<double>(s.g(i, j)) - want) > static_cast<double>(tol) && ++bad <= 5) {
                ADD_FAILURE() << "node (" << i << ", " << j << "): " << s.g(i, j) << " want " << want << " tol " << tol;
            }
        }
    }
    EXPECT_EQ(bad, 0);
}

TEST(Zgint, ReproducesConstantPlaneAndCubic) {
    // Section 40 x 30 at offsets (0, 0) and (27, 13) of a template with step 4 (the
    // template of a 3 x 2 block run would be this size).
    OwnedTemplate ot(4, 24, 20);
    const std::vector<std::pair<std::string, std::function<double(double, double)>>> surfaces = {
        {"constant", [](double, double) { return 7.25; }},
        {"plane", [](double c, double r) { return 2.5 * c - 1.75 * r + 3.0; }},
        {"bicubic", [](double c, double r) { return 0.01 * c * c * c - 0.05 * r * r + 0.1 * c * r * r * r / 64.0 + 1.0; }},
    };
    for (const auto& [name, f] : surfaces) {
        ot.set(f);
        for (const auto& [xoff, yoff] : {std::pair{0.0f, 0.0f}, std::pair{27.0f, 13.0f}}) {
            SCOPED_TRACE(name + " at offset " + std::to_string(xoff) + ", " + std::to_string(yoff));
            Section s(40, 30, 4);
            ASSERT_EQ(s.run(xoff, yoff, ot.t), Status::ok);
            if (name == "constant") {
                // Every difference is zero, so every value is the constant exactly.
                for (float z : s.g.v) ASSERT_EQ(z, 7.25f);
            } else {
                expect_on(s, ot, xoff, yoff, f);
            }
        }
    }
}

TEST(Zgint, TemplateNodesStartAtTheirValues) {
    OwnedTemplate ot(5, 20, 18);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    for (int k = 0; k < ot.t.nxc * ot.t.nyc; ++k) ot.v[static_cast<std::size_t>(k)] = u(rng);
    Section s(50, 40, 5);
    const float xoff = 11.0f, yoff = 6.0f;
    ASSERT_EQ(s.run(xoff, yoff, ot.t), Status::ok);
    // Rough data: the cubic coefficients reach about three times the value range (20),
    // and they set the size of the rounding.
    const float tol = tolerance(3.0f * 20.0f);
    int checked = 0;
    for (int j = 1; j <= 40; ++j) {
        for (int i = 1; i <= 50; ++i) {
            const int ex = 11 + i, ey = 6 + j;  // extended-grid node
            if ((ex - ot.t.xt0) % 5 != 0 || (ey - ot.t.yt0) % 5 != 0) continue;
            const int c = (ex - ot.t.xt0) / 5 + 1, r = (ey - ot.t.yt0) / 5 + 1;
            EXPECT_NEAR(s.g(i, j), ot.t.view()(c, r), tol) << "section node " << i << ", " << j;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 10 * 8);
}

TEST(Zgint, OffsetJustBelowAWholeNumber) {
    // I1 = trunc(XOFF + 0.001) + 1: 20.0 and 19.9995 both start at node 21; 19.998
    // starts at node 20.
    OwnedTemplate ot(4, 30, 20);
    ot.set([](double c, double r) { return std::sin(c * 0.7) + std::cos(r * 0.4) + 0.1 * c; });
    std::vector<Section> s(4, Section(30, 20, 4));
    const float xoffs[4] = {20.0f, 19.9995f, 19.998f, 19.0f};
    for (std::size_t k = 0; k < 4; ++k) ASSERT_EQ(s[k].run(xoffs[k], 3.0f, ot.t), Status::ok) << xoffs[k];
    EXPECT_EQ(s[0].g.v, s[1].g.v);
    EXPECT_NE(s[0].g.v, s[2].g.v);
    EXPECT_EQ(s[2].g.v, s[3].g.v);
}

TEST(Zgint, SectionsOutsideTheTemplate) {
    // Template step 4, 16 x 14 nodes: cells 2 .. 14 in x and 2 .. 12 in y are usable; the
    // cell of extended node e is (e + 7) / 4 + 1.
    OwnedTemplate ot(4, 16, 14);
    ot.set([](double c, double r) { return c + r; });
    struct Case {
        const char* what;
        int nx, ny;
        float xoff, yoff;
        Status want;
    };
    const Case cases[] = {
        {"fits: last column 48 lies in cell 14, last row 40 in cell 12", 48, 40, 0.0f, 0.0f, Status::ok},
        {"one column more reaches cell 15", 49, 40, 0.0f, 0.0f, Status::start_columns},
        {"one row more reaches cell 13", 48, 41, 0.0f, 0.0f, Status::start_rows},
        {"x offset -9 starts at node -7, in the first cell", 10, 10, -9.0f, 0.0f, Status::start_columns},
        {"y offset -9 starts at node -7, in the first cell", 10, 10, 0.0f, -9.0f, Status::start_rows},
        {"offset -5 starts at node -3, in cell 2", 10, 10, -5.0f, -5.0f, Status::ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Section s(c.nx, c.ny, 4);
        EXPECT_EQ(s.run(c.xoff, c.yoff, ot.t), c.want);
    }
    {
        SCOPED_TRACE("a section of more than 32000 nodes");
        OwnedTemplate big(4, 60, 60);
        big.set([](double c, double r) { return c - r; });
        Section s(180, 180, 4);
        EXPECT_EQ(s.run(0.0f, 0.0f, big.t), Status::start_too_large);
        EXPECT_EQ(code(Status::start_too_large), -1007);
    }
}

TEST(Cell3, PatchCornersAreTemplateNodes) {
    OwnedTemplate ot(4, 8, 8);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 5.0f);
    for (int k = 0; k < 64; ++k) ot.v[static_cast<std::size_t>(k)] = u(rng);
    std::vector<float> patch(25);
    cell3(5, 4, 3, 4, ot.t, patch);
    const float tol = tolerance(3.0f * 5.0f);  // coefficients up to 3 x the value range
    const auto z = ot.t.view();
    EXPECT_NEAR(patch[0], z(3, 4), tol);    // (1, 1)
    EXPECT_NEAR(patch[4], z(4, 4), tol);    // (5, 1): s = 2 along the row
    EXPECT_NEAR(patch[20], z(3, 5), tol);   // (1, 5): t = 2 along the column
    EXPECT_NEAR(patch[24], z(4, 5), tol);   // (5, 5)
}

TEST(Cell3, SinglePrecisionValuesOfAStepFivePatch) {
    // Step 5, so R = 1 / 5 is inexact in float and the order of every operation shows in
    // the last bits. Expected values: the cubic coefficients exactly as written (A1 =
    // D3 x 0.3333333 + (D1 x 3 - D2 x 1.5), ...), Horner evaluation, t and s stepped by
    // adding R, every intermediate rounded to single precision; computed independently
    // by emulating single-precision rounding of each operation. Taking t = 1 + (r - 1) R
    // directly changes 30 of the 36 values, regrouping A1 as D3 x 0.3333333 + D1 x 3 -
    // D2 x 1.5 changes 35.
    OwnedTemplate ot(5, 4, 4);
    // clang-format off
    const float z[4][4] = {  // z(c, r): rows r = 1..4, columns c = 1..4
        { 1.5f, -2.25f,  3.75f, 0.5f},
        { 4.0f,  2.5f,  -1.0f,  6.25f},
        {-3.5f,  0.75f,  5.5f,  2.0f},
        { 2.75f, -4.5f,  1.25f, 3.0f},
    };
    const std::vector<float> want = {  // patch rows r = 1..6, points q = 1..6
        0x1.4p+1f, 0x1.8d4fdcp+0f, 0x1.408308p-1f, -0x1.68734p-3f, -0x1.81064p-1f, -0x1.000008p+0f,
        0x1.4978cep+1f, 0x1.f112ecp+0f, 0x1.4b3c36p+0f, 0x1.6e32c8p-1f, 0x1.295a5p-2f, 0x1.a9fcp-4f,
        0x1.34bc6ap+1f, 0x1.1a52bp+1f, 0x1.f47746p+0f, 0x1.b6e414p+0f, 0x1.89e152p+0f, 0x1.7b648cp+0f,
        0x1.04dd2ep+1f, 0x1.28228p+1f, 0x1.4383bap+1f, 0x1.5908fap+1f, 0x1.6aba52p+1f, 0x1.7a9fe6p+1f,
        0x1.79db14p+0f, 0x1.1e17e6p+1f, 0x1.7700dap+1f, 0x1.c431d2p+1f, 0x1.011a2p+2f, 0x1.16c8c8p+2f,
        0x1.7ffffp-1f, 0x1.f0a3d8p+0f, 0x1.8a3d8p+1f, 0x1.06667p+2f, 0x1.3b852ap+2f, 0x1.600012p+2f,
    };
    // clang-format on
    for (int r = 1; r <= 4; ++r)
        for (int c = 1; c <= 4; ++c) ot.t.view()(c, r) = z[r - 1][c - 1];
    std::vector<float> patch(36, kDummy);
    cell3(6, 5, 2, 2, ot.t, patch);
    for (std::size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(patch[k], want[k]) << "patch point (" << k % 6 + 1 << ", " << k / 6 + 1 << ")";
    }
}

TEST(Insert, PatchMustFitTheWorkArray) {
    std::vector<float> work(6 * 5, 0.0f);
    const std::vector<float> patch = {1, 2, 3, 4, 5, 6};  // 3 wide, 2 high
    const GridView<const float> p(std::span<const float>(patch), 3, 2);
    const GridView<float> w(std::span<float>(work), 6, 5);
    ASSERT_EQ(insert(4, 4, p, w), Status::ok);
    // clang-format off
    const std::vector<float> want = {
        0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0,
        0, 0, 0, 1, 2, 3,
        0, 0, 0, 4, 5, 6,
    };
    // clang-format on
    EXPECT_EQ(work, want);
    EXPECT_EQ(insert(5, 4, p, w), Status::patch_misfit);
    EXPECT_EQ(insert(4, 5, p, w), Status::patch_misfit);
    EXPECT_EQ(code(Status::patch_misfit), -1011);
    EXPECT_EQ(work, want);
}

}  // namespace
}  // namespace minc
