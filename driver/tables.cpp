// Table rows, formatted straight into a caller's buffer: the tables can hold tens of
// millions of rows, so a row costs eight direct field conversions and no allocation.
#include "tables.hpp"

#include "gridout/fixed_fields.hpp"

namespace driver {

void format_table_row(std::span<char, kTableRowBytes> dst, double station, double depth,
                      double east, double north, std::span<const float, 4> values) {
    char* p = dst.data();
    for (double v : {station, depth, east, north}) {
        *p++ = ' ';
        gridout::fixed_field<12, 2>(p, v);
        p += 12;
    }
    for (float v : values) {
        *p++ = ' ';
        gridout::exponent_field<13, 6>(p, static_cast<double>(v));
        p += 13;
    }
    *p++ = '\r';
    *p = '\n';
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
