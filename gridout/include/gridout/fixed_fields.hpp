// The common case of the fixed-width number fields, inline: a finite value whose
// digits come out of 64-bit integer arithmetic, or, for a 32-bit value, out of one
// exact double product. The text tables write tens of millions of fields of two shapes
// (F12.2 for positions, E13.6 for 32-bit conductivities), so their rows call
// fixed_field<12, 2> and exponent_field<13, 6>, which the compiler builds for those
// widths; format_fixed and format_exponent (fixed_format.hpp) take the 64-bit path
// first, then their general one. Every path gives the same bytes.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "gridout/fixed_format.hpp"

namespace gridout {
namespace detail {

// 10^0 .. 10^19, every power of ten below 2^64.
inline constexpr std::array<std::uint64_t, 20> kPow10U64 = [] {
    std::array<std::uint64_t, 20> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10u;
    return p;
}();

// Powers of ten that are exact in a double.
inline constexpr std::array<double, 23> kPow10Double = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

inline constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
        t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
    }
    return t;
}();  // "00" .. "99"

// |value| = m * 2^e exactly, m < 2^53 (subnormals included).
struct Binary {
    std::uint64_t m;
    int e;
};

// Trailing zero bits are dropped: a widened float then has m < 2^24, which keeps
// its scaled products within 64 bits.
inline Binary decompose(double a) {
    const auto bits = std::bit_cast<std::uint64_t>(a);
    const int biased = static_cast<int>((bits >> 52) & 0x7ffu);
    const std::uint64_t frac = bits & ((std::uint64_t{1} << 52) - 1);
    Binary b = biased == 0 ? Binary{frac, -1074} : Binary{frac | (std::uint64_t{1} << 52), biased - 1075};
    if (b.m != 0) {
        const int tz = std::countr_zero(b.m);
        b.m >>= tz;
        b.e += tz;
    }
    return b;
}

// m * 2^e * 10^p rounded half to even to an integer, in 64-bit arithmetic: a fraction
// scaled up, as for positions with 2 decimals (53-bit m times 100) and for widened
// floats (24-bit m) with up to 12 digits. False when the product needs more bits or the
// value is not such a fraction; the general path then works in 128 bits.
inline bool scaled_round64(Binary b, int p, std::uint64_t& out) {
    if (b.m == 0) {
        out = 0;
        return true;
    }
    if (p < 0 || p > 19 || b.e >= 0 || b.e <= -64) return false;
    std::uint64_t num = 0;
    if (__builtin_mul_overflow(b.m, kPow10U64[static_cast<std::size_t>(p)], &num)) return false;
    const int s = -b.e;
    std::uint64_t q = num >> s;
    const std::uint64_t r = num & ((std::uint64_t{1} << s) - 1);
    const std::uint64_t half = std::uint64_t{1} << (s - 1);
    if (r > half || (r == half && (q & 1u) != 0)) ++q;
    out = q;
    return true;
}

// Writes the decimal digits of v ending just before `end`; returns the first one.
// Two digits per division halve the chain of dependent divisions.
inline char* put_digits(char* end, std::uint64_t v) {
    while (v >= 100) {
        const auto pair = static_cast<std::size_t>(v % 100u) * 2;
        v /= 100u;
        end -= 2;
        end[0] = kDigitPairs[pair];
        end[1] = kDigitPairs[pair + 1];
    }
    if (v >= 10) {
        end -= 2;
        end[0] = kDigitPairs[static_cast<std::size_t>(v) * 2];
        end[1] = kDigitPairs[static_cast<std::size_t>(v) * 2 + 1];
    } else {
        *--end = static_cast<char>('0' + v);
    }
    return end;
}

// Writes exactly `count` digits of v (leading zeros included) ending just before
// `end`; returns what is left of v above them.
inline std::uint64_t put_low_digits(char* end, std::uint64_t v, int count) {
    for (; count >= 2; count -= 2) {
        const auto pair = static_cast<std::size_t>(v % 100u) * 2;
        v /= 100u;
        end -= 2;
        end[0] = kDigitPairs[pair];
        end[1] = kDigitPairs[pair + 1];
    }
    if (count == 1) {
        *--end = static_cast<char>('0' + v % 10u);
        v /= 10u;
    }
    return v;
}

// The decimal digits of v, one for 0 (bit width times log10 2, then one comparison).
// v | 1 has as many digits as v: a v just below a power of ten is odd already.
inline int decimal_digit_count(std::uint64_t v) {
    const std::uint64_t w = v | 1u;
    const int t = (static_cast<int>(std::bit_width(w)) * 1233) >> 12;
    return t + 1 - (w < kPow10U64[static_cast<std::size_t>(t)] ? 1 : 0);
}

// For 2^b2 <= a < 2^(b2+1): k with 10^(k-1) <= a < 10^(k+1), that is the decimal
// exponent of a in the 0.ddd form or one less. k = floor(b2 log10 2) + 1 never exceeds
// the true exponent, which is one more at most; rounding to d digits can add one again
// (9.9999999 -> 0.1000000E+02). floor(b2 log10 2) as (b2 * 315653) >> 20, exact for
// |b2| <= 1650 (Ryu's log10Pow2).
inline int decimal_exponent_estimate(int b2) { return ((b2 * 315653) >> 20) + 1; }

// a > 0 (finite) rounded half to even to d <= 19 significant digits, as the integer n
// of d digits with a rounded = 0.n * 10^k. False when the 64-bit path does not apply.
inline bool significant_integer64(double a, int d, std::uint64_t& n, int& k) {
    if (d < 1 || d > 19) return false;
    const Binary b = decompose(a);
    k = decimal_exponent_estimate(static_cast<int>(std::bit_width(b.m)) - 1 + b.e);
    // An exact comparison with a power of ten spares most second scalings.
    if (k >= 0 && k < static_cast<int>(kPow10Double.size()) && a >= kPow10Double[static_cast<std::size_t>(k)]) ++k;
    const std::uint64_t lo = kPow10U64[static_cast<std::size_t>(d - 1)];
    const std::uint64_t hi = kPow10U64[static_cast<std::size_t>(d)];
    std::uint64_t r = 0;
    if (!scaled_round64(b, d - k, r)) return false;
    if (r >= hi) {  // rounded up to the next power of ten
        ++k;
        if (!scaled_round64(b, d - k, r)) return false;
    }
    if (r < lo || r >= hi) return false;
    n = r;
    return true;
}

// Fw.d of a finite value through 64-bit arithmetic, with the rules of format_fixed;
// false, before anything is written, when the value needs the general path.
inline bool try_fixed(char* dst, double value, int width, int decimals) {
    if (!std::isfinite(value) || decimals < 0 || decimals > 19 || decimals + 1 > width) return false;
    const bool negative = std::signbit(value);
    std::uint64_t q = 0;
    if (!scaled_round64(decompose(std::fabs(value)), decimals, q)) return false;
    // Blanks first, the text over them from the right: for a field whose width is known
    // at compile time the blanks are a few stores.
    std::memset(dst, ' ', static_cast<std::size_t>(width));
    // The point and the decimals always fit; the whole part is measured after them.
    char* p = dst + width - decimals;
    const std::uint64_t whole = put_low_digits(dst + width, q, decimals);
    *--p = '.';
    int whole_digits = decimal_digit_count(whole);
    const int room = static_cast<int>(p - dst) - (negative ? 1 : 0);
    // The optional zero before the point goes when it alone overflows the field.
    if (whole == 0 && decimals > 0 && room == 0) whole_digits = 0;
    if (whole_digits > room) {
        std::memset(dst, '*', static_cast<std::size_t>(width));
        return true;
    }
    if (whole_digits > 0) p = put_digits(p, whole);
    if (negative) *--p = '-';
    return true;
}

// Writes [-]0.<digits>E+kk, right-aligned, or asterisks when it is too wide: n holds
// the `decimals` digits, |k| <= 99.
inline void place_exponent_field(char* dst, int width, int decimals, bool negative, std::uint64_t n, int k) {
    if ((negative ? 1 : 0) + decimals + 6 > width) {
        std::memset(dst, '*', static_cast<std::size_t>(width));
        return;
    }
    std::memset(dst, ' ', static_cast<std::size_t>(width));  // as in try_fixed
    char* p = dst + width - 4;
    const int mag = k < 0 ? -k : k;
    p[0] = 'E';
    p[1] = k < 0 ? '-' : '+';
    p[2] = kDigitPairs[static_cast<std::size_t>(mag) * 2];
    p[3] = kDigitPairs[static_cast<std::size_t>(mag) * 2 + 1];
    put_low_digits(p, n, decimals);
    p -= decimals;
    *--p = '.';
    *--p = '0';
    if (negative) *--p = '-';
}

// Ew.d of a finite value through 64-bit arithmetic, with the rules of format_exponent;
// false, before anything is written, when the value needs the general path.
inline bool try_exponent(char* dst, double value, int width, int decimals) {
    if (!std::isfinite(value) || decimals < 1 || decimals > 19 || decimals + 6 > width) return false;
    const double a = std::fabs(value);
    std::uint64_t n = 0;
    int k = 0;
    // The 64-bit path scales by at most 10^19, so |k| <= 19 here.
    if (a != 0 && !significant_integer64(a, decimals, n, k)) return false;
    place_exponent_field(dst, width, decimals, std::signbit(value), n, k);
    return true;
}

// The d <= 12 significant digits of a normal float a > 0, as significant_integer64
// gives them, in double arithmetic: a * 10^p for 0 <= p <= 12 is exact in a double
// (24 bits of a times at most 28 bits of 5^p), and adding then removing 2^52 rounds it
// half to even to an integer. False when p falls outside 0..12.
inline bool float_significant_integer(float a, int d, std::uint64_t& n, int& k) {
    if (d < 1 || d > 12) return false;
    const int biased = static_cast<int>(std::bit_cast<std::uint32_t>(a) >> 23);
    if (biased == 0 || biased >= 0xff) return false;  // subnormal, infinite or NaN
    k = decimal_exponent_estimate(biased - 127);
    const auto x = static_cast<double>(a);
    if (k >= 0 && k < static_cast<int>(kPow10Double.size()) && x >= kPow10Double[static_cast<std::size_t>(k)]) ++k;
    for (int step = 0; step < 2; ++step, ++k) {  // one more when rounding reaches 10^d
        const int p = d - k;
        if (p < 0 || p > 12) return false;
        const double scaled = x * kPow10Double[static_cast<std::size_t>(p)];
        n = static_cast<std::uint64_t>((scaled + 0x1p52) - 0x1p52);
        if (n < kPow10U64[static_cast<std::size_t>(d)]) return n >= kPow10U64[static_cast<std::size_t>(d - 1)];
    }
    return false;
}

// try_exponent for a 32-bit value, whose digits need no integer scaling.
inline bool try_float_exponent(char* dst, float value, int width, int decimals) {
    if (!std::isfinite(value) || decimals < 1 || decimals > 12 || decimals + 6 > width) return false;
    const float a = std::fabs(value);
    std::uint64_t n = 0;
    int k = 0;
    if (a != 0 && !float_significant_integer(a, decimals, n, k)) return false;
    place_exponent_field(dst, width, decimals, std::signbit(value), n, k);
    return true;
}

}  // namespace detail

/// format_fixed(dst, value, Width, Decimals), built for one field shape.
template <int Width, int Decimals>
inline void fixed_field(char* dst, double value) {
    if (!detail::try_fixed(dst, value, Width, Decimals)) format_fixed(dst, value, Width, Decimals);
}

/// format_exponent(dst, value, Width, Decimals), built for one field shape.
template <int Width, int Decimals>
inline void exponent_field(char* dst, double value) {
    if (!detail::try_exponent(dst, value, Width, Decimals)) format_exponent(dst, value, Width, Decimals);
}

/// The same for a 32-bit value, the common case with less arithmetic.
template <int Width, int Decimals>
inline void exponent_field(char* dst, float value) {
    if (!detail::try_float_exponent(dst, value, Width, Decimals))
        exponent_field<Width, Decimals>(dst, static_cast<double>(value));
}

}  // namespace gridout
