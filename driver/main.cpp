// halvex: converts a Corvane model file into text tables, line point files and
// section grids. All the work happens in run(); main only hands over the arguments,
// the process console and the release number, and returns the exit status.
#include <iostream>
#include <string>
#include <vector>

#include "gridout/byte_file.hpp"
#include "halvex_version.hpp"
#include "progress.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // A run stopped by a signal leaves no temporary beside an output it was replacing.
    gridout::remove_temporaries_on_signals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    driver::Console console{std::cout, std::cin, std::cerr};
    console.err_is_terminal = driver::stderr_is_terminal();
    return driver::run(args, console, HALVEX_VERSION);
}
