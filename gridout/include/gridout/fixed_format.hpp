// Fortran-style fixed-width number fields, shared by the text tables, the console
// and the parameter log. Every routine writes exactly `width` characters into dst
// (no terminating NUL) and never fails: a value that does not fit gives asterisks.
// Exact ties round to even, as C's printf does.
#pragma once

#include <cstdint>
#include <string>

namespace gridout {

/// Fw.d: right-aligned fixed point with `decimals` digits after the point; the point
/// is always written; a negative value that rounds to zero keeps its sign ("-0.00");
/// the zero before the point is dropped only when the field would otherwise overflow
/// by that one character. NaN and infinities as "NaN", "Infinity"/"-Infinity"
/// ("Inf"/"-Inf" when narrower), right-aligned, asterisks when even that does not fit.
void format_fixed(char* dst, double value, int width, int decimals);

/// Ew.d with a zero before the point: "0.125000E+02" (d = 6, mantissa in [0.1, 1)),
/// right-aligned in width characters, two exponent digits (three when needed, without
/// the E), asterisks when too wide.
void format_exponent(char* dst, double value, int width, int decimals);

/// The 15-character general field of free-format output with 7 significant digits:
/// "   100.0000    ", "  0.5000000    ", "  0.1000000E+08", "   0.000000    ".
void format_general15(char* dst, float value);

/// Right-aligned integer, asterisks when too wide.
void format_int(char* dst, std::int64_t value, int width);

/// Convenience forms returning std::string.
std::string fixed(double value, int width, int decimals);
std::string exponent(double value, int width, int decimals);
std::string general15(float value);
std::string integer(std::int64_t value, int width);

}  // namespace gridout
