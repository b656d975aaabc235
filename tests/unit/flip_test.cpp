// GEOFLIP: the worked 3 x 2 examples for both orientations, the rebuilt header byte by
// byte, the name rules, and corrupt or missing inputs (clear status, no output file).
#include "gridout/flip.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "gridout_test_util.hpp"

namespace {

using namespace gridout;
using namespace gridout_test;

// A grid file with the given header words and values (file order).
Bytes flip_input(std::int32_t ne, std::int32_t nv, std::int32_t kx, const std::vector<float>& values,
                 double de = 0.5, double dv = 2.0, double x0 = 10.0, double y0 = 20.0) {
    GridHeader h = unit_header(ne, nv, kx);
    h.de = de;
    h.dv = dv;
    h.x0 = x0;
    h.y0 = y0;
    h.zmin = 1.0f;
    h.zmax = 6.0f;
    return grid_bytes(h, values);
}

const std::vector<float> k3x2 = {1, 2, 3, 4, 5, 6};  // vector 1: 1 2 3; vector 2: 4 5 6

TEST(Geoflip, ThreeByTwoExamples) {
    struct Case { int kx; std::vector<float> want; };
    for (const Case& c : {Case{1, {6, 3, 5, 2, 4, 1}}, Case{-1, {3, 6, 2, 5, 1, 4}},
                          Case{-2, {3, 6, 2, 5, 1, 4}}}) {
        SCOPED_TRACE("KX " + std::to_string(c.kx));
        MemoryFileSystem fs;
        put_file(fs, "in.grd", flip_input(3, 2, c.kx, k3x2));
        ASSERT_EQ(geoflip(fs, "in.grd", "out.grd"), GridStatus::ok);
        const Bytes b = fs.contents("out.grd");
        ASSERT_EQ(b.size(), 512u + 24u);
        EXPECT_EQ(body(b), c.want);
        expect_bytes(b, 8, {2, 0, 0, 0}, "NE = input NV");
        expect_bytes(b, 12, {3, 0, 0, 0}, "NV = input NE");
        expect_bytes(b, 16, {0xfe, 0xff, 0xff, 0xff}, "orientation always -2");
    }
}

TEST(Geoflip, RebuildsTheHeaderFieldByField) {
    MemoryFileSystem fs;
    // DE 0.5, DV 2.0, X0 10, Y0 20; NV 2, so the new X0 is 20 + 1 x 2 = 22.
    put_file(fs, "in.grd", flip_input(3, 2, 1, k3x2));
    ASSERT_EQ(geoflip(fs, "in.grd", "out.grd"), GridStatus::ok);
    const Bytes b = fs.contents("out.grd");
    expect_bytes(b, 0, {4, 0, 0, 0}, "element size");
    expect_bytes(b, 4, {2, 0, 0, 0}, "element type");
    expect_bytes(b, 20, {0, 0, 0, 0, 0, 0, 0x00, 0x40}, "DE = input DV 2.0");
    expect_bytes(b, 28, {0, 0, 0, 0, 0, 0, 0xe0, 0x3f}, "DV = input DE 0.5");
    expect_bytes(b, 36, {0, 0, 0, 0, 0, 0, 0x36, 0x40}, "X0 = 22.0");
    expect_bytes(b, 44, {0, 0, 0, 0, 0, 0, 0x24, 0x40}, "Y0 = input X0 10.0");
    expect_filled(b, 52, 16, 0, "angle and base");
    expect_bytes(b, 68, {0, 0, 0, 0, 0, 0, 0xf0, 0x3f}, "multiplier 1.0");
    expect_filled(b, 76, 64, ' ', "label and map number");
    expect_filled(b, 140, 28, 0, "five integers, then zero statistics words");
    expect_bytes(b, 168, {0xae, 0xc5, 0x9d, 0xf4}, "median dummy");
    expect_bytes(b, 172, {0xae, 0xc5, 0x9d, 0xf4}, "mean dummy");
    expect_bytes(b, 176, {0, 0, 0, 0xc0, 0xb5, 0xb8, 0x93, 0xc6}, "variance dummy widened");
    expect_filled(b, 184, 4, 0, "flag");
    expect_filled(b, 188, 324, ' ', "user area");
}

TEST(Geoflip, NewOriginIsRoundedToSinglePrecision) {
    MemoryFileSystem fs;
    // Y0 0.1 and DV 0.2 are read as floats; 0.1f + 0.2f rounds to 0.3f, whose exact
    // value is 0.300000011920928955078125 (the double sum would be 0.30000000000000004).
    put_file(fs, "in.grd", flip_input(1, 2, 1, {1, 2}, 1.0, 0.2, 0.0, 0.1));
    ASSERT_EQ(geoflip(fs, "in.grd", "out.grd"), GridStatus::ok);
    GridData d;
    ASSERT_EQ(read_grid(fs, "out.grd", d), GridStatus::ok);
    EXPECT_EQ(d.header.x0, 0.300000011920928955078125);
}

TEST(Geoflip, NamesAreUsedAsGiven) {
    MemoryFileSystem fs;
    put_file(fs, "in.grd", flip_input(3, 2, 1, k3x2));
    EXPECT_EQ(geoflip(fs, "in.grd", "o"), GridStatus::ok);
    EXPECT_TRUE(fs.exists("o"));
    // A padded name is another file: the padding rules belong to the C entries.
    EXPECT_EQ(geoflip(fs, "in.grd   ", "p.grd"), GridStatus::cannot_open);
    EXPECT_FALSE(fs.exists("p.grd"));

    // Names longer than 512 characters are used whole, never cut short onto another file.
    const std::string long_in = std::string(590, 'i') + ".grd";
    const std::string long_out = std::string(590, 'o') + ".grd";
    put_file(fs, long_in, flip_input(3, 2, 1, k3x2));
    EXPECT_EQ(geoflip(fs, long_in, long_out), GridStatus::ok);
    EXPECT_TRUE(fs.exists(long_out));
    EXPECT_FALSE(fs.exists(long_out.substr(0, 512)));
}

TEST(Geoflip, CorruptInputsGiveAStatusAndNoOutput) {
    Bytes wrong_size = flip_input(3, 2, 1, k3x2);
    wrong_size[0] = std::byte{8};
    Bytes wrong_type = flip_input(3, 2, 1, k3x2);
    wrong_type[4] = std::byte{1};
    Bytes truncated = flip_input(3, 2, 1, k3x2);
    truncated.resize(512 + 20);
    Bytes half_header = flip_input(3, 2, 1, k3x2);
    half_header.resize(200);
    struct Case { const char* what; Bytes bytes; GridStatus want; };
    const std::vector<Case> cases = {
        {"truncated values", truncated, GridStatus::bad_header},
        {"truncated header", half_header, GridStatus::short_source},
        {"huge counts", flip_input(0x7fffffff, 0x40000000, 1, k3x2), GridStatus::bad_header},
        {"negative count", flip_input(-3, 2, 1, k3x2), GridStatus::bad_header},
        {"zero count", flip_input(3, 0, 1, k3x2), GridStatus::bad_header},
        {"element size 8", wrong_size, GridStatus::bad_header},
        {"element type 1", wrong_type, GridStatus::bad_header},
        {"infinite spacing", flip_input(3, 2, 1, k3x2, HUGE_VAL), GridStatus::bad_header},
        {"spacing beyond a 32-bit real", flip_input(3, 2, 1, k3x2, 1.0e300), GridStatus::bad_header},
        {"new origin beyond a 32-bit real", flip_input(3, 2, 1, k3x2, 0.5, 3.0e38, 10.0, 3.0e38),
         GridStatus::bad_header},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem fs;
        put_file(fs, "in.grd", c.bytes);
        put_file(fs, "old.grd", Bytes(7, std::byte{9}));
        EXPECT_EQ(geoflip(fs, "in.grd", "out.grd"), c.want);
        EXPECT_EQ(geoflip(fs, "in.grd", "old.grd"), c.want);
        EXPECT_EQ(fs.names(), (std::vector<std::string>{"in.grd", "old.grd"}));
        EXPECT_EQ(fs.contents("old.grd"), Bytes(7, std::byte{9})) << "an earlier output is kept";
    }
    MemoryFileSystem fs;
    EXPECT_EQ(geoflip(fs, "missing.grd", "out.grd"), GridStatus::cannot_open);
    EXPECT_TRUE(fs.names().empty());
}

TEST(Geoflip, FlipsInPlaceAndTwiceOnDisk) {
    control_test::TempDir dir;
    DiskFileSystem fs;
    const std::string in = file_in(dir, "g.grd");
    put_file(fs, in, flip_input(3, 2, 1, k3x2));
    ASSERT_EQ(geoflip(fs, in, in), GridStatus::ok);
    GridData d;
    ASSERT_EQ(read_grid(fs, in, d), GridStatus::ok);
    EXPECT_EQ(d.values, (std::vector<float>{6, 3, 5, 2, 4, 1}));
    // The flipped file has KX -2: a second flip takes element NE - m + 1 of each vector,
    // vectors first to last: (3 2 ... ) -> 2 x 3 in, 3 x 2 out.
    ASSERT_EQ(geoflip(fs, in, in), GridStatus::ok);
    ASSERT_EQ(read_grid(fs, in, d), GridStatus::ok);
    EXPECT_EQ(d.header.ne, 3);
    EXPECT_EQ(d.header.nv, 2);
    EXPECT_EQ(d.values, (std::vector<float>{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(dir.names(), (std::set<std::string>{"g.grd"})) << "no temporary left beside the grid";
}

}  // namespace
