// Rows of the text tables: the combined table, the line tables (the same rows) and
// the station coordinate files. Fixed-width fields of one blank and a right-aligned
// number; a value too wide for its field shows as asterisks; lines end with CR LF.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace driver {

/// First line of the combined table and of every line table (without its line end).
inline constexpr std::string_view kTableHeader =
    " Station  Depth   East   North  Con  LogCon  Res  LogRes";
/// First line of a station coordinate file (without its line end).
inline constexpr std::string_view kCoordinateHeader = " Station  Depth   East   North";
inline constexpr std::string_view kTableLineEnd = "\r\n";

/// Bytes of one point row: 4 x 13 + 4 x 14 characters, then CR LF.
inline constexpr std::size_t kTableRowBytes = 110;

/// Writes one point row into dst: station, depth, east and north as F12.2 and the four
/// conductivity values (Con, LogCon, Res, LogRes) as E13.6, each after one blank.
void format_table_row(std::span<char, kTableRowBytes> dst, double station, double depth,
                      double east, double north, std::span<const float, 4> values);

/// One data line of a station coordinate file: four F14.2 fields after one blank
/// each, then CR LF (62 bytes).
std::string coordinate_line(double station, double depth, double east, double north);

}  // namespace driver
