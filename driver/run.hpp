// One run of halvex: banner, run parameters from the command line or the prompts,
// the record loop over the model file, and for every completed survey line its files,
// its console report and its section gridding. Files are read and written in the
// current directory. main() only passes argv and the process console.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>

#include "section_gridding.hpp"

namespace driver {

/// The console of a run: everything the run prints goes to `out` (lines end with LF, a
/// prompt has no line end and is flushed), the answers to prompts come from `in`.
struct Console {
    std::ostream& out;
    std::istream& in;
};

/// Exit status of a completed run and of a stop.
inline constexpr int kExitOk = 0;
inline constexpr int kExitStop = 1;

/// Runs halvex with the arguments after the program name. Returns kExitOk when the
/// model file was read to its end, kExitStop after any stop (its one-line message
/// printed). `gridder` grids each completed line of three or more records.
int run(std::span<const std::string> args, Console& console, SectionGridder& gridder);

/// As above, gridding every line through the gridding library (MincGridder); returns
/// kExitGridFailed (minc_gridder.hpp) when the run completed but a gridding call failed.
int run(std::span<const std::string> args, Console& console);

}  // namespace driver
