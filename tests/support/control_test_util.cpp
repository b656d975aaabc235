// Scratch directories of the gridding entry's tests.
#include "control_test_util.hpp"

#include <unistd.h>

#include <atomic>
#include <random>

namespace control_test {

namespace fs = std::filesystem;

TempDir::TempDir(bool enter) : entered_(enter) {
    // Process id and a counter keep names apart within a run, the random part between
    // runs that share a process id.
    static std::atomic<int> n{0};
    std::random_device rd;
    path_ = fs::temp_directory_path() / ("control_test_" + std::to_string(::getpid()) + "_" +
                                         std::to_string(n++) + "_" + std::to_string(rd()));
    fs::create_directories(path_);
    if (entered_) {
        old_ = fs::current_path();
        fs::current_path(path_);
    }
}

TempDir::~TempDir() {
    if (entered_) fs::current_path(old_);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::set<std::string> TempDir::names() const {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(path_)) out.insert(e.path().filename().string());
    return out;
}

}  // namespace control_test
