// The line step: what happens to a completed survey line of three or more records
// before it is gridded. Its points are written to the line point file, or, for a line
// that runs from east to west, re-based and written to a line point file of their own
// (and the line point file is removed); then the line table, the line's rows of the
// combined table, the station coordinate file and the stations file are written from
// the precise record positions.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "line_builder.hpp"
#include "output_file.hpp"

namespace driver {

/// Line point file of every line, and the one of a re-based (westward) line.
inline constexpr std::string_view kPointFile = "tmpdat.tmp";
inline constexpr std::string_view kRebasedPointFile = "tmpdat2.tmp";

/// Runs the line step of the line in `builder`, whose points are complete. `point_file`
/// is the line's kPointFile, open and still empty; the points are written to it and it
/// is closed, or it is dropped when the line is re-based. `depth_table` is the run's
/// depth table, `combined` the open combined table. Re-basing shifts the builder's
/// station range and points. Returns the name of the line point file to grid, whose
/// point records are then `builder.points()`.
/// Throws RunStop when a file cannot be created or written.
std::string line_step(LineBuilder& builder, std::span<const float> depth_table, const ModelGuard& guard,
                      OutputFile& point_file, OutputFile& combined);

}  // namespace driver
