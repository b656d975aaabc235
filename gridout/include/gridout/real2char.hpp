// The gridding library's number-to-text entries: REAL2CHAR formats every number of the
// parameter log and the block result lines; INT2CHAR is kept for other callers of the
// library. Both sit on the fixed-width fields of fixed_format.hpp.
#pragma once

#include <span>

namespace gridout {

/// Writes value as Fw.d (w = iw, d = nd) into the first iw characters of text and
/// blanks into the rest; returns the length of text without trailing blanks.
/// The field: right-justified, rounded half to even to nd decimals, the point always
/// written ("25."), a zero before the point when the field has room for it (".50" in
/// F3.2), a minus sign kept on a value that rounds to zero ("-0.00"), iw asterisks when
/// the number does not fit. NaN is "NaN", infinities "Infinity"/"-Infinity" ("Inf"/"-Inf"
/// in fields narrower than 8/9), right-justified, asterisks when even that does not fit.
/// Arguments outside the field's range never crash: iw < 1 leaves text blank and
/// returns 0; iw > 99 or nd outside 0..99 fills the field with asterisks; a text shorter
/// than iw receives asterisks in all of its characters.
int real2char(float value, int iw, int nd, std::span<char> text);

/// Writes ival as I12 (right-aligned in 12 characters) into text, blanks after it, and
/// returns the length of text without trailing blanks (12 for a text of 12 or more).
/// Every 32-bit integer fits in 12 characters; a text shorter than 12 holds the field
/// right-aligned in its whole length, or asterisks when the digits do not fit.
int int2char(int ival, std::span<char> text);

}  // namespace gridout
