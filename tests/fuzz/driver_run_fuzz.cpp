// libFuzzer target for a whole conversion run without gridding. The first input byte
// chooses the number of depth cells (1 to 8) and the cell size; the rest is the model
// file. The run happens in a private scratch folder; it must end with status 0, 1 or 3,
// a run that read its model file to the end (0 or 3) leaves a combined table of whole
// 110-byte rows after its header, and no run leaves its folder lock behind.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run.hpp"

#include "fuzz_scratch.hpp"

namespace {

namespace fs = std::filesystem;

using fuzz::require;
using fuzz::Scratch;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Scratch scratch("run");
    static const char* const kCells[] = {"5", "0.5", "1.0D1", "25", "1e-3", "1e7", "2.5", "100"};
    const std::string ndepth = std::to_string(1 + data[0] % 8);
    const std::string cell = kCells[(data[0] / 8) % 8];
    std::ofstream("f.mod", std::ios::binary)
        .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));

    std::ostringstream out;
    std::istringstream in;
    driver::Console console{out, in};
    driver::NoGridding none;
    const std::vector<std::string> args = {"f.mod", cell, ndepth};
    const int status = driver::run(args, console, none);
    require(status == driver::kExitOk || status == driver::kExitStop ||
            status == driver::kExitIncomplete);
    if (status != driver::kExitStop) {
        const auto bytes = fs::file_size("f_all.xyz");
        require(bytes >= 58 && (bytes - 58) % 110 == 0);
    }
    require(!fs::exists(".halvex.lock"));
    return 0;
}
