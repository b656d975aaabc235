// Reading numbers the way a Fortran program reads them in free (list-directed) format:
// the model records, the answers to the prompts and the command-line values; and the
// one leading blank of a line that such a program writes in free format. Model
// files come from Fortran inversion programs, so D exponents ("1.0D2") and the
// sign-only exponent of wide Fortran E fields ("0.1000-119") must read as numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace driver {

/// Splits a text into free-format tokens: a run of blanks, tabs and commas is one
/// separator; leading and trailing separators are ignored.
class TokenCursor {
public:
    explicit TokenCursor(std::string_view text) : text_(text) {}
    /// The next token, or false at the end of the text.
    bool next(std::string_view& token);

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

/// The number of free-format tokens in a text.
std::int64_t count_tokens(std::string_view text);

/// A real as Fortran writes it: optional sign, digits with an optional decimal point
/// (at least one digit), optional exponent "E"/"D" (either case) with optional sign and
/// digits, or a bare signed exponent ("0.5-120"). NaN, infinities and values beyond the
/// 32-bit range after rounding (1e39, 1e400) do not convert; values too small for a
/// 32-bit real read as zero of their sign. Returns false when the token does not convert.
bool read_real(std::string_view token, float& out);

/// As read_real, but keeps double precision; the value must still be within the 32-bit
/// range (a model position has to fit the 32-bit line point file).
bool read_real_precise(std::string_view token, double& out);

/// A 32-bit integer written as one: optional sign and decimal digits only.
bool read_integer(std::string_view token, std::int32_t& out);

/// True when the text holds only blanks and tabs (or nothing). Commas are not blank:
/// a record of commas alone is read as a record, not skipped as a blank one.
bool is_blank(std::string_view text);

/// A line as a free-format write prints it: one blank, then the text.
std::string free_format_line(std::string_view text);

}  // namespace driver
