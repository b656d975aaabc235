// Window blanking passes over the mask file: radius removal (radrem) and row marking
// (radmsk), sharing one sliding-window frame.
#include "blanking.hpp"

#include <cstddef>

namespace minc {
namespace {

enum class Pass { remove_isolated, mark_near };

// The frame both passes share. The window is a ring of `width` row slots of ldim values
// each; colsum(c) holds the sum of column c over the rows in the ring. Moving the window
// down one row costs one subtraction and one addition per column, and moving along a row
// one addition and one subtraction of a column sum, so the work per cell is constant
// whatever the width.
class SlidingWindow {
public:
    SlidingWindow(RowFile mask, const WindowStorage& ws, int ncol, int width)
        : mask_(mask),
          ncol_(ncol),
          width_(width),
          slot_words_(std::size_t(ws.ldim)),
          window_(ws.window),
          sums_(ws.colsum.first(std::size_t(ncol))) {}

    std::span<const std::int32_t> sums() const { return sums_; }

    // Reads mask rows 1..width into the ring and sums them.
    Status fill() {
        for (std::size_t c = 0; c < sums_.size(); ++c) sums_[c] = 0;
        for (int s = 0; s < width_; ++s) {
            std::span<std::int32_t> r = slot(s);
            if (rowmsk(ncol_, r, s + 1, mask_) != Status::ok) return Status::mask_failed;
            for (std::size_t c = 0; c < sums_.size(); ++c) sums_[c] += r[c];
        }
        return Status::ok;
    }

    // Moves the window down one row: the topmost row leaves, the next mask row enters.
    Status advance() {
        std::span<std::int32_t> r = slot(oldest_);
        for (std::size_t c = 0; c < sums_.size(); ++c) sums_[c] -= r[c];
        ++last_read_;
        if (rowmsk(ncol_, r, last_read_, mask_) != Status::ok) return Status::mask_failed;
        for (std::size_t c = 0; c < sums_.size(); ++c) sums_[c] += r[c];
        oldest_ = (oldest_ + 1) % width_;
        return Status::ok;
    }

private:
    std::span<std::int32_t> slot(int s) {
        return window_.subspan(std::size_t(s) * slot_words_, std::size_t(ncol_));
    }

    RowFile mask_;
    int ncol_, width_;
    std::size_t slot_words_;
    std::span<std::int32_t> window_;
    std::span<std::int32_t> sums_;
    int oldest_ = 0;          // ring slot holding the topmost window row
    int last_read_ = width_;  // mask row most recently read into the ring
};

// Runs the pass over one row whose window sums are `sums`; true when a cell changed.
bool pass_row(Pass pass, int mincnt, int half, int width, std::span<const std::int32_t> sums,
              std::span<std::int32_t> row) {
    const int ncol = static_cast<int>(row.size());
    bool changed = false;
    if (ncol < width) return false;
    // Columns are 1-based in the loop; sums[c - 1] is the sum of column c.
    std::int32_t t = 0;
    for (int c = 1; c <= width - 1; ++c) t += sums[std::size_t(c - 1)];
    for (int i = half + 1; i <= ncol - half; ++i) {
        t += sums[std::size_t(i + half - 1)];  // t: sum of the window of cell (i, j)
        std::int32_t& cell = row[std::size_t(i - 1)];
        if (pass == Pass::remove_isolated) {
            // The sum includes the cell itself: a data cell alone in its window.
            if (t <= 1 && cell != 0) cell = 0;
        } else if (t >= mincnt && cell == 0) {
            cell = 2;
            changed = true;
        }
        t -= sums[std::size_t(i - half - 1)];
    }
    return changed;
}

Status window_pass(Pass pass, int mincnt, RowFile mask, int w, const WindowStorage& ws) {
    const WindowShape shape = window_shape(w);
    const int half = shape.half;
    const int width = shape.width;

    MaskHeader header;
    if (read_mask_header(*mask.file, header) != Status::ok) return Status::mask_failed;
    const int ncol = header.ncol;
    const int nrow = header.nrow;
    if (ncol < 0 || nrow < 0) return Status::mask_failed;  // a damaged header

    if (ws.ldim < ncol) return Status::window_too_wide;
    if (half < 1) return Status::window_too_narrow;
    const std::size_t slot_words = std::size_t(ws.ldim);
    if (ws.colsum.size() < slot_words || ws.rowbuf.size() < slot_words ||
        ws.window.size() / std::size_t(width) < slot_words)
        return Status::window_too_wide;

    // Limited only now that width is known to be at least 3.
    if (mincnt < 1) mincnt = 1;
    if (mincnt > width * width) mincnt = width * width;

    // No row has a full window: the mask stays as it is. Returning here also keeps the
    // window fill from reading rows the mask does not have.
    if (nrow - 2 * half <= 0) return Status::ok;

    SlidingWindow window(mask, ws, ncol, width);
    if (Status s = window.fill(); s != Status::ok) return s;
    std::span<std::int32_t> row = ws.rowbuf.first(std::size_t(ncol));
    const int last_row = nrow - half;
    for (int j = half + 1; j <= last_row; ++j) {
        if (rowmsk(ncol, row, j, mask) != Status::ok) return Status::mask_failed;
        const bool changed = pass_row(pass, mincnt, half, width, window.sums(), row);
        if (pass == Pass::remove_isolated || changed) {
            if (rowda_write(mask, std::span<const std::int32_t>(row), j) != Status::ok)
                return Status::mask_failed;
        }
        if (j < last_row)
            if (Status s = window.advance(); s != Status::ok) return s;
    }
    return Status::ok;
}

}  // namespace

WindowShape window_shape(int w) {
    WindowShape s;
    s.half = w / 2;
    if (2 * s.half + 1 > w) s.half -= 1;
    s.width = 2 * s.half + 1;
    return s;
}

Status rowmsk(int ncol, std::span<std::int32_t> buf, int irow, RowFile mask) {
    if (ncol < 0 || buf.size() < std::size_t(ncol)) return Status::mask_failed;
    if (rowda_read(mask, buf.first(std::size_t(ncol)), irow) != Status::ok)
        return Status::mask_failed;
    return Status::ok;
}

Status radrem(int mincnt, RowFile mask, int w, const WindowStorage& ws) {
    return window_pass(Pass::remove_isolated, mincnt, mask, w, ws);
}

Status radmsk(int mincnt, RowFile mask, int w, const WindowStorage& ws) {
    return window_pass(Pass::mark_near, mincnt, mask, w, ws);
}

}  // namespace minc
