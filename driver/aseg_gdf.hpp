// ASEG-GDF2 point-located data: a .dfn file describes the fields of the records of its
// .dat file, one DEFN record per field ("DEFN 3 ST=RECD,RT=;EASTING:F12.2:UNITS=m,
// NULL=-9999"), each with a Fortran format (I10, F10.2, 30E15.6 for an array of 30
// values, A4 for text). Records of type COMM are comments. The .dat holds one record
// per text line in fixed-width columns; many writers separate the values by blanks
// instead, so a line whose widths do not hold is read value by value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "field_roles.hpp"

namespace driver {

/// The data fields of a .dfn text, in record order, with their widths, units and
/// nulls. Throws RunStop naming `file` and its line on a format this reader does not
/// know, on a .dfn that defines no data field, and on sizes beyond the record limits.
FieldTable parse_dfn(std::string_view text, const std::string& file);

/// True for a .dat line that is not a data record: blank, or a COMM record.
bool is_aseg_comment(std::string_view line);

/// Splits a .dat record into the text of each of its table.values values: by the
/// widths when every numeric column of the line reads as a number (or is blank), else
/// at blanks and commas. False when neither way gives table.values values.
bool split_aseg_record(std::string_view line, const FieldTable& table, std::vector<std::string_view>& values);

}  // namespace driver
