// The gridding library's public C++ interface: one call grids the scattered points of
// an input data file by minimum curvature into one GRD grid file, with its log
// "minc.log" in the current directory. The exported C entries (minc.h) and the
// halvex driver both come through here.
#pragma once

#include <string>
#include <string_view>

#include "minc/relax_state.hpp"
#include "minc/status.hpp"

namespace minc {

/// Where the call keeps its scratch data. `memory` keeps every intermediate store in
/// memory, so nothing but the grid file and "minc.log" appears in the folder; `disk`
/// uses the scratch files "~mincgr.tmp", "~mincms.tmp", "~mincir.tmp", "~mincsb.tmp",
/// "~minctm.tmp" and "~mincrt.tmp" in the current directory, all deleted before the
/// call returns. Both kinds give the same grid, byte for byte.
enum class Stores { memory, disk };

/// Everything one gridding call needs. World units unless stated.
struct GridRequest {
    std::string outfile;     ///< grid file to write; empty gives "outfile.grd"
    std::string datfile;     ///< input data file: records of 2 + maxchan little-endian floats
    float x0 = 0.0f;         ///< x of the first grid node
    float y0 = 0.0f;         ///< y of the first grid node
    float dx = 1.0f;         ///< node spacing in x (> 0)
    float dy = 1.0f;         ///< node spacing in y (> 0)
    int nx = 0;              ///< grid columns (>= 1)
    int ny = 0;              ///< grid rows (>= 1)
    float radius = 0.0f;     ///< blanking search radius; 0 or less: no blanking
    int ichan = 1;           ///< 1-based channel that is gridded
    int maxchan = 1;         ///< channels per data record, 1..256
    float dummy = -99999.0f; ///< null value: data equal to it are ignored
    int mode = 1;            ///< 1 values as they are, 2 natural log, 3 signed log
    int iopt = 1;            ///< 1: grid rows stored upward in y; other: reversed
    float angle = 0.0f;      ///< rotation of the grid in degrees
    int iterations = 0;      ///< relaxation sweep limit; below 32 means the default 512
};

/// Outcome of a call. gmin and gmax are the smallest and largest stored node value
/// other than the dummy; they are only meaningful when ok().
struct GridResult {
    Status status = Status::ok;
    float gmin = 0.0f;
    float gmax = 0.0f;
    bool ok() const { return status == Status::ok; }
    int code() const { return minc::code(status); }
};

/// A short English description of a status, for messages.
const char* describe(Status s);

/// The call in the library's native form: texts with the name rules of the exported
/// entry (a name ends at its first NUL after the first character; without one it is
/// the text without trailing blanks and must be 2 characters or longer), `ierr` in:
/// iteration limit, out: 0 or a negative Status code. gmin and gmax are only written
/// on success. `state` is the relaxation state carried from call to call.
void minc_call(std::string_view outfile, float x0, float y0, float dx, float dy, int nx, int ny,
               float radius, std::string_view datfile, int ichan, float dummy, int maxchan,
               int mode, int iopt, float& gmin, float& gmax, float angle, int& ierr,
               RelaxState& state, Stores stores = Stores::memory);

/// Grids one request, carrying `state` (the relaxation's run-wide counter) through.
GridResult grid(const GridRequest& request, RelaxState& state, Stores stores = Stores::memory);

/// A gridder that carries one relaxation state across its calls, as one process that
/// calls the library again and again does. A fresh Gridder behaves as a fresh program.
class Gridder {
public:
    explicit Gridder(Stores stores = Stores::memory) : stores_(stores) {}
    GridResult grid(const GridRequest& request) { return minc::grid(request, state_, stores_); }
    RelaxState& relax_state() { return state_; }
    Stores stores() const { return stores_; }

private:
    Stores stores_;
    RelaxState state_;
};

}  // namespace minc
