// The stations file (see stations_file.hpp).
#include "stations_file.hpp"

#include <array>
#include <charconv>
#include <cmath>

#include "tables.hpp"

namespace driver {
namespace {

// Shortest decimal text without exponent that reads back to v (std::to_chars: no locale,
// no rounding); model values lie within the 32-bit range, so at most a few hundred digits.
void append_shortest(std::string& out, double v) {
    std::array<char, 512> buf;
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed);
    if (r.ec != std::errc()) r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), r.ptr);
}

void append_fixed2(std::string& out, double v) {
    std::array<char, 48> buf;
    auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, 2);
    if (r.ec != std::errc()) {  // wider than the buffer: cannot happen for 32-bit-range stations
        append_shortest(out, v);
        return;
    }
    std::string_view text(buf.data(), static_cast<std::size_t>(r.ptr - buf.data()));
    if (text == "-0.00") text = "0.00";  // a re-based last station is 0, whatever its sign
    out.append(text);
}

}  // namespace

std::string stations_file_name(const std::string& label) { return "line_" + label + "_stations.csv"; }

std::string stations_row(const RecordPosition& r, double shift) {
    std::string row;
    row.reserve(96);
    if (!std::isnan(r.fiducial)) append_shortest(row, r.fiducial);
    row += ',';
    append_fixed2(row, r.station - shift);
    row += ',';
    append_shortest(row, r.east);
    row += ',';
    append_shortest(row, r.north);
    row += ',';
    append_shortest(row, r.elevation);
    row += ',';
    if (r.doi > 0.0) append_shortest(row, r.doi);
    row += kTableLineEnd;
    return row;
}

void write_stations_file(const LineBuilder& builder, double shift, const ModelGuard& guard) {
    OutputFile out;
    out.create(stations_file_name(builder.stats().label), guard);
    out.write(kStationsHeader);
    out.write(kTableLineEnd);
    for (const RecordPosition& r : builder.records()) out.write(stations_row(r, shift));
    out.close();
}

}  // namespace driver
