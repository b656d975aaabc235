// Radius clipping: the third blanking pass. It clips the blanking mask to the outline of
// the data: for every row the span of columns that holds data cells and for every column
// the span of rows, widened by a margin, with inward bends of the outline narrower than
// the half window bridged. Cells outside their row's or their column's span become 0.
//
// radclp does the file work (two passes over the mask rows); the span kernels below do
// the geometry on the caller's storage and touch no file, so they can be tested alone.
//
// Positions are 1-based: column i, row j. "Top" is the side of row 1. The band is rows
// h .. nrow - h + 1 and columns h .. ncol - h + 1 (the working grid plus one line on each
// side, for the gridding entry's mask); cells outside it are never read or changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "row_store.hpp"
#include "minc/status.hpp"

namespace minc {

/// Size of the clipping and its band for a mask of ncol x nrow cells and half window h.
struct ClipBand {
    int ncol = 0, nrow = 0;
    int h = 1;  // half window
    int e = 1;  // edge margin max(h div 2, 1)
    ClipBand(int ncol_, int nrow_, int h_);
    int first_col() const { return h; }
    int last_col() const { return ncol - h + 1; }
    int first_row() const { return h; }
    int last_row() const { return nrow - h + 1; }
};

/// Row spans (L(j), R(j)) and column spans (T(i), B(i)) over the caller's storage:
/// rowend holds the pair of row j at 2(j - 1), 2(j - 1) + 1; colend the pair of column i.
/// A row has a span when L <= R, a column when T <= B.
class ClipSpans {
public:
    /// rowend needs 2 * nrow values, colend 2 * ncol.
    ClipSpans(std::span<std::int32_t> rowend, std::span<std::int32_t> colend);
    std::int32_t& left(int j) const { return rowend_[2 * std::size_t(j - 1)]; }
    std::int32_t& right(int j) const { return rowend_[2 * std::size_t(j - 1) + 1]; }
    std::int32_t& top(int i) const { return colend_[2 * std::size_t(i - 1)]; }
    std::int32_t& bottom(int i) const { return colend_[2 * std::size_t(i - 1) + 1]; }
    bool row_has_span(int j) const { return left(j) <= right(j); }
    bool col_has_span(int i) const { return top(i) <= bottom(i); }

private:
    std::span<std::int32_t> rowend_, colend_;
};

/// Number of outline points the clipping can need for a mask of ncol x nrow cells and
/// window width w: one per band column in each of the top and bottom runs and one per band
/// row in each of the right and left runs, 2 (ncol - 2h + 2) + 2 (nrow - 2h + 2), each
/// term at least 0. The outline storage holds two values per point.
std::size_t radclp_outline_points(int ncol, int nrow, int w);

/// Phase 1, start: every row span and column span of the whole mask empty
/// (L = ncol + 1, R = 0, T = nrow + 1, B = 0).
void clear_spans(const ClipSpans& s, const ClipBand& b);

/// Phase 1, one band row j (row holds columns 1..ncol): each data cell (value exactly 1)
/// in the band extends its row's and its column's span by one cell beyond itself and, when
/// it extends them, the spans of the neighbouring band rows and columns too; a data cell
/// closer than e to a side of the band opens the spans to the mask's outermost line there.
void add_data_row(const ClipSpans& s, const ClipBand& b, int j, std::span<const std::int32_t> row);

enum class OutlineResult {
    smoothed,          // spans rewritten from the smoothed outline
    single_top_point,  // the band is one column wide: the pass ends, mask unchanged
    list_too_small,    // outline storage below radclp_outline_points; nothing written to it
};

/// Phases 2 and 3: collects the outline as four runs (top, right, bottom, left) into
/// outline (pairs x, y), pulls points lying in inward bends narrower than h onto the chord
/// between the bend's rims, and writes the smoothed outline back into the spans, bridging
/// gaps of at most h lines with fill lines limited by a circle of radius h.
OutlineResult smooth_outline(const ClipSpans& s, const ClipBand& b, std::span<std::int32_t> outline);

/// Phase 4: widens every band row span and band column span by one cell on each side.
void widen_spans(const ClipSpans& s, const ClipBand& b);

/// Phase 5, one band row j: sets to 0 every band cell outside its row's or its column's
/// span and returns how many cells were outside (already 0 or not).
int clip_row(const ClipSpans& s, const ClipBand& b, int j, std::span<std::int32_t> row);

/// RADCLP: the whole pass over the mask file. ncol and nrow come from the mask header;
/// h from w as in the window passes (window_shape).
///
/// rowbuf  : working storage, at least ncol values.
/// rowend  : working storage, at least 2 * nrow values.
/// colend  : working storage, at least 2 * ncol values.
/// outline : working storage, at least 2 * radclp_outline_points(ncol, nrow, w) values.
///
/// Statuses: ok; window_too_narrow when h < 1; window_too_wide when rowbuf, rowend or
/// colend is too short; outline_too_small when the outline storage is too short (both
/// checked before anything is written); mask_failed when a read or write of the mask fails.
/// Nothing is allocated.
Status radclp(RowFile mask, int w, std::span<std::int32_t> rowbuf, std::span<std::int32_t> rowend,
              std::span<std::int32_t> colend, std::span<std::int32_t> outline);

}  // namespace minc
