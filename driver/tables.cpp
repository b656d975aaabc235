// Table rows, formatted straight into a caller's buffer: the tables can hold tens of
// millions of rows, so a row costs five direct field conversions and no allocation.
#include "tables.hpp"

#include <cstring>

#include "gridout/fixed_fields.hpp"

namespace driver {

RecordRows::RecordRows(double station, double east, double north) {
    station_[0] = ' ';
    gridout::fixed_field<12, 2>(station_.data() + 1, station);
    east_north_[0] = ' ';
    gridout::fixed_field<12, 2>(east_north_.data() + 1, east);
    east_north_[kFieldBytes] = ' ';
    gridout::fixed_field<12, 2>(east_north_.data() + kFieldBytes + 1, north);
}

void RecordRows::format(std::span<char, kTableRowBytes> dst, double depth, std::span<const float, 4> values) const {
    char* p = dst.data();
    std::memcpy(p, station_.data(), station_.size());
    p += station_.size();
    *p++ = ' ';
    gridout::fixed_field<12, 2>(p, depth);
    p += 12;
    std::memcpy(p, east_north_.data(), east_north_.size());
    p += east_north_.size();
    for (float v : values) {
        *p++ = ' ';
        gridout::exponent_field<13, 6>(p, v);
        p += 13;
    }
    *p++ = '\r';
    *p = '\n';
}

void format_table_row(std::span<char, kTableRowBytes> dst, double station, double depth,
                      double east, double north, std::span<const float, 4> values) {
    RecordRows(station, east, north).format(dst, depth, values);
}

std::string coordinate_line(double station, double depth, double east, double north) {
    std::string line(62, ' ');
    char* p = line.data();
    for (double v : {station, depth, east, north}) {
        *p++ = ' ';
        gridout::fixed_field<14, 2>(p, v);
        p += 14;
    }
    *p++ = '\r';
    *p = '\n';
    return line;
}

}  // namespace driver
