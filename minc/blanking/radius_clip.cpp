// Radius clipping of the blanking mask to the smoothed outline of the data.
#include "radius_clip.hpp"

#include <algorithm>
#include <cmath>

#include "blanking.hpp"
#include "grid_view.hpp"

namespace minc {
namespace {

// The outline runs. Each run walks one side of the outline in a fixed direction: the top
// run along increasing columns, the right run along increasing rows, the bottom run along
// decreasing columns and the left run along decreasing rows (clockwise with row 1 on top).
// A point of a run has an "along" coordinate (its line: column for top and bottom, row for
// right and left) and an "across" coordinate (the span end on that line). "Outward" is
// towards the mask's edge on the run's side: smaller rows for top, larger columns for
// right, larger rows for bottom, smaller columns for left.
enum class Side { top, right, bottom, left };
constexpr Side kSides[4] = {Side::top, Side::right, Side::bottom, Side::left};

bool along_is_column(Side s) { return s == Side::top || s == Side::bottom; }
bool outward_is_smaller(Side s) { return s == Side::top || s == Side::left; }
int outward_sign(Side s) { return outward_is_smaller(s) ? -1 : 1; }
std::int32_t outermost(Side s, std::int32_t a, std::int32_t b) {
    return outward_is_smaller(s) ? std::min(a, b) : std::max(a, b);
}
std::int32_t innermost(Side s, std::int32_t a, std::int32_t b) {
    return outward_is_smaller(s) ? std::max(a, b) : std::min(a, b);
}
// Distance along the run from a point on line `from` to a later point on line `to`.
int along_distance(Side s, int from, int to) {
    return (s == Side::top || s == Side::right) ? to - from : from - to;
}

class OutlineList {
public:
    explicit OutlineList(std::span<std::int32_t> v) : v_(v) {}
    std::int32_t& x(std::ptrdiff_t k) const { return v_[2 * std::size_t(k)]; }
    std::int32_t& y(std::ptrdiff_t k) const { return v_[2 * std::size_t(k) + 1]; }
    std::int32_t& along(Side s, std::ptrdiff_t k) const { return along_is_column(s) ? x(k) : y(k); }
    std::int32_t& across(Side s, std::ptrdiff_t k) const { return along_is_column(s) ? y(k) : x(k); }

private:
    std::span<std::int32_t> v_;
};

struct Run {
    Side side = Side::top;
    std::ptrdiff_t first = 0;  // index of the run's first point
    std::ptrdiff_t count = 0;
    std::ptrdiff_t last() const { return first + count - 1; }
};

// The span end that a run's points stand for, on line t.
std::int32_t& span_end(const ClipSpans& s, Side side, int t) {
    switch (side) {
        case Side::top: return s.top(t);
        case Side::right: return s.right(t);
        case Side::bottom: return s.bottom(t);
        case Side::left: break;
    }
    return s.left(t);
}

// The value of an empty span end of a run's side.
std::int32_t empty_end(const ClipBand& b, Side side) {
    switch (side) {
        case Side::top: return b.nrow + 1;
        case Side::left: return b.ncol + 1;
        case Side::right:
        case Side::bottom: break;
    }
    return 0;
}

// The band's edge line on a run's side.
std::int32_t band_edge(const ClipBand& b, Side side) {
    switch (side) {
        case Side::top: return b.first_row();
        case Side::right: return b.last_col();
        case Side::bottom: return b.last_row();
        case Side::left: break;
    }
    return b.first_col();
}

// Look-back from the newly appended point n: every earlier point m of the run within h
// along the run and within Euclidean distance h is a chord end, and the points between
// m and n that lie inward of the chord are pulled out onto it. This bridges notches
// narrower than the search radius, which radmsk has already filled with marks.
void look_back(const OutlineList& o, const Run& run, std::ptrdiff_t n, int h) {
    const Side side = run.side;
    if (n - run.first + 1 < 3) return;
    // The left run's first point never ends a chord: it closes the outline on the bottom
    // run's last line.
    const std::ptrdiff_t stop = run.first + (side == Side::left ? 1 : 0);
    for (std::ptrdiff_t m = n - 2; m >= stop; --m) {
        if (along_distance(side, o.along(side, m), o.along(side, n)) > h) break;
        const std::int64_t dx = std::int64_t(o.x(n)) - o.x(m);
        const std::int64_t dy = std::int64_t(o.y(n)) - o.y(m);
        // Stored as a 32-bit real before the comparison, as the outline's geometry is defined.
        const float dist = std::sqrt(static_cast<float>(dx * dx + dy * dy));
        if (!(dist <= static_cast<float>(h))) continue;
        const std::int64_t d_along = std::int64_t(o.along(side, n)) - o.along(side, m);
        const std::int64_t d_across = std::int64_t(o.across(side, n)) - o.across(side, m);
        for (std::ptrdiff_t q = m + 1; q < n; ++q) {
            const std::int64_t step = std::int64_t(o.along(side, q)) - o.along(side, m);
            const float chord = static_cast<float>(o.across(side, m)) +
                                static_cast<float>(step * d_across) / static_cast<float>(d_along);
            o.across(side, q) = outermost(side, o.across(side, q), trunc_int(chord));
        }
    }
}

// Phase 3 for one run: the points back into the spans, and the fill lines between points
// at most h apart along the run. A fill line's ends are held inward by the circle of radius
// h around the other point, so a point far out does not drag its neighbours' spans after it.
void write_back(const ClipSpans& s, const ClipBand& b, const OutlineList& o, const Run& run) {
    if (run.count == 0) return;
    const Side side = run.side;
    const int h = b.h;
    const int sign = outward_sign(side);
    const std::int32_t edge = band_edge(b, side);
    for (std::ptrdiff_t e = run.first; e < run.last(); ++e) {
        const int ea = o.along(side, e);
        const std::int32_t ec = o.across(side, e);
        std::int32_t& own = span_end(s, side, ea);
        own = outermost(side, own, ec);

        const int next_a = o.along(side, e + 1);
        if (along_distance(side, ea, next_a) > h) {
            // Too wide to bridge: the lines in the gap get an empty end.
            for (int t = std::min(ea, next_a) + 1; t < std::max(ea, next_a); ++t)
                span_end(s, side, t) = empty_end(b, side);
            continue;
        }
        for (std::ptrdiff_t f = e + 1; f <= run.last(); ++f) {
            const int fa = o.along(side, f);
            const int a = along_distance(side, ea, fa);
            if (a > h) break;
            const std::int32_t fc = o.across(side, f);
            // Half height, at distance a, of a circle of radius h.
            const int c = trunc_int(std::sqrt(static_cast<float>(std::max(h * h - a * a, 0))));
            const std::int32_t end_e = innermost(side, innermost(side, edge, fc + sign * c), ec);
            const std::int32_t end_f = innermost(side, innermost(side, edge, ec + sign * c), fc);
            for (int t = std::min(ea, fa); t <= std::max(ea, fa); ++t) {
                const float v = static_cast<float>(end_e) +
                                static_cast<float>(std::int64_t(t - ea) * (end_f - end_e)) /
                                    static_cast<float>(fa - ea);
                std::int32_t& end = span_end(s, side, t);
                end = outermost(side, end, trunc_int(v));
            }
        }
    }
    // The last point by plain assignment.
    span_end(s, side, o.along(side, run.last())) = o.across(side, run.last());
}

// The mask's outermost line on a run's side: where a span end opens to near the band edge.
std::int32_t mask_edge(const ClipBand& b, Side side) {
    if (outward_is_smaller(side)) return 1;
    return along_is_column(side) ? b.nrow : b.ncol;
}

// A data cell at `pos` across line `line` moves the side's span end of that line out past
// itself, and the ends of the neighbouring band lines at least as far; within e of the
// band edge it opens the line and its neighbours to the mask's edge instead.
void extend_end(const ClipSpans& s, const ClipBand& b, Side side, int line, int pos) {
    const int sign = outward_sign(side);
    std::int32_t& own = span_end(s, side, line);
    if (sign * (pos - own) <= 0) return;  // not outward of the current end
    const bool along_col = along_is_column(side);
    const bool has_before = line > (along_col ? b.first_col() : b.first_row());
    const bool has_after = line < (along_col ? b.last_col() : b.last_row());
    const std::int32_t outer = mask_edge(b, side);
    if (sign * (band_edge(b, side) - pos) < b.e) {
        own = outer;
        if (has_before) span_end(s, side, line - 1) = outer;
        if (has_after) span_end(s, side, line + 1) = outer;
        return;
    }
    const std::int32_t v = innermost(side, pos + sign, outer);
    own = v;
    if (has_before) {
        std::int32_t& end = span_end(s, side, line - 1);
        end = outermost(side, end, v);
    }
    if (has_after) {
        std::int32_t& end = span_end(s, side, line + 1);
        end = outermost(side, end, v);
    }
}

}  // namespace

ClipBand::ClipBand(int ncol_, int nrow_, int h_)
    : ncol(ncol_), nrow(nrow_), h(h_), e(std::max(h_ / 2, 1)) {}

ClipSpans::ClipSpans(std::span<std::int32_t> rowend, std::span<std::int32_t> colend)
    : rowend_(rowend), colend_(colend) {}

std::size_t radclp_outline_points(int ncol, int nrow, int w) {
    const int h = window_shape(w).half;
    const std::int64_t cols = std::max<std::int64_t>(std::int64_t(ncol) - 2 * h + 2, 0);
    const std::int64_t rows = std::max<std::int64_t>(std::int64_t(nrow) - 2 * h + 2, 0);
    return std::size_t(2 * cols + 2 * rows);
}

void clear_spans(const ClipSpans& s, const ClipBand& b) {
    for (int j = 1; j <= b.nrow; ++j) {
        s.left(j) = b.ncol + 1;
        s.right(j) = 0;
    }
    for (int i = 1; i <= b.ncol; ++i) {
        s.top(i) = b.nrow + 1;
        s.bottom(i) = 0;
    }
}

void add_data_row(const ClipSpans& s, const ClipBand& b, int j, std::span<const std::int32_t> row) {
    for (int i = b.first_col(); i <= b.last_col(); ++i) {
        if (row[std::size_t(i - 1)] != 1) continue;
        extend_end(s, b, Side::left, j, i);
        extend_end(s, b, Side::right, j, i);
        extend_end(s, b, Side::top, i, j);
        extend_end(s, b, Side::bottom, i, j);
    }
}

OutlineResult smooth_outline(const ClipSpans& s, const ClipBand& b, std::span<std::int32_t> outline) {
    // The runs hold at most one point per band line and side, so a list of this size can
    // never be overrun; checking it first leaves the list untouched when it is too small.
    if (outline.size() / 2 < radclp_outline_points(b.ncol, b.nrow, 2 * b.h + 1))
        return OutlineResult::list_too_small;
    const OutlineList o(outline);

    Run runs[4];
    std::ptrdiff_t n = 0;
    for (int r = 0; r < 4; ++r) {
        Run& run = runs[r];
        run.side = kSides[r];
        run.first = n;
        auto append = [&](int x, int y) {
            o.x(n) = x;
            o.y(n) = y;
            look_back(o, run, n, b.h);
            ++n;
        };
        switch (run.side) {
            case Side::top:
                for (int i = b.first_col(); i <= b.last_col(); ++i)
                    if (s.col_has_span(i)) append(i, s.top(i));
                break;
            case Side::right:
                for (int j = b.first_row(); j <= b.last_row(); ++j)
                    if (s.row_has_span(j)) append(s.right(j), j);
                break;
            case Side::bottom:
                for (int i = b.last_col(); i >= b.first_col(); --i)
                    if (s.col_has_span(i)) append(i, s.bottom(i));
                break;
            case Side::left:
                for (int j = b.last_row(); j >= b.first_row(); --j)
                    if (s.row_has_span(j)) append(s.left(j), j);
                break;
        }
        run.count = n - run.first;
        if (run.side == Side::top && run.count == 1) return OutlineResult::single_top_point;
    }

    for (const Run& run : runs) write_back(s, b, o, run);
    return OutlineResult::smoothed;
}

void widen_spans(const ClipSpans& s, const ClipBand& b) {
    for (int j = b.first_row(); j <= b.last_row(); ++j) {
        s.left(j) -= 1;
        s.right(j) += 1;
    }
    for (int i = b.first_col(); i <= b.last_col(); ++i) {
        s.top(i) -= 1;
        s.bottom(i) += 1;
    }
}

int clip_row(const ClipSpans& s, const ClipBand& b, int j, std::span<std::int32_t> row) {
    int outside = 0;
    for (int i = b.first_col(); i <= b.last_col(); ++i) {
        const bool inside = s.top(i) <= j && j <= s.bottom(i) && s.left(j) <= i && i <= s.right(j);
        if (!inside) {
            row[std::size_t(i - 1)] = 0;
            ++outside;
        }
    }
    return outside;
}

Status radclp(RowFile mask, int w, std::span<std::int32_t> rowbuf, std::span<std::int32_t> rowend,
              std::span<std::int32_t> colend, std::span<std::int32_t> outline) {
    MaskHeader header;
    if (read_mask_header(*mask.file, header) != Status::ok) return Status::mask_failed;
    const int ncol = header.ncol;
    const int nrow = header.nrow;
    if (ncol < 0 || nrow < 0) return Status::mask_failed;  // a damaged header

    // Below h = 1 the band would reach the header record and beyond the last row.
    const int h = window_shape(w).half;
    if (h < 1) return Status::window_too_narrow;
    if (rowbuf.size() < std::size_t(ncol) || colend.size() / 2 < std::size_t(ncol) ||
        rowend.size() / 2 < std::size_t(nrow))
        return Status::window_too_wide;
    if (outline.size() / 2 < radclp_outline_points(ncol, nrow, w)) return Status::outline_too_small;

    const ClipBand band(ncol, nrow, h);
    const ClipSpans spans(rowend, colend);
    std::span<std::int32_t> row = rowbuf.first(std::size_t(ncol));

    clear_spans(spans, band);
    for (int j = band.first_row(); j <= band.last_row(); ++j) {
        if (rowmsk(ncol, row, j, mask) != Status::ok) return Status::mask_failed;
        add_data_row(spans, band, j, row);
    }

    switch (smooth_outline(spans, band, outline)) {
        case OutlineResult::smoothed: break;
        case OutlineResult::single_top_point: return Status::ok;
        case OutlineResult::list_too_small: return Status::outline_too_small;
    }
    widen_spans(spans, band);

    for (int j = band.first_row(); j <= band.last_row(); ++j) {
        if (rowmsk(ncol, row, j, mask) != Status::ok) return Status::mask_failed;
        if (clip_row(spans, band, j, row) >= 1 &&
            rowda_write(mask, std::span<const std::int32_t>(row), j) != Status::ok)
            return Status::mask_failed;
    }
    return Status::ok;
}

}  // namespace minc
