// Blanking template (templat) and mask output (mskout).
// Mask pictures: top line = mask row 1, first character = column 1 (mask_picture.hpp).
#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "blanking_template.hpp"
#include "control_test_util.hpp"
#include "mask_picture.hpp"

namespace {

using minc::MaskFrame;
using minc::Status;
using test_support::FailingFile;
using test_support::MaskStore;

// A 4 x 3 working grid under a mask with HW = 2 (8 x 7 cells): node (c, r) is mask cell
// (c + 2, r + 2). The border carries values that would blank or keep the wrong nodes if
// the offsets were off by one.
// clang-format off
const char* kMask = R"(
    00000000
    01111110
    01201010
    00210200
    01100020
    01111110
    00000000)";
// clang-format on
// Grid node values as bit patterns, row 1 first: ordinary values, -0.0, a denormal, a
// quiet NaN with a payload, infinity, the largest float.
const std::uint32_t kGrid[3][4] = {
    {0x3f800000u, 0x80000000u, 0x00000001u, 0x7fc12345u},  // 1.0, -0.0, denormal, NaN
    {0x40490fdbu, 0xc2c80000u, 0x7f800000u, 0x7f7fffffu},  // pi, -100, inf, max
    {0x3dcccccdu, 0x00000000u, 0xbf800000u, 0x12345678u},  // 0.1, 0.0, -1.0, arbitrary
};

// The mask above, the grid rows in memory and the working rows of one templat call.
// The 4 x nrow grid on the 8 x 7 mask with its node (1, 1) on mask cell (ix0, iy0).
MaskFrame frame(int ix0, int iy0, int nrow = 3) {
    return MaskFrame{.ix0 = ix0, .iy0 = iy0, .nxm = 8, .nym = 7, .ncol = 4, .nrow = nrow};
}

struct Rig {
    MaskStore m{kMask};
    gridout::MemoryFileSystem fs;
    std::unique_ptr<gridout::ByteFile> grid = fs.create("grid");
    std::unique_ptr<gridout::ByteFile> out = fs.create("out");
    std::vector<std::int32_t> mrow = std::vector<std::int32_t>(8, -1);
    std::vector<float> grow = std::vector<float>(4, 7.0f);
    explicit Rig(int lead_words = 0) {
        // Optional lead words before the rows, to show the routine reads from where the
        // file stands rather than from its start.
        std::vector<std::uint32_t> w(std::size_t(lead_words), 0xdeadbeefu);
        for (const auto& row : kGrid) w.insert(w.end(), std::begin(row), std::end(row));
        gridout::write_words(*grid, std::span<const std::uint32_t>(w));
        grid->seek(std::int64_t(lead_words) * 4);
    }
    // The 4 x 3 grid (nrow rows) under mask cell (3, 3) of the 8 x 7 mask.
    Status templat(std::int32_t mval, float dummy, minc::RowFile mask, gridout::ByteFile& to, int nrow = 3) {
        return minc::templat(frame(3, 3, nrow), {mval, dummy}, mask, {mrow, grow}, *grid, to);
    }
    Status templat(std::int32_t mval, float dummy) { return templat(mval, dummy, m.row_file(), *out); }
    std::vector<std::uint32_t> out_words() const { return control_test::words_of<std::uint32_t>(fs.contents("out")); }
};

TEST(Templat, KeepsValuesUnderOneAndTwoAndWritesNullUnderZeroBitForBit) {
    const float dummy = -99999.0f;
    const std::uint32_t d = std::bit_cast<std::uint32_t>(dummy);
    // Mask cells under the grid: rows 3..5, columns 3..6 of the picture:
    //   row 3: 2 0 1 0      row 4: 2 1 0 2      row 5: 1 0 0 0
    const std::vector<std::uint32_t> expected = {
        kGrid[0][0], d,           kGrid[0][2], d,            //
        kGrid[1][0], kGrid[1][1], d,           kGrid[1][3],  //
        kGrid[2][0], d,           d,           d,
    };
    for (int lead : {0, 4}) {
        SCOPED_TRACE(::testing::Message() << "grid rows start at word " << lead);
        Rig g(lead);
        ASSERT_EQ(g.templat(0, dummy), Status::ok);
        EXPECT_EQ(g.out_words(), expected);
        EXPECT_EQ(g.fs.contents("out").size(), 12u * 4);
    }
}

TEST(Templat, NullValueBitsCopiedUnchanged) {
    // A NaN null value with a payload must arrive with the same payload.
    const float dummy = std::bit_cast<float>(0x7fa00001u);
    Rig g;
    ASSERT_EQ(g.templat(0, dummy), Status::ok);
    const auto w = g.out_words();
    ASSERT_EQ(w.size(), 12u);
    EXPECT_EQ(w[1], 0x7fa00001u);
    EXPECT_EQ(w[11], 0x7fa00001u);
    EXPECT_EQ(w[3 - 1], kGrid[0][2]);
}

TEST(Templat, BlankCodeIsAnArgument) {
    // With mval = 2 the nodes under 2 are blanked and those under 0 kept.
    Rig g;
    const std::uint32_t d = 0xffffffffu;
    ASSERT_EQ(g.templat(2, std::bit_cast<float>(d)), Status::ok);
    const std::vector<std::uint32_t> expected = {
        d,           kGrid[0][1], kGrid[0][2], kGrid[0][3],  //
        d,           kGrid[1][1], kGrid[1][2], d,            //
        kGrid[2][0], kGrid[2][1], kGrid[2][2], kGrid[2][3],
    };
    EXPECT_EQ(g.out_words(), expected);
}

TEST(Templat, GridOutsideMaskOrEmptyWritesNothing) {
    struct Case {
        const char* what;
        int ix0, iy0, nxm, nym, ncol, nrow;
    };
    const Case cases[] = {
        {"ix0 = 0", 0, 3, 8, 7, 4, 3},
        {"iy0 = 0", 3, 0, 8, 7, 4, 3},
        {"one column too far right", 6, 3, 8, 7, 4, 3},
        {"one row too far down", 3, 6, 8, 7, 4, 3},
        {"no rows", 3, 3, 8, 7, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig g;
        FailingFile mask_guard(g.m.file(), 1);  // a read past the header would be seen below
        const MaskFrame f{.ix0 = c.ix0, .iy0 = c.iy0, .nxm = c.nxm, .nym = c.nym, .ncol = c.ncol, .nrow = c.nrow};
        EXPECT_EQ(minc::templat(f, {0, -1.0f}, g.m.row_file(mask_guard), {g.mrow, g.grow}, *g.grid, *g.out),
                  Status::ok);
        EXPECT_EQ(mask_guard.reads(), 0);
        EXPECT_TRUE(g.fs.contents("out").empty());
        std::vector<float> probe(1);
        ASSERT_TRUE(gridout::read_words(*g.grid, std::span<float>(probe)));  // still at row 1
        EXPECT_EQ(std::bit_cast<std::uint32_t>(probe[0]), kGrid[0][0]);
    }
    {
        SCOPED_TRACE("the grid may fill the mask exactly");
        Rig g;
        EXPECT_EQ(minc::templat(frame(5, 5), {0, -1.0f}, g.m.row_file(), {g.mrow, g.grow}, *g.grid, *g.out),
                  Status::ok);
        EXPECT_EQ(g.fs.contents("out").size(), 12u * 4);
    }
}

TEST(Templat, FailuresAreReported) {
    {
        SCOPED_TRACE("mask row cannot be read");
        Rig g;
        FailingFile f(g.m.file(), 1);  // row 3 read, then row 4 fails
        EXPECT_EQ(g.templat(0, -1.0f, g.m.row_file(f), *g.out), Status::mask_failed);
        EXPECT_EQ(g.fs.contents("out").size(), 4u * 4);  // only the first row
    }
    {
        SCOPED_TRACE("grid row file too short");
        Rig g;
        // Four rows asked for, three in the file: the fourth read comes up short.
        EXPECT_EQ(g.templat(0, -1.0f, g.m.row_file(), *g.out, 4), Status::store_failed);
        EXPECT_EQ(g.fs.contents("out").size(), 12u * 4);
    }
    {
        SCOPED_TRACE("output cannot be written");
        Rig g;
        FailingFile out(*g.out, FailingFile::kNever, 1);
        EXPECT_EQ(g.templat(0, -1.0f, g.m.row_file(), out), Status::store_failed);
    }
    {
        SCOPED_TRACE("working rows too short");
        Rig g;
        std::vector<std::int32_t> mrow7(7);
        std::vector<float> grow3(3);
        EXPECT_EQ(minc::templat(frame(3, 3), {0, -1.0f}, g.m.row_file(), {mrow7, g.grow}, *g.grid, *g.out),
                  Status::row_too_wide);
        EXPECT_EQ(minc::templat(frame(3, 3), {0, -1.0f}, g.m.row_file(), {g.mrow, grow3}, *g.grid, *g.out),
                  Status::row_too_wide);
        EXPECT_TRUE(g.fs.contents("out").empty());
    }
}

TEST(Mskout, WritesMaskValuesAsReals) {
    MaskStore m(kMask);
    gridout::MemoryFileSystem fs;
    auto out = fs.create("out");
    std::vector<std::int32_t> mrow(8);
    std::vector<float> row(4);
    ASSERT_EQ(minc::mskout(frame(3, 3), m.row_file(), mrow, row, *out), Status::ok);
    const auto bytes = fs.contents("out");
    ASSERT_EQ(bytes.size(), 12u * 4);
    const std::vector<float> v = control_test::words_of<float>(bytes);
    const std::vector<float> expected = {2.0f, 0.0f, 1.0f, 0.0f,  //
                                         2.0f, 1.0f, 0.0f, 2.0f,  //
                                         1.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_EQ(v, expected);
    {
        SCOPED_TRACE("outside the mask: nothing written");
        auto out2 = fs.create("out2");
        EXPECT_EQ(minc::mskout(frame(0, 3), m.row_file(), mrow, row, *out2), Status::ok);
        EXPECT_TRUE(fs.contents("out2").empty());
    }
}

}  // namespace
