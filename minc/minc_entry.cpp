// The gridding entry: one call turns the scattered points of an input data file, or
// points in memory, into one GRD grid file (on disk, or in memory for the caller). It logs and checks its arguments, derives the working grid, the
// half window and the partition, then runs the stages in order: data pass, template
// grid, tier loop, blanking passes, grid writer and, for a rotated call, the rotated
// resampling. Every intermediate result lives in the call's scratch stores, which an
// RAII guard removes on every return path.
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "call_setup.hpp"
#include "capacities.hpp"
#include "data_pass.hpp"
#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"
#include "gridout/rotate.hpp"
#include "grid_blanking.hpp"
#include "minc/minc.hpp"
#include "parameter_log.hpp"
#include "partition.hpp"
#include "row_store.hpp"
#include "scratch_stores.hpp"
#include "solve_block.hpp"
#include "template_grid.hpp"
#include "tier_loop.hpp"
#include "work_area.hpp"

namespace minc {

namespace {

constexpr float kTolerance = 1.0e-4f;      // relaxation convergence limit
constexpr float kWeightConstant = 10.0f;   // 1 / 0.1: data weight of the block solver
constexpr char kLogName[] = "minc.log";

/// Where a call's grid file goes: a name on a file system (the disk, or a memory file
/// system from which the caller takes the grid).
struct GridTarget {
    gridout::FileSystem& fs;
    std::string name;
    bool on_disk = true;  // the name is a file of the disk, beside the data file
};

/// Everything one call owns: its fixed stores, its scratch stores and its log. A fresh
/// object is a reset call; its destruction is the clean-up. `points`, when given, are
/// the call's input records instead of the request's data file.
class GriddingCall {
public:
    GriddingCall(const GridRequest& r, const std::span<const Point>* points, GridTarget target,
                 RelaxState& state, Stores kind)
        : a_(r),
          points_(points ? *points : std::span<const Point>()),
          from_points_(points != nullptr),
          target_(std::move(target)),
          maxit_(iteration_limit(r.iterations)),
          relax_(state),
          scratch_(kind) {}

    GridResult run();

private:
    Status grid();
    Status working_grid();
    Status open_mask();
    Status data_pass();
    Status size_section_store();
    Status blank_and_write(gridout::FileSystem& out_fs, const std::string& out_name);
    Status write_grid(gridout::ByteFile& rows, gridout::FileSystem& out_fs,
                      const std::string& out_name);
    // Runs fn on the call's input records: the points, or the data file when it opens.
    // `missing` is the status of a data file that cannot be opened.
    template <class Fn>
    Status with_input(const std::string& name, Status missing, Fn fn);
    // The input data file's name, or nothing when the points come from memory.
    std::optional<std::string> data_file() const;
    Status check_outputs_against_input();

    const GridRequest& a_;
    std::span<const Point> points_;
    bool from_points_;
    GridTarget target_;
    int maxit_;  // relaxation sweep limit
    RelaxState& relax_;
    ScratchStores scratch_;
    WorkArea area_;
    std::unique_ptr<gridout::StagedFile> log_file_;
    ParameterLog log_{nullptr};

    // Derived parameters, fixed once computed.
    float angle_ = 0.0f;       // reduced angle; 0 when unrotated
    DataTransform transform_;  // how input records become points
    WorkingGrid wg_;
    HalfWindow hw_;
    int nct_ = 0, nrt_ = 0;    // mask grid, only when hw >= 1
    Partition part_;
    int nwrec_ = 0;            // point words per data scratch record
    int records_ = 0;          // records in the data scratch store
    TemplateGrid tmpl_;
    float gmin_ = 0.0f, gmax_ = 0.0f;

    gridout::ByteFile* grid_rows_ = nullptr;
    gridout::ByteFile* mask_ = nullptr;
    gridout::ByteFile* data_store_ = nullptr;
    gridout::ByteFile* section_store_ = nullptr;
};

// Maps the grid writers' failures onto the call's codes.
Status output_status(gridout::GridStatus s) {
    if (s == gridout::GridStatus::ok) return Status::ok;
    if (s == gridout::GridStatus::not_finite) return Status::not_finite;
    return s == gridout::GridStatus::not_writable ? Status::output_not_writable : Status::output_failed;
}

GridResult GriddingCall::run() {
    // The log is a real file in the current directory whatever the store kind: it is
    // the user's record of the last call, put in place whole when the call ends, failed
    // or not (a killed call leaves the previous log). A log that cannot be created is
    // not an error; one that would replace the input data file is not started. A log
    // asked for in memory is written to a file system of the call's own instead.
    gridout::MemoryFileSystem memory_log;
    std::unique_ptr<gridout::ByteFile> log_in_memory;
    if (a_.log_to == LogTo::memory) {
        log_in_memory = memory_log.create(kLogName);
        log_ = ParameterLog(log_in_memory.get());
    } else {
        const std::optional<std::string> dat = data_file();
        if (!(dat && gridout::disk().same_file(*dat, kLogName))) {
            gridout::StageError why{};
            log_file_ = gridout::disk().stage(kLogName, why);
        }
        log_ = ParameterLog(log_file_ ? &log_file_->file() : nullptr);
    }
    const Status s = grid();
    log_ = ParameterLog(nullptr);
    if (log_file_) log_file_->commit();
    GridResult result{.status = s, .gmin = 0.0f, .gmax = 0.0f, .log = {}};
    if (s == Status::ok) {
        result.gmin = gmin_;
        result.gmax = gmax_;
    }
    if (log_in_memory) {
        log_in_memory->close();
        const std::vector<std::byte> bytes = memory_log.contents(kLogName);
        result.log.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    return result;
}

std::optional<std::string> GriddingCall::data_file() const {
    if (from_points_ || a_.datfile.empty()) return std::nullopt;
    return a_.datfile;
}

Status GriddingCall::check_outputs_against_input() {
    // Writing the grid or the log over the data file would destroy the data the call
    // reads: refused before anything is read, however the two names are spelled.
    const std::optional<std::string> dat = data_file();
    if (!dat) return Status::ok;  // points, or reported as bad_data_name where the data are opened
    gridout::FileSystem& fs = gridout::disk();
    const bool log_on_disk = a_.log_to == LogTo::file;
    if ((target_.on_disk && fs.same_file(*dat, target_.name)) ||
        (log_on_disk && fs.same_file(*dat, kLogName)))
        return Status::output_is_input;
    return Status::ok;
}

template <class Fn>
Status GriddingCall::with_input(const std::string& name, Status missing, Fn fn) {
    if (from_points_) {
        InputRecords records(points_);
        return fn(records);
    }
    if (name.empty()) return Status::bad_data_name;
    // Read-only, so that a write-protected data file grids.
    auto data = gridout::disk().open(name, gridout::OpenMode::read_only);
    if (!data) return missing;
    InputRecords records(*data, std::span<float>(area_.channels));
    return fn(records);
}

Status GriddingCall::grid() {
    // Parameter lines, written before any check so the log shows what was asked.
    log_.parameter(" x origin ", a_.x0, 2);
    log_.parameter(" y origin ", a_.y0, 2);
    log_.parameter(" x cell size ", a_.dx, 4);
    log_.parameter(" y cell size ", a_.dy, 4);
    log_.parameter(" num columns  ", static_cast<float>(a_.nx), 0);
    log_.parameter(" num rows ", static_cast<float>(a_.ny), 0);
    log_.parameter(" z channel ", static_cast<float>(a_.ichan), 0);
    log_.parameter(" max chan ", static_cast<float>(a_.maxchan), 0);
    log_.parameter(" search radius ", a_.radius, 3);
    log_.parameter(" rotation angle ", a_.angle, 3);
    log_.parameter(" null data ", a_.dummy, 3);

    if (Status s = check_arguments(a_); failed(s))
        return s;
    if (Status s = check_origin_and_dummy(a_.x0, a_.y0, a_.dx, a_.dy, a_.dummy); failed(s)) return s;
    if (Status s = check_outputs_against_input(); failed(s)) return s;

    transform_.dummy = a_.dummy;
    transform_.ichan = a_.ichan;
    transform_.maxchan = a_.maxchan;
    transform_.mode = a_.mode;
    transform_.dx = a_.dx;
    transform_.dy = a_.dy;

    const float radius_cells = radius_in_cells(a_);
    angle_ = reduced_angle(a_.angle);
    // The clean-up of a rotated call removes the rotated scratch grid whatever step ends
    // the call, so that one left behind by an interrupted run goes too.
    if (angle_ != 0.0f) scratch_.track(kRotatedName);
    if (Status s = working_grid(); failed(s)) return s;

    hw_ = half_window(radius_cells, wg_.ncu);
    log_.parameter(" half window ", static_cast<float>(hw_.hw), 0);
    if (hw_.reduced && hw_.hw >= 1) log_.parameter(" radius used ", hw_.radius_used, 3);

    grid_rows_ = scratch_.create(kGridRowsName);
    if (grid_rows_ == nullptr) return Status::store_failed;
    // The partition depends on the working grid alone. It is chosen here, but a failure
    // is reported after the mask lines, where the log places it; a grid that cannot be
    // partitioned (it may be absurdly large) thus never gets a mask store built for it.
    const Status partition = choose_partition(wg_, a_, part_);
    if (hw_.hw >= 1) {
        const std::int64_t extra = 2 * std::int64_t(hw_.hw);
        if (!failed(partition))
            if (Status s = open_mask(); failed(s)) return s;
        log_.parameter(" total columns ", static_cast<float>(wg_.ncu + extra), 0);
        log_.parameter(" total rows ", static_cast<float>(wg_.nru + extra), 0);
    }
    if (failed(partition)) return partition;
    nwrec_ = 3 * points_per_record(part_.blocks());
    log_.parameter(" number tiers ", static_cast<float>(part_.ntier), 0);
    log_.parameter(" sections/tier ", static_cast<float>(part_.nsect), 0);
    log_.parameter(" columns/block ", static_cast<float>(part_.cpb), 0);
    log_.parameter(" rows/block ", static_cast<float>(part_.rpb), 0);

    if (Status s = data_pass(); failed(s)) return s;
    if (Status s = size_section_store(); failed(s)) return s;

    tmpl_.values = std::span<float>(area_.template_values);
    if (Status s = rejonl(*data_store_, records_, nwrec_, part_, a_.dummy, kTolerance,
                          std::span<float>(area_.record), area_.solver(), tmpl_, relax_);
        failed(s))
        return s;

    const RowFile mask_file{mask_, record_words(nct_)};
    SolveContext ctx{
        part_,                           // partition
        a_.dummy,                        // null value
        kTolerance,                      // relaxation tolerance
        maxit_,                          // sweep limit
        kWeightConstant,                 // data weight
        hw_.hw,                          // half window
        wg_.ncu,                         // working grid columns
        wg_.nru,                         // and rows
        nct_,                            // mask columns
        tmpl_,                           // template grid
        area_.solver(),                  // section grid, flags, accumulator, edge buffer
        std::span<float>(area_.work),    // work area
        std::span<float>(area_.record),  // data record buffer
        nwrec_,                          // point words per record
        *data_store_,
        *section_store_,
        *grid_rows_,
        mask_file,
        log_,
        relax_,
    };
    if (Status s = pcontl(ctx); failed(s)) return s;

    if (!scratch_.close(kSectionStoreName) || !scratch_.close(kDataStoreName))
        return Status::store_failed;
    section_store_ = data_store_ = nullptr;

    // A rotated call first writes its solved grid, in the rotated frame, to a scratch
    // grid and resamples that into the target.
    if (angle_ == 0.0f) return blank_and_write(target_.fs, target_.name);

    if (Status s = blank_and_write(scratch_.fs(), kRotatedName); failed(s)) return s;
    const gridout::GeorotParams p{
        .sdx = a_.dx,
        .sdy = a_.dy,
        .sx0 = wg_.xc0 * a_.dx,
        .sy0 = wg_.yc0 * a_.dy,
        .snc = wg_.ncu,
        .snr = wg_.nru,
        .dx = a_.dx,
        .dy = a_.dy,
        .x0 = a_.x0,
        .y0 = a_.y0,
        .nx = a_.nx,
        .ny = a_.ny,
        .angle = angle_,
        .xr = transform_.xr,
        .yr = transform_.yr,
        .iopt = a_.iopt,
        .dummy = a_.dummy,
        .gmin = gmin_,
        .gmax = gmax_,
        .work = {},  // GEOROT makes its own row buffer
    };
    return output_status(gridout::georot(scratch_.fs(), kRotatedName, target_.fs, target_.name, p));
}

Status GriddingCall::working_grid() {
    if (angle_ == 0.0f) {
        wg_ = unrotated_grid(a_);
        return Status::ok;
    }
    rotation_of(a_, angle_, transform_);
    // A data file that cannot be opened has no points, so no range.
    DataRange range;
    const Status s = with_input(a_.datfile, Status::ok, [&](InputRecords& in) {
        range = rngdat(in, transform_);
        return Status::ok;
    });
    if (failed(s)) return s;
    if (range.read_failed) return Status::input_failed;
    if (range.too_many) return Status::too_much_data;
    return rotated_grid(range, wg_);
}

Status GriddingCall::open_mask() {
    nct_ = wg_.ncu + 2 * hw_.hw;
    nrt_ = wg_.nru + 2 * hw_.hw;
    gridout::ByteFile* f = scratch_.create(kMaskName);
    if (f == nullptr) return Status::store_failed;
    const MaskHeader h{nct_, nrt_, wg_.xc0 - static_cast<float>(hw_.hw),
                       wg_.yc0 - static_cast<float>(hw_.hw)};
    if (Status s = write_mask_header(*f, h); failed(s)) return s;
    mask_ = scratch_.reopen(kMaskName);
    return mask_ != nullptr ? Status::ok : Status::store_failed;
}

Status GriddingCall::data_pass() {
    data_store_ = scratch_.create(kDataStoreName);
    if (data_store_ == nullptr) return Status::store_failed;
    // A data file that cannot be opened has no points.
    return with_input(a_.datfile, Status::no_data, [&](InputRecords& in) {
        const DataPassFrame frame{
            .h = 1.0f,
            .xe0 = wg_.xc0 - 2.0f,
            .ye0 = wg_.yc0 - 2.0f,
            .nw = nwrec_,
            .ncu = wg_.ncu,
            .nru = wg_.nru,
        };
        const DataPassResult r =
            seqdat(in, *data_store_, frame, part_, transform_, std::span<float>(area_.work),
                   std::span<std::int32_t>(area_.fill), std::span<std::int32_t>(area_.current));
        records_ = r.records;
        return r.status;
    });
}

Status GriddingCall::size_section_store() {
    gridout::ByteFile* f = scratch_.create(kSectionStoreName);
    if (f == nullptr) return Status::store_failed;
    const int nb = part_.nodes_per_block();
    const int slots = hw_.hw >= 1 ? 2 * part_.nsect : part_.nsect;
    // Every slot is written before it is read; this only gives the store its size.
    const std::span<const float> block = std::span<const float>(area_.work).first(std::size_t(nb));
    for (int k = 0; k < slots; ++k)
        if (!gridout::write_words(*f, block)) return Status::store_failed;
    section_store_ = scratch_.reopen(kSectionStoreName);
    return section_store_ != nullptr ? Status::ok : Status::store_failed;
}

Status GriddingCall::blank_and_write(gridout::FileSystem& out_fs, const std::string& out_name) {
    if (hw_.hw == 0) return write_grid(*grid_rows_, out_fs, out_name);

    const RowFile mask{mask_, record_words(nct_)};
    const BlankingGrid g{
        .hw = hw_.hw, .nct = nct_, .nrt = nrt_, .ncu = wg_.ncu, .nru = wg_.nru, .dummy = a_.dummy};
    if (Status s = blanking_mask(g, mask, area_); failed(s)) return s;

    gridout::ByteFile* out = scratch_.create(kTemplateName);
    if (out == nullptr || !gridout::seek_to(*grid_rows_, 0)) return Status::store_failed;
    if (Status s = apply_template(g, mask, *grid_rows_, *out, area_); failed(s)) return s;
    if (!scratch_.close(kMaskName)) return Status::store_failed;
    mask_ = nullptr;
    return write_grid(*out, out_fs, out_name);
}

Status GriddingCall::write_grid(gridout::ByteFile& rows, gridout::FileSystem& out_fs,
                                const std::string& out_name) {
    const gridout::GeooutParams p{
        .ncol = wg_.ncu,
        .nrow = wg_.nru,
        .xorg = wg_.xc0 * a_.dx,
        .yorg = wg_.yc0 * a_.dy,
        .dx = a_.dx,
        .dy = a_.dy,
        .mode = a_.mode,
        .iopt = a_.iopt,
        .dummy = a_.dummy,
    };
    const gridout::GeooutResult r = gridout::geoout(gridout::RowSource::stream(rows), out_fs, out_name, p);
    if (r.status != gridout::GridStatus::ok) return output_status(r.status);
    gmin_ = r.gmin;
    gmax_ = r.gmax;
    return Status::ok;
}

}  // namespace

const char* describe(Status s) {
    switch (s) {
        case Status::ok: return "success";
        case Status::too_many_blocks: return "the grid needs more than 3600 blocks";
        case Status::overlap_too_small: return "NX or NY too small for a grid of several blocks";
        case Status::bad_data_name: return "no data file name, or (rotated) no usable data range";
        case Status::no_partition: return "the grid cannot be cut into blocks that fit";
        case Status::no_data: return "no data point accepted (missing file, or no valid value inside the grid)";
        case Status::chain_record_range:
        case Status::chain_record_count: return "the data scratch store is inconsistent";
        case Status::start_columns:
        case Status::start_rows:
        case Status::start_too_large:
        case Status::start_before:
        case Status::start_beyond:
        case Status::patch_misfit: return "start values of a block could not be taken from the template grid";
        case Status::no_values: return "a grid holds nothing but null values";
        case Status::window_too_wide: return "the blanking window does not fit";
        case Status::window_too_narrow: return "the blanking window is too narrow";
        case Status::bad_spacing: return "DX or DY zero, negative or not finite";
        case Status::bad_size: return "NX or NY below 1";
        case Status::bad_channel: return "ICHAN outside 1..MAXCHAN";
        case Status::bad_max_channels: return "MAXCHAN outside 1..256";
        case Status::bad_origin: return "X0 or Y0 not finite, or too far from 0 in cells";
        case Status::bad_dummy: return "the null value DUMMY is not a number";
        case Status::store_failed: return "a scratch store could not be created, read or written";
        case Status::row_too_wide: return "a grid row does not fit the work area";
        case Status::mask_failed: return "the blanking mask could not be read or written";
        case Status::input_failed: return "the input data file could not be read";
        case Status::output_failed: return "the grid file could not be created or written";
        case Status::outline_too_small: return "the blanking outline does not fit";
        case Status::not_finite: return "the gridded values overflowed: a block or a grid value is not finite";
        case Status::too_much_data: return "the input data file holds more records than the limit";
        case Status::output_is_input: return "the grid file or the log is the input data file";
        case Status::output_not_writable: return "the grid file exists and may not be written";
    }
    return "unknown status";
}

namespace {

// The name under which a grid returned in memory is written to its memory file system.
constexpr char kMemoryGridName[] = "grid.grd";

GridResult run_call(const GridRequest& r, const std::span<const Point>* points, GridTarget target,
                    RelaxState& state, Stores stores) {
    try {
        GriddingCall call(r, points, std::move(target), state, stores);
        return call.run();
    } catch (const std::exception&) {
        // Only a failed allocation of the stores can get here; the call's destructors
        // have already removed whatever it created.
        return GridResult{.status = Status::store_failed, .gmin = 0.0f, .gmax = 0.0f, .log = {}};
    }  // either way the scratch stores are gone before the outcome is handed back
}

GridResult grid_to_file(const GridRequest& r, const std::span<const Point>* points,
                        RelaxState& state, Stores stores) {
    const GridTarget target{gridout::disk(), r.outfile.empty() ? "outfile.grd" : r.outfile, true};
    return run_call(r, points, target, state, stores);
}

// The grid is written, as to disk, to a file system in memory, and its values are read
// back from there: the values are those of the file by construction.
GridValues grid_to_memory(const GridRequest& r, const std::span<const Point>* points,
                          RelaxState& state, Stores stores) {
    GridValues out;
    gridout::MemoryFileSystem fs;
    out.result = run_call(r, points, GridTarget{fs, kMemoryGridName, false}, state, stores);
    if (!out.ok()) return out;
    gridout::GridData data;
    try {
        if (gridout::read_grid(fs, kMemoryGridName, data) != gridout::GridStatus::ok) {
            out.result.status = Status::output_failed;
            return out;
        }
    } catch (const std::exception&) {
        out.result.status = Status::output_failed;
        return out;
    }
    out.nx = data.header.ne;
    out.ny = data.header.nv;
    out.values = std::move(data.values);
    return out;
}

}  // namespace

GridResult grid(const GridRequest& r, RelaxState& state, Stores stores) {
    return grid_to_file(r, nullptr, state, stores);
}

GridResult grid(const GridRequest& r, std::span<const Point> points, RelaxState& state,
                Stores stores) {
    return grid_to_file(r, &points, state, stores);
}

GridValues grid_values(const GridRequest& r, RelaxState& state, Stores stores) {
    return grid_to_memory(r, nullptr, state, stores);
}

GridValues grid_values(const GridRequest& r, std::span<const Point> points, RelaxState& state,
                       Stores stores) {
    return grid_to_memory(r, &points, state, stores);
}

}  // namespace minc
