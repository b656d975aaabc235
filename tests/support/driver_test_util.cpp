#include "driver_test_util.hpp"

#include <cstring>
#include <fstream>
#include <sstream>

namespace driver_test {

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
