// Tests of the vectorised relaxation sweep: for every instruction set this processor has,
// forced in turn, single sweeps and whole relaxation runs against the node-by-node
// written-order reference, bit for bit (a NaN may differ only in its payload), and the
// run-time choice of the instruction set.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "relax.hpp"
#include "relax_reference.hpp"
#include "skewed_sweep.hpp"
#include "solver_test_util.hpp"
#include "sweep_isa.hpp"

namespace minc {
namespace {

using Block = test::BlockArrays;

bool same_value(float a, float b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// Fails at the first node whose value differs (NaN payloads aside).
void expect_same_grid(const Block& got, const Block& want) {
    for (int j = 1; j <= want.z.ny; ++j)
        for (int i = 1; i <= want.z.nx; ++i)
            ASSERT_TRUE(same_value(got.z(i, j), want.z(i, j)))
                << "node (" << i << ", " << j << "): " << std::hexfloat << got.z(i, j) << " vs " << want.z(i, j);
}

// Random values, and flags of every kind: fixed, free, data of each quadrant with
// arbitrary coefficients.
Block random_block(int nx, int ny, std::mt19937& rng) {
    Block b(nx, ny);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    std::uniform_real_distribution<float> c(-0.3f, 0.3f);
    std::uniform_int_distribution<int> pick(0, 19);
    std::uniform_int_distribution<int> quadrant(1, 4);
    for (std::size_t k = 0; k < b.z.v.size(); ++k) {
        b.z.v[k] = value(rng);
        const int p = pick(rng);
        b.flags.v[k] = p < 3 ? -1 : (p < 9 ? quadrant(rng) : 0);
        for (int m = 0; m < 6; ++m) b.acc[6 * k + std::size_t(m)] = c(rng);
    }
    return b;
}

// Values of every magnitude: subnormals, values near overflow (whose sums overflow to
// infinities and NaNs), zeros of both signs and ordinary values.
Block extreme_block(int nx, int ny, std::mt19937& rng) {
    Block b = random_block(nx, ny, rng);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
    std::uniform_int_distribution<int> sign(0, 1);
    for (float& v : b.z.v) {
        const float s = sign(rng) ? -1.0f : 1.0f;
        switch (kind(rng)) {
            case 0: v = s * mantissa(rng) * std::numeric_limits<float>::denorm_min() * 1000.0f; break;
            case 1: v = s * mantissa(rng) * 1.0e37f; break;
            case 2: v = s * 0.0f; break;
            case 3: v = s * mantissa(rng) * 1.0e-38f; break;
            case 4: v = s * mantissa(rng) * 3.0e38f / 2.0f; break;
            default: break;
        }
    }
    return b;
}

// Sweeps of the vectorised kernel on `fast` and of the reference on `ref` at the given
// factors: every sweep change and, after the last sweep, the grid must agree.
void expect_same_sweeps(Block& fast, Block& ref, SweepIsa isa, std::initializer_list<float> omegas) {
    SkewedSweep sweep(fast.z.view(), fast.fl(), fast.acc, isa);
    int n = 0;
    for (float omega : omegas) {
        SCOPED_TRACE(testing::Message() << "sweep " << ++n << ", omega " << omega);
        const float d_fast = sweep.sweep(omega);
        const float d_ref = test::reference_sweep(ref.z.view(), ref.fl(), ref.acc, omega);
        ASSERT_TRUE(same_value(d_fast, d_ref)) << std::hexfloat << d_fast << " vs " << d_ref;
    }
    sweep.store();
    expect_same_grid(fast, ref);
}

class SkewedSweepTest : public testing::TestWithParam<SweepIsa> {
protected:
    void SetUp() override {
        if (!sweep_isa_supported(GetParam()))
            GTEST_SKIP() << sweep_isa_name(GetParam()) << " not offered by this processor";
    }
};

TEST_P(SkewedSweepTest, RandomBlocksEqualWrittenOrder) {
    const SweepIsa isa = GetParam();
    const int w = sweep_isa_lanes(isa);
    std::mt19937 rng(7 + static_cast<unsigned>(w));
    // Rows: one band partly filled, exactly full, one row over; columns: narrower than a
    // band's head and tail together (every time has edge lanes), and wide. The edge rows:
    // both sides in one band (5 rows), the top two split over two bands (k W + 1 rows),
    // the top rows filling the last band (k W rows), corner nodes of both sides at one
    // time (5 columns). Wide blocks whose pairs of bands hold every mix of edge rows.
    const int sizes[][2] = {{5, 5},        {5, 6},          {6, 5},         {7, 4 + w},       {5, 5 + w},
                            {9, 3 + w},    {2 * w + 3, 9},  {2 * w + 5, 4 + 2 * w}, {4 * w + 1, 5 + 2 * w},
                            {37, 23},      {64, 48},        {13, 80},       {120, 7},         {300, 200},
                            {9, w + 1},    {5, 2 * w + 1},  {11, 2 * w},    {6, 3 * w},       {183, 43},
                            {64, w + 1},   {64, w + 2},     {40, 2 * w + 1}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1]);
        Block fast = random_block(s[0], s[1], rng);
        Block ref = fast;
        ASSERT_NO_FATAL_FAILURE(expect_same_sweeps(fast, ref, isa, {1.3f, 1.4f, 1.0f, 1.6f}));
    }
}

TEST_P(SkewedSweepTest, ExtremeAndSubnormalValuesEqualWrittenOrder) {
    const SweepIsa isa = GetParam();
    std::mt19937 rng(99);
    const int sizes[][2] = {{5, 5}, {11, 21}, {40, 37}, {77, 19}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1]);
        Block fast = extreme_block(s[0], s[1], rng);
        Block ref = fast;
        ASSERT_NO_FATAL_FAILURE(expect_same_sweeps(fast, ref, isa, {1.3f, 1.5f, 1.0f}));
    }
}

// The sweep change across rows, bands and the re-timed order: nodes whose changes have
// equal magnitudes, where the later node in the written order must win although the
// vectorised sweep reaches it first, and changes too large to count.
TEST_P(SkewedSweepTest, SweepChangeFollowsWrittenOrder) {
    const SweepIsa isa = GetParam();
    const int w = sweep_isa_lanes(isa);
    struct Free {
        int i, j;
        float value;
    };
    struct Case {
        const char* name;
        std::vector<Free> nodes;
        float dmax;  // on a zero grid with omega 1: the change of a node is minus its value
    };
    const Case cases[] = {
        {"one row, later column wins", {{4, 3, 2.0f}, {9, 3, -2.0f}}, 2.0f},
        {"one row, later column wins (other sign)", {{4, 3, -2.0f}, {9, 3, 2.0f}}, -2.0f},
        {"later row reached first wins", {{12, 3, 2.0f}, {3, 4, -2.0f}}, 2.0f},
        {"band above wins", {{20, 3, -2.0f}, {3, 3 + w, 2.0f}}, -2.0f},
        {"larger one wins", {{3, 4, 1.0f}, {12, 3, -3.0f}}, 3.0f},
        {"huge change left out", {{5, 5, 2.0e8f}, {6, 6, 1.5f}}, -1.5f},
        {"only huge changes", {{5, 5, 2.0e8f}}, 0.0f},
        {"non-finite change left out", {{5, 5, std::numeric_limits<float>::infinity()}, {7, 4, -0.5f}}, 0.5f},
        {"edge columns do not count", {{1, 5, 9.0f}, {2, 6, 9.0f}, {23, 5, 9.0f}, {24, 6, 9.0f}, {8, 8, 1.0f}},
         -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Block fast(24, 6 + 2 * w);
        for (auto& f : fast.flags.v) f = -1;
        for (const Free& n : c.nodes) {
            fast.flags(n.i, n.j) = 0;
            fast.z(n.i, n.j) = n.value;
        }
        Block ref = fast;
        SkewedSweep sweep(fast.z.view(), fast.fl(), fast.acc, isa);
        const float d = sweep.sweep(1.0f);
        EXPECT_TRUE(same_value(d, c.dmax)) << d << " vs " << c.dmax;
        EXPECT_TRUE(same_value(d, test::reference_sweep(ref.z.view(), ref.fl(), ref.acc, 1.0f)));
        sweep.store();
        expect_same_grid(fast, ref);
    }
}

// Whole relaxation runs through CURVMN with the instruction set forced, one call after the
// other with the carried state, against the reference control.
TEST_P(SkewedSweepTest, RelaxationRunsEqualReference) {
    const SweepIsa isa = GetParam();
    ASSERT_TRUE(force_sweep_isa(isa));
    std::mt19937 rng(2026);
    RelaxState state;
    int rise = 0;
    const int sizes[][2] = {{5, 5}, {30, 20}, {64, 40}, {17, 70}, {90, 33}, {41, 41}};
    for (const auto& s : sizes) {
        for (int bwts = 0; bwts < 2; ++bwts) {
            SCOPED_TRACE(testing::Message() << s[0] << " x " << s[1] << (bwts ? " bwts" : " raw"));
            Block fast(s[0], s[1]);
            if (bwts) {
                std::uniform_real_distribution<float> value(-50.0f, 50.0f);
                std::uniform_real_distribution<float> x(0.5f, static_cast<float>(s[0]) + 0.5f);
                std::uniform_real_distribution<float> y(0.5f, static_cast<float>(s[1]) + 0.5f);
                for (float& v : fast.z.v) v = value(rng);
                std::vector<float> pts;
                for (int p = 0; p < s[0] * s[1] / 8 + 1; ++p) pts.insert(pts.end(), {x(rng), y(rng), value(rng)});
                fast.attach(pts);
            } else {
                fast = random_block(s[0], s[1], rng);
            }
            Block ref = fast;
            RelaxResult r1;
            curvmn(fast.z.view(), fast.fl(), fast.acc, {1.0e-4f, 200}, state, r1);
            RelaxResult r2;
            test::reference_curvmn(ref.z.view(), ref.fl(), ref.acc, 1.0e-4f, 200, rise, r2);
            EXPECT_EQ(r1.niter, r2.niter);
            EXPECT_EQ(std::bit_cast<std::uint32_t>(r1.err0), std::bit_cast<std::uint32_t>(r2.err0));
            EXPECT_EQ(std::bit_cast<std::uint32_t>(r1.err), std::bit_cast<std::uint32_t>(r2.err));
            EXPECT_EQ(state.rise, rise);
            ASSERT_NO_FATAL_FAILURE(expect_same_grid(fast, ref));
        }
    }
    force_sweep_isa(std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(EveryInstructionSet, SkewedSweepTest,
                         testing::Values(SweepIsa::sse2, SweepIsa::avx2, SweepIsa::avx512),
                         [](const testing::TestParamInfo<SweepIsa>& p) {
                             return std::string(sweep_isa_name(p.param));
                         });

TEST(SweepIsa, NamesAndChoice) {
    for (SweepIsa isa : {SweepIsa::scalar, SweepIsa::sse2, SweepIsa::avx2, SweepIsa::avx512}) {
        SCOPED_TRACE(sweep_isa_name(isa));
        EXPECT_EQ(parse_sweep_isa(sweep_isa_name(isa)), isa);
        if (sweep_isa_supported(isa)) {
            ASSERT_TRUE(force_sweep_isa(isa));
            EXPECT_EQ(active_sweep_isa(), isa);
        } else {
            EXPECT_FALSE(force_sweep_isa(isa));
        }
    }
    EXPECT_TRUE(sweep_isa_supported(SweepIsa::scalar));
    EXPECT_EQ(parse_sweep_isa("AVX2"), std::nullopt);
    EXPECT_EQ(parse_sweep_isa(""), std::nullopt);
    EXPECT_EQ(sweep_isa_lanes(SweepIsa::avx512), 16);
    EXPECT_EQ(sweep_isa_lanes(SweepIsa::sse2), 4);
    ASSERT_TRUE(force_sweep_isa(std::nullopt));
    EXPECT_TRUE(sweep_isa_supported(active_sweep_isa()));
}

// MINC_SIMD names the instruction set, lowered to what the processor has; an unknown name
// is ignored. It is read once per process, so each case runs in a fresh process.
TEST(SweepIsaDeathTest, EnvironmentChoosesTheInstructionSet) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    SweepIsa best = SweepIsa::scalar;
    for (SweepIsa isa : {SweepIsa::sse2, SweepIsa::avx2, SweepIsa::avx512})
        if (sweep_isa_supported(isa)) best = isa;
    const SweepIsa avx2_or_lower = sweep_isa_supported(SweepIsa::avx2) ? SweepIsa::avx2 : best;
    struct Case {
        const char* value;
        SweepIsa chosen;
    };
    const Case cases[] = {{"scalar", SweepIsa::scalar}, {"sse2", SweepIsa::sse2}, {"avx2", avx2_or_lower},
                          {"avx512", best},             {"fastest", best},        {"", best}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EXIT(
            {
                setenv("MINC_SIMD", c.value, 1);
                std::exit(static_cast<int>(active_sweep_isa()));
            },
            testing::ExitedWithCode(static_cast<int>(c.chosen)), "");
    }
}

}  // namespace
}  // namespace minc
