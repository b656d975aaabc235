// The plan of one gridding call: every number its stages need, derived once from the
// request (and, for a rotated call, the range of its data) before any store is opened.
// The request speaks world units, the stages cell units of the working grid; the plan
// is the one place where the two meet. Each stage's frame is read off the plan by one
// function below, so a new request field reaches a stage through here alone.
// Pure: no I/O, no state.
#pragma once

#include <functional>

#include "call_setup.hpp"
#include "data_pass.hpp"
#include "grid_blanking.hpp"
#include "gridout/grid_file.hpp"
#include "gridout/rotate.hpp"
#include "minc/minc.hpp"
#include "parameter_log.hpp"
#include "partition.hpp"
#include "row_store.hpp"
#include "solve_block.hpp"
#include "template_grid.hpp"
#include "work_area.hpp"

namespace minc {

inline constexpr float kTolerance = 1.0e-4f;     // relaxation convergence limit
inline constexpr float kWeightConstant = 10.0f;  // 1 / 0.1: data weight of the block solver

/// The requested grid, world units: where the finished grid goes.
struct TargetGrid {
    float x0 = 0.0f, y0 = 0.0f;  // first node
    float dx = 1.0f, dy = 1.0f;  // spacings
    int nx = 0, ny = 0;          // columns, rows
    int mode = 1;                // back-transform of the values
    int iopt = 1;                // row order of the grid file
    float dummy = 0.0f;          // null value of the input
    bool operator==(const TargetGrid&) const = default;
};

struct CallPlan {
    TargetGrid target;
    float angle = 0.0f;         // reduced angle; 0 when unrotated
    DataTransform transform;    // input records to cell-unit points
    float radius_cells = 0.0f;  // blanking radius in cells
    int maxit = 512;            // relaxation sweep limit
    WorkingGrid grid;           // cell units
    HalfWindow window;
    Partition part;
    int nwrec = 0;              // point words per data scratch record
    // How far the plan got: the working grid (a rotated data range may give none), then
    // the partition. Either failure ends the call once the plan is logged.
    Status grid_status = Status::ok;
    Status partition_status = Status::ok;

    Status status() const { return failed(grid_status) ? grid_status : partition_status; }
    bool rotated() const { return angle != 0.0f; }
    int hw() const { return window.hw; }
    /// The mask grid: the working grid and HW more on every side; 0 x 0 without blanking.
    int mask_columns() const { return hw() >= 1 ? grid.ncu + 2 * hw() : 0; }
    int mask_rows() const { return hw() >= 1 ? grid.nru + 2 * hw() : 0; }
    bool operator==(const CallPlan&) const = default;
};

/// How the input records of `r` become points: the null value, channel, mode, world to
/// cell units and, for a rotated call, the turn about the requested grid's centre.
/// Needed before the plan by a rotated call, whose data range it gives.
DataTransform data_transform(const GridRequest& r);

/// The plan of a request that passed check_request. `range` is the data range read
/// with data_transform(r); it is used by a rotated call only.
CallPlan plan_call(const GridRequest& r, const DataRange& range);

/// All the checks on a request's numbers, in order: check_arguments, then
/// check_origin_and_dummy.
Status check_request(const GridRequest& r);

/// The log's parameter lines of the request, written before any check.
void log_request(const GridRequest& r, ParameterLog& log);

/// The log's lines of the plan: the half window (and the radius used when reduced),
/// the mask size when blanking, then the partition, as far as the plan got.
void log_plan(const CallPlan& p, ParameterLog& log);

/// Unrotated working grid: the requested grid itself, in cells.
WorkingGrid unrotated_grid(const GridRequest& r);

/// Rotation of a rotated call: centre of the requested grid and sin/cos of the angle.
/// `angle` is the reduced angle.
void rotation_of(const GridRequest& r, float angle, DataTransform& t);

// ---- the frames of the stages, in the order the call runs them

/// The data pass: the extended grid (two nodes beyond the working grid) in cells.
DataPassFrame data_pass_frame(const CallPlan& p);

/// The mask store's header: the mask grid and its origin in cells.
MaskHeader mask_header(const CallPlan& p);

/// Slots of the section store: the blocks of a tier, and their flags when blanking.
int section_slots(const CallPlan& p);

/// The template grid over the data store's `records` records.
TemplateFrame template_frame(const CallPlan& p, int records);

/// What the tier loop is handed beside the plan: the call's stores and buffers.
struct SolveStores {
    const TemplateGrid& tmpl;
    WorkArea& area;
    gridout::ByteFile& data_store;
    gridout::ByteFile& section_store;
    gridout::ByteFile& grid_rows;
    gridout::ByteFile* mask;  // nullptr without blanking
    ParameterLog& log;
    RelaxState& relax;
    Progress progress = nullptr;  // may be empty
};
SolveContext solve_context(const CallPlan& p, const SolveStores& s);

/// The mask store as the tier loop and the blanking address it: rows of NCT values.
RowFile mask_rows(const CallPlan& p, gridout::ByteFile* mask);

/// The blanking passes.
BlankingGrid blanking_grid(const CallPlan& p);

/// The grid writer: the working grid in world units.
gridout::GeooutParams grid_writer_params(const CallPlan& p);

/// The resampling of a rotated call's solved grid into the requested grid; gmin and
/// gmax are those of the solved grid.
gridout::GeorotParams rotation_params(const CallPlan& p, float gmin, float gmax);

}  // namespace minc
