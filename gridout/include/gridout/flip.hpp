// GEOFLIP: rewrites a grid file with its two axes exchanged, for programs that want the
// grid's columns as rows. A stand-alone routine of the gridding library's output side;
// the gridding itself never calls it.
#pragma once

#include <string>

#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"

namespace gridout {

/// GEOFLIP: reads the grid file `infile` of fs and writes `outfile` on fs. Output
/// vector m (1-based) holds input element NE - m + 1 of every input vector, from the last
/// input vector to the first when the input's KX is 1, else from the first to the last.
/// The output header takes NV, NE, DV, DE of the input as its NE, NV, DE, DV, the
/// input's Y0 + (NV - 1) x DV as its X0 and the input's X0 as its Y0; KX is -2, the
/// statistics words are zero, median, mean and variance the dummy.
/// Statuses: cannot_open, bad_header, read_failed, short_source, cannot_create,
/// write_failed. On any failure no output file is left (an earlier one is kept). An
/// input whose spacings or origin (or the new origin) do not fit a 32-bit real is
/// refused as bad_header, as its flipped header could not be written finite.
GridStatus geoflip(FileSystem& fs, const std::string& infile, const std::string& outfile);

}  // namespace gridout
