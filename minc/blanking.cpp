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
Status window_pass(Pass pass, int mincnt, RowFile mask, int ldim, int w,
                   std::span<std::int32_t> colsum, std::span<std::int32_t> rowbuf,
                   std::span<std::int32_t> window) {
    const WindowShape shape = window_shape(w);
    const int half = shape.half;
    const int width = shape.width;

    MaskHeader header;
    if (read_mask_header(*mask.file, header) != Status::ok) return Status::mask_failed;
    const int ncol = header.ncol;
    const int nrow = header.nrow;
    if (ncol < 0 || nrow < 0) return Status::mask_failed;  // a damaged header

    if (ldim < ncol) return Status::window_too_wide;
    if (half < 1) return Status::window_too_narrow;
    const std::size_t slot_words = std::size_t(ldim);
    if (colsum.size() < slot_words || rowbuf.size() < slot_words ||
        window.size() / std::size_t(width) < slot_words)
        return Status::window_too_wide;

    // Limited only now that width is known to be at least 3.
    if (mincnt < 1) mincnt = 1;
    if (mincnt > width * width) mincnt = width * width;

    // No row has a full window: the mask stays as it is. Returning here also keeps the
    // window fill from reading rows the mask does not have.
    if (nrow - 2 * half <= 0) return Status::ok;

    const std::size_t nc = std::size_t(ncol);
    auto slot = [&](int s) { return window.subspan(std::size_t(s) * slot_words, nc); };
    std::span<std::int32_t> sums = colsum.first(nc);
    std::span<std::int32_t> row = rowbuf.first(nc);

    for (std::size_t c = 0; c < nc; ++c) sums[c] = 0;
    for (int s = 0; s < width; ++s) {
        std::span<std::int32_t> r = slot(s);
        if (rowmsk(ncol, r, s + 1, mask) != Status::ok) return Status::mask_failed;
        for (std::size_t c = 0; c < nc; ++c) sums[c] += r[c];
    }

    int oldest = 0;        // ring slot holding the topmost window row
    int last_read = width;  // mask row most recently read into the ring
    const int last_row = nrow - half;
    for (int j = half + 1; j <= last_row; ++j) {
        if (rowmsk(ncol, row, j, mask) != Status::ok) return Status::mask_failed;

        bool changed = false;
        if (ncol >= width) {
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
        }

        if (pass == Pass::remove_isolated || changed) {
            if (rowda_write(mask, std::span<const std::int32_t>(row), j) != Status::ok)
                return Status::mask_failed;
        }

        if (j < last_row) {
            std::span<std::int32_t> r = slot(oldest);
            for (std::size_t c = 0; c < nc; ++c) sums[c] -= r[c];
            ++last_read;
            if (rowmsk(ncol, r, last_read, mask) != Status::ok) return Status::mask_failed;
            for (std::size_t c = 0; c < nc; ++c) sums[c] += r[c];
            oldest = (oldest + 1) % width;
        }
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

Status radrem(int mincnt, RowFile mask, int ldim, int w, std::span<std::int32_t> colsum,
              std::span<std::int32_t> rowbuf, std::span<std::int32_t> window) {
    return window_pass(Pass::remove_isolated, mincnt, mask, ldim, w, colsum, rowbuf, window);
}

Status radmsk(int mincnt, RowFile mask, int ldim, int w, std::span<std::int32_t> colsum,
              std::span<std::int32_t> rowbuf, std::span<std::int32_t> window) {
    return window_pass(Pass::mark_near, mincnt, mask, ldim, w, colsum, rowbuf, window);
}

}  // namespace minc
