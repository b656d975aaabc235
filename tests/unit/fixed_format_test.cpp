// Fixed-width number fields: exact strings worked out by hand for each rule, and
// randomized comparisons with C's snprintf, whose "%.*f" and "%.*E" round the exact
// binary value half to even, the rounding the fields promise.
#include "gridout/fixed_fields.hpp"
#include "gridout/fixed_format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

using gridout::exponent;
using gridout::fixed;
using gridout::general15;
using gridout::integer;

// ---- snprintf-based references --------------------------------------------------

std::string right_or_stars(const std::string& s, int width) {
    if (static_cast<int>(s.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
    return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

std::string ref_fixed(double v, int width, int decimals) {
    std::string s(600, '\0');
    const int n = std::snprintf(s.data(), s.size(), "%.*f", decimals, v);
    s.resize(static_cast<std::size_t>(n));
    if (decimals == 0) s += '.';
    const std::size_t zero = (s[0] == '-') ? 1 : 0;
    if (static_cast<int>(s.size()) == width + 1 && decimals > 0 && s.compare(zero, 2, "0.") == 0) s.erase(zero, 1);
    return right_or_stars(s, width);
}

// Splits snprintf's "%.*E" into the mantissa digits and the exponent of 0.ddd form.
void ref_digits(double v, int digits, std::string& mant, int& k, bool& negative) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.*E", digits - 1, v);
    std::string s = buf;
    negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const std::size_t e = s.find('E');
    mant.clear();
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] != '.') mant += s[i];
    k = std::atoi(s.c_str() + e + 1) + 1;
    if (v == 0) k = 0;
}

std::string ref_exp_text(bool negative, const std::string& mant, int k) {
    char ex[16];
    if (std::abs(k) < 100)
        std::snprintf(ex, sizeof ex, "E%+03d", k);
    else
        std::snprintf(ex, sizeof ex, "%+04d", k);
    return std::string(negative ? "-" : "") + "0." + mant + ex;
}

std::string ref_exponent(double v, int width, int decimals) {
    std::string mant;
    int k = 0;
    bool negative = false;
    ref_digits(v, decimals, mant, k, negative);
    return right_or_stars(ref_exp_text(negative, mant, k), width);
}

std::string ref_general15(float x) {
    const auto v = static_cast<double>(x);
    if (v == 0) return std::string(std::signbit(x) ? "  -0.000000" : "   0.000000") + "    ";
    std::string mant;
    int k = 0;
    bool negative = false;
    ref_digits(v, 7, mant, k, negative);
    if (k < 0 || k > 7) return right_or_stars(ref_exp_text(negative, mant, k), 15);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%#11.*f", 7 - k, v);
    return std::string(buf) + "    ";
}

// ---- random values -----------------------------------------------------------------

// Any finite float, uniformly over bit patterns: every binade from subnormal to huge.
float any_float(std::mt19937_64& rng) {
    for (;;) {
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
        if (std::isfinite(f)) return f;
    }
}

// Values whose binary expansion is short, so that many sit exactly half-way between
// two decimal representations (0.125, 2.375, 1234.5625, ...).
double short_binary(std::mt19937_64& rng) {
    const auto n = static_cast<std::int64_t>(rng() % 2000001) - 1000000;
    const int j = static_cast<int>(rng() % 12);
    return std::ldexp(static_cast<double>(n), -j);
}

double map_coordinate(std::mt19937_64& rng) {
    std::uniform_real_distribution<double> u(-1e7, 1e7);
    return u(rng);
}

double pick(std::mt19937_64& rng) {
    switch (rng() % 5) {
        case 0: return static_cast<double>(any_float(rng));
        case 1: return short_binary(rng);
        case 2: return map_coordinate(rng);
        case 3: {  // the neighbours of a tie round the other way from each other
            const double t = short_binary(rng);
            return (rng() & 1) ? std::nextafter(t, 1e300) : std::nextafter(t, -1e300);
        }
        default: {
            std::uniform_real_distribution<float> u(-1000.0f, 1000.0f);
            return static_cast<double>(u(rng));
        }
    }
}

// One random case: the value, the field and both texts.
struct Sample {
    double v;
    const char* form;
    int w, d;
    std::string got, want;
};

// Draws n samples (draw(i) gives the i-th); reports at most ten mismatches.
template <class Draw>
void expect_samples_match(int n, Draw draw) {
    int failures = 0;
    for (int i = 0; i < n && failures < 10; ++i) {
        const Sample s = draw(i);
        if (s.got != s.want) {
            ++failures;
            ADD_FAILURE() << std::hexfloat << s.v << " " << s.form << s.w << "." << s.d << ": got [" << s.got
                          << "] want [" << s.want << "]";
        }
    }
}

// ---- fixed point ---------------------------------------------------------------------

TEST(FormatFixed, WidthsDecimalsAndPoint) {
    struct Case { double v; int w, d; const char* want; };
    const Case cases[] = {
        {1234.5, 12, 2, "     1234.50"},
        {-1234.5, 12, 2, "    -1234.50"},
        {7.0, 2, 0, "7."},
        {7.0, 4, 0, "  7."},
        {25.0, 12, 0, "         25."},
        {0.25, 12, 3, "       0.250"},
        {-99999.0, 12, 3, "  -99999.000"},
        {512.0, 4, 0, "512."},
        {0.5, 4, 2, "0.50"},
        {3.14159, 8, 4, "  3.1416"},
        {100.0, 10, 2, "    100.00"},
        {0.0, 5, 2, " 0.00"},
        {7654321.89, 12, 2, "  7654321.89"},  // a double position keeps its cents
        {1.0, 1, 0, "*"},                    // "1." needs two characters
        {12345.678, 9, 3, "12345.678"},       // exactly full
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v << " F" << c.w << "." << c.d);
        EXPECT_EQ(fixed(c.v, c.w, c.d), c.want);
    }
}

TEST(FormatFixed, AsterisksWhenTooWide) {
    struct Case { double v; int w, d; };
    const Case cases[] = {
        {1e12, 12, 2}, {1000.0, 4, 0}, {-100.0, 4, 0}, {123456.789, 8, 3}, {1e300, 12, 2}, {-1e300, 40, 2},
        {99.999, 5, 2},  // rounds to 100.00, six characters
        {0.5, 2, 2},     // even ".50" does not fit
        {1.0, 3, 3},     // the decimals alone fill the field
        {1.0, 5, -1},    // negative decimals are no edit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v << " F" << c.w << "." << c.d);
        EXPECT_EQ(fixed(c.v, c.w, c.d), std::string(static_cast<std::size_t>(c.w), '*'));
    }
}

TEST(FormatFixed, NegativeZeroAndLeadingZero) {
    EXPECT_EQ(fixed(-0.001, 5, 2), "-0.00");
    EXPECT_EQ(fixed(-0.004, 6, 2), " -0.00");
    EXPECT_EQ(fixed(-0.0, 5, 2), "-0.00");
    EXPECT_EQ(fixed(-0.4, 3, 0), "-0.");
    // The zero goes only when it alone would overflow the field.
    EXPECT_EQ(fixed(0.5, 3, 2), ".50");
    EXPECT_EQ(fixed(-0.5, 4, 2), "-.50");
    EXPECT_EQ(fixed(-0.001, 4, 2), "-.00");
    EXPECT_EQ(fixed(0.5, 5, 2), " 0.50");
    EXPECT_EQ(fixed(0.25, 4, 3), ".250");
    // With no decimals a lone point would show no digit: asterisks instead.
    EXPECT_EQ(fixed(0.3, 1, 0), "*");
    EXPECT_EQ(fixed(0.3, 2, 0), "0.");
    // Rounding up to 1 keeps the integer digit.
    EXPECT_EQ(fixed(0.996, 3, 2), "***");
    EXPECT_EQ(fixed(0.996, 4, 2), "1.00");
}

TEST(FormatFixed, ExactTiesRoundToEven) {
    EXPECT_EQ(fixed(0.125, 4, 2), "0.12");
    EXPECT_EQ(fixed(0.375, 4, 2), "0.38");
    EXPECT_EQ(fixed(-0.125, 5, 2), "-0.12");
    EXPECT_EQ(fixed(2.5, 2, 0), "2.");
    EXPECT_EQ(fixed(3.5, 2, 0), "4.");
    EXPECT_EQ(fixed(0.5, 2, 0), "0.");
    EXPECT_EQ(fixed(1.5, 2, 0), "2.");
    EXPECT_EQ(fixed(1234.5625, 9, 3), " 1234.562");
    // Not ties: 0.135 and 2.675 lie below their half-way points in binary.
    EXPECT_EQ(fixed(2.675, 4, 2), "2.67");
    EXPECT_EQ(fixed(0.135, 4, 2), "0.14");  // 0.13500000000000000888 lies above
}

TEST(FormatFixed, NanAndInfinities) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(fixed(nan, 12, 2), "         NaN");
    EXPECT_EQ(fixed(nan, 3, 2), "NaN");
    EXPECT_EQ(fixed(nan, 2, 0), "**");
    EXPECT_EQ(fixed(inf, 12, 2), "    Infinity");
    EXPECT_EQ(fixed(inf, 8, 2), "Infinity");
    EXPECT_EQ(fixed(inf, 7, 2), "    Inf");
    EXPECT_EQ(fixed(inf, 3, 0), "Inf");
    EXPECT_EQ(fixed(inf, 2, 0), "**");
    EXPECT_EQ(fixed(-inf, 9, 2), "-Infinity");
    EXPECT_EQ(fixed(-inf, 8, 2), "    -Inf");
    EXPECT_EQ(fixed(-inf, 4, 2), "-Inf");
    EXPECT_EQ(fixed(-inf, 3, 2), "***");
}

TEST(FormatFixed, WritesExactlyWidthCharacters) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    gridout::format_fixed(buf + 2, 3.25, 6, 2);
    EXPECT_EQ(std::string(buf, sizeof buf), "##  3.25########");
    std::memset(buf, '#', sizeof buf);
    gridout::format_fixed(buf, 3.25, 0, 2);
    gridout::format_fixed(buf, 3.25, -3, 2);
    EXPECT_EQ(std::string(buf, sizeof buf), std::string(16, '#'));
}

TEST(FormatFixed, LargeMagnitudesAndManyDecimals) {
    // Beyond the 128-bit fast range the general path must give the same fields.
    EXPECT_EQ(fixed(1e20, 25, 2), ref_fixed(1e20, 25, 2));
    EXPECT_EQ(fixed(1e20, 25, 2),  " 100000000000000000000.00");
    EXPECT_EQ(fixed(0.1, 34, 30), "  0.100000000000000005551115123126");
    EXPECT_EQ(fixed(5e-324, 30, 25), "   0.0000000000000000000000000");
    EXPECT_EQ(fixed(-5e-324, 30, 25), "  -0.0000000000000000000000000");
    EXPECT_EQ(fixed(1.7976931348623157e308, 320, 2), ref_fixed(1.7976931348623157e308, 320, 2));
}

TEST(FormatFixed, MatchesSnprintfOnRandomValues) {
    std::mt19937_64 rng(20261207);
    expect_samples_match(200000, [&rng](int) {
        const double v = pick(rng);
        const int d = (rng() % 8 == 0) ? 13 + static_cast<int>(rng() % 30) : static_cast<int>(rng() % 10);
        const int w = 1 + static_cast<int>(rng() % 40);
        return Sample{v, "F", w, d, fixed(v, w, d), ref_fixed(v, w, d)};
    });
}

// The field shapes of the tables, through the forms built for them: stations, depths
// and map positions as F12.2 and F14.2, 32-bit quantities as E13.6.
TEST(FormatFixed, TableFieldShapesMatchSnprintf) {
    std::mt19937_64 rng(7);
    const auto field = [](auto form, double v, int width) {
        std::string s(static_cast<std::size_t>(width), '?');
        form(s.data(), v);
        return s;
    };
    for (int i = 0; i < 100000; ++i) {
        const double v = (i % 2) ? map_coordinate(rng) : short_binary(rng) / 4.0;
        ASSERT_EQ(field(gridout::fixed_field<12, 2>, v, 12), ref_fixed(v, 12, 2)) << std::hexfloat << v;
        ASSERT_EQ(field(gridout::fixed_field<14, 2>, v, 14), ref_fixed(v, 14, 2)) << std::hexfloat << v;
        // Any float, or one of the magnitudes conductivities and their logarithms have,
        // through the forms for 32-bit and 64-bit values.
        const float typical = std::ldexp(static_cast<float>(short_binary(rng)), static_cast<int>(rng() % 24) - 10);
        const float f = i % 4 ? typical : any_float(rng);
        const auto q = static_cast<double>(f);
        const auto from_float = [f](char* dst, double) { gridout::exponent_field<13, 6>(dst, f); };
        const auto from_double = [](char* dst, double x) { gridout::exponent_field<13, 6>(dst, x); };
        ASSERT_EQ(field(from_float, q, 13), ref_exponent(q, 13, 6)) << std::hexfloat << q;
        ASSERT_EQ(field(from_double, q, 13), ref_exponent(q, 13, 6)) << std::hexfloat << q;
    }
}

// ---- exponent form -------------------------------------------------------------------

TEST(FormatExponent, TableForm) {
    struct Case { double v; const char* want; };
    const Case cases[] = {
        {12.5, " 0.125000E+02"},
        {-12.5, "-0.125000E+02"},
        {0.0, " 0.000000E+00"},
        {1.0, " 0.100000E+01"},
        {0.1, " 0.100000E+00"},
        {1000.0 / 3.0, " 0.333333E+03"},
        {0.999999, " 0.999999E+00"},
        {0.9999996, " 0.100000E+01"},  // rounding carries into the exponent
        {0.1234565, " 0.123456E+00"},  // the double lies just below the half-way point
        {0.12345650000000001, " 0.123457E+00"},  // the next double lies above it
        {1.25e-7, " 0.125000E-06"},
        {1.0e-100, " 0.100000E-99"},
        {1.0e-101, " 0.100000-100"},  // three exponent digits take the E's place
        {-1.0e-101, "-0.100000-100"},
        {1.0e150, " 0.100000+151"},
        {5e-324, " 0.494066-323"},
        {1.7976931348623157e308, " 0.179769+309"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v);
        EXPECT_EQ(exponent(c.v, 13, 6), c.want);
    }
}

TEST(FormatExponent, TiesWidthsAndSpecials) {
    // Integers of eight digits are exact: 0.1048576|5 keeps the even 6, 0.1048577|5
    // goes up to the even 8.
    EXPECT_EQ(exponent(10485765.0, 14, 7), " 0.1048576E+08");
    EXPECT_EQ(exponent(10485775.0, 14, 7), " 0.1048578E+08");
    EXPECT_EQ(exponent(12.5, 12, 6), "0.125000E+02");
    EXPECT_EQ(exponent(-12.5, 12, 6), "************");
    EXPECT_EQ(exponent(12.5, 9, 3), "0.125E+02");
    EXPECT_EQ(exponent(12.5, 8, 3), "********");
    EXPECT_EQ(exponent(12.5, 13, 0), "*************");
    EXPECT_EQ(exponent(std::numeric_limits<double>::quiet_NaN(), 13, 6), "          NaN");
    EXPECT_EQ(exponent(-std::numeric_limits<double>::infinity(), 13, 6), "    -Infinity");
    EXPECT_EQ(exponent(-0.0, 13, 6), "-0.000000E+00");
}

TEST(FormatExponent, MatchesSnprintfOnRandomValues) {
    std::mt19937_64 rng(99);
    expect_samples_match(200000, [&rng](int) {
        const double v = pick(rng);
        const int d = (rng() % 8 == 0) ? 20 + static_cast<int>(rng() % 20) : 1 + static_cast<int>(rng() % 12);
        const int w = d + 6 + static_cast<int>(rng() % 6);
        return Sample{v, "E", w, d, exponent(v, w, d), ref_exponent(v, w, d)};
    });
}

// ---- general field of free-format output -------------------------------------------

TEST(FormatGeneral15, Examples) {
    struct Case { float v; const char* want; };
    const Case cases[] = {
        {100.0f, "   100.0000    "},
        {0.5f, "  0.5000000    "},
        {1.0e7f, "  0.1000000E+08"},
        {0.0f, "   0.000000    "},
        {-0.0f, "  -0.000000    "},
        {-100.0f, "  -100.0000    "},
        {-0.5f, " -0.5000000    "},
        {1000.0f, "   1000.000    "},
        {50.0f, "   50.00000    "},
        {-220.0f, "  -220.0000    "},
        {123456.7f, "   123456.7    "},
        {-1.0e7f, " -0.1000000E+08"},
        {1.0e-5f, "  0.1000000E-04"},  // 9.99999974738e-06 rounds up to 7 digits
        {-1.0e-5f, " -0.1000000E-04"},
        {3.4028235e38f, "  0.3402823E+39"},
        {1.0e-45f, "  0.1401298E-44"},  // the smallest subnormal
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.v);
        EXPECT_EQ(general15(c.v), c.want);
    }
}

TEST(FormatGeneral15, RangeBoundaries) {
    // 0.1f is 0.100000001490116: in range. The float below it, 0.0999999940395,
    // rounds to 0.09999999: below 0.1, so the exponent form.
    EXPECT_EQ(general15(0.1f), "  0.1000000    ");
    EXPECT_EQ(general15(std::nextafter(0.1f, 0.0f)), "  0.9999999E-01");
    EXPECT_EQ(general15(0.09999999f), "  0.9999999E-01");
    EXPECT_EQ(general15(-0.09999999f), " -0.9999999E-01");
    // 9999999 is the largest integer below 10^7; 9999999.5 is not a float and
    // becomes 1e7 itself.
    EXPECT_EQ(general15(9999999.0f), "   9999999.    ");
    EXPECT_EQ(general15(-9999999.0f), "  -9999999.    ");
    EXPECT_EQ(general15(9999999.5f), "  0.1000000E+08");
    // The float just below 10^6, 999999.9375, keeps its seventh digit a 9; no float
    // below a power of ten in range lies close enough to round up to it.
    EXPECT_EQ(general15(999999.9375f), "   999999.9    ");
    EXPECT_EQ(general15(1000000.0f), "   1000000.    ");
    // Rounding that carries into a new digit in the exponent form: 9.99999997e-3
    // is 0.0099999998 as a float and becomes 0.1000000E-01.
    EXPECT_EQ(general15(0.0099999998f), "  0.1000000E-01");
    // 0.99999994 rounds to 0.9999999; 9.999999 keeps six decimals.
    EXPECT_EQ(general15(std::nextafter(1.0f, 0.0f)), "  0.9999999    ");
    EXPECT_EQ(general15(9.999999f), "   9.999999    ");
    EXPECT_EQ(general15(1.0f), "   1.000000    ");
}

TEST(FormatGeneral15, NanAndInfinities) {
    EXPECT_EQ(general15(std::numeric_limits<float>::quiet_NaN()), "            NaN");
    EXPECT_EQ(general15(std::numeric_limits<float>::infinity()), "       Infinity");
    EXPECT_EQ(general15(-std::numeric_limits<float>::infinity()), "      -Infinity");
}

TEST(FormatGeneral15, MatchesSnprintfOnRandomValues) {
    std::mt19937_64 rng(4242);
    expect_samples_match(200000, [&rng](int i) {
        float v;
        switch (i % 3) {
            case 0: v = any_float(rng); break;
            case 1: v = static_cast<float>(short_binary(rng)); break;
            default: {
                // Around the range edges 0.1 and 10^7 and around powers of ten.
                std::uniform_real_distribution<float> u(-1.0f, 1.0f);
                const float scale = std::pow(10.0f, static_cast<float>(static_cast<int>(rng() % 12) - 3));
                v = scale * (1.0f + u(rng) * 1e-6f);
            }
        }
        return Sample{static_cast<double>(v), "G", 15, 7, general15(v), ref_general15(v)};
    });
}

// ---- integers --------------------------------------------------------------------------

TEST(FormatInt, RightAlignedWithAsterisks) {
    EXPECT_EQ(integer(41, 12), "          41");
    EXPECT_EQ(integer(-7, 12), "          -7");
    EXPECT_EQ(integer(0, 6), "     0");
    EXPECT_EQ(integer(123456, 6), "123456");
    EXPECT_EQ(integer(1234567, 6), "******");
    EXPECT_EQ(integer(-12345, 6), "-12345");
    EXPECT_EQ(integer(-123456, 6), "******");
    EXPECT_EQ(integer(std::numeric_limits<std::int64_t>::min(), 20), "-9223372036854775808");
    EXPECT_EQ(integer(std::numeric_limits<std::int64_t>::max(), 19), "9223372036854775807");
    EXPECT_EQ(integer(std::numeric_limits<std::int64_t>::min(), 19), std::string(19, '*'));
    EXPECT_EQ(integer(5, 0), "");
}

}  // namespace
