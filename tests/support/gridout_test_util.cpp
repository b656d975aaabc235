// Shared helpers of the grid-file tests.
#include "gridout_test_util.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace gridout_test {

Bytes floats_as_bytes(const std::vector<float>& v) {
    Bytes b(v.size() * 4);
    if (!b.empty()) std::memcpy(b.data(), v.data(), b.size());
    return b;
}

std::uint32_t u32_at(const Bytes& b, std::size_t at) {
    std::uint32_t u = 0;
    for (std::size_t k = 4; k-- > 0;) u = (u << 8) | std::to_integer<std::uint32_t>(b[at + k]);
    return u;
}

float f32_at(const Bytes& b, std::size_t at) { return std::bit_cast<float>(u32_at(b, at)); }

std::int32_t i32_at(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(u32_at(b, at)); }

std::vector<float> floats_from(const Bytes& b, std::size_t from) {
    std::vector<float> v;
    for (std::size_t at = from; at + 4 <= b.size(); at += 4) v.push_back(f32_at(b, at));
    return v;
}

void put_file(gridout::FileSystem& fs, const std::string& name, const Bytes& b) {
    auto f = fs.create(name);
    ASSERT_NE(f, nullptr) << name;
    ASSERT_EQ(f->write(b), std::int64_t(b.size())) << name;
    ASSERT_TRUE(f->close()) << name;
}

Bytes grid_bytes(const gridout::GridHeader& h, const std::vector<float>& file_values) {
    const auto head = gridout::encode_header(h);
    Bytes b(head.begin(), head.end());
    const Bytes v = floats_as_bytes(file_values);
    b.insert(b.end(), v.begin(), v.end());
    return b;
}

gridout::GridHeader unit_header(int ne, int nv, int kx) {
    gridout::GridHeader h = gridout::blank_header();
    h.ne = ne;
    h.nv = nv;
    h.kx = kx;
    h.de = 1.0;
    h.dv = 1.0;
    return h;
}

void put_grid(gridout::FileSystem& fs, const std::string& name, int ne, int nv, int kx,
              const std::vector<float>& values) {
    // Stored order worked out here, apart from the library's own placement.
    std::vector<float> stored(values.size());
    for (int r = 0; r < nv; ++r) {
        const int place = kx == 1 ? r : nv - 1 - r;
        std::copy_n(values.begin() + r * ne, ne, stored.begin() + place * ne);
    }
    put_file(fs, name, grid_bytes(unit_header(ne, nv, kx), stored));
}

void expect_frame(const gridout::GridHeader& h, const Frame& want) {
    EXPECT_EQ(h.ne, want.ne) << "NE";
    EXPECT_EQ(h.nv, want.nv) << "NV";
    EXPECT_EQ(h.kx, want.kx) << "KX";
    EXPECT_EQ(h.de, want.de) << "DE";
    EXPECT_EQ(h.dv, want.dv) << "DV";
    EXPECT_EQ(h.x0, want.x0) << "X0";
    EXPECT_EQ(h.y0, want.y0) << "Y0";
}

void expect_bytes(const Bytes& b, std::size_t at, std::initializer_list<int> expected, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_LE(at + expected.size(), b.size());
    std::size_t k = at;
    for (int e : expected) {
        EXPECT_EQ(std::to_integer<int>(b[k]), e) << "at byte " << k;
        ++k;
    }
}

void expect_filled(const Bytes& b, std::size_t at, std::size_t n, int value, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_LE(at + n, b.size());
    for (std::size_t k = at; k < at + n; ++k) EXPECT_EQ(std::to_integer<int>(b[k]), value) << "at byte " << k;
}

}  // namespace gridout_test
