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
/// The sign follows the sign bit, so -0.0 is "-0.00" as printf and Fortran write it.
/// With 0 decimals the zero is never dropped (a lone "." would show no digit): 0.3 in
/// F1.0 is "*". Negative decimals, or more decimals than the field can hold, give
/// asterisks. width <= 0 writes nothing.
void format_fixed(char* dst, double value, int width, int decimals);

/// Ew.d with a zero before the point: "0.125000E+02" (d = 6, mantissa in [0.1, 1)),
/// right-aligned in width characters, two exponent digits (three when needed, without
/// the E: "0.100000-100"), asterisks when too wide; zero is "0.000000E+00". The
/// mantissa is the value rounded half to even to `decimals` significant digits.
/// decimals outside 1..150 give asterisks; NaN and infinities as in format_fixed.
void format_exponent(char* dst, double value, int width, int decimals);

/// The 15-character general field of free-format output with 7 significant digits:
/// "   100.0000    ", "  0.5000000    ", "  0.1000000E+08", "   0.000000    ".
/// With r = |value| rounded to 7 significant digits: 0.1 <= r < 10^7 gives r with
/// 7 - k decimals (k integer digits of r, 0 below 1) right-aligned in 11 characters and
/// 4 blanks; any other r the exponent form 0.ddddddd right-aligned in 15. A minus sign
/// precedes the digits of a negative value (and of -0.0). NaN and infinities as in
/// format_fixed, right-aligned in 15.
void format_general15(char* dst, float value);

/// Right-aligned integer, asterisks when too wide; width <= 0 writes nothing.
void format_int(char* dst, std::int64_t value, int width);

/// Convenience forms returning std::string.
std::string fixed(double value, int width, int decimals);
std::string exponent(double value, int width, int decimals);
std::string general15(float value);
std::string integer(std::int64_t value, int width);

}  // namespace gridout
