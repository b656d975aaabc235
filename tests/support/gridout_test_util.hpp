// Test helpers shared by the grid-file tests: raw bytes in and out of memory files,
// grid files built from a header and values, little-endian words read back by hand,
// byte checks with the offset in the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "control_test_util.hpp"
#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"

namespace gridout_test {

using Bytes = std::vector<std::byte>;

/// The floats' bytes as they lie in memory (little-endian).
Bytes floats_as_bytes(const std::vector<float>& v);

/// A 4-byte little-endian word at byte `at`, assembled byte by byte.
std::uint32_t u32_at(const Bytes& b, std::size_t at);
float f32_at(const Bytes& b, std::size_t at);
std::int32_t i32_at(const Bytes& b, std::size_t at);

/// Every whole 4-byte real from byte `from` to the end.
std::vector<float> floats_from(const Bytes& b, std::size_t from);
/// The values after the 512-byte header, in file order.
inline std::vector<float> body(const Bytes& b) { return floats_from(b, 512); }

/// Creates `name` on fs holding exactly b (a gtest failure when it cannot).
void put_file(gridout::FileSystem& fs, const std::string& name, const Bytes& b);

/// The encoded header followed by the values as given (file order).
Bytes grid_bytes(const gridout::GridHeader& h, const std::vector<float>& file_values);

/// A blank header of ne x nv values with orientation kx and unit spacings.
gridout::GridHeader unit_header(int ne, int nv, int kx);

/// Writes a grid file whose node (c, r), 0-based from the origin, is values[r * ne + c],
/// its vectors stored as orientation kx asks; unit spacings, origin 0.
void put_grid(gridout::FileSystem& fs, const std::string& name, int ne, int nv, int kx,
              const std::vector<float>& values);

/// The frame words a writer sets: counts, orientation, spacings and origin.
struct Frame {
    int ne, nv, kx;
    double de, dv, x0, y0;
};
/// Checks each frame word of h against want, naming the word on a mismatch.
void expect_frame(const gridout::GridHeader& h, const Frame& want);

/// Checks that bytes [at, at + expected.size()) hold the listed byte values.
void expect_bytes(const Bytes& b, std::size_t at, std::initializer_list<int> expected, const char* what);
/// Checks that n bytes from `at` all hold `value`.
void expect_filled(const Bytes& b, std::size_t at, std::size_t n, int value, const char* what);

/// The path of a file in a scratch folder.
inline std::string file_in(const control_test::TempDir& dir, const std::string& name) {
    return (dir.path() / name).string();
}

}  // namespace gridout_test
