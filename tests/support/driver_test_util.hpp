// Helpers shared by the driver's tests: a scratch folder that is the current directory
// while a test runs, and whole-file reads and writes.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace driver_test {

/// A fresh folder under the system's temporary directory, made the current directory
/// for the object's lifetime; the previous one is restored and the folder removed after.
class ScratchDir {
public:
    explicit ScratchDir(std::string_view prefix);
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

void write_file(const std::string& name, std::string_view bytes);
void write_floats(const std::string& name, std::span<const float> words);
/// The whole file; empty when it cannot be read.
std::string read_file(const std::string& name);
/// Bytes as 32-bit reals in machine order (a trailing partial word is dropped).
std::vector<float> floats_of(std::string_view bytes);
std::vector<float> read_floats(const std::string& name);

}  // namespace driver_test
