// Window blanking: the first two passes over the blanking mask of a finished grid.
// radrem removes data cells that have no other data cell in their square window;
// radmsk then marks every empty cell that has data in its window. Both slide a window of
// w mask rows down the mask file, keeping column sums and a running sum so that the cost
// per cell does not depend on the window width. Radius clipping and the template follow.
//
// Mask values: 0 blank, 1 data cell, 2 empty cell near data. The mask file is the
// row-addressed store of row_store.hpp; its header gives the column and row counts.
#pragma once

#include <cstdint>
#include <span>

#include "row_store.hpp"
#include "minc/status.hpp"

namespace minc {

/// Half window and effective width of a window of nominal width w: half = w div 2, less one
/// when 2 * half + 1 would exceed w, so an even width behaves as the next narrower odd one.
struct WindowShape {
    int half = 0;
    int width = 1;  // 2 * half + 1
};
WindowShape window_shape(int w);

/// ROWMSK: reads the first ncol values of mask row irow (1-based) into buf.
/// Returns Status::mask_failed when the row could not be read in full (or buf is shorter
/// than ncol); buf may then hold part of the row.
Status rowmsk(int ncol, std::span<std::int32_t> buf, int irow, RowFile mask);

/// Working storage of the window passes, carved by the caller; the passes allocate nothing.
struct WindowStorage {
    int ldim = 0;                    // room per window row slot, in columns (at least ncol)
    std::span<std::int32_t> colsum;  // at least ldim values
    std::span<std::int32_t> rowbuf;  // at least ldim values
    std::span<std::int32_t> window;  // at least ldim * width values (width from window_shape(w))
};

/// RADREM: clears every data cell (non-zero value) whose window holds no other data,
/// that is whose window sum is at most 1. The window sums are taken over the mask as it
/// was when the pass began. The outer half rows and columns are never tested.
///
/// mincnt  : not used by this pass (kept so both passes share one argument list).
/// mask    : the open mask file; ncol and nrow come from its header.
/// w       : nominal window width (2 * HW + 1 from the gridding entry).
///
/// Statuses: ok; window_too_wide when ldim < ncol or a working span is too short;
/// window_too_narrow when the half window is below 1; mask_failed when a read or write of
/// the mask fails (the pass ends there; rows already processed stay written, and the row
/// being processed is never written from stale data).
Status radrem(int mincnt, RowFile mask, int w, const WindowStorage& ws);

/// RADMSK: sets to 2 every empty cell (value 0) whose window sum reaches mincnt (limited
/// to 1..width²); cells of value 1 or 2 stay. A row is written back only when it changed.
/// Arguments, working storage and statuses as for radrem (the same argument checks run,
/// so a direct call cannot overrun its buffers).
Status radmsk(int mincnt, RowFile mask, int w, const WindowStorage& ws);

}  // namespace minc
