// Free-format number reading. The syntax is checked here, character by character, so
// that only Fortran number forms are accepted (std::from_chars alone would also take
// "nan", "inf" and hexadecimal floats). Most numbers of a model file have few digits
// and a small exponent, and convert exactly by one float operation; the others are
// converted by from_chars, which rounds correctly, after the Fortran exponent letter
// is mapped to 'e'.
#include "free_format.hpp"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

namespace driver {
namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == ','; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Checks the Fortran real syntax and writes the equivalent C form into `c_form`
// (no leading '+', exponent introduced by 'e'). False when the token is not a real.
bool to_c_form(std::string_view t, std::string& c_form) {
    c_form.clear();
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') c_form.push_back('-');
        ++i;
    }
    int mantissa_digits = 0;
    while (i < t.size() && is_digit(t[i])) {
        c_form.push_back(t[i++]);
        ++mantissa_digits;
    }
    if (i < t.size() && t[i] == '.') {
        c_form.push_back(t[i++]);
        while (i < t.size() && is_digit(t[i])) {
            c_form.push_back(t[i++]);
            ++mantissa_digits;
        }
    }
    if (mantissa_digits == 0) return false;
    if (i == t.size()) return true;

    // Exponent: a letter E or D with an optional sign, or a sign alone (Fortran writes
    // "0.1234-120" when a three-digit exponent does not leave room for the letter).
    const char c = t[i];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
        ++i;
        c_form.push_back('e');
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) c_form.push_back(t[i++]);
    } else if (c == '+' || c == '-') {
        c_form.push_back('e');
        c_form.push_back(t[i++]);
    } else {
        return false;
    }
    int exponent_digits = 0;
    while (i < t.size() && is_digit(t[i])) {
        c_form.push_back(t[i++]);
        ++exponent_digits;
    }
    return exponent_digits > 0 && i == t.size();
}

// A token in the plain form most numbers of a model file have: a sign, at most 19
// digits with a point, an exponent with a letter E or D or with a sign alone. Only
// tokens that are Fortran reals are taken; anything else (more digits, a malformed
// token) is left to the general path, which checks it again.
struct PlainDecimal {
    std::uint64_t digits = 0;  // the value is digits x 10^exponent
    int exponent = 0;
    bool negative = false;
};

bool read_plain_decimal(std::string_view t, PlainDecimal& out) {
    constexpr std::ptrdiff_t kMaxDigits = 19;  // 10^19 - 1 fits 64 bits
    const char* p = t.data();
    const char* const end = p + t.size();
    out = PlainDecimal{};
    if (p < end && (*p == '+' || *p == '-')) out.negative = *p++ == '-';
    // More than 19 digits may wrap around; such a token is refused below, before use.
    std::uint64_t v = 0;
    const char* const whole = p;
    for (; p < end && is_digit(*p); ++p) v = v * 10 + static_cast<std::uint64_t>(*p - '0');
    std::ptrdiff_t digits = p - whole;
    int scale = 0;
    if (p < end && *p == '.') {
        const char* const fraction = ++p;
        for (; p < end && is_digit(*p); ++p) v = v * 10 + static_cast<std::uint64_t>(*p - '0');
        scale = -static_cast<int>(p - fraction);
        digits += p - fraction;
    }
    if (digits == 0 || digits > kMaxDigits) return false;
    out.digits = v;
    if (p == end) {
        out.exponent = scale;
        return true;
    }
    if (*p == 'e' || *p == 'E' || *p == 'd' || *p == 'D') ++p;
    else if (*p != '+' && *p != '-') return false;
    bool negative_exponent = false;
    if (p < end && (*p == '+' || *p == '-')) negative_exponent = *p++ == '-';
    const char* const exponent_start = p;
    int exponent = 0;
    for (; p < end && is_digit(*p) && p - exponent_start < 6; ++p) exponent = exponent * 10 + (*p - '0');
    if (p == exponent_start || p != end) return false;
    out.exponent = scale + (negative_exponent ? -exponent : exponent);
    return true;
}

// Powers of ten exact in a float (5^10 < 2^24) and in a double (5^22 < 2^53).
constexpr std::array<float, 11> kExactFloatPow10 = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                    1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
constexpr std::array<double, 23> kExactDoublePow10 = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Clinger's fast path: digits and the power of ten both exact in the type, so one
// multiplication or division, correctly rounded by the hardware, gives the correctly
// rounded value, as from_chars would. False when the value needs the general path.
template <typename Real, std::size_t N>
bool exact_quotient(const PlainDecimal& d, std::uint64_t max_digits, const std::array<Real, N>& pow10,
                    Real& out) {
    const int max_exponent = static_cast<int>(N) - 1;
    if (d.digits > max_digits || d.exponent < -max_exponent || d.exponent > max_exponent) return false;
    Real v = static_cast<Real>(d.digits);
    if (d.exponent < 0)
        v /= pow10[static_cast<std::size_t>(-d.exponent)];
    else
        v *= pow10[static_cast<std::size_t>(d.exponent)];
    out = d.negative ? -v : v;
    return true;
}

// Converts a checked C form to double. Values beyond the double range are reported
// as infinite (and so rejected by the callers); values below it read as zero.
double convert_double(const std::string& c_form) {
    double d = 0.0;
    const auto r = std::from_chars(c_form.data(), c_form.data() + c_form.size(), d);
    if (r.ec == std::errc()) return d;
    // Out of range: strtod tells overflow (huge) from underflow (tiny or zero).
    return std::strtod(c_form.c_str(), nullptr);
}

thread_local std::string t_c_form;  // reused buffer: one conversion per number of a record

}  // namespace

bool TokenCursor::next(std::string_view& token) {
    while (pos_ < text_.size() && is_separator(text_[pos_])) ++pos_;
    if (pos_ == text_.size()) return false;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !is_separator(text_[pos_])) ++pos_;
    token = text_.substr(start, pos_ - start);
    return true;
}

std::int64_t count_tokens(std::string_view text) {
    TokenCursor cursor(text);
    std::string_view token;
    std::int64_t n = 0;
    while (cursor.next(token)) ++n;
    return n;
}

bool read_real(std::string_view token, float& out) {
    PlainDecimal plain;
    if (read_plain_decimal(token, plain) && exact_quotient(plain, std::uint64_t{1} << 24, kExactFloatPow10, out))
        return true;
    std::string& c_form = t_c_form;
    if (!to_c_form(token, c_form)) return false;
    float f = 0.0f;
    const auto r = std::from_chars(c_form.data(), c_form.data() + c_form.size(), f);
    if (r.ec == std::errc()) {
        if (!std::isfinite(f)) return false;
        out = f;
        return true;
    }
    // Out of the 32-bit range: an overflow does not convert, an underflow is zero.
    const double d = convert_double(c_form);
    if (!std::isfinite(d) || std::fabs(d) >= 1.0) return false;
    out = std::signbit(d) ? -0.0f : 0.0f;
    return true;
}

bool read_real_precise(std::string_view token, double& out) {
    PlainDecimal plain;
    if (read_plain_decimal(token, plain) &&
        exact_quotient(plain, std::uint64_t{1} << 53, kExactDoublePow10, out))
        return true;  // at most 2^53 x 10^22, within the 32-bit range
    std::string& c_form = t_c_form;
    if (!to_c_form(token, c_form)) return false;
    const double d = convert_double(c_form);
    if (!std::isfinite(d) || !std::isfinite(static_cast<float>(d))) return false;
    out = d;
    return true;
}

bool read_integer(std::string_view token, std::int32_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    if (i == token.size()) return false;
    std::int64_t v = 0;
    for (; i < token.size(); ++i) {
        if (!is_digit(token[i])) return false;
        v = v * 10 + (token[i] - '0');
        if (v > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max()) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool is_blank(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\t') return false;
    return true;
}

std::string free_format_line(std::string_view text) {
    std::string s(1, ' ');
    s.append(text);
    return s;
}

}  // namespace driver
