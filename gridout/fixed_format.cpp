// Fortran-style fixed-width number fields. The digits come from exact integer
// arithmetic: a double is m * 2^e with a 53-bit m, so value * 10^p can be formed
// exactly in 128 bits for the magnitudes that tables and logs hold, and rounded half
// to even on its exact binary value, which is what C's printf does. Values outside
// that range take std::to_chars, which rounds the same way but costs more. The common
// case, 64-bit arithmetic, is inline in fixed_fields.hpp and comes first.
#include "gridout/fixed_format.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

#include "gridout/fixed_fields.hpp"

namespace gridout {
namespace {

__extension__ typedef unsigned __int128 U128;

constexpr std::array<U128, 39> make_pow10() {
    std::array<U128, 39> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10u;
    return p;
}
constexpr std::array<U128, 39> kPow10 = make_pow10();  // 10^38 < 2^127

using detail::Binary;
using detail::decompose;
using detail::kPow10Double;
using detail::put_digits;
using detail::put_low_digits;

int bit_width128(U128 x) {
    const auto hi = static_cast<std::uint64_t>(x >> 64);
    if (hi != 0) return 64 + static_cast<int>(std::bit_width(hi));
    return static_cast<int>(std::bit_width(static_cast<std::uint64_t>(x)));
}

// m * 2^e * 10^p rounded half to even to an integer, when that can be done exactly in
// 128-bit arithmetic and the result is below 2^64; nullopt sends the caller to the
// slower general path.
std::optional<std::uint64_t> scaled_round(Binary b, int p) {
    if (b.m == 0) return 0;
    if (std::uint64_t q = 0; detail::scaled_round64(b, p, q)) return q;
    U128 num = b.m;
    U128 den = 1;
    if (p >= 0) {
        if (p > 22) return std::nullopt;  // keeps num below 2^127 (10^22 < 2^74)
        num *= kPow10[static_cast<std::size_t>(p)];
    } else {
        if (-p > 38) return std::nullopt;
        den = kPow10[static_cast<std::size_t>(-p)];
    }
    U128 q;
    if (b.e >= 0) {
        if (bit_width128(num) + b.e > 127) return std::nullopt;
        num <<= b.e;
        if (den == 1) return num >> 64 == 0 ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(num))
                                            : std::nullopt;
    } else if (den == 1) {
        // A power-of-two denominator: the quotient is a shift, the remainder a mask.
        const int s = -b.e;
        if (s >= 128) return 0;  // num < 2^127 <= half of 2^s: rounds to zero
        q = num >> s;
        const U128 r = num - (q << s);
        const U128 half = U128{1} << (s - 1);
        if (r > half || (r == half && (q & 1u) != 0)) ++q;
        if (q >> 64 != 0) return std::nullopt;
        return static_cast<std::uint64_t>(q);
    } else {
        if (bit_width128(den) + (-b.e) > 127) return std::nullopt;
        den <<= -b.e;
    }
    q = num / den;
    const U128 r = num - q * den;
    const U128 twice = r << 1;  // r < den < 2^127, so no overflow
    if (twice > den || (twice == den && (q & 1u) != 0)) ++q;
    if (q >> 64 != 0) return std::nullopt;
    return static_cast<std::uint64_t>(q);
}

void put_asterisks(char* dst, int width) {
    if (width > 0) std::memset(dst, '*', static_cast<std::size_t>(width));
}

// Right-aligns text in width characters, asterisks when it is longer.
void place_right(char* dst, int width, std::string_view text) {
    if (width <= 0) return;
    const auto w = static_cast<std::size_t>(width);
    if (text.size() > w) {
        put_asterisks(dst, width);
        return;
    }
    std::memset(dst, ' ', w - text.size());
    std::memcpy(dst + (w - text.size()), text.data(), text.size());
}

// NaN and infinities, right-aligned; false for finite values.
bool place_special(char* dst, int width, double value) {
    if (std::isnan(value)) {
        place_right(dst, width, "NaN");
        return true;
    }
    if (std::isinf(value)) {
        if (value > 0)
            place_right(dst, width, width >= 8 ? "Infinity" : "Inf");
        else
            place_right(dst, width, width >= 9 ? "-Infinity" : "-Inf");
        return true;
    }
    return false;
}

// body is the unsigned fixed-point text, always with a point ("0.50", "7.", "12.25").
// The zero before the point is optional: it goes only when keeping it would overflow
// the field by exactly that character, and never when no digit would remain (".").
void place_fixed(char* dst, int width, bool negative, std::string_view body) {
    const std::size_t full = body.size() + (negative ? 1u : 0u);
    const auto w = static_cast<std::size_t>(width);
    if (full == w + 1 && body.size() > 2 && body[0] == '0' && body[1] == '.') body.remove_prefix(1);
    const std::size_t len = body.size() + (negative ? 1u : 0u);
    if (len > w) {
        put_asterisks(dst, width);
        return;
    }
    std::memset(dst, ' ', w - len);
    char* p = dst + (w - len);
    if (negative) *p++ = '-';
    std::memcpy(p, body.data(), body.size());
}

// The d significant digits of a > 0 (finite): a rounded is 0.<digits> * 10^k.
// digits receives exactly d characters.
void significant_digits(double a, int d, char* digits, int& k) {
    if (d <= 19) {
        const Binary b = decompose(a);
        k = detail::decimal_exponent_estimate(static_cast<int>(std::bit_width(b.m)) - 1 + b.e);
        const auto lo = static_cast<std::uint64_t>(kPow10[static_cast<std::size_t>(d - 1)]);
        const auto hi = static_cast<std::uint64_t>(kPow10[static_cast<std::size_t>(d)]);
        std::optional<std::uint64_t> n = scaled_round(b, d - k);
        for (int step = 0; step < 2 && n && *n >= hi; ++step) {
            ++k;
            n = scaled_round(b, d - k);
        }
        if (n && *n >= lo && *n < hi) {
            put_digits(digits + d, *n);
            return;
        }
    }
    // General path: d.ddd...e+XX from std::to_chars, exact and round-half-even.
    std::string buf(static_cast<std::size_t>(d) + 16, '\0');
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), a, std::chars_format::scientific, d - 1);
    const std::string_view text(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
    const std::size_t epos = text.find('e');
    int exp10 = 0;
    std::from_chars(text.data() + epos + (text[epos + 1] == '+' ? 2 : 1), text.data() + text.size(), exp10);
    int j = 0;
    for (std::size_t i = 0; i < epos; ++i)
        if (text[i] != '.') digits[j++] = text[i];
    k = exp10 + 1;
}

// [-]0.<digits>E+XX, or [-]0.<digits>+XXX when the exponent needs three digits.
void place_exponent(char* dst, int width, bool negative, std::string_view digits, int k) {
    char buf[160];
    char* p = buf;
    if (negative) *p++ = '-';
    *p++ = '0';
    *p++ = '.';
    std::memcpy(p, digits.data(), digits.size());
    p += digits.size();
    const int mag = k < 0 ? -k : k;
    if (mag < 100) {
        *p++ = 'E';
        *p++ = k < 0 ? '-' : '+';
        *p++ = static_cast<char>('0' + mag / 10);
        *p++ = static_cast<char>('0' + mag % 10);
    } else {
        *p++ = k < 0 ? '-' : '+';
        *p++ = static_cast<char>('0' + mag / 100);
        *p++ = static_cast<char>('0' + mag / 10 % 10);
        *p++ = static_cast<char>('0' + mag % 10);
    }
    place_right(dst, width, std::string_view(buf, static_cast<std::size_t>(p - buf)));
}

}  // namespace

void format_fixed(char* dst, double value, int width, int decimals) {
    if (width <= 0) return;
    if (detail::try_fixed(dst, value, width, decimals)) return;
    if (place_special(dst, width, value)) return;
    if (decimals < 0 || decimals + 1 > width) {
        // A field needs at least the point and every decimal; negative decimals are no edit.
        put_asterisks(dst, width);
        return;
    }
    const bool negative = std::signbit(value);
    const double a = std::fabs(value);
    // Quick rejection of magnitudes whose integer part alone is wider than the field;
    // rounding can only add digits. Wider fields rely on the general path.
    if (width < static_cast<int>(kPow10Double.size()) && a >= kPow10Double[static_cast<std::size_t>(width)]) {
        put_asterisks(dst, width);
        return;
    }
    if (decimals <= 22) {
        if (const std::optional<std::uint64_t> q = scaled_round(decompose(a), decimals)) {
            char buf[48];
            char* const end = buf + sizeof buf;
            char* p = end;
            const std::uint64_t whole = put_low_digits(end, *q, decimals);
            p -= decimals;
            *--p = '.';
            p = put_digits(p, whole);
            place_fixed(dst, width, negative, std::string_view(p, static_cast<std::size_t>(end - p)));
            return;
        }
    }
    // Large magnitudes or many decimals: at most 309 integer digits, the point, decimals.
    std::string buf(static_cast<std::size_t>(decimals) + 320, '\0');
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), a, std::chars_format::fixed, decimals);
    if (decimals == 0) *res.ptr = '.';
    const auto len = static_cast<std::size_t>(res.ptr - buf.data()) + (decimals == 0 ? 1u : 0u);
    place_fixed(dst, width, negative, std::string_view(buf.data(), len));
}

void format_exponent(char* dst, double value, int width, int decimals) {
    if (width <= 0) return;
    if (detail::try_exponent(dst, value, width, decimals)) return;
    if (place_special(dst, width, value)) return;
    // "0." + digits + 4 exponent characters is the shortest form.
    if (decimals < 1 || decimals + 6 > width || decimals > 150) {
        put_asterisks(dst, width);
        return;
    }
    const bool negative = std::signbit(value);
    const double a = std::fabs(value);
    char digits[160];
    int k = 0;
    if (a == 0) {
        std::memset(digits, '0', static_cast<std::size_t>(decimals));
    } else {
        significant_digits(a, decimals, digits, k);
    }
    place_exponent(dst, width, negative, std::string_view(digits, static_cast<std::size_t>(decimals)), k);
}

void format_general15(char* dst, float value) {
    constexpr int kWidth = 15;
    constexpr int kFixedPart = 11;  // then 4 blanks where the exponent would stand
    constexpr int kSignificant = 7;
    const auto v = static_cast<double>(value);
    if (place_special(dst, kWidth, v)) return;
    const bool negative = std::signbit(value);
    const double a = std::fabs(v);
    char body[16];
    int len = 0;
    if (negative) body[len++] = '-';
    if (a == 0) {
        std::memcpy(body + len, "0.000000", 8);
        len += 8;
    } else {
        char digits[kSignificant];
        int k = 0;
        significant_digits(a, kSignificant, digits, k);
        // 0.1 <= r < 10^7, r the value rounded to 7 digits, is exactly 0 <= k <= 7.
        if (k < 0 || k > kSignificant) {
            place_exponent(dst, kWidth, negative, std::string_view(digits, kSignificant), k);
            return;
        }
        if (k == 0) body[len++] = '0';
        std::memcpy(body + len, digits, static_cast<std::size_t>(k));
        len += k;
        body[len++] = '.';
        std::memcpy(body + len, digits + k, static_cast<std::size_t>(kSignificant - k));
        len += kSignificant - k;
    }
    place_right(dst, kFixedPart, std::string_view(body, static_cast<std::size_t>(len)));
    std::memset(dst + kFixedPart, ' ', kWidth - kFixedPart);
}

void format_int(char* dst, std::int64_t value, int width) {
    if (width <= 0) return;
    char buf[24];
    char* const end = buf + sizeof buf;
    // The magnitude as unsigned, so that the most negative value does not overflow.
    const std::uint64_t mag = value < 0 ? ~static_cast<std::uint64_t>(value) + 1u : static_cast<std::uint64_t>(value);
    char* p = put_digits(end, mag);
    if (value < 0) *--p = '-';
    place_right(dst, width, std::string_view(p, static_cast<std::size_t>(end - p)));
}

std::string fixed(double value, int width, int decimals) {
    std::string s(static_cast<std::size_t>(width > 0 ? width : 0), ' ');
    format_fixed(s.data(), value, width, decimals);
    return s;
}

std::string exponent(double value, int width, int decimals) {
    std::string s(static_cast<std::size_t>(width > 0 ? width : 0), ' ');
    format_exponent(s.data(), value, width, decimals);
    return s;
}

std::string general15(float value) {
    std::string s(15, ' ');
    format_general15(s.data(), value);
    return s;
}

std::string integer(std::int64_t value, int width) {
    std::string s(static_cast<std::size_t>(width > 0 ? width : 0), ' ');
    format_int(s.data(), value, width);
    return s;
}

}  // namespace gridout
