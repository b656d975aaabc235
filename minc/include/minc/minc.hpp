// The gridding library's public C++ interface: one call grids scattered points, read
// from an input data file or handed over in memory, by minimum curvature into one grid,
// written as a GRD grid file or returned in memory, with its log "minc.log" in the
// current directory or handed back in memory. Calls share no state: several threads
// may grid at once, each with its own RelaxState and its log kept in memory (the log
// file has a fixed name in the current directory; stores of either kind are the call's
// own). The exported C entries (minc.h) and the halvex driver both come through here.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "minc/point.hpp"
#include "minc/relax_state.hpp"
#include "minc/status.hpp"

namespace minc {

/// Where the call keeps its scratch data. `memory` keeps every intermediate store in
/// memory, so nothing but the grid file and "minc.log" appears in the folder; `disk`
/// keeps them in unnamed files on the disk of the current directory, which belong to
/// the call alone (calls at once in one folder never meet, nothing is written through
/// a link planted there) and vanish when the call returns or the process ends, however
/// it ends. Both kinds give the same grid, byte for byte.
enum class Stores { memory, disk };

/// Where a call's log goes. `file`: "minc.log" in the current directory, replaced whole
/// when the call ends; `memory`: the log's bytes are handed back in GridResult::log and
/// no file is touched, so that calls running at once do not write over one another's log.
enum class LogTo { file, memory };

/// Told the share of the call's block solves done, from above 0 to 1, after each tier
/// of blocks; returning false stops the call, which then ends with Status::cancelled and
/// writes no grid. Called on the calling thread.
using Progress = std::function<bool(double share_done)>;

/// Everything one call needs. World units unless stated. File names are used exactly
/// as given.
struct GridRequest {
    std::string outfile;     ///< grid file to write; empty gives "outfile.grd"
    std::string datfile;     ///< input data file: records of 2 + maxchan little-endian
                             ///< floats; an empty name is bad_data_name. Not used when
                             ///< the points come from memory.
    float x0 = 0.0f;         ///< x of the first grid node
    float y0 = 0.0f;         ///< y of the first grid node
    float dx = 1.0f;         ///< node spacing in x (> 0)
    float dy = 1.0f;         ///< node spacing in y (> 0)
    int nx = 0;              ///< grid columns (>= 1)
    int ny = 0;              ///< grid rows (>= 1)
    float radius = 0.0f;     ///< blanking search radius; 0 or less: no blanking
    int ichan = 1;           ///< 1-based channel that is gridded
    int maxchan = 1;         ///< channels per data record, 1..256. Points from memory
                             ///< carry their value; ichan and maxchan are then only
                             ///< checked and logged.
    float dummy = -99999.0f; ///< null value: data equal to it are ignored
    int mode = 1;            ///< 1 values as they are, 2 natural log, 3 signed log
    int iopt = 1;            ///< 1: grid rows stored upward in y; other: reversed
    float angle = 0.0f;      ///< rotation of the grid in degrees
    int iterations = 0;      ///< relaxation sweep limit; below 32 means the default 512
    LogTo log_to = LogTo::file;  ///< where the log goes
    Progress progress = nullptr;  ///< optional progress report and cancel
};

/// Outcome of a call. gmin and gmax are the smallest and largest stored node value
/// other than the dummy; they are only meaningful when ok().
struct GridResult {
    Status status = Status::ok;
    float gmin = 0.0f;
    float gmax = 0.0f;
    std::string log;  ///< with LogTo::memory, the bytes "minc.log" would hold; else empty
    bool ok() const { return status == Status::ok; }
    int code() const { return minc::code(status); }
};

/// A grid returned in memory: exactly the values the grid file of the same request
/// holds, in the file's row order (with iopt 1 the row at y0 first, otherwise the last
/// row first), each row from the smallest x to the largest; blank nodes hold the grid
/// dummy -1.0E32. Empty unless ok().
struct GridValues {
    GridResult result;
    int nx = 0;
    int ny = 0;
    std::vector<float> values;  ///< nx * ny values
    bool ok() const { return result.ok(); }
};

/// A short English description of a status, for messages: one line, no final stop.
const char* describe(Status s);

/// The same for a status code as a number; "unknown status" for a code the library
/// never returns. The exported C entry MINC_STATUS_TEXT gives the same texts.
const char* status_text(int code);

/// A status and its description.
struct StatusText {
    Status status;
    const char* text;
};

/// Every status the library returns, success first, with its description.
std::span<const StatusText> status_table();

/// Grids the request's input data file into its grid file, carrying `state` (the
/// relaxation's run-wide counter) through.
GridResult grid(const GridRequest& request, RelaxState& state, Stores stores = Stores::memory);

/// Grids `points` into the request's grid file: the same grid, byte for byte, as the
/// same points written as a one-channel input data file would give.
GridResult grid(const GridRequest& request, std::span<const Point> points, RelaxState& state,
                Stores stores = Stores::memory);

/// As the two above, returning the grid in memory instead of writing a grid file
/// (request.outfile is not used; "minc.log" is still written).
GridValues grid_values(const GridRequest& request, RelaxState& state,
                       Stores stores = Stores::memory);
GridValues grid_values(const GridRequest& request, std::span<const Point> points,
                       RelaxState& state, Stores stores = Stores::memory);

/// A grid file made in memory, to be written later: the bytes grid() would have
/// written for the same request and state, and the outcome it would have returned had
/// the writing succeeded. Lets a caller grid ahead of knowing whether it keeps the grid.
struct GridFile {
    GridResult result;
    std::vector<std::byte> bytes;  ///< the whole file; empty unless result.ok()
};

/// As grid() with points, the file made in memory; the state is carried as by grid().
GridFile grid_file(const GridRequest& request, std::span<const Point> points, RelaxState& state,
                   Stores stores = Stores::memory);

/// Puts a file made by grid_file() in place under `name`, as grid() writes its grid
/// file (a temporary renamed into place). Returns the status grid() would have
/// returned: the file's own when it holds no grid, else that of the writing.
Status write_grid_file(const GridFile& file, const std::string& name);

/// A gridder that carries one relaxation state across its calls, as one process that
/// calls the library again and again does. A fresh Gridder behaves as a fresh program.
class Gridder {
public:
    explicit Gridder(Stores stores = Stores::memory) : stores_(stores) {}
    GridResult grid(const GridRequest& request) { return minc::grid(request, state_, stores_); }
    GridResult grid(const GridRequest& request, std::span<const Point> points) {
        return minc::grid(request, points, state_, stores_);
    }
    GridValues grid_values(const GridRequest& request) {
        return minc::grid_values(request, state_, stores_);
    }
    GridValues grid_values(const GridRequest& request, std::span<const Point> points) {
        return minc::grid_values(request, points, state_, stores_);
    }
    RelaxState& relax_state() { return state_; }
    Stores stores() const { return stores_; }

private:
    Stores stores_;
    RelaxState state_;
};

}  // namespace minc
