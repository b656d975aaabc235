// The command line of halvex: up to three operands (model file, cell size, number of
// depth cells), the options --help, --version and -j/--jobs, and "--", after which every
// argument is an operand, so that a model file whose name starts with "-" stays reachable.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "model_options.hpp"

namespace driver {

enum class Action { run, help, version };

struct CommandLine {
    Action action = Action::run;
    std::vector<std::string> operands;  // in order, options and the first "--" removed
    std::string unknown_option;         // the first unknown "--..." argument, if any
    int jobs = 0;                       // -j: gridding threads; 0 grids on the run's own thread
    std::string bad_jobs;               // the message for a -j value that is not 1..kMaxJobs
    float dx = 0.0f;                    // --dx: the grids' horizontal spacing; 0: the run's
                                        // smallest station step
    std::string bad_dx;                 // the message for a --dx value that is not above 0
    ModelOptions model;                 // the model file's format, fields, lines, output folder
    std::string bad_model_option;       // the message for the first wrong model option
};

/// Sorts the arguments after the program name into options and operands. Before "--",
/// an argument that starts with "--" is an option; a single "-" or "-5" is an operand
/// (negative numbers are values, not options). --help wins over --version. The number
/// of threads is given as "-j N", "-jN", "--jobs N" or "--jobs=N", the horizontal grid
/// spacing as "--dx D" or "--dx=D"; for each, the last one counts.
CommandLine parse_command_line(std::span<const std::string> args);

/// What `halvex --help` prints: usage, operands and defaults, limits, exit statuses.
std::string help_text();

}  // namespace driver
