// minc: grids scattered x, y, z data by minimum curvature into a GRD grid file
// (minc_command.hpp does the work).
#include <iostream>
#include <string>
#include <vector>

#include "gridout/byte_file.hpp"
#include "minc_command.hpp"

int main(int argc, char** argv) {
    // A run stopped by a signal leaves no temporary beside the grid it was replacing.
    gridout::remove_temporaries_on_signals();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return static_cast<int>(minc_cli::run(args, {std::cin, std::cout, std::cerr}));
}
