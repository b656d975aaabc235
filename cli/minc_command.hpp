// The minc command as a library: the arguments parsed into options, the options turned
// into a gridding request, and one run that reports on the streams it is handed and
// returns the exit status. The program itself (main.cpp) only passes argv and the
// standard streams; tests pass their own.
#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "minc/minc.hpp"

namespace minc_cli {

/// Exit statuses of the command.
enum class Exit : int {
    ok = 0,
    gridding_failed = 1,  // the library returned a failure code (printed with its text)
    bad_input = 2,        // bad arguments, or an input that cannot be read
    lines_skipped = 3,    // the grid was written but data lines were left out
};

/// The command line as given, before the grid is worked out.
struct Options {
    std::string input;
    std::string output = "grid.grd";
    std::optional<std::vector<float>> region, origin, spacing;
    std::optional<std::vector<int>> size;
    float radius = 0.0f;
    int mode = 1;
    float angle = 0.0f;
    int iterations = 0;
    float dummy = -99999.0f;
    int iopt = 1;
    int binary_channels = 0;  // 0: text input
    std::optional<int> channel;
    bool disk = false;
    bool quiet = false;
};

/// What the arguments ask for: a gridding with its options, the help text or the
/// version, or nothing but a usage error (its one-line message in `error`).
struct Parsed {
    enum class Action { grid, help, version } action = Action::grid;
    Options options;
    std::string error;  // not empty: a usage error
};

/// Parses the arguments after the program name. "--help" and "--version" end the
/// parse where they stand.
Parsed parse_args(std::span<const std::string> args);

/// The request the options describe, without its input (datfile, maxchan and ichan are
/// set only for binary input). A usage error leaves a message in `error` instead.
std::optional<minc::GridRequest> request_of(const Options& o, std::string& error);

/// The streams a run reads and writes.
struct Streams {
    std::istream& in;    // text input named "-"
    std::ostream& out;   // help, version and the success line
    std::ostream& err;   // errors and warnings, one line each
};

/// A whole run of the command: parse, grid, report. Never exits the process.
Exit run(std::span<const std::string> args, Streams io);

}  // namespace minc_cli
