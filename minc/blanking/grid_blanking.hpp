// The blanking of a finished grid, in the order the gridding entry runs it once the
// tier loop has written the grid rows and the data mask: RADREM and RADMSK turn the
// data mask into the window mask, RADCLP clips it to the outline of the data, and
// TEMPLAT copies the grid rows with every node outside the mask set to the null value.
// Each pass takes its buffers out of the call's work area.
#pragma once

#include "gridout/byte_file.hpp"
#include "minc/status.hpp"
#include "row_store.hpp"
#include "work_area.hpp"

namespace minc {

/// The grids the blanking works on.
struct BlankingGrid {
    int hw = 1;            // half window (>= 1); the window is 2 HW + 1 cells wide
    int nct = 0, nrt = 0;  // mask columns and rows (working grid + HW on every side)
    int ncu = 0, nru = 0;  // working grid columns and rows
    float dummy = 0.0f;    // value of a blanked node
};

/// The window passes and the outline clipping on the open mask file: afterwards the
/// mask holds 0 at every node to blank. Statuses of radrem, radmsk and radclp.
Status blanking_mask(const BlankingGrid& g, RowFile mask, WorkArea& area);

/// TEMPLAT: copies the NRU grid rows of grid_rows, read from its current position, to
/// out, with every node whose mask value is 0 set to g.dummy.
Status apply_template(const BlankingGrid& g, RowFile mask, gridout::ByteFile& grid_rows,
                      gridout::ByteFile& out, WorkArea& area);

}  // namespace minc
