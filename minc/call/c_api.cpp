// The exported C entries of libminc (minc.h): MINC, MINC_RESET, MINC_POINTS, GEOROT and GEOFLIP with the
// library's calling convention (every argument by pointer, each text followed by its
// length by value), plus status variants of the two grid routines. This is the one
// place where padded file-name texts and positional arguments are translated into the
// C++ interface's requests. No exception crosses this boundary.
#include "minc/minc.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gridout/byte_file.hpp"
#include "gridout/flip.hpp"
#include "gridout/grid_file.hpp"
#include "gridout/rotate.hpp"
#include "minc/minc.hpp"
#include "capacities.hpp"

#include "call_setup.hpp"
#include "entry_names.hpp"
#include "halvex_version.hpp"

namespace {

// The relaxation's run-wide counter, carried from call to call of the exported MINC as
// in one process that calls the library repeatedly; MINC_RESET starts it afresh. The
// entry is not re-entrant.
minc::RelaxState g_relax_state;

std::string_view text(const char* p, int len) {
    return p != nullptr && len > 0 ? std::string_view(p, static_cast<std::size_t>(len)) : std::string_view();
}

// Whether the request is long enough to hold the field that ends at `end`.
bool holds(const MINC_POINTS_REQUEST* q, std::size_t end) { return q->size >= end; }

// The first version of MINC_POINTS_REQUEST ends with progress_data. A request of that
// size or larger is known when every byte beyond the fields known here is zero: a
// later field at zero asks for nothing new. A request of the first version's size
// lacks the later fields; a size between two versions is none the library knows.
bool known_request(const MINC_POINTS_REQUEST* q) {
    if (q == nullptr) return false;
    if (q->size == MINC_POINTS_REQUEST_SIZE_1) return true;
    if (q->size < sizeof(MINC_POINTS_REQUEST)) return false;
    const auto* extra = reinterpret_cast<const unsigned char*>(q) + sizeof(MINC_POINTS_REQUEST);
    return std::all_of(extra, extra + (q->size - sizeof(MINC_POINTS_REQUEST)),
                       [](unsigned char b) { return b == 0; });
}

int grid_status_code(gridout::GridStatus s) {
    switch (s) {
        case gridout::GridStatus::ok: return 0;
        case gridout::GridStatus::cannot_open:
        case gridout::GridStatus::read_failed: return -1;
        case gridout::GridStatus::cannot_create:
        case gridout::GridStatus::not_writable:
        case gridout::GridStatus::write_failed: return -2;
        case gridout::GridStatus::bad_header:
        case gridout::GridStatus::short_source:
        case gridout::GridStatus::not_finite: return -3;
        case gridout::GridStatus::bad_arguments: return -4;
    }
    return -4;
}

}  // namespace

extern "C" {

void MINC(char* outfile, int outfile_len, float* x0, float* y0, float* dx, float* dy, int* nx,
          int* ny, float* radius, char* datfile, int datfile_len, int* ichan, float* dummy,
          int* maxchan, int* mode, int* iopt, float* gmin, float* gmax, float* angle, int* ierr) {
    try {
        const std::string_view dat_text = text(datfile, datfile_len);
        // A rotated call names its data file by the NUL rule alone; a name that does
        // not count stays empty, which the call reports as bad_data_name at the step
        // where it opens the file.
        const std::optional<std::string> dat = minc::reduced_angle(*angle) != 0.0f
                                                   ? minc::nul_name(dat_text)
                                                   : minc::text_name(dat_text);
        const minc::GridRequest request{
            .outfile = minc::minc_output_name(text(outfile, outfile_len)),
            .datfile = dat.value_or(std::string()),
            .x0 = *x0,
            .y0 = *y0,
            .dx = *dx,
            .dy = *dy,
            .nx = *nx,
            .ny = *ny,
            .radius = *radius,
            .ichan = *ichan,
            .maxchan = *maxchan,
            .dummy = *dummy,
            .mode = *mode,
            .iopt = *iopt,
            .angle = *angle,
            .iterations = *ierr,  // IERR in: the iteration limit
        };
        const minc::GridResult r = minc::grid(request, g_relax_state, minc::Stores::memory);
        *ierr = r.code();
        if (r.ok()) {
            *gmin = r.gmin;
            *gmax = r.gmax;
        }
    } catch (const std::exception&) {
        // Only an allocation failure can get here; the call's stores are already gone.
        *ierr = minc::code(minc::Status::store_failed);
    }
}

void MINC_RESET(void) { g_relax_state = minc::RelaxState{}; }

const char* MINC_STATUS_TEXT(int code) { return minc::status_text(code); }

const char* MINC_VERSION(void) { return HALVEX_VERSION; }

int MINC_GRID_POINTS(MINC_POINTS_REQUEST* q) {
    if (!known_request(q)) return minc::code(minc::Status::bad_request);
    if (q->outfile == nullptr || q->outfile[0] == '\0') return minc::code(minc::Status::output_failed);
    const int n = q->n;
    if (n <= 0 || q->x == nullptr || q->y == nullptr || q->z == nullptr)
        return minc::code(minc::Status::no_data);
    // The same bound as an input data file's record count, checked before the copy.
    if (n > minc::kMaxDataRecords) return minc::code(minc::Status::too_much_data);
    try {
        std::vector<minc::Point> points(static_cast<std::size_t>(n));
        for (std::size_t k = 0; k < points.size(); ++k) points[k] = minc::Point{q->x[k], q->y[k], q->z[k]};
        minc::GridRequest request{
            .outfile = q->outfile,
            .datfile = std::string(),
            .x0 = q->x0,
            .y0 = q->y0,
            .dx = q->dx,
            .dy = q->dy,
            .nx = q->nx,
            .ny = q->ny,
            .radius = q->radius,
            .dummy = q->dummy,
            .mode = q->mode,
            .iopt = q->iopt,
            .angle = q->angle,
            .iterations = q->iterations,
            // The log stays in memory, handed back when asked for: the call touches no
            // file but its grid.
            .log_to = minc::LogTo::memory,
            .progress = {},
        };
        if (q->progress != nullptr)
            request.progress = [q](double share) { return q->progress(share, q->progress_data) != 0; };
        // A fresh state for every call: the grid depends on the points and arguments only.
        minc::RelaxState state;
        const minc::GridResult r = minc::grid(request, points, state, minc::Stores::memory);
        if (r.ok()) {
            q->gmin = r.gmin;
            q->gmax = r.gmax;
        }
        if (holds(q, offsetof(MINC_POINTS_REQUEST, log_length) + sizeof q->log_length)) {
            q->log_length = r.log.size();
            if (q->log != nullptr) r.log.copy(q->log, std::min(r.log.size(), q->log_size));
        }
        return r.code();
    } catch (const std::exception&) {
        return minc::code(minc::Status::store_failed);
    }
}

int MINC_POINTS(const char* outfile, const float* x, const float* y, const float* z, int n,
                float x0, float y0, float dx, float dy, int nx, int ny, float radius,
                float dummy, int mode, int iopt, float angle, int iterations, float* gmin,
                float* gmax) {
    MINC_POINTS_REQUEST q{};
    q.size = sizeof q;
    q.outfile = outfile;
    q.x = x;
    q.y = y;
    q.z = z;
    q.n = n;
    q.x0 = x0;
    q.y0 = y0;
    q.dx = dx;
    q.dy = dy;
    q.nx = nx;
    q.ny = ny;
    q.radius = radius;
    q.dummy = dummy;
    q.mode = mode;
    q.iopt = iopt;
    q.angle = angle;
    q.iterations = iterations;
    const int code = MINC_GRID_POINTS(&q);
    if (code == 0) {
        if (gmin != nullptr) *gmin = q.gmin;
        if (gmax != nullptr) *gmax = q.gmax;
    }
    return code;
}

int GEOROT_STATUS(char* srcfil, int srcfil_len, char* grdfil, int grdfil_len, float* sdx,
                  float* sdy, float* sx0, float* sy0, int* snc, int* snr, float* dx, float* dy,
                  float* x0, float* y0, int* nx, int* ny, float* work, float* angle, float* xr,
                  float* yr, float* uoff, float* voff, float* uscl, float* vscl, int* iopt,
                  float* dummy, float* gmin, float* gmax) {
    try {
        const gridout::GeorotParams p{
            .sdx = *sdx,
            .sdy = *sdy,
            .sx0 = *sx0,
            .sy0 = *sy0,
            .snc = *snc,
            .snr = *snr,
            .dx = *dx,
            .dy = *dy,
            .x0 = *x0,
            .y0 = *y0,
            .nx = *nx,
            .ny = *ny,
            .angle = *angle,
            .xr = *xr,
            .yr = *yr,
            .uoff = *uoff,
            .voff = *voff,
            .uscl = *uscl,
            .vscl = *vscl,
            .iopt = *iopt,
            .dummy = *dummy,
            .gmin = *gmin,
            .gmax = *gmax,
            .work = work != nullptr && *nx > 0 ? std::span<float>(work, static_cast<std::size_t>(*nx))
                                               : std::span<float>(),
        };
        return grid_status_code(gridout::georot(gridout::disk(), minc::input_file_name(text(srcfil, srcfil_len)),
                                                gridout::disk(), minc::grid_file_name(text(grdfil, grdfil_len)), p));
    } catch (const std::exception&) {
        return grid_status_code(gridout::GridStatus::write_failed);
    }
}

void GEOROT(char* srcfil, int srcfil_len, char* grdfil, int grdfil_len, float* sdx, float* sdy,
            float* sx0, float* sy0, int* snc, int* snr, float* dx, float* dy, float* x0,
            float* y0, int* nx, int* ny, float* work, float* angle, float* xr, float* yr,
            float* uoff, float* voff, float* uscl, float* vscl, int* iopt, float* dummy,
            float* gmin, float* gmax) {
    GEOROT_STATUS(srcfil, srcfil_len, grdfil, grdfil_len, sdx, sdy, sx0, sy0, snc, snr, dx, dy,
                  x0, y0, nx, ny, work, angle, xr, yr, uoff, voff, uscl, vscl, iopt, dummy, gmin,
                  gmax);
}

int GEOFLIP_STATUS(char* infile, int infile_len, char* outfile, int outfile_len) {
    try {
        return grid_status_code(gridout::geoflip(gridout::disk(), minc::input_file_name(text(infile, infile_len)),
                                                 minc::flip_file_name(text(outfile, outfile_len))));
    } catch (const std::exception&) {
        return grid_status_code(gridout::GridStatus::write_failed);
    }
}

void GEOFLIP(char* infile, int infile_len, char* outfile, int outfile_len) {
    GEOFLIP_STATUS(infile, infile_len, outfile, outfile_len);
}

}  // extern "C"
