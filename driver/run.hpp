// One run of halvex: banner, run parameters from the command line or the prompts,
// the record loop over the model file, and for every completed survey line its files,
// its console report and its section gridding. Files are read and written in the
// current directory. main() only passes argv and the process console.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "section_gridding.hpp"

namespace driver {

class Progress;

/// The console of a run. The banner, the prompts and the line reports go to `out`
/// (lines end with LF, a prompt has no line end and is flushed); warnings and stop
/// messages go to `err`, one line each, after `out` is flushed; the answers to prompts
/// come from `in`. Built from two streams, `err` is `out`: both kinds of line then
/// appear in one stream in the order a terminal shows them.
struct Console {
    Console(std::ostream& out_stream, std::istream& in_stream)
        : out(out_stream), in(in_stream), err(out_stream) {}
    Console(std::ostream& out_stream, std::istream& in_stream, std::ostream& err_stream)
        : out(out_stream), in(in_stream), err(err_stream) {}
    std::ostream& out;
    std::istream& in;
    std::ostream& err;
    /// `err` is a terminal: a run shows its progress and a summary there (main sets it).
    bool err_is_terminal = false;
    /// Where the record loop reports the line it hands to the gridding; none when null.
    Progress* progress = nullptr;
};

/// Exit statuses of a run.
inline constexpr int kExitOk = 0;          // every record converted, every line gridded
inline constexpr int kExitStop = 1;        // stopped on an error, or nothing converted
inline constexpr int kExitIncomplete = 3;  // finished, but a record, a line or a grid left out

/// Runs halvex with the arguments after the program name: --help and --version print
/// their text (the version is `version`) and return kExitOk; otherwise the conversion.
/// Returns kExitOk when every record was converted, kExitIncomplete when the run read
/// the model file to its end but skipped a record or dropped a line, kExitStop after
/// any stop (its one-line message written) or when no line was converted. `gridder`
/// grids each completed line of three or more records.
int run(std::span<const std::string> args, Console& console, SectionGridder& gridder,
        std::string_view version = {});

/// As above, gridding every line through the gridding library: on the calling thread
/// with the state carried through the run (MincGridder), or with -j N on N threads,
/// each line from a fresh state (ParallelGridder). A run that completed but in which a
/// gridding call failed also returns kExitIncomplete. With console.err_is_terminal the
/// run's progress and a summary line are shown on console.err.
int run(std::span<const std::string> args, Console& console, std::string_view version = {});

}  // namespace driver
