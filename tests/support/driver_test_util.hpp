// Helpers shared by the driver's tests: whole-file reads and writes (scratch folders
// come from control_test_util.hpp).
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace driver_test {

void write_file(const std::string& name, std::string_view bytes);
void write_floats(const std::string& name, std::span<const float> words);
/// The whole file; empty when it cannot be read.
std::string read_file(const std::string& name);
/// Bytes as 32-bit reals in machine order (a trailing partial word is dropped).
std::vector<float> floats_of(std::string_view bytes);
std::vector<float> read_floats(const std::string& name);

}  // namespace driver_test
