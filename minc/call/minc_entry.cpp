// The gridding entry: one call turns the scattered points of an input data file, or
// points in memory, into one GRD grid file (on disk, or in memory for the caller). It
// logs and checks the request, plans the call (call_plan.hpp), then runs the stages in
// order: data pass, template grid, tier loop, blanking passes, grid writer and, for a
// rotated call, the rotated resampling. Every intermediate result lives in the call's
// scratch stores, which an RAII guard removes on every return path.
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "call_plan.hpp"
#include "data_pass.hpp"
#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"
#include "gridout/rotate.hpp"
#include "grid_blanking.hpp"
#include "minc/minc.hpp"
#include "parameter_log.hpp"
#include "row_store.hpp"
#include "scratch_stores.hpp"
#include "template_grid.hpp"
#include "tier_loop.hpp"
#include "work_area.hpp"

namespace minc {

namespace {

constexpr char kLogName[] = "minc.log";

/// Where a call's grid file goes: a name on a file system (the disk, or a memory file
/// system from which the caller takes the grid).
struct GridTarget {
    gridout::FileSystem& fs;
    std::string name;
    bool on_disk = true;  // the name is a file of the disk, beside the data file
};

/// Everything one call owns: its plan, its fixed stores, its scratch stores and its log.
/// A fresh object is a reset call; its destruction is the clean-up. `points`, when
/// given, are the call's input records instead of the request's data file.
class GriddingCall {
public:
    GriddingCall(const GridRequest& r, const std::span<const Point>* points, GridTarget target,
                 RelaxState& state, Stores kind)
        : a_(r),
          points_(points ? *points : std::span<const Point>()),
          from_points_(points != nullptr),
          target_(std::move(target)),
          relax_(state),
          scratch_(kind) {}

    GridResult run();

private:
    Status grid();
    Status read_data_range(DataRange& range);
    Status open_stores();
    Status data_pass();
    Status size_section_store();
    Status build_template();
    Status solve();
    Status blank_and_write(gridout::FileSystem& out_fs, const std::string& out_name);
    Status write_grid(gridout::ByteFile& rows, gridout::FileSystem& out_fs,
                      const std::string& out_name);
    Status rotate();
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
    RelaxState& relax_;
    ScratchStores scratch_;
    WorkArea area_;
    std::unique_ptr<gridout::StagedFile> log_file_;
    ParameterLog log_{nullptr};

    CallPlan plan_;
    int records_ = 0;  // records in the data scratch store
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

// The method's steps over the call's one state.
Status GriddingCall::grid() {
    log_request(a_, log_);  // before any check, so the log shows what was asked
    if (Status s = check_request(a_); failed(s)) return s;
    if (Status s = check_outputs_against_input(); failed(s)) return s;

    DataRange range;
    if (Status s = read_data_range(range); failed(s)) return s;
    plan_ = plan_call(a_, range);
    log_plan(plan_, log_);
    if (failed(plan_.status())) return plan_.status();

    if (Status s = open_stores(); failed(s)) return s;
    if (Status s = data_pass(); failed(s)) return s;
    if (Status s = size_section_store(); failed(s)) return s;
    if (Status s = build_template(); failed(s)) return s;
    if (Status s = solve(); failed(s)) return s;

    // A rotated call first writes its solved grid, in the rotated frame, to a scratch
    // grid and resamples that into the target.
    if (!plan_.rotated()) return blank_and_write(target_.fs, target_.name);
    if (Status s = blank_and_write(scratch_.fs(), kRotatedName); failed(s)) return s;
    return rotate();
}

Status GriddingCall::read_data_range(DataRange& range) {
    const DataTransform t = data_transform(a_);
    if (!t.rotated) return Status::ok;  // only a rotated working grid follows the data
    // The clean-up of a rotated call removes the rotated scratch grid whatever step ends
    // the call, so that one left behind by an interrupted run goes too.
    scratch_.track(kRotatedName);
    // A data file that cannot be opened has no points, so no range.
    const Status s = with_input(a_.datfile, Status::ok, [&](InputRecords& in) {
        range = rngdat(in, t);
        return Status::ok;
    });
    if (failed(s)) return s;
    if (range.read_failed) return Status::input_failed;
    if (range.too_many) return Status::too_much_data;
    return Status::ok;
}

Status GriddingCall::open_stores() {
    grid_rows_ = scratch_.create(kGridRowsName);
    if (grid_rows_ == nullptr) return Status::store_failed;
    if (plan_.hw() == 0) return Status::ok;
    gridout::ByteFile* f = scratch_.create(kMaskName);
    if (f == nullptr) return Status::store_failed;
    if (Status s = write_mask_header(*f, mask_header(plan_)); failed(s)) return s;
    mask_ = scratch_.reopen(kMaskName);
    return mask_ != nullptr ? Status::ok : Status::store_failed;
}

Status GriddingCall::data_pass() {
    data_store_ = scratch_.create(kDataStoreName);
    if (data_store_ == nullptr) return Status::store_failed;
    // A data file that cannot be opened has no points.
    return with_input(a_.datfile, Status::no_data, [&](InputRecords& in) {
        const DataPassResult r = seqdat(in, *data_store_, data_pass_frame(plan_), plan_.part,
                                        plan_.transform, area_.data_pass_buffers());
        records_ = r.records;
        return r.status;
    });
}

Status GriddingCall::size_section_store() {
    gridout::ByteFile* f = scratch_.create(kSectionStoreName);
    if (f == nullptr) return Status::store_failed;
    const int nb = plan_.part.nodes_per_block();
    // Every slot is written before it is read; this only gives the store its size.
    const std::span<const float> block = std::span<const float>(area_.work).first(std::size_t(nb));
    for (int k = 0; k < section_slots(plan_); ++k)
        if (!gridout::write_words(*f, block)) return Status::store_failed;
    section_store_ = scratch_.reopen(kSectionStoreName);
    return section_store_ != nullptr ? Status::ok : Status::store_failed;
}

Status GriddingCall::build_template() {
    tmpl_.values = std::span<float>(area_.template_values);
    return rejonl(template_frame(plan_, records_), *data_store_, std::span<float>(area_.record),
                  area_.solver(), tmpl_, relax_);
}

Status GriddingCall::solve() {
    SolveContext ctx = solve_context(plan_, SolveStores{.tmpl = tmpl_,
                                                        .area = area_,
                                                        .data_store = *data_store_,
                                                        .section_store = *section_store_,
                                                        .grid_rows = *grid_rows_,
                                                        .mask = mask_,
                                                        .log = log_,
                                                        .relax = relax_,
                                                        .progress = a_.progress});
    if (Status s = pcontl(ctx); failed(s)) return s;
    if (!scratch_.close(kSectionStoreName) || !scratch_.close(kDataStoreName))
        return Status::store_failed;
    section_store_ = data_store_ = nullptr;
    return Status::ok;
}

Status GriddingCall::blank_and_write(gridout::FileSystem& out_fs, const std::string& out_name) {
    if (plan_.hw() == 0) return write_grid(*grid_rows_, out_fs, out_name);

    const RowFile mask = mask_rows(plan_, mask_);
    const BlankingGrid g = blanking_grid(plan_);
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
    const gridout::GeooutResult r =
        gridout::geoout(gridout::RowSource::stream(rows), out_fs, out_name, grid_writer_params(plan_));
    if (r.status != gridout::GridStatus::ok) return output_status(r.status);
    gmin_ = r.gmin;
    gmax_ = r.gmax;
    return Status::ok;
}

Status GriddingCall::rotate() {
    return output_status(gridout::georot(scratch_.fs(), kRotatedName, target_.fs, target_.name,
                                         rotation_params(plan_, gmin_, gmax_)));
}

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

GridFile grid_file(const GridRequest& r, std::span<const Point> points, RelaxState& state, Stores stores) {
    GridFile out;
    gridout::MemoryFileSystem fs;
    out.result = run_call(r, &points, GridTarget{fs, kMemoryGridName, false}, state, stores);
    if (!out.result.ok()) return out;
    try {
        out.bytes = fs.contents(kMemoryGridName);
    } catch (const std::exception&) {
        out.result.status = Status::output_failed;
    }
    return out;
}

Status write_grid_file(const GridFile& file, const std::string& name) {
    if (!file.result.ok()) return file.result.status;
    gridout::StageError why{};
    const std::unique_ptr<gridout::StagedFile> staged = gridout::disk().stage(name, why);
    if (!staged)
        return output_status(why == gridout::StageError::not_writable ? gridout::GridStatus::not_writable
                                                                       : gridout::GridStatus::cannot_create);
    const auto size = static_cast<std::int64_t>(file.bytes.size());
    if (staged->file().write(file.bytes) != size || !staged->commit())
        return output_status(gridout::GridStatus::write_failed);
    return Status::ok;
}

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
