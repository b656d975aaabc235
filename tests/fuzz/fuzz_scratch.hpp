// Shared by the fuzz targets: a failed check traps (the fuzzer reports it as a crash),
// and each input runs in a scratch folder of its own that is removed afterwards.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

namespace fuzz {

inline void require(bool ok) {
    if (!ok) __builtin_trap();
}

// A scratch folder named for the target and the process, current while one input
// runs; anything left from an earlier input is removed first.
class Scratch {
public:
    explicit Scratch(const std::string& target)
        : previous_(std::filesystem::current_path()),
          dir_(std::filesystem::temp_directory_path() /
               ("halvex_" + target + "_fuzz_" + std::to_string(::getpid()))) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    // The names of the files in the folder.
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            out.insert(e.path().filename().string());
        return out;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

}  // namespace fuzz
