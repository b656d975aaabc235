// GRD grid files: the 512-byte header, the writer GEOOUT that turns the gridding
// library's finished rows into a grid file, and the validating reader through which
// every routine that takes a grid file as input (GEOROT, GEOFLIP, ROTGRD, the tools and
// the tests) reads one. This is the last stage of the gridding pipeline; it does no
// gridding of its own.
//
// File layout (little-endian): a 512-byte header, then NE x NV 4-byte reals, vector
// (row) after vector, each vector NE reals from the smallest x to the largest. The
// orientation word KX says where the first vector lies: 1 = the vector at the grid's
// origin comes first, anything else (the writers use -2) = the vectors are stored from
// the last to the first.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gridout/byte_file.hpp"

namespace gridout {

/// Outcome of every grid-file routine. No routine prints; the caller decides what to say.
enum class GridStatus : int {
    ok = 0,
    cannot_open,    // an input file is missing, unreadable or has an empty name
    cannot_create,  // the output (its temporary) could not be created
    not_writable,   // the output exists and may not be written (no write permission)
    write_failed,   // a seek or write of the output failed, or it could not be put in place
    read_failed,    // a seek or read of an input failed before its end
    short_source,   // an input ended before all the values it had to supply
    bad_header,     // an input grid header is not a valid grid of 4-byte reals
    bad_arguments,  // counts below 1, a buffer too small, an impossible combination
    not_finite,     // a value to be written is not finite once transformed back
};

/// A short English phrase for a status, for messages and test output.
const char* to_string(GridStatus s);

inline constexpr int kGridHeaderBytes = 512;
/// The format's dummy for real grids; its bytes on file are AE C5 9D F4.
inline constexpr float kGridDummy = -1.0e32f;
/// A value at or below this counts as null when a grid file is read back.
inline constexpr float kNullBound = -1.0e30f;
inline bool is_null(float v) { return v <= kNullBound; }
/// Starting values of the node statistics; they stay when no node is valid.
inline constexpr float kStatMinStart = 1.0e7f;
inline constexpr float kStatMaxStart = -1.0e7f;

/// Every field of the 512-byte header, by byte offset. Defaults are the values the
/// writers put in the fields they do not set themselves.
struct GridHeader {
    std::int32_t element_size = 4;   //   0
    std::int32_t element_type = 2;   //   4  (2 = IEEE real)
    std::int32_t ne = 0;             //   8  elements per vector (columns)
    std::int32_t nv = 0;             //  12  vectors (rows)
    std::int32_t kx = 1;             //  16  orientation: 1 first vector first, else reversed
    double de = 0.0;                 //  20  spacing of the elements (x cell size)
    double dv = 0.0;                 //  28  spacing of the vectors (y cell size)
    double x0 = 0.0;                 //  36  x of the first element of the first vector
    double y0 = 0.0;                 //  44  y of the first vector
    double angle = 0.0;              //  52  rotation of the rows, degrees
    double base = 0.0;               //  60  value = stored / scale + base
    double scale = 1.0;              //  68
    std::array<char, 48> label{};    //  76  blanks by default (see blank_header)
    std::array<char, 16> map_number{};  // 124
    std::int32_t projection = 0;     // 140
    std::int32_t x_unit = 0;         // 144
    std::int32_t y_unit = 0;         // 148
    std::int32_t z_unit = 0;         // 152
    std::int32_t valid_nodes = 0;    // 156
    float zmin = 0.0f;               // 160
    float zmax = 0.0f;               // 164
    float median = kGridDummy;       // 168
    float mean = kGridDummy;         // 172
    double variance = static_cast<double>(kGridDummy);  // 176
    std::int32_t flag = 0;           // 184
    std::array<char, 324> user{};    // 188
};

/// A header with every text field blank (character 32) and the other fields at their
/// defaults; the starting point of every header this library writes.
GridHeader blank_header();

/// Byte offsets of the two statistics words, rewritten once a grid is complete.
inline constexpr std::int64_t kZminOffset = 160;
inline constexpr std::int64_t kZmaxOffset = 164;

/// The header as its 512 file bytes, and back. decode_header does no checking.
std::array<std::byte, kGridHeaderBytes> encode_header(const GridHeader& h);
GridHeader decode_header(std::span<const std::byte, kGridHeaderBytes> bytes);

/// The 0-based place in the file of vector j (1-based from the grid's origin) of an
/// nv-vector grid: KX 1 keeps the vector at the origin first; any other code stores the
/// vectors from the last to the first.
inline int file_row(int kx, int nv, int j) { return kx == 1 ? j - 1 : nv - j; }

/// Writes the 512 header bytes at offset 0.
GridStatus write_header(ByteFile& f, const GridHeader& h);

/// The frame of a written grid, as the writers put it in the header.
struct GridFrame {
    int ne = 0, nv = 0;        // elements per vector (columns) and vectors (rows)
    int order = 1;             // 1: rows first to last (KX 1); any other: KX -2
    float dx = 1.0f, dy = 1.0f;  // spacings of the elements and of the vectors
    float x0 = 0.0f, y0 = 0.0f;  // first element of the first vector
};

/// The header of a written grid: the frame and the value range zmin..zmax.
GridHeader frame_header(const GridFrame& f, float zmin, float zmax);

/// Writes row j (1-based) of an nv-row grid at its place: place j when `order` is 1,
/// else place nv - j + 1, so that the rows appear from the last to the first.
bool write_grid_row(ByteFile& f, std::span<const float> row, int j, int nv, int order);

// ---- reading -----------------------------------------------------------------------

/// Reads the header at offset 0 and checks it before anything is allocated: element
/// size 4, element type 2, NE and NV at least 1, finite spacings and origin, and a file
/// at least 512 + NE x NV x 4 bytes long. bad_header for any failed check,
/// short_source when the file is shorter than a header, read_failed on an I/O error.
GridStatus read_grid_header(ByteFile& f, GridHeader& h);

/// Reads all NE x NV values, in file order, into out (out.size() must be NE x NV).
/// The header must come from read_grid_header on the same file.
GridStatus read_grid_values(ByteFile& f, const GridHeader& h, std::span<float> out);

/// Reads vector (row) `place` as stored in the file, 0-based from the file's first
/// vector, into out (out.size() must be NE).
GridStatus read_grid_row(ByteFile& f, const GridHeader& h, int place, std::span<float> out);

/// A whole grid file held in memory: its header and its values in file order.
struct GridData {
    GridHeader header;
    std::vector<float> values;
    /// Node (i, j), 1-based, j counted from the grid's origin whatever the orientation.
    float node(int i, int j) const;
};

/// Opens the named file on fs read-only and reads it through the two routines above.
GridStatus read_grid(FileSystem& fs, const std::string& name, GridData& out);

// ---- writing -----------------------------------------------------------------------

/// A grid file under construction, staged on its file system (see FileSystem::stage):
/// only commit() puts it under its name, so a failed, abandoned or killed write never
/// leaves a half-written file and leaves any earlier file of that name as it was.
class PendingFile {
public:
    PendingFile(FileSystem& fs, std::string name) : fs_(fs), name_(std::move(name)) {}
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    /// Starts the new file; cannot_create, or not_writable for an existing file that may
    /// not be written.
    GridStatus create();
    /// The open file (valid after create() returned ok).
    ByteFile& file() { return staged_->file(); }
    /// Closes the file and puts it in place; write_failed when either fails.
    GridStatus commit();

private:
    FileSystem& fs_;
    std::string name_;
    std::unique_ptr<StagedFile> staged_;
};

/// Where GEOOUT takes its rows from (the writer's IHAND argument).
enum class RowOrder {
    rows,           // IHAND 0: row k is grid row k
    rows_reversed,  // IHAND -1: row k is grid row NROW - k + 1
    columns,        // IHAND below -1: row k is grid column k (needs NCOL = NROW)
};

/// The rows handed to GEOOUT: either an open file read from byte 0, NCOL reals per row
/// (IHAND > 0; the file stays open), or an in-memory grid of NCOL x NROW reals stored
/// row after row (column index fastest), taken in the given order.
struct RowSource {
    ByteFile* file = nullptr;
    std::span<const float> grid;
    RowOrder order = RowOrder::rows;

    static RowSource stream(ByteFile& f) { return RowSource{&f, {}, RowOrder::rows}; }
    static RowSource memory(std::span<const float> g, RowOrder o) { return RowSource{nullptr, g, o}; }
    /// The in-memory orders by the writer's IHAND codes: 0, -1, below -1.
    static RowSource memory_by_ihand(std::span<const float> g, int ihand);
};

struct GeooutResult {
    GridStatus status = GridStatus::ok;
    float gmin = kStatMinStart;  // smallest stored value other than the dummy
    float gmax = kStatMaxStart;  // largest; both keep their starts when no node is valid
};

/// GEOOUT's arguments after the row source and the name. World units.
struct GeooutParams {
    int ncol = 0, nrow = 0;          // columns and rows
    float xorg = 0.0f, yorg = 0.0f;  // first node
    float dx = 1.0f, dy = 1.0f;      // spacings
    int mode = 1;                    // back-transform: 1 none, 2 natural log, 3 signed log
    int iopt = 1;                    // 1: rows in the order received (KX 1), else reversed (KX -2)
    float dummy = 0.0f;              // the null value of the rows
};

/// GEOOUT: writes an NCOL x NROW grid as the grid file `name` on out_fs. Every value
/// equal to `dummy` is stored as the grid dummy; every other value is back-transformed
/// by `mode` (1 none, 2 natural logarithm, 3 signed logarithm) and enters the
/// statistics. With iopt = 1 the k-th row received is the k-th in the file (KX 1);
/// otherwise the rows are stored in reverse (KX -2).
/// Statuses: bad_arguments (counts below 1, a memory grid too small, `columns` with
/// NCOL != NROW, a non-finite spacing or origin), cannot_create, write_failed,
/// read_failed, short_source (the stream ends before NROW full rows; never padded),
/// not_finite (a value is infinite or NaN after the back-transform: e^v overflows for v
/// above about 88.7, and a grid with such a node has no usable range). On any failure no
/// file is left under the name and an earlier file of that name is kept.
GeooutResult geoout(RowSource src, FileSystem& out_fs, const std::string& name,
                    const GeooutParams& p);

/// Sets v to n zeros; false instead of an exception when that memory cannot be had, so
/// that a count taken from a file or a caller ends in a status, not a crash.
bool try_zeros(std::vector<float>& v, std::size_t n);

/// True when cell sizes and origin are all finite: the writers refuse (bad_arguments) to
/// write a header the validating reader would reject.
inline bool finite_frame(float dx, float dy, float x0, float y0) {
    return std::isfinite(dx) && std::isfinite(dy) && std::isfinite(x0) && std::isfinite(y0);
}

/// The back-transform GEOOUT applies to a non-dummy value (exposed for tests and for
/// callers that need the same numbers).
float back_transform(float v, int mode);

/// Smallest and largest of a stream of values, starting from 1.0E7 and -1.0E7 when
/// nothing valid is seen but reporting the true extremes of whatever is seen, even
/// beyond those starts. NaN never enters.
class RangeTracker {
public:
    void add(float v) {
        if (v != v) return;
        if (!any_) { lo_ = v; hi_ = v; any_ = true; return; }
        if (v < lo_) lo_ = v;
        if (v > hi_) hi_ = v;
    }
    bool any() const { return any_; }
    float min() const { return any_ ? lo_ : kStatMinStart; }
    float max() const { return any_ ? hi_ : kStatMaxStart; }

private:
    bool any_ = false;
    float lo_ = kStatMinStart, hi_ = kStatMaxStart;
};

}  // namespace gridout
