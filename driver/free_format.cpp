// Free-format number reading. The syntax is checked here, character by character, so
// that only Fortran number forms are accepted (std::from_chars alone would also take
// "nan", "inf" and hexadecimal floats); the digits are then converted by from_chars,
// which rounds correctly, after the Fortran exponent letter is mapped to 'e'.
#include "free_format.hpp"

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
