// Radius clipping (radclp) and its span kernels.
// Pictures: top line = mask row 1, first character = column 1 (see mask_picture.hpp).
// In the picture tests every band cell that is not data holds 2, so the picture after the
// pass shows the clip directly: 2 (and 1) inside, 0 outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "blanking.hpp"
#include "mask_picture.hpp"
#include "radius_clip.hpp"

namespace {

using minc::ClipBand;
using minc::ClipSpans;
using minc::OutlineResult;
using minc::Status;
using test_support::FailingFile;
using test_support::MaskStore;
using test_support::normalize_picture;

struct ClipWork {
    std::vector<std::int32_t> rowbuf, rowend, colend, outline;
    ClipWork(int ncol, int nrow, int w)
        : rowbuf(std::size_t(ncol), -5),
          rowend(2 * std::size_t(nrow), -5),
          colend(2 * std::size_t(ncol), -5),
          outline(2 * minc::radclp_outline_points(ncol, nrow, w), -5) {}
};

Status run_radclp(minc::RowFile f, int ncol, int nrow, int w) {
    ClipWork k(ncol, nrow, w);
    return minc::radclp(f, w, k.rowbuf, k.rowend, k.colend, k.outline);
}

// The whole pass on a mask picture, compared with the expected picture.
void expect_clip(std::string_view before, std::string_view after, int w) {
    MaskStore m(before);
    ASSERT_EQ(run_radclp(m.row_file(), m.ncol(), m.nrow(), w), Status::ok);
    EXPECT_EQ(m.picture(), normalize_picture(after));
}

// Storage and views for the span kernels.
struct Spans {
    std::vector<std::int32_t> rowend, colend;
    ClipBand band;
    ClipSpans s;
    Spans(int ncol, int nrow, int h)
        : rowend(2 * std::size_t(nrow)), colend(2 * std::size_t(ncol)), band(ncol, nrow, h),
          s(rowend, colend) {
        minc::clear_spans(s, band);
    }
};

TEST(RadiusClip, OutlinePointBound) {
    EXPECT_EQ(minc::radclp_outline_points(20, 10, 5), 2u * 18 + 2u * 8);
    EXPECT_EQ(minc::radclp_outline_points(20, 10, 6), 2u * 18 + 2u * 8);  // even w as w - 1
    // A tall narrow mask: no band column, so only the right and left runs can hold points.
    EXPECT_EQ(minc::radclp_outline_points(3, 100, 9), 2u * 94);
    // NCU = 40000, NRU = 10 with HW = 2: more than the work area left for the list.
    EXPECT_EQ(minc::radclp_outline_points(40004, 14, 5), 2u * 40002 + 2u * 12);
}

TEST(RadiusClip, FillLineBetweenPointsIsLimitedByCircle) {
    // Top-run points E = (10, 50) and F = (14, 20) with h = 5: a = 4, c = 3. The fill line
    // runs from row 50 at column 10 to row 47 (E's row less c) at column 14, so the tops of
    // columns 11, 12, 13 become 49.25, 48.5, 47.75 truncated: 49, 48, 47.
    Spans sp(30, 70, 5);
    sp.s.top(10) = 50;
    sp.s.bottom(10) = 60;
    sp.s.top(14) = 20;
    sp.s.bottom(14) = 60;
    std::vector<std::int32_t> outline(2 * minc::radclp_outline_points(30, 70, 11));
    ASSERT_EQ(minc::smooth_outline(sp.s, sp.band, outline), OutlineResult::smoothed);
    EXPECT_EQ(sp.s.top(10), 50);
    EXPECT_EQ(sp.s.top(11), 49);
    EXPECT_EQ(sp.s.top(12), 48);
    EXPECT_EQ(sp.s.top(13), 47);
    EXPECT_EQ(sp.s.top(14), 20);
    // The bottom run joins (14, 60) and (10, 60) by a level line.
    for (int i = 10; i <= 14; ++i) EXPECT_EQ(sp.s.bottom(i), 60) << "column " << i;
    // Lines beyond the two points are untouched.
    EXPECT_EQ(sp.s.top(9), 71);
    EXPECT_EQ(sp.s.top(15), 71);

    minc::widen_spans(sp.s, sp.band);
    EXPECT_EQ(sp.s.top(12), 47);
    EXPECT_EQ(sp.s.bottom(12), 61);
}

TEST(RadiusClip, ChordPullTruncatesTowardZero) {
    // h = 3. Top-run points (5, 11), (6, 14), (7, 10): the rims are 2 apart along the run and
    // sqrt(5) = 2.24 <= 3 apart, so the middle point is pulled to the chord row
    // 11 + (1 * -1) / 2 = 10.5, truncated to 10 (rounding would give 11).
    Spans sp(12, 20, 3);
    sp.s.top(5) = 11;
    sp.s.bottom(5) = 15;
    sp.s.top(6) = 14;
    sp.s.bottom(6) = 15;
    sp.s.top(7) = 10;
    sp.s.bottom(7) = 15;
    std::vector<std::int32_t> outline(2 * minc::radclp_outline_points(12, 20, 7), -1);
    ASSERT_EQ(minc::smooth_outline(sp.s, sp.band, outline), OutlineResult::smoothed);
    // The top run is the first run in the list.
    EXPECT_EQ(outline[0], 5);
    EXPECT_EQ(outline[1], 11);
    EXPECT_EQ(outline[2], 6);
    EXPECT_EQ(outline[3], 10);
    EXPECT_EQ(outline[4], 7);
    EXPECT_EQ(outline[5], 10);
    EXPECT_EQ(sp.s.top(6), 10);
}

TEST(RadiusClip, ChordNeedsEuclideanDistanceWithinHalfWindow) {
    // h = 2. Rims (3, 5) and (5, 7) are 2 apart along the run but 2.83 apart: no pull, and
    // the fill line (c = 0 at a = 2) reaches only the inner rim's row.
    Spans sp(10, 12, 2);
    sp.s.top(3) = 5;
    sp.s.bottom(3) = 9;
    sp.s.top(4) = 9;
    sp.s.bottom(4) = 9;
    sp.s.top(5) = 7;
    sp.s.bottom(5) = 9;
    std::vector<std::int32_t> outline(2 * minc::radclp_outline_points(10, 12, 5));
    ASSERT_EQ(minc::smooth_outline(sp.s, sp.band, outline), OutlineResult::smoothed);
    EXPECT_EQ(outline[3], 9);  // the middle point was not pulled
    // E = (3, 5), F = (4, 9): a = 1, c = 1: ends max(2, 8, 5) = 8 and max(2, 4, 9) = 9;
    // E = (3, 5), F = (5, 7): a = 2, c = 0: ends max(2, 7, 5) = 7 and 7; column 4 gets 7.
    EXPECT_EQ(sp.s.top(4), 7);
}

TEST(RadiusClip, ChordDistanceComparedInSinglePrecision) {
    // h = 10000. Rims (10000, 10000) and (10002, 20000) lie sqrt(100000004) apart, just over
    // h, but in single precision the squared distance is 1.0E8 and its root exactly h: the
    // chord counts and the middle point is pulled to 10000 + (1 * 10000) / 2 = 15000.
    const int h = 10000;
    Spans sp(20003, 30000, h);
    const int cols[3] = {10000, 10001, 10002};
    const int tops[3] = {10000, 25000, 20000};
    for (int k = 0; k < 3; ++k) {
        sp.s.top(cols[k]) = tops[k];
        sp.s.bottom(cols[k]) = 25000;
    }
    std::vector<std::int32_t> outline(2 * minc::radclp_outline_points(20003, 30000, 2 * h + 1));
    ASSERT_EQ(minc::smooth_outline(sp.s, sp.band, outline), OutlineResult::smoothed);
    EXPECT_EQ(outline[2], 10001);
    EXPECT_EQ(outline[3], 15000);
}

TEST(RadiusClip, LeftRunFirstPointNeverEndsAChord) {
    // h = 2; only rows have spans. Right run (9, 6), (6, 7), (9, 8): the middle point is
    // pulled out to column 9. Left run, walked upwards: (3, 8), (6, 7), (3, 6): its first
    // point may not end a chord, so its middle point stays at column 6.
    Spans sp(12, 10, 2);
    const int lefts[3] = {3, 6, 3};
    const int rights[3] = {9, 6, 9};
    for (int k = 0; k < 3; ++k) {
        sp.s.left(6 + k) = lefts[k];
        sp.s.right(6 + k) = rights[k];
    }
    std::vector<std::int32_t> outline(2 * minc::radclp_outline_points(12, 10, 5), -1);
    ASSERT_EQ(minc::smooth_outline(sp.s, sp.band, outline), OutlineResult::smoothed);
    // No column spans: the top and bottom runs are empty. Right run at points 0..2,
    // left run at points 3..5.
    EXPECT_EQ(outline[2 * 1], 9);
    EXPECT_EQ(outline[2 * 1 + 1], 7);
    EXPECT_EQ(outline[2 * 3], 3);
    EXPECT_EQ(outline[2 * 3 + 1], 8);
    EXPECT_EQ(outline[2 * 4], 6);
    EXPECT_EQ(outline[2 * 4 + 1], 7);
    // The fill lines still bridge the left notch: (3, 8) to (3, 6) is 2 rows, c = 0.
    EXPECT_EQ(sp.s.left(7), 3);
    EXPECT_EQ(sp.s.right(7), 9);
}

TEST(RadiusClip, EdgeMarginOpensSpansToMaskEdge) {
    // h = 4, e = 2; band rows and columns 4..17 of a 20 x 20 mask.
    {
        SCOPED_TRACE("data cell on the band's second row, inside the columns");
        Spans sp(20, 20, 4);
        std::vector<std::int32_t> row(20, 0);
        row[10 - 1] = 1;
        minc::add_data_row(sp.s, sp.band, 5, row);
        EXPECT_EQ(sp.s.top(9), 1);
        EXPECT_EQ(sp.s.top(10), 1);
        EXPECT_EQ(sp.s.top(11), 1);
        EXPECT_EQ(sp.s.top(12), 21);
        EXPECT_EQ(sp.s.bottom(10), 6);
        EXPECT_EQ(sp.s.bottom(9), 6);
        // 10 - 4 = 6 is not below e: one cell of margin.
        EXPECT_EQ(sp.s.left(5), 9);
        EXPECT_EQ(sp.s.left(4), 9);
        EXPECT_EQ(sp.s.left(6), 9);
        EXPECT_EQ(sp.s.right(5), 11);
    }
    {
        SCOPED_TRACE("data cell one column inside the band's right edge, on its first row");
        Spans sp(20, 20, 4);
        std::vector<std::int32_t> row(20, 0);
        row[16 - 1] = 1;
        minc::add_data_row(sp.s, sp.band, 4, row);
        EXPECT_EQ(sp.s.right(4), 20);
        EXPECT_EQ(sp.s.right(5), 20);
        EXPECT_EQ(sp.s.right(3), 0);  // row 3 is outside the band: never a neighbour
        EXPECT_EQ(sp.s.top(15), 1);
        EXPECT_EQ(sp.s.top(17), 1);
    }
    {
        SCOPED_TRACE("data cell one column inside the band's left edge");
        Spans sp(20, 20, 4);
        std::vector<std::int32_t> row(20, 0);
        row[5 - 1] = 1;
        minc::add_data_row(sp.s, sp.band, 10, row);
        EXPECT_EQ(sp.s.left(9), 1);
        EXPECT_EQ(sp.s.left(10), 1);
        EXPECT_EQ(sp.s.left(11), 1);
        EXPECT_EQ(sp.s.right(10), 6);
        EXPECT_EQ(sp.s.top(5), 9);
        EXPECT_EQ(sp.s.bottom(5), 11);
    }
    {
        SCOPED_TRACE("only value 1 is data; cells outside the band are not read");
        Spans sp(20, 20, 4);
        std::vector<std::int32_t> row(20, 2);
        row[3 - 1] = 1;   // column 3 is outside the band
        row[18 - 1] = 1;  // so is column 18
        minc::add_data_row(sp.s, sp.band, 8, row);
        EXPECT_EQ(sp.s.left(8), 21);
        EXPECT_EQ(sp.s.right(8), 0);
    }
}

TEST(RadiusClip, NarrowNotchFilledAndWideGapCleared) {
    // h = 2 (w = 5), band rows 2..7 and columns 2..15. The data's top edge has a notch of
    // three empty columns (4..6) over rows 3 and 4: it is bridged and its cells stay.
    // Columns 9 and 10 lie between two clusters whose outlines are 3 columns apart: the gap
    // is not bridged and is cleared. Row 7 holds no span and is cleared. Column 14 gets no
    // span: the data of column 13 never extends that column's span (column 12's cells did
    // it first), so it never widens its neighbour's.
    // clang-format off
    const char* before = R"(
        0000000000000000
        0222222222222220
        0212221222211220
        0212221222211220
        0211111222211220
        0222222222222220
        0222222222222220
        0000000000000000)";
    const char* after = R"(
        0000000000000000
        0222222200222000
        0212221200211000
        0212221200211000
        0211111200211000
        0222222200222000
        0000000000000000
        0000000000000000)";
    // clang-format on
    expect_clip(before, after, 5);
}

TEST(RadiusClip, WideNotchLeftOpen) {
    // h = 2. The notch of four empty columns (4..7) leaves rims 3 columns apart on the
    // outline: not bridged, so the notch's first band row is cleared above its floor.
    // clang-format off
    const char* before = R"(
        000000000000
        022222222220
        021222212220
        021222212220
        021111112220
        022222222220
        022222222220
        000000000000)";
    const char* after = R"(
        000000000000
        022200222000
        021222212000
        021222212000
        021111112000
        022222220000
        000000000000
        000000000000)";
    // clang-format on
    expect_clip(before, after, 5);
}

TEST(RadiusClip, MaskOfOnlyMarksIsClearedInsideTheBand) {
    // No data cell: every band cell is cleared; the outer line (outside the band for
    // h = 2) keeps its marks.
    // clang-format off
    const char* before = R"(
        22222222
        22222222
        22222222
        22222222
        22222222
        22222222)";
    const char* after = R"(
        22222222
        20000002
        20000002
        20000002
        20000002
        22222222)";
    // clang-format on
    expect_clip(before, after, 5);
}

TEST(RadiusClip, BandOneColumnWideLeavesMaskUnchanged) {
    // clang-format off
    // h = 2: the band is column 2, rows 2..8. The data cell's column span would reach rows
    // 3..7 only, but with a single top-run point the pass ends before clipping anything.
    const char* before = R"(
        000
        222
        222
        222
        212
        222
        222
        222
        020)";
    // clang-format on
    MaskStore m(before);
    FailingFile f(m.file(), FailingFile::kNever, 0);
    EXPECT_EQ(run_radclp(m.row_file(f), 3, 9, 5), Status::ok);
    EXPECT_EQ(m.picture(), normalize_picture(before));
}

TEST(RadiusClip, RandomMasksKeepDataAndBorderAndOnlyClear) {
    std::mt19937 rng(777);
    for (int trial = 0; trial < 80; ++trial) {
        const int ncol = 4 + int(rng() % 30);
        const int nrow = 4 + int(rng() % 30);
        const int w = 3 + int(rng() % 9);
        minc::Grid<std::int32_t> g(ncol, nrow, 0);
        const auto density = static_cast<unsigned>(3 + rng() % 25);
        for (auto& v : g.v) {
            const auto r = static_cast<unsigned>(rng() % density);
            v = r == 0 ? 1 : (r < density / 2 ? 2 : 0);
        }
        SCOPED_TRACE(::testing::Message() << "trial " << trial << " " << ncol << "x" << nrow << " w=" << w);
        MaskStore m(g);
        ASSERT_EQ(run_radclp(m.row_file(), ncol, nrow, w), Status::ok);
        const auto out = m.cells();
        const int h = minc::window_shape(w).half;
        const ClipBand band(ncol, nrow, h);
        for (int j = 1; j <= nrow; ++j)
            for (int i = 1; i <= ncol; ++i) {
                const bool in_band = i >= band.first_col() && i <= band.last_col() &&
                                     j >= band.first_row() && j <= band.last_row();
                if (g(i, j) == 1 || !in_band) {
                    ASSERT_EQ(out(i, j), g(i, j)) << "cell " << i << "," << j;
                } else if (out(i, j) != g(i, j)) {
                    ASSERT_EQ(out(i, j), 0) << "cell " << i << "," << j;
                }
            }
        // The spans depend on the data cells alone, which the pass keeps: a second run
        // finds the same clip and changes nothing.
        ASSERT_EQ(run_radclp(m.row_file(), ncol, nrow, w), Status::ok);
        EXPECT_EQ(m.cells().v, out.v);
    }
}

// A second, plain reading of the clipping on an in-memory mask m(i, j): the five phases
// written out run by run, with nothing shared with the pass under test, so that the two
// can be compared on random masks.
// The reading keeps its spans (index = line number) and its outline points, so that the
// phases can also be compared one by one with the kernels.
struct PlainClip {
    struct P {
        int x, y;
    };
    std::vector<int> L, R, T, B;
    std::vector<P> pts;
    bool single_top_point = false;
};

PlainClip reference_radclp(minc::Grid<std::int32_t>& m, int w) {
    const int ncol = m.nx;
    const int nrow = m.ny;
    int h = w / 2;
    if (2 * h + 1 > w) h = h - 1;
    const int e = std::max(h / 2, 1);
    const int c_lo = h, c_hi = ncol - h + 1, r_lo = h, r_hi = nrow - h + 1;
    PlainClip out;
    std::vector<int>& L = out.L;
    std::vector<int>& R = out.R;
    std::vector<int>& T = out.T;
    std::vector<int>& B = out.B;
    L.assign(std::size_t(nrow) + 2, ncol + 1);
    R.assign(std::size_t(nrow) + 2, 0);
    T.assign(std::size_t(ncol) + 2, nrow + 1);
    B.assign(std::size_t(ncol) + 2, 0);
    auto at = [](std::vector<int>& v, int k) -> int& { return v[std::size_t(k)]; };

    // Phase 1.
    for (int j = r_lo; j <= r_hi; ++j) {
        for (int i = c_lo; i <= c_hi; ++i) {
            if (m(i, j) != 1) continue;
            std::vector<int> nrows, ncols;
            if (j > h) nrows.push_back(j - 1);
            if (j < nrow - h + 1) nrows.push_back(j + 1);
            if (i > h) ncols.push_back(i - 1);
            if (i < ncol - h + 1) ncols.push_back(i + 1);
            if (i < at(L, j)) {
                if (i - h < e) {
                    at(L, j) = 1;
                    for (int k : nrows) at(L, k) = 1;
                } else {
                    at(L, j) = std::max(i - 1, 1);
                    for (int k : nrows)
                        if (std::max(i - 1, 1) < at(L, k)) at(L, k) = std::max(i - 1, 1);
                }
            }
            if (i > at(R, j)) {
                if ((ncol - h + 1) - i < e) {
                    at(R, j) = ncol;
                    for (int k : nrows) at(R, k) = ncol;
                } else {
                    at(R, j) = std::min(i + 1, ncol);
                    for (int k : nrows)
                        if (std::min(i + 1, ncol) > at(R, k)) at(R, k) = std::min(i + 1, ncol);
                }
            }
            if (j < at(T, i)) {
                if (j - h < e) {
                    at(T, i) = 1;
                    for (int k : ncols) at(T, k) = 1;
                } else {
                    at(T, i) = std::max(j - 1, 1);
                    for (int k : ncols)
                        if (std::max(j - 1, 1) < at(T, k)) at(T, k) = std::max(j - 1, 1);
                }
            }
            if (j > at(B, i)) {
                if ((nrow - h + 1) - j < e) {
                    at(B, i) = nrow;
                    for (int k : ncols) at(B, k) = nrow;
                } else {
                    at(B, i) = std::min(j + 1, nrow);
                    for (int k : ncols)
                        if (std::min(j + 1, nrow) > at(B, k)) at(B, k) = std::min(j + 1, nrow);
                }
            }
        }
    }

    // Phase 2. Runs 0 top, 1 right, 2 bottom, 3 left.
    using P = PlainClip::P;
    std::vector<P>& pts = out.pts;
    int first[4], last[4];
    auto along_dist = [](int run, P from, P to) {
        switch (run) {
            case 0: return to.x - from.x;
            case 1: return to.y - from.y;
            case 2: return from.x - to.x;
            default: return from.y - to.y;
        }
    };
    auto append = [&](int run, int x, int y) {
        pts.push_back(P{x, y});
        const int n = int(pts.size()) - 1;
        if (n - first[run] + 1 < 3) return;
        const int stop = run == 3 ? first[run] + 1 : first[run];
        for (int mi = n - 2; mi >= stop; --mi) {
            const P M = pts[std::size_t(mi)];
            const P N = pts[std::size_t(n)];
            if (along_dist(run, M, N) > h) break;
            const int dx = N.x - M.x;
            const int dy = N.y - M.y;
            const float d = std::sqrt(float(dx) * float(dx) + float(dy) * float(dy));
            if (d > float(h)) continue;
            for (int q = mi + 1; q < n; ++q) {
                P& Q = pts[std::size_t(q)];
                if (run == 0 || run == 2) {
                    const int chord = int(float(M.y) + float(Q.x - M.x) * float(dy) / float(dx));
                    Q.y = run == 0 ? std::min(Q.y, chord) : std::max(Q.y, chord);
                } else {
                    const int chord = int(float(M.x) + float(Q.y - M.y) * float(dx) / float(dy));
                    Q.x = run == 1 ? std::max(Q.x, chord) : std::min(Q.x, chord);
                }
            }
        }
    };
    first[0] = 0;
    for (int i = c_lo; i <= c_hi; ++i)
        if (at(T, i) <= at(B, i)) append(0, i, at(T, i));
    last[0] = int(pts.size()) - 1;
    if (last[0] - first[0] + 1 == 1) {
        out.single_top_point = true;
        return out;
    }
    first[1] = int(pts.size());
    for (int j = r_lo; j <= r_hi; ++j)
        if (at(L, j) <= at(R, j)) append(1, at(R, j), j);
    last[1] = int(pts.size()) - 1;
    first[2] = int(pts.size());
    for (int i = c_hi; i >= c_lo; --i)
        if (at(T, i) <= at(B, i)) append(2, i, at(B, i));
    last[2] = int(pts.size()) - 1;
    first[3] = int(pts.size());
    for (int j = r_hi; j >= r_lo; --j)
        if (at(L, j) <= at(R, j)) append(3, at(L, j), j);
    last[3] = int(pts.size()) - 1;

    // Phase 3.
    for (int run = 0; run < 4; ++run) {
        if (last[run] < first[run]) continue;
        for (int k = first[run]; k <= last[run] - 1; ++k) {
            const P E = pts[std::size_t(k)];
            const P E1 = pts[std::size_t(k) + 1];
            switch (run) {
                case 0: at(T, E.x) = std::min(at(T, E.x), E.y); break;
                case 1: at(R, E.y) = std::max(at(R, E.y), E.x); break;
                case 2: at(B, E.x) = std::max(at(B, E.x), E.y); break;
                default: at(L, E.y) = std::min(at(L, E.y), E.x); break;
            }
            if (along_dist(run, E, E1) > h) {
                if (run == 0)
                    for (int i = std::min(E.x, E1.x) + 1; i < std::max(E.x, E1.x); ++i) at(T, i) = nrow + 1;
                if (run == 1)
                    for (int j = std::min(E.y, E1.y) + 1; j < std::max(E.y, E1.y); ++j) at(R, j) = 0;
                if (run == 2)
                    for (int i = std::min(E.x, E1.x) + 1; i < std::max(E.x, E1.x); ++i) at(B, i) = 0;
                if (run == 3)
                    for (int j = std::min(E.y, E1.y) + 1; j < std::max(E.y, E1.y); ++j) at(L, j) = ncol + 1;
                continue;
            }
            for (int f = k + 1; f <= last[run]; ++f) {
                const P F = pts[std::size_t(f)];
                const int a = along_dist(run, E, F);
                if (a > h) break;
                const int c = int(std::sqrt(float(std::max(h * h - a * a, 0))));
                if (run == 0 || run == 2) {
                    const int ende = run == 0 ? std::max({h, F.y - c, E.y}) : std::min({nrow - h + 1, F.y + c, E.y});
                    const int endf = run == 0 ? std::max({h, E.y - c, F.y}) : std::min({nrow - h + 1, E.y + c, F.y});
                    for (int i = std::min(E.x, F.x); i <= std::max(E.x, F.x); ++i) {
                        const int v = int(float(ende) + float(i - E.x) * float(endf - ende) / float(F.x - E.x));
                        if (run == 0) at(T, i) = std::min(at(T, i), v);
                        else at(B, i) = std::max(at(B, i), v);
                    }
                } else {
                    const int ende = run == 1 ? std::min({ncol - h + 1, F.x + c, E.x}) : std::max({h, F.x - c, E.x});
                    const int endf = run == 1 ? std::min({ncol - h + 1, E.x + c, F.x}) : std::max({h, E.x - c, F.x});
                    for (int j = std::min(E.y, F.y); j <= std::max(E.y, F.y); ++j) {
                        const int v = int(float(ende) + float(j - E.y) * float(endf - ende) / float(F.y - E.y));
                        if (run == 1) at(R, j) = std::max(at(R, j), v);
                        else at(L, j) = std::min(at(L, j), v);
                    }
                }
            }
        }
        const P Z = pts[std::size_t(last[run])];
        switch (run) {
            case 0: at(T, Z.x) = Z.y; break;
            case 1: at(R, Z.y) = Z.x; break;
            case 2: at(B, Z.x) = Z.y; break;
            default: at(L, Z.y) = Z.x; break;
        }
    }

    // Phase 4.
    for (int j = r_lo; j <= r_hi; ++j) {
        at(L, j) -= 1;
        at(R, j) += 1;
    }
    for (int i = c_lo; i <= c_hi; ++i) {
        at(T, i) -= 1;
        at(B, i) += 1;
    }

    // Phase 5.
    for (int j = r_lo; j <= r_hi; ++j)
        for (int i = c_lo; i <= c_hi; ++i)
            if (!(at(T, i) <= j && j <= at(B, i) && at(L, j) <= i && i <= at(R, j))) m(i, j) = 0;
    return out;
}

// Random masks shaped like blanking masks: a few blobs of data cells, each with holes and
// notches cut into it, a ring of marks around the data, and a few stray data cells.
minc::Grid<std::int32_t> random_clustered_mask(std::mt19937& rng, int ncol, int nrow) {
    auto uniform = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    minc::Grid<std::int32_t> g(ncol, nrow, 0);
    const int blobs = uniform(0, 4);
    for (int b = 0; b < blobs; ++b) {
        const int cx = uniform(1, ncol), cy = uniform(1, nrow);
        const int rx = uniform(0, std::max(ncol / 2, 1)), ry = uniform(0, std::max(nrow / 2, 1));
        const int fill = uniform(1, 4);  // 1 in `fill` cells of the blob left empty
        for (int j = std::max(cy - ry, 1); j <= std::min(cy + ry, nrow); ++j)
            for (int i = std::max(cx - rx, 1); i <= std::min(cx + rx, ncol); ++i) {
                const float u = float(i - cx) / float(rx + 1), v = float(j - cy) / float(ry + 1);
                if (u * u + v * v <= 1.0f && (fill == 1 || rng() % unsigned(fill * 4) != 0)) g(i, j) = 1;
            }
        // Holes and notches: empty rectangles, some reaching the blob's edge.
        const int cuts = uniform(0, 4);
        for (int k = 0; k < cuts; ++k) {
            const int x0 = uniform(std::max(cx - rx, 1), std::min(cx + rx, ncol));
            const int y0 = uniform(std::max(cy - ry, 1), std::min(cy + ry, nrow));
            const int wx = uniform(0, 4), wy = uniform(0, 6);
            const bool vertical = rng() % 2 == 0;
            for (int j = y0; j <= std::min(y0 + (vertical ? wy : wx), nrow); ++j)
                for (int i = x0; i <= std::min(x0 + (vertical ? wx : wy), ncol); ++i) g(i, j) = 0;
        }
    }
    const int strays = uniform(0, 3);
    for (int k = 0; k < strays; ++k) g(uniform(1, ncol), uniform(1, nrow)) = 1;
    // Marks: every empty cell next to (or, now and then, two cells from) a data cell.
    minc::Grid<std::int32_t> out = g;
    const int reach = uniform(1, 2);
    for (int j = 1; j <= nrow; ++j)
        for (int i = 1; i <= ncol; ++i) {
            if (g(i, j) != 0) continue;
            for (int v = std::max(j - reach, 1); v <= std::min(j + reach, nrow) && out(i, j) == 0; ++v)
                for (int u = std::max(i - reach, 1); u <= std::min(i + reach, ncol); ++u)
                    if (g(u, v) == 1) {
                        out(i, j) = 2;
                        break;
                    }
        }
    return out;
}

TEST(RadiusClip, AgreesWithPlainReadingOnRandomMasks) {
    std::mt19937 rng(20261207);
    int clipped_trials = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const int h = 1 + int(rng() % 8);
        const int w = 2 * h + 1 + (trial % 5 == 0 ? 1 : 0);  // now and then an even width
        const int ncol = std::max(1, 2 * h - 2 + int(rng() % 40));
        const int nrow = std::max(1, 2 * h - 2 + int(rng() % 40));
        const minc::Grid<std::int32_t> before = random_clustered_mask(rng, ncol, nrow);
        SCOPED_TRACE(::testing::Message() << "trial " << trial << " " << ncol << "x" << nrow << " w=" << w
                                          << "\n" << test_support::picture_of(before));
        minc::Grid<std::int32_t> expected = before;
        const PlainClip plain = reference_radclp(expected, w);
        MaskStore m(before);
        ASSERT_EQ(run_radclp(m.row_file(), ncol, nrow, w), Status::ok);
        const auto got = m.cells();
        ASSERT_EQ(test_support::picture_of(got), test_support::picture_of(expected));
        if (got.v != before.v) ++clipped_trials;

        // The kernels phase by phase: the outline after the pulls and the spans after the
        // write-back (the plain reading's spans less the phase 4 margin), so that a pull
        // whose effect the fill lines happen to cover still shows.
        Spans sp(ncol, nrow, h);
        for (int j = sp.band.first_row(); j <= sp.band.last_row(); ++j) {
            const auto row = before.view().row(j);
            minc::add_data_row(sp.s, sp.band, j, std::span<const std::int32_t>(row.data(), row.size()));
        }
        std::vector<std::int32_t> outline(2 * minc::radclp_outline_points(ncol, nrow, w), -1);
        const OutlineResult r = minc::smooth_outline(sp.s, sp.band, outline);
        ASSERT_EQ(r == OutlineResult::single_top_point, plain.single_top_point);
        if (plain.single_top_point) continue;
        ASSERT_EQ(r, OutlineResult::smoothed);
        ASSERT_LE(2 * plain.pts.size(), outline.size());
        for (std::size_t k = 0; k < plain.pts.size(); ++k) {
            ASSERT_EQ(outline[2 * k], plain.pts[k].x) << "outline point " << k;
            ASSERT_EQ(outline[2 * k + 1], plain.pts[k].y) << "outline point " << k;
        }
        auto band_row = [&](int j) { return j >= sp.band.first_row() && j <= sp.band.last_row(); };
        auto band_col = [&](int i) { return i >= sp.band.first_col() && i <= sp.band.last_col(); };
        for (int j = 1; j <= nrow; ++j) {
            const int margin = band_row(j) ? 1 : 0;
            ASSERT_EQ(sp.s.left(j), plain.L[std::size_t(j)] + margin) << "L of row " << j;
            ASSERT_EQ(sp.s.right(j), plain.R[std::size_t(j)] - margin) << "R of row " << j;
        }
        for (int i = 1; i <= ncol; ++i) {
            const int margin = band_col(i) ? 1 : 0;
            ASSERT_EQ(sp.s.top(i), plain.T[std::size_t(i)] + margin) << "T of column " << i;
            ASSERT_EQ(sp.s.bottom(i), plain.B[std::size_t(i)] - margin) << "B of column " << i;
        }
    }
    // The masks must exercise the clipping, not only pass through it.
    EXPECT_GT(clipped_trials, 300);
}

TEST(RadiusClip, ArgumentAndStorageChecks) {
    const char* pic = "0000000\n0222220\n0221220\n0222220\n0000000";
    MaskStore m(pic);
    const auto bytes = m.bytes();
    ClipWork k(7, 5, 3);
    {
        SCOPED_TRACE("window narrower than 3");
        EXPECT_EQ(minc::radclp(m.row_file(), 2, k.rowbuf, k.rowend, k.colend, k.outline),
                  Status::window_too_narrow);
    }
    {
        SCOPED_TRACE("row buffer, row ends or column ends too short");
        std::vector<std::int32_t> r6(6), e9(9), c13(13);
        EXPECT_EQ(minc::radclp(m.row_file(), 3, r6, k.rowend, k.colend, k.outline), Status::window_too_wide);
        EXPECT_EQ(minc::radclp(m.row_file(), 3, k.rowbuf, e9, k.colend, k.outline), Status::window_too_wide);
        EXPECT_EQ(minc::radclp(m.row_file(), 3, k.rowbuf, k.rowend, c13, k.outline), Status::window_too_wide);
    }
    {
        SCOPED_TRACE("outline one point short: refused before anything is written");
        std::vector<std::int32_t> outline(k.outline.size() - 2, -9);
        EXPECT_EQ(minc::radclp(m.row_file(), 3, k.rowbuf, k.rowend, k.colend, outline),
                  Status::outline_too_small);
        EXPECT_EQ(outline, std::vector<std::int32_t>(k.outline.size() - 2, -9));
        Spans sp(7, 5, 1);
        std::vector<std::int32_t> kernel_outline(outline);
        EXPECT_EQ(minc::smooth_outline(sp.s, sp.band, kernel_outline), OutlineResult::list_too_small);
        EXPECT_EQ(kernel_outline, outline);
    }
    EXPECT_EQ(m.bytes(), bytes);
    {
        SCOPED_TRACE("exactly the bound is enough");
        EXPECT_EQ(minc::radclp(m.row_file(), 3, k.rowbuf, k.rowend, k.colend, k.outline), Status::ok);
        EXPECT_EQ(m.picture(), normalize_picture("0000000\n0022200\n0021200\n0022200\n0000000"));
    }
}

TEST(RadiusClip, FailedReadOrWriteEndsWithMaskFailed) {
    // h = 1: band = the whole 5 x 5 mask; phase 1 reads rows 1..5 after the header, and
    // phase 5 reads them again. Rows 1 and 5 and columns 1 and 5 lie outside the clip.
    const char* pic = "22222\n22222\n22122\n22222\n22222";
    const char* row1_cleared = "00000\n22222\n22122\n22222\n22222";
    struct Case {
        const char* what;
        int reads, writes;      // allowed before the wrapper fails
        Status want;
        int writes_done;        // -1: not checked
        const char* after;      // nullptr: not checked
    };
    const Case cases[] = {
        {"header", 0, FailingFile::kNever, Status::mask_failed, 0, nullptr},
        {"phase 1 read", 3, FailingFile::kNever, Status::mask_failed, 0, nullptr},
        {"phase 5 read of row 2: row 1 cleared, the rest untouched", 7, FailingFile::kNever,
         Status::mask_failed, -1, row1_cleared},
        {"write of row 2", FailingFile::kNever, 3, Status::mask_failed, -1, row1_cleared},
        {"no failure", FailingFile::kNever, FailingFile::kNever, Status::ok, -1,
         "00000\n02220\n02120\n02220\n00000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MaskStore m(pic);
        FailingFile f(m.file(), c.reads, c.writes);
        EXPECT_EQ(run_radclp(m.row_file(f), 5, 5, 3), c.want);
        if (c.writes_done >= 0) {
            EXPECT_EQ(f.writes(), c.writes_done);
        }
        if (c.after != nullptr) {
            EXPECT_EQ(m.picture(), normalize_picture(c.after));
        }
    }
}

}  // namespace
