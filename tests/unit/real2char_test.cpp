// REAL2CHAR and INT2CHAR: the fields of the parameter log and the block result lines,
// the blank fill after the field, the returned length, and arguments out of range.
#include "gridout/real2char.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <span>
#include <string>

namespace {

using gridout::int2char;
using gridout::real2char;

// Formats into a 256-character buffer, as the log does, and checks the blank fill.
std::string field(float value, int iw, int nd, int* length = nullptr) {
    std::array<char, 256> text;
    text.fill('#');
    const int n = real2char(value, iw, nd, text);
    if (length) *length = n;
    for (std::size_t i = static_cast<std::size_t>(iw > 0 ? iw : 0); i < text.size(); ++i)
        if (text[i] != ' ') ADD_FAILURE() << "character " << i << " after the field is not blank";
    return std::string(text.data(), static_cast<std::size_t>(iw > 0 ? iw : 0));
}

TEST(Real2char, ParameterLogExamples) {
    struct Case { float v; int iw, nd; const char* want; };
    const Case cases[] = {
        {1234.5f, 12, 2, "     1234.50"},   // x origin
        {1234.5f, 14, 2, "       1234.50"}, // y origin, width 14
        {25.0f, 12, 0, "         25."},     // an integer value with 0 decimals
        {0.25f, 12, 3, "       0.250"},     // search radius
        {1e12f, 12, 2, "************"},
        {-99999.0f, 12, 3, "  -99999.000"},  // null data
        {5.0f, 12, 4, "      5.0000"},      // cell size
        {0.0f, 12, 3, "       0.000"},      // rotation angle
        {512.0f, 4, 0, "512."},             // iterations of a result line
        {1000.0f, 4, 0, "****"},
        {3.0f, 4, 0, "  3."},               // tier number
        {0.00123f, 10, 4, "    0.0012"},    // initial error
        {123456.7f, 10, 4, "**********"},   // 123456.7031 needs 11
        {12345.67f, 10, 4, "12345.6699"},   // the float is 12345.669921875
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v << " F" << c.iw << "." << c.nd);
        int n = -1;
        EXPECT_EQ(field(c.v, c.iw, c.nd, &n), c.want);
        EXPECT_EQ(n, c.iw);  // a right-justified field ends in a non-blank
    }
}

TEST(Real2char, RoundingSignAndLeadingZero) {
    EXPECT_EQ(field(0.125f, 4, 2), "0.12");   // exact tie: to even
    EXPECT_EQ(field(0.375f, 4, 2), "0.38");
    EXPECT_EQ(field(2.5f, 3, 0), " 2.");
    EXPECT_EQ(field(-0.001f, 5, 2), "-0.00");  // the sign stays on a rounded zero
    EXPECT_EQ(field(0.5f, 3, 2), ".50");      // no room for the zero
    EXPECT_EQ(field(0.5f, 4, 2), "0.50");
    EXPECT_EQ(field(-0.5f, 4, 2), "-.50");
    EXPECT_EQ(field(0.5f, 2, 2), "**");
    EXPECT_EQ(field(7.0f, 2, 0), "7.");
    EXPECT_EQ(field(7.0f, 1, 0), "*");
}

TEST(Real2char, NanAndInfinities) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(field(nan, 12, 2), "         NaN");
    EXPECT_EQ(field(nan, 3, 0), "NaN");
    EXPECT_EQ(field(nan, 2, 0), "**");
    EXPECT_EQ(field(inf, 12, 3), "    Infinity");
    EXPECT_EQ(field(inf, 8, 0), "Infinity");
    EXPECT_EQ(field(inf, 7, 0), "    Inf");
    EXPECT_EQ(field(inf, 2, 0), "**");
    EXPECT_EQ(field(-inf, 12, 3), "   -Infinity");
    EXPECT_EQ(field(-inf, 9, 0), "-Infinity");
    EXPECT_EQ(field(-inf, 8, 0), "    -Inf");
    EXPECT_EQ(field(-inf, 4, 0), "-Inf");
    EXPECT_EQ(field(-inf, 3, 0), "***");
}

TEST(Real2char, WidestFieldsAndMostDecimals) {
    // F99.2 of the largest float: 39 integer digits, right-justified.
    const float big = std::numeric_limits<float>::max();
    char ref[128];
    std::snprintf(ref, sizeof ref, "%99.2f", static_cast<double>(big));
    EXPECT_EQ(field(big, 99, 2), ref);
    // 99 decimals cannot fit in 99 characters with the point.
    EXPECT_EQ(field(0.5f, 99, 99), std::string(99, '*'));
    std::string got = field(0.1f, 99, 97);
    std::snprintf(ref, sizeof ref, "%99.97f", static_cast<double>(0.1f));
    EXPECT_EQ(got, ref);
    EXPECT_EQ(got.substr(0, 12), "0.1000000014");  // 0.100000001490116... exactly, no zero dropped
}

TEST(Real2char, ArgumentsOutOfRange) {
    // field() also checks that everything after the field is blank.
    struct Case { const char* what; int iw, nd; std::string want; };
    for (const Case& c : {Case{"no width", 0, 2, ""}, Case{"negative width", -5, 2, ""},
                          Case{"negative decimals", 6, -1, "******"}, Case{"100 decimals", 6, 100, "******"},
                          Case{"width above 99 is no valid edit", 100, 2, std::string(100, '*')}}) {
        SCOPED_TRACE(c.what);
        int n = -1;
        EXPECT_EQ(field(1.0f, c.iw, c.nd, &n), c.want);
        EXPECT_EQ(n, static_cast<int>(c.want.size()));
    }

    // A text shorter than the field: asterisks in all of it, nothing written past it.
    std::array<char, 8> outer;
    outer.fill('#');
    EXPECT_EQ(real2char(1.5f, 12, 2, std::span<char>(outer).subspan(2, 4)), 4);
    EXPECT_EQ(std::string(outer.data(), outer.size()), "##****##");

    EXPECT_EQ(real2char(1.5f, 12, 2, std::span<char>()), 0);
}

TEST(Real2char, ExactlyTheFieldWhenTextIsTheWidth) {
    std::array<char, 12> text;
    EXPECT_EQ(real2char(-3.25f, 12, 2, text), 12);
    EXPECT_EQ(std::string(text.data(), text.size()), "       -3.25");
}

TEST(Real2char, MatchesSnprintfOnRandomFloats) {
    // Every log value is a float; snprintf's "%*.*f" rounds half to even on the exact value.
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> mag(-7.0f, 7.0f);
    for (int i = 0; i < 50000; ++i) {
        const float sign = (rng() & 1) ? -1.0f : 1.0f;
        const float v = sign * std::pow(10.0f, mag(rng));
        const int iw = 8 + static_cast<int>(rng() % 8);
        const int nd = static_cast<int>(rng() % 5);
        char ref[64];
        const int n = std::snprintf(ref, sizeof ref, "%#*.*f", iw, nd, static_cast<double>(v));
        std::string want = n > iw ? std::string(static_cast<std::size_t>(iw), '*') : std::string(ref);
        if (n == iw + 1 && nd > 0) {  // only the optional zero overflows
            const std::size_t z = want.find("0.");
            if (z == 0 || (z == 1 && want[0] == '-')) want = std::string(ref).erase(z, 1);
        }
        ASSERT_EQ(field(v, iw, nd), want) << std::hexfloat << v << " F" << iw << "." << nd;
    }
}

TEST(Int2char, TwelveCharactersRightAligned) {
    struct Case { int v; const char* want; };
    const Case cases[] = {
        {0, "           0"},
        {42, "          42"},
        {-42, "         -42"},
        {std::numeric_limits<int>::max(), "  2147483647"},
        {std::numeric_limits<int>::min(), " -2147483648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.v);
        std::array<char, 20> text;
        text.fill('#');
        EXPECT_EQ(int2char(c.v, text), 12);
        EXPECT_EQ(std::string(text.data(), 12), c.want);
        EXPECT_EQ(std::string(text.data() + 12, 8), std::string(8, ' '));
    }
    std::array<char, 4> small;
    EXPECT_EQ(int2char(123, small), 4);
    EXPECT_EQ(std::string(small.data(), 4), " 123");
    EXPECT_EQ(int2char(12345, small), 4);
    EXPECT_EQ(std::string(small.data(), 4), "****");
    EXPECT_EQ(int2char(5, std::span<char>()), 0);
}

}  // namespace
