// The stations file of a survey line, "line_" + label + "_stations.csv": one row per
// model record of the line, in model order, saying where each station lies (fiducial,
// station distance as the section grid's x, map position, ground elevation) and how deep
// its model can be trusted (the depth of investigation). Section pictures, curtains and
// slices place the grids in the map and draw the ground and DOI lines from it.
#pragma once

#include <string>
#include <string_view>

#include "line_builder.hpp"
#include "output_file.hpp"

namespace driver {

/// First line of a stations file (without its line end); the units are in the names.
inline constexpr std::string_view kStationsHeader =
    "fiducial,station_m,east_m,north_m,ground_elevation_m,doi_m";

/// Name of the stations file of the line labelled `label`.
std::string stations_file_name(const std::string& label);

/// One row of a stations file with CR LF: station distance with 2 decimals (as in the
/// line tables), every value read from the model as the shortest text that reads back to
/// the same double; fiducial and DOI empty when the record has none (NaN), the DOI also
/// when it is 0 or negative (no depth of investigation). `shift` is subtracted from the
/// record's station: the station of the last record for a re-based line, else 0.
std::string stations_row(const RecordPosition& r, double shift);

/// Writes the stations file of the line in `builder`. Throws RunStop as OutputFile does.
void write_stations_file(const LineBuilder& builder, double shift, const ModelGuard& guard);

}  // namespace driver
