// TRSOUT: writes a grid file (or appends rows to one) from the rows of a row-addressed
// scratch file, optionally keeping the null nodes of a companion grid and adding back a
// plane a0 + ax x + ay y that was removed before gridding. A stand-alone writer of the
// gridding library's output side; the gridding itself never calls it.
#pragma once

#include <string>
#include <string_view>

#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"

namespace gridout {

struct TrsoutParams {
    int icode = 0;     // 112: the plane is never added
    int imask = 0;     // negative: a node that is null in the companion grid stays null
    int iappend = 0;   // 0: create the file with a header; else append rows (no header)
    int itrend = 0;    // 1: add the plane (unless icode is 112)
    float x_first = 0.0f, y_first = 0.0f;  // position of the first node (header origin)
    float dx = 1.0f, dy = 1.0f;            // node spacing along a row and between rows
    float dummy = kGridDummy;              // null value written to the header
    int ne = 0, nv = 0;                    // values per row, rows
    int lrec = 0;   // record length of the row file in words (at least ioff + ne)
    int ioff = 0;   // a record's values used are those at 0-based places ioff .. ioff + ne - 1
    int irec0 = 0;  // record of the first row: row r starts at byte (irec0 + r - 1) x lrec x 4
    float a0 = 0.0f, ax = 0.0f, ay = 0.0f;  // plane coefficients
};

struct TrsoutResult {
    GridStatus status = GridStatus::ok;
    float zmin = kStatMinStart;  // range of the non-null values written; the starts
    float zmax = kStatMaxStart;  // 1.0E7 and -1.0E7 stay when none was
    /// With iappend = 0 and success, the 51-byte log line "Transformed range : " ...
    /// ending in CR LF, for the caller's log; empty otherwise.
    std::string log_line;
};

/// TRSOUT. grdfile is taken up to its first NUL, or without a NUL up to its first
/// blank; an empty result (including a text that begins with NUL) gives "outfile.grd".
/// luin: an open grid file of ne values per row, read from byte 512 on, one row per
/// output row. lurow: the open row-addressed file; it is closed before returning,
/// whatever the status. With iappend != 0 the rows are added behind an existing file's
/// contents (or form a new file without header); the file is still replaced only once
/// complete. Statuses: bad_arguments (counts below 1, ioff + ne > lrec, negative ioff
/// or irec0, a non-finite spacing or first-node position), read_failed, short_source (luin or a record of lurow ends early),
/// cannot_create, write_failed; no file is changed unless the status is ok.
TrsoutResult trsout(FileSystem& out_fs, std::string_view grdfile, ByteFile& luin,
                    ByteFile& lurow, const TrsoutParams& p);

/// The output name rule of TRSOUT (see above); at most 256 characters are used.
std::string trsout_file_name(std::string_view text);

}  // namespace gridout
