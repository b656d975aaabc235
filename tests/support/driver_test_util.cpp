#include "driver_test_util.hpp"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

namespace driver_test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir(std::string_view prefix) : previous_(fs::current_path()) {
    // The process id keeps parallel test programs apart, the counter the folders of one.
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() / (std::string(prefix) + "_" + std::to_string(::getpid()) +
                                         "_" + std::to_string(counter++));
    fs::create_directories(path_);
    fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(path_, ec);
}

void write_file(const std::string& name, std::string_view bytes) {
    std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void write_floats(const std::string& name, std::span<const float> words) {
    const auto bytes = std::as_bytes(words);
    write_file(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string read_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<float> floats_of(std::string_view bytes) {
    std::vector<float> v(bytes.size() / sizeof(float));
    if (!v.empty()) std::memcpy(v.data(), bytes.data(), v.size() * sizeof(float));
    return v;
}

std::vector<float> read_floats(const std::string& name) { return floats_of(read_file(name)); }

}  // namespace driver_test
