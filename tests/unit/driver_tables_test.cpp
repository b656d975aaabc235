// Rows of the text tables: field widths, exponent form, asterisks and CR LF ends.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tables.hpp"

namespace driver {
namespace {

std::string row(double station, double depth, double east, double north,
                std::array<float, 4> values) {
    std::array<char, kTableRowBytes> buf;
    buf.fill('?');
    format_table_row(buf, station, depth, east, north, values);
    return std::string(buf.data(), buf.size());
}

TEST(TableRow, FixedAndExponentFields) {
    // clang-format off
    EXPECT_EQ(row(0.0, 97.5, 100.0, 0.0, {10.0f, 1.0f, 100.0f, 2.0f}),
              "         0.00        97.50       100.00         0.00"
              "  0.100000E+02  0.100000E+01  0.100000E+03  0.200000E+01\r\n");
    EXPECT_EQ(row(-1475.678, -217.5, 512345.67, 7654321.89, {0.5f, -0.25f, 2000.0f, 0.0f}),
              "     -1475.68      -217.50    512345.67   7654321.89"
              "  0.500000E+00 -0.250000E+00  0.200000E+04  0.000000E+00\r\n");
    // Too wide for twelve characters: asterisks; a negative that rounds to zero keeps
    // its sign; an exact half rounds to even.
    EXPECT_EQ(row(1.0e12, -0.001, 0.125, -0.375, {1.0e-5f, 12.5f, 0.125f, 1.0e30f}),
              " ************        -0.00         0.12        -0.38"
              "  0.100000E-04  0.125000E+02  0.125000E+00  0.100000E+31\r\n");
    // clang-format on
    EXPECT_EQ(std::string(kTableHeader).size(), 56u);
}

TEST(CoordinateLine, FourWideFields) {
    EXPECT_EQ(coordinate_line(-200.0, -2.5, 300.0, 0.0),
              "        -200.00          -2.50         300.00           0.00\r\n");
    EXPECT_EQ(coordinate_line(0.0, -2.5, 512345.674, 7654321.886),
              "           0.00          -2.50      512345.67     7654321.89\r\n");
    const std::string wide = coordinate_line(1.0e14, 0.0, -1.0e12, 0.0);
    EXPECT_EQ(wide.substr(0, 15), " **************");
    EXPECT_EQ(wide.substr(30, 15), " **************");
}

}  // namespace
}  // namespace driver
