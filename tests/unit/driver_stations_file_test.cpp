// Rows of the stations file, and the fiducial and depth of investigation they take from
// a model record.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model_reader.hpp"
#include "stations_file.hpp"

namespace driver {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

RecordPosition at(double station, double east, double fiducial, double doi) {
    return {station, 119.79, east, 7654321.88, 3, fiducial, doi};
}

TEST(StationsRow, FieldsAndEmptyValues) {
    struct Case {
        RecordPosition r;
        double shift;
        const char* want;
    };
    // clang-format off
    const Case cases[] = {
        {at(0.0, 512345.61, 10000, 200.3), 0.0,  "10000,0.00,512345.61,7654321.88,119.79,200.3\r\n"},
        // re-based: the last record at 0, the others negative
        {at(1473.3251, 512370.06, 10003.5, 157.9), 1473.3251, "10003.5,0.00,512370.06,7654321.88,119.79,157.9\r\n"},
        {at(24.875, 1e6, 12, 7.25), 1473.3251, "12,-1448.45,1000000,7654321.88,119.79,7.25\r\n"},
        // no DOI (0, negative, missing) and no fiducial: empty fields
        {at(10.0, 5.0, kNone, 0.0),   0.0, ",10.00,5,7654321.88,119.79,\r\n"},
        {at(10.0, 5.0, -3.0, -9999.0), 0.0, "-3,10.00,5,7654321.88,119.79,\r\n"},
        {at(10.0, 5.0, 1.0, kNone),    0.0, "1,10.00,5,7654321.88,119.79,\r\n"},
        // a station that rounds to zero from below is written 0.00
        {at(-0.001, 5.0, 1.0, 1e-3),   0.0, "1,0.00,5,7654321.88,119.79,0.001\r\n"},
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(stations_row(c.r, c.shift), c.want);
    EXPECT_EQ(stations_file_name("1021"), "line_1021_stations.csv");
    EXPECT_EQ(std::string(kStationsHeader), "fiducial,station_m,east_m,north_m,ground_elevation_m,doi_m");
}

TEST(StationsRow, ModelRecordFiducialAndDoi) {
    ModelRecord r;
    ASSERT_EQ(parse_record("1001 10003 512370.06 7654326.19 121.44 29.3 1.326 0.1579D3 15 2 4 5", 2, r),
              RecordKind::record);
    EXPECT_EQ(r.fiducial, 10003.0);
    EXPECT_EQ(r.doi, 157.9);
    // A short record read before keeps nothing of the previous one.
    ASSERT_EQ(parse_record("1001 7", 2, r), RecordKind::short_record);
    EXPECT_EQ(r.fiducial, 7.0);
    EXPECT_TRUE(std::isnan(r.doi));
    // The fiducial must still be a number.
    EXPECT_EQ(parse_record("1001 x 1 2 3 4 5 6 7 8 9 10", 2, r), RecordKind::unreadable);
}

}  // namespace
}  // namespace driver
