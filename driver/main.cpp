// halvex: converts a Corvane model file into text tables, line point files and
// section grids. All the work happens in run(); main only sets the allocator's policy,
// hands over the arguments, the process console and the release number, and returns
// the exit status.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#if defined(__GLIBC__)  // set by the C library's headers above
#include <malloc.h>
#endif

#include "gridout/byte_file.hpp"
#include "halvex_version.hpp"
#include "progress.hpp"
#include "run.hpp"

namespace {

// Every gridding call allocates its stores and frees them at its end, and the next call
// of the run wants stores of about the same sizes. By default glibc hands large blocks
// back to the system on every free, and the next call then takes a page fault for
// every page it touches, zeroed by the kernel, while the other gridding threads wait
// on the same process's memory map. Keeping freed memory for the next call makes a
// whole run about 10 % faster, and -j runs more (the peak stays what the largest line
// needs). 32 MiB is the largest threshold glibc accepts for blocks taken from its heaps.
void keep_freed_memory_for_the_next_call() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    keep_freed_memory_for_the_next_call();
    std::ios::sync_with_stdio(false);
    // A run stopped by a signal leaves no temporary beside an output it was replacing.
    gridout::remove_temporaries_on_signals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    driver::Console console{std::cout, std::cin, std::cerr};
    console.err_is_terminal = driver::stderr_is_terminal();
    return driver::run(args, console, HALVEX_VERSION);
}
