// Rows of the text tables: the combined table, the line tables (the same rows) and
// the station coordinate files. Fixed-width fields of one blank and a right-aligned
// number; a value too wide for its field shows as asterisks; lines end with CR LF.
#pragma once

#include <array>
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

/// The point rows of one record. Station, east and north are the same in every row of a
/// record, so they are formatted once, and a row costs its depth and its four values.
class RecordRows {
public:
    RecordRows(double station, double east, double north);
    /// Writes one point row into dst: station, depth, east and north as F12.2 and the
    /// four conductivity values (Con, LogCon, Res, LogRes) as E13.6, each after one blank.
    void format(std::span<char, kTableRowBytes> dst, double depth, std::span<const float, 4> values) const;

private:
    static constexpr std::size_t kFieldBytes = 13;  // a blank and an F12.2 field
    std::array<char, kFieldBytes> station_;
    std::array<char, 2 * kFieldBytes> east_north_;
};

/// One point row (see RecordRows::format).
void format_table_row(std::span<char, kTableRowBytes> dst, double station, double depth,
                      double east, double north, std::span<const float, 4> values);

/// One data line of a station coordinate file: four F14.2 fields after one blank
/// each, then CR LF (62 bytes).
std::string coordinate_line(double station, double depth, double east, double north);

}  // namespace driver
