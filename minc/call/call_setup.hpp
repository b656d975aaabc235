// The rules by which a gridding call turns its arguments into the run's parameters:
// argument checks, iteration limit, search radius in cells, the reduced rotation
// angle, the half window that fits the work area, and the choice of partition with its
// overlap. Pure functions: no I/O, no state.
#pragma once

#include "data_pass.hpp"
#include "minc/minc.hpp"
#include "minc/status.hpp"
#include "partition.hpp"

namespace minc {

/// Checks of this implementation on the grid and channel arguments, in this order:
/// DX and DY positive and finite, NX and NY at least 1, MAXCHAN 1..256, ICHAN 1..MAXCHAN.
Status check_arguments(const GridRequest& r);

/// Checks on the origin and the null value, after check_arguments (DX and DY valid):
/// X0 and Y0 finite with X0/DX and Y0/DY inside the range of a 32-bit integer
/// (bad_origin), DUMMY not NaN (bad_dummy): a NaN null value equals nothing, so blank
/// nodes would be written as NaN and never recognised.
Status check_origin_and_dummy(float x0, float y0, float dx, float dy, float dummy);

/// Iteration limit of the relaxation from IERR on entry: 32 or more is taken, else 512.
int iteration_limit(int ierr_in);

/// Search radius in cells: 0 when the radius exceeds the grid's width NX*DX or height
/// NY*DY, else RADIUS / DX; a negative or non-finite result becomes 0.
float radius_in_cells(const GridRequest& r);

/// ANGLE brought into -45..45 degrees (a turn by a multiple of 90 degrees grids the same
/// lattice); 0 when the result's magnitude is below 2 degrees.
float reduced_angle(float angle);

/// Half window of the blanking: the radius in cells rounded, reduced when a window of
/// 2*HW + 3 rows of NCU + 2*HW values would not fit the work area.
struct HalfWindow {
    int hw = 0;
    bool reduced = false;     // the work area forced a smaller window
    float radius_used = 0.0f; // the reduced HW as a real (logged when reduced and >= 1)
    bool operator==(const HalfWindow&) const = default;
};
HalfWindow half_window(float radius_cells, int ncu);

/// The working grid in cell units.
struct WorkingGrid {
    float xc0 = 0.0f, yc0 = 0.0f;  // origin, cell units
    int ncu = 0, nru = 0;          // columns, rows
    bool operator==(const WorkingGrid&) const = default;
};

/// Rotated working grid: one cell beyond the range of the data on every side.
/// bad_data_name when the range is empty or degenerate; too_many_blocks when it reaches
/// 1.0E9 cells or more from the origin (or is not finite).
Status rotated_grid(const DataRange& range, WorkingGrid& g);

/// Partition of the extended grid (NCU + 4) x (NRU + 4) with the overlap rules:
/// overlap 10; one block makes it 1; else NX or NY not above 10 repartitions with 5,
/// and NX or NY not above 5 is overlap_too_small. Then more than 3600 blocks is
/// too_many_blocks. The overlap rules look at the request's NX and NY, also when the
/// call is rotated.
Status choose_partition(const WorkingGrid& wg, const GridRequest& r, Partition& p);

/// Points per data scratch record for the given number of blocks.
int points_per_record(int blocks);

}  // namespace minc
