// Window blanking passes (radrem, radmsk) on small masks drawn as pictures.
// Pictures: top line = mask row 1, first character = column 1 (see mask_picture.hpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "blanking.hpp"
#include "control_test_util.hpp"
#include "mask_picture.hpp"

namespace {

using minc::Status;
using test_support::FailingFile;
using test_support::MaskStore;
using test_support::normalize_picture;

// Working storage exactly as the gridding entry carves it: three consecutive pieces.
struct Work {
    std::vector<std::int32_t> area;
    int ldim;
    int w;
    Work(int ldim_, int w_) : area(std::size_t(ldim_) * std::size_t(w_ + 2), -7), ldim(ldim_), w(w_) {}
    std::span<std::int32_t> colsum() { return std::span(area).first(std::size_t(ldim)); }
    std::span<std::int32_t> rowbuf() { return std::span(area).subspan(std::size_t(ldim), std::size_t(ldim)); }
    std::span<std::int32_t> window() { return std::span(area).subspan(2 * std::size_t(ldim)); }
};

Status run_radrem(minc::RowFile f, int ncol, int w, int mincnt = 1) {
    Work k(ncol, w);
    return minc::radrem(mincnt, f, w, {k.ldim, k.colsum(), k.rowbuf(), k.window()});
}
Status run_radmsk(minc::RowFile f, int ncol, int w, int mincnt = 1) {
    Work k(ncol, w);
    return minc::radmsk(mincnt, f, w, {k.ldim, k.colsum(), k.rowbuf(), k.window()});
}

// Both passes in the order the gridding entry runs them.
std::string blank(std::string_view picture, int w) {
    MaskStore m(picture);
    EXPECT_EQ(run_radrem(m.row_file(), m.ncol(), w), Status::ok);
    EXPECT_EQ(run_radmsk(m.row_file(), m.ncol(), w), Status::ok);
    return m.picture();
}

// Independent reference: every window summed directly over the mask as it was.
minc::Grid<std::int32_t> reference_pass(const minc::Grid<std::int32_t>& in, int half, bool remove,
                                        int mincnt) {
    minc::Grid<std::int32_t> out = in;
    const int width = 2 * half + 1;
    mincnt = std::clamp(mincnt, 1, width * width);
    for (int j = half + 1; j <= in.ny - half; ++j)
        for (int i = half + 1; i <= in.nx - half; ++i) {
            int s = 0;
            for (int v = j - half; v <= j + half; ++v)
                for (int u = i - half; u <= i + half; ++u) s += in(u, v);
            if (remove && s <= 1 && in(i, j) != 0) out(i, j) = 0;
            if (!remove && s >= mincnt && in(i, j) == 0) out(i, j) = 2;
        }
    return out;
}

TEST(MaskPicture, StoreHasTheMaskFileLayout) {
    // Three columns: records of 30 words; header (3, 2, 1, ...), then row r at word 30 r:
    // a lead word 0 and the values. The top line of the picture is row 1.
    MaskStore m("102\n210");
    const auto b = m.bytes();
    auto word = [&](std::size_t k) { return control_test::word_at(b, k); };
    ASSERT_GE(b.size(), (60u + 4u) * 4);
    EXPECT_EQ(word(0), 3);
    EXPECT_EQ(word(1), 2);
    EXPECT_EQ(word(2), 1);
    EXPECT_EQ(word(30), 0);
    EXPECT_EQ(word(31), 1);
    EXPECT_EQ(word(32), 0);
    EXPECT_EQ(word(33), 2);
    EXPECT_EQ(word(60), 0);
    EXPECT_EQ(word(61), 2);
    EXPECT_EQ(word(62), 1);
    EXPECT_EQ(word(63), 0);
    EXPECT_EQ(m.picture(), "102\n210\n");
    EXPECT_EQ(normalize_picture("  1 0 2\n\n  2 1 0  \n"), "102\n210\n");
}

TEST(WindowShape, EvenWidthBehavesAsNarrower) {
    EXPECT_EQ(minc::window_shape(3).half, 1);
    EXPECT_EQ(minc::window_shape(4).half, 1);
    EXPECT_EQ(minc::window_shape(4).width, 3);
    EXPECT_EQ(minc::window_shape(5).half, 2);
    EXPECT_EQ(minc::window_shape(83).width, 83);
    EXPECT_EQ(minc::window_shape(2).half, 0);
}

TEST(Radrem, IsolatedDataCellRemovedAndNothingMarked) {
    // clang-format off
    const char* before = R"(
        0000000
        0000000
        0000000
        0001000
        0000000
        0000000
        0000000)";
    // clang-format on
    MaskStore m(before);
    ASSERT_EQ(run_radrem(m.row_file(), m.ncol(), 5), Status::ok);
    EXPECT_EQ(m.cells().v, std::vector<std::int32_t>(49, 0));
    ASSERT_EQ(run_radmsk(m.row_file(), m.ncol(), 5), Status::ok);
    EXPECT_EQ(m.cells().v, std::vector<std::int32_t>(49, 0));
}

TEST(Radrem, TwoCellsWithinEachOthersWindowKeptAndWindowsMarked) {
    // HW = 2: (4,4) and (6,5) are 2 columns and 1 row apart.
    // clang-format off
    const char* before = R"(
        000000000
        000000000
        000000000
        000100000
        000001000
        000000000
        000000000
        000000000
        000000000)";
    const char* after = R"(
        000000000
        000000000
        002222200
        002122200
        002221200
        002222200
        000222200
        000000000
        000000000)";
    // clang-format on
    EXPECT_EQ(blank(before, 5), normalize_picture(after));
}

TEST(Radrem, SquareWindowKeepsDiagonalNeighboursAtHalfWindow) {
    // HW = 2. The pair at diagonal distance 2 (Euclidean 2.83) keeps each other; the
    // pair at diagonal distance 3 does not.
    // clang-format off
    const char* before = R"(
        00000000000000
        00000000000000
        00010000000000
        00000000000000
        00000100000000
        00000000000000
        00000000100000
        00000000000000
        00000000000100
        00000000000000
        00000000000000)";
    // clang-format on
    // Cells (4,3) and (6,5) are 2 apart both ways; (9,7) is 3 from (6,5) and from
    // (12,9), so it and (12,9) are alone in their windows.
    MaskStore m(before);
    ASSERT_EQ(run_radrem(m.row_file(), m.ncol(), 5), Status::ok);
    const auto g = m.cells();
    EXPECT_EQ(g(4, 3), 1);
    EXPECT_EQ(g(6, 5), 1);
    EXPECT_EQ(g(9, 7), 0);
    EXPECT_EQ(g(12, 9), 0);
    EXPECT_EQ(std::count(g.v.begin(), g.v.end(), 1), 2);
}

TEST(Radrem, EvenWindowBehavesAsNextNarrower) {
    // Data cells 3 columns apart: a window of 7 keeps them, windows of 5 and of 6 do not.
    // clang-format off
    const char* before = R"(
        0000000000000
        0000000000000
        0000000000000
        0000000000000
        0000100100000
        0000000000000
        0000000000000
        0000000000000
        0000000000000)";
    const char* narrow = R"(
        0000000000000
        0000000000000
        0000000000000
        0000000000000
        0000000000000
        0000000000000
        0000000000000
        0000000000000
        0000000000000)";
    const char* wide = R"(
        0000000000000
        0000000000000
        0000000000000
        0002222222000
        0002122122000
        0002222222000
        0000000000000
        0000000000000
        0000000000000)";
    // clang-format on
    {
        SCOPED_TRACE("w = 5");
        EXPECT_EQ(blank(before, 5), normalize_picture(narrow));
    }
    {
        SCOPED_TRACE("w = 6");
        EXPECT_EQ(blank(before, 6), normalize_picture(narrow));
    }
    {
        SCOPED_TRACE("w = 7");
        EXPECT_EQ(blank(before, 7), normalize_picture(wide));
    }
}

TEST(Radrem, BorderNeverTouched) {
    // HW = 1. The border ring holds values the passes must leave alone: a lone 1 (never
    // removed), 0s next to data (never marked) and a 2.
    // clang-format off
    const char* before = R"(
        1000000
        0000002
        0000000
        0110000
        0000000
        0000000
        0000100)";
    // The 0s at column 1 beside (2,4) stay 0; band cells beside the border 1s and the
    // border 2 are marked, since border values count in the window sums.
    const char* after = R"(
        1000000
        0200022
        0222020
        0112000
        0222000
        0002220
        0000100)";
    // clang-format on
    EXPECT_EQ(blank(before, 3), normalize_picture(after));
}

TEST(Radrem, BorderDataCountsInWindowSums) {
    // A data cell in the border is never tested itself, but it is in the window of the
    // band cell beside it, so that cell is not isolated.
    // clang-format off
    const char* before = R"(
        00000
        10000
        01000
        00000
        00000)";
    const char* after = R"(
        00000
        12200
        01200
        02200
        00000)";
    // clang-format on
    EXPECT_EQ(blank(before, 3), normalize_picture(after));
}

TEST(Radrem, AgreesWithDirectWindowSums) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 60; ++trial) {
        const int ncol = 3 + int(rng() % 25);
        const int nrow = 3 + int(rng() % 25);
        const int w = 3 + int(rng() % 8);  // even widths included
        const int mincnt = int(rng() % 12) - 1;
        const auto density = static_cast<unsigned>(2 + rng() % 20);
        minc::Grid<std::int32_t> g(ncol, nrow, 0);
        for (auto& v : g.v) v = (rng() % density == 0) ? 1 : 0;
        SCOPED_TRACE(::testing::Message() << "trial " << trial << " " << ncol << "x" << nrow
                                          << " w=" << w << " mincnt=" << mincnt);
        const int half = minc::window_shape(w).half;
        const auto removed = reference_pass(g, half, true, 1);
        const auto marked = reference_pass(removed, half, false, mincnt);

        MaskStore m(g);
        ASSERT_EQ(run_radrem(m.row_file(), ncol, w), Status::ok);
        EXPECT_EQ(m.picture(), test_support::picture_of(removed));
        ASSERT_EQ(run_radmsk(m.row_file(), ncol, w, mincnt), Status::ok);
        EXPECT_EQ(m.picture(), test_support::picture_of(marked));
    }
}

TEST(Radrem, WindowLargerThanMask) {
    // clang-format off
    const char* before = R"(
        0110
        0110
        0000)";
    // clang-format on
    {
        SCOPED_TRACE("too few rows: nothing read beyond the header, nothing written");
        MaskStore m(before);
        FailingFile f(m.file(), 2, 0);  // the header, once per pass
        EXPECT_EQ(run_radrem(m.row_file(f), m.ncol(), 5), Status::ok);
        EXPECT_EQ(run_radmsk(m.row_file(f), m.ncol(), 5), Status::ok);
        EXPECT_EQ(m.picture(), normalize_picture(before));
    }
    {
        SCOPED_TRACE("too few columns: radrem still writes every processed row");
        MaskStore m("00000\n01000\n01000\n00000\n00000\n00000\n00000");
        FailingFile f(m.file(), FailingFile::kNever);
        EXPECT_EQ(run_radrem(m.row_file(f), m.ncol(), 7), Status::ok);
        // Rows 4 only (nrow - 2 * half = 1 row), written as lead word and values.
        EXPECT_EQ(f.writes(), 2);
        EXPECT_EQ(m.picture(), normalize_picture("00000\n01000\n01000\n00000\n00000\n00000\n00000"));
    }
}

TEST(Radrem, ArgumentChecksLeaveMaskUntouched) {
    const char* pic = "0000\n0110\n0110\n0000";
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "radrem" : "radmsk");
        auto call = pass == 0 ? minc::radrem : minc::radmsk;
        MaskStore m(pic);
        const auto bytes = m.bytes();
        std::vector<std::int32_t> colsum(4), rowbuf(4), window(12);
        {
            SCOPED_TRACE("ldim below the column count");
            std::vector<std::int32_t> c3(3), r3(3), w3(9);
            EXPECT_EQ(call(1, m.row_file(), 3, {3, c3, r3, w3}), Status::window_too_wide);
        }
        {
            SCOPED_TRACE("window narrower than 3");
            EXPECT_EQ(call(1, m.row_file(), 2, {4, colsum, rowbuf, window}), Status::window_too_narrow);
            EXPECT_EQ(call(1, m.row_file(), 1, {4, colsum, rowbuf, window}), Status::window_too_narrow);
            EXPECT_EQ(call(1, m.row_file(), 0, {4, colsum, rowbuf, window}), Status::window_too_narrow);
        }
        {
            SCOPED_TRACE("the wide-window check comes first");
            EXPECT_EQ(call(1, m.row_file(), 2, {3, colsum, rowbuf, window}), Status::window_too_wide);
        }
        {
            SCOPED_TRACE("working spans shorter than ldim or ldim * width");
            std::vector<std::int32_t> short_window(11), short_row(3);
            EXPECT_EQ(call(1, m.row_file(), 3, {4, colsum, rowbuf, short_window}), Status::window_too_wide);
            EXPECT_EQ(call(1, m.row_file(), 3, {4, colsum, short_row, window}), Status::window_too_wide);
            EXPECT_EQ(call(1, m.row_file(), 3, {4, short_row, rowbuf, window}), Status::window_too_wide);
        }
        EXPECT_EQ(m.bytes(), bytes);
    }
}

// HW = 1, seven rows; rows 2 and 4 each hold a data cell alone in its window.
// Reads in order: header, rows 1..3 into the window, then per processed row j the
// current row j and (after writing it) the next window row j + 2.
// clang-format off
const char* kTwoLoners = R"(
    00000
    01000
    00000
    00010
    00000
    00000
    00000)";
// clang-format on

TEST(Radrem, FailedReadOrWriteEndsPassWithoutWritingAWrongRow) {
    {
        SCOPED_TRACE("header cannot be read");
        MaskStore m(kTwoLoners);
        FailingFile f(m.file(), 0);
        EXPECT_EQ(run_radrem(m.row_file(f), 5, 3), Status::mask_failed);
        EXPECT_EQ(f.writes(), 0);
    }
    {
        SCOPED_TRACE("window fill fails");
        MaskStore m(kTwoLoners);
        FailingFile f(m.file(), 3);
        EXPECT_EQ(run_radrem(m.row_file(f), 5, 3), Status::mask_failed);
        EXPECT_EQ(f.writes(), 0);
        EXPECT_EQ(m.picture(), normalize_picture(kTwoLoners));
    }
    {
        SCOPED_TRACE("current row 4 cannot be read");
        MaskStore m(kTwoLoners);
        FailingFile f(m.file(), 8);  // header, 3 fill, row 2, row 4 (window), row 3, row 5 (window)
        EXPECT_EQ(run_radrem(m.row_file(f), 5, 3), Status::mask_failed);
        // Row 2 was processed and written; row 4 keeps its cell and is not overwritten
        // with row 3's values.
        EXPECT_EQ(m.picture(), normalize_picture("00000\n00000\n00000\n00010\n00000\n00000\n00000"));
    }
    {
        SCOPED_TRACE("next window row cannot be read");
        MaskStore m(kTwoLoners);
        FailingFile f(m.file(), 7);
        EXPECT_EQ(run_radrem(m.row_file(f), 5, 3), Status::mask_failed);
        EXPECT_EQ(f.writes(), 4);  // rows 2 and 3, two writes each
        EXPECT_EQ(m.picture(), normalize_picture("00000\n00000\n00000\n00010\n00000\n00000\n00000"));
    }
    {
        SCOPED_TRACE("write of row 3 fails");
        MaskStore m(kTwoLoners);
        FailingFile f(m.file(), FailingFile::kNever, 2);
        EXPECT_EQ(run_radrem(m.row_file(f), 5, 3), Status::mask_failed);
        EXPECT_EQ(m.picture(), normalize_picture("00000\n00000\n00000\n00010\n00000\n00000\n00000"));
    }
    {
        SCOPED_TRACE("radmsk: current row cannot be read");
        // clang-format off
        const char* pair = R"(
            00000
            01100
            00000
            00000
            00000)";
        // clang-format on
        MaskStore m(pair);
        FailingFile f(m.file(), 6);  // header, 3 fill, row 2, row 4 (window); row 3 fails
        EXPECT_EQ(run_radmsk(m.row_file(f), 5, 3), Status::mask_failed);
        EXPECT_EQ(m.picture(), normalize_picture("00000\n01120\n00000\n00000\n00000"));
    }
    {
        SCOPED_TRACE("all reads succeed: both loners go");
        MaskStore m(kTwoLoners);
        FailingFile f(m.file(), FailingFile::kNever);
        EXPECT_EQ(run_radrem(m.row_file(f), 5, 3), Status::ok);
        EXPECT_EQ(f.reads(), 1 + 3 + 5 + 4);
        EXPECT_EQ(m.cells().v, std::vector<std::int32_t>(35, 0));
    }
}

TEST(Radmsk, MinimumCountLimitedToWindow) {
    // clang-format off
    const char* before = R"(
        000000
        011100
        010100
        011100
        000000)";
    // clang-format on
    {
        SCOPED_TRACE("mincnt 8: only the centre sees all eight data cells");
        MaskStore m(before);
        ASSERT_EQ(run_radmsk(m.row_file(), 6, 3, 8), Status::ok);
        EXPECT_EQ(m.picture(), normalize_picture("000000\n011100\n012100\n011100\n000000"));
    }
    {
        SCOPED_TRACE("mincnt above 9 becomes 9: no window of an empty cell reaches 9");
        MaskStore m(before);
        ASSERT_EQ(run_radmsk(m.row_file(), 6, 3, 50), Status::ok);
        EXPECT_EQ(m.picture(), normalize_picture(before));
    }
    {
        SCOPED_TRACE("mincnt 0 becomes 1");
        MaskStore m(before);
        ASSERT_EQ(run_radmsk(m.row_file(), 6, 3, 0), Status::ok);
        EXPECT_EQ(m.picture(), normalize_picture("000000\n011120\n012120\n011120\n000000"));
    }
}

TEST(Radmsk, UnchangedRowsAreNotWritten) {
    // clang-format off
    const char* before = R"(
        000000
        011000
        011000
        000000
        000000
        000000
        000000)";
    // clang-format on
    MaskStore m(before);
    FailingFile f(m.file(), FailingFile::kNever);
    ASSERT_EQ(run_radmsk(m.row_file(f), 6, 3), Status::ok);
    // Rows 2 to 4 gain marks; rows 5 and 6 have no data in reach and stay unwritten.
    EXPECT_EQ(f.writes(), 6);
    EXPECT_EQ(m.picture(), normalize_picture("000000\n011200\n011200\n022200\n000000\n000000\n000000"));
}

}  // namespace
