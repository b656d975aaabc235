// Grid files: the header bytes, GEOOUT's row placement, row sources, back-transforms and
// statistics, the name rule, the never-half-written output, and the validating reader.
// Expected bytes are written out by hand from the file format (IEEE encodings worked out
// independently), never taken from the writer's own output.
#include "gridout/grid_file.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "gridout_test_util.hpp"

namespace {

using namespace gridout;
using namespace gridout_test;

RowSource rows_of(std::span<const float> g) { return RowSource::memory(g, RowOrder::rows); }

// GEOOUT with unit cells at the origin.
GeooutResult unit_geoout(RowSource src, FileSystem& fs, const std::string& name, int ncol, int nrow,
                         int mode = 1, int iopt = 1, float dummy = -99999.0f) {
    return geoout(src, fs, name,
                  GeooutParams{.ncol = ncol, .nrow = nrow, .mode = mode, .iopt = iopt, .dummy = dummy});
}

// A file system that forwards to memory but can be made to fail: writes beyond a byte
// budget fail, or the final rename fails.
class FaultyFileSystem final : public FileSystem {
public:
    std::int64_t write_budget = -1;  // bytes every created file accepts; -1 = unlimited
    bool fail_rename = false;
    MemoryFileSystem inner;

    std::unique_ptr<ByteFile> create(const std::string& name) override {
        auto f = inner.create(name);
        if (!f) return nullptr;
        return std::make_unique<Faulty>(std::move(f), write_budget);
    }
    std::unique_ptr<ByteFile> open(const std::string& name, OpenMode mode) override {
        return inner.open(name, mode);
    }
    bool remove(const std::string& name) override { return inner.remove(name); }
    bool exists(const std::string& name) override { return inner.exists(name); }
    bool rename(const std::string& from, const std::string& to) override {
        return !fail_rename && inner.rename(from, to);
    }

private:
    class Faulty final : public ByteFile {
    public:
        Faulty(std::unique_ptr<ByteFile> f, std::int64_t budget) : f_(std::move(f)), budget_(budget) {}
        std::int64_t read(std::span<std::byte> out) override { return f_->read(out); }
        std::int64_t write(std::span<const std::byte> in) override {
            if (budget_ >= 0) {
                if (std::int64_t(in.size()) > budget_) return -1;
                budget_ -= std::int64_t(in.size());
            }
            return f_->write(in);
        }
        std::int64_t seek(std::int64_t o) override { return f_->seek(o); }
        std::int64_t size() override { return f_->size(); }
        bool close() override { return f_->close(); }

    private:
        std::unique_ptr<ByteFile> f_;
        std::int64_t budget_;
    };
};

const std::vector<float> k3x2 = {1, 2, 3, 4, 5, 6};  // 3 columns, rows (1 2 3) (4 5 6)

TEST(GridHeader, GeooutWritesEveryFieldAtItsOffset) {
    MemoryFileSystem fs;
    auto r = geoout(rows_of(k3x2), fs, "h.grd",
                    GeooutParams{.ncol = 3, .nrow = 2, .xorg = -3.0f, .yorg = 100.0f, .dx = 0.5f, .dy = 2.0f,
                                 .dummy = -99999.0f});
    ASSERT_EQ(r.status, GridStatus::ok);
    const Bytes b = fs.contents("h.grd");
    ASSERT_EQ(b.size(), 512u + 6u * 4u);
    expect_bytes(b, 0, {4, 0, 0, 0}, "element size");
    expect_bytes(b, 4, {2, 0, 0, 0}, "element type");
    expect_bytes(b, 8, {3, 0, 0, 0}, "columns");
    expect_bytes(b, 12, {2, 0, 0, 0}, "rows");
    expect_bytes(b, 16, {1, 0, 0, 0}, "orientation for IOPT 1");
    expect_bytes(b, 20, {0, 0, 0, 0, 0, 0, 0xe0, 0x3f}, "DE = 0.5");
    expect_bytes(b, 28, {0, 0, 0, 0, 0, 0, 0x00, 0x40}, "DV = 2.0");
    expect_bytes(b, 36, {0, 0, 0, 0, 0, 0, 0x08, 0xc0}, "X0 = -3.0");
    expect_bytes(b, 44, {0, 0, 0, 0, 0, 0, 0x59, 0x40}, "Y0 = 100.0");
    expect_filled(b, 52, 16, 0, "angle and base 0.0");
    expect_bytes(b, 68, {0, 0, 0, 0, 0, 0, 0xf0, 0x3f}, "multiplier 1.0");
    expect_filled(b, 76, 48, ' ', "label");
    expect_filled(b, 124, 16, ' ', "map number");
    expect_filled(b, 140, 20, 0, "projection, units, valid nodes");
    expect_bytes(b, 160, {0, 0, 0x80, 0x3f}, "smallest value 1.0");
    expect_bytes(b, 164, {0, 0, 0xc0, 0x40}, "largest value 6.0");
    expect_bytes(b, 168, {0xae, 0xc5, 0x9d, 0xf4}, "median = dummy");
    expect_bytes(b, 172, {0xae, 0xc5, 0x9d, 0xf4}, "mean = dummy");
    expect_bytes(b, 176, {0, 0, 0, 0xc0, 0xb5, 0xb8, 0x93, 0xc6}, "variance = dummy widened");
    expect_filled(b, 184, 4, 0, "processing flag");
    expect_filled(b, 188, 324, ' ', "user area");
    EXPECT_EQ(r.gmin, 1.0f);
    EXPECT_EQ(r.gmax, 6.0f);
}

TEST(GridHeader, EncodeDecodeRoundTripsEveryField) {
    GridHeader h = blank_header();
    h.ne = 7; h.nv = 9; h.kx = -2; h.de = 1.25; h.dv = -0.5; h.x0 = 1e6; h.y0 = -2e6;
    h.angle = 30.0; h.base = 5.0; h.scale = 3.0; h.label[0] = 'L'; h.map_number[15] = 'M';
    h.projection = 1; h.x_unit = 2; h.y_unit = 3; h.z_unit = 4; h.valid_nodes = 63;
    h.zmin = -7.5f; h.zmax = 8.25f; h.median = 1.5f; h.mean = 2.5f; h.variance = 0.125;
    h.flag = 9; h.user[323] = 'U';
    const auto bytes = encode_header(h);
    const GridHeader d = decode_header(bytes);
    EXPECT_EQ(d.ne, 7); EXPECT_EQ(d.nv, 9); EXPECT_EQ(d.kx, -2);
    EXPECT_EQ(d.de, 1.25); EXPECT_EQ(d.dv, -0.5); EXPECT_EQ(d.x0, 1e6); EXPECT_EQ(d.y0, -2e6);
    EXPECT_EQ(d.angle, 30.0); EXPECT_EQ(d.base, 5.0); EXPECT_EQ(d.scale, 3.0);
    EXPECT_EQ(d.label, h.label); EXPECT_EQ(d.map_number, h.map_number);
    EXPECT_EQ(d.projection, 1); EXPECT_EQ(d.x_unit, 2); EXPECT_EQ(d.y_unit, 3); EXPECT_EQ(d.z_unit, 4);
    EXPECT_EQ(d.valid_nodes, 63); EXPECT_EQ(d.zmin, -7.5f); EXPECT_EQ(d.zmax, 8.25f);
    EXPECT_EQ(d.median, 1.5f); EXPECT_EQ(d.mean, 2.5f); EXPECT_EQ(d.variance, 0.125);
    EXPECT_EQ(d.flag, 9); EXPECT_EQ(d.user, h.user);
    // Offsets of a few fields checked against the raw bytes.
    EXPECT_EQ(std::to_integer<int>(bytes[76]), 'L');
    EXPECT_EQ(std::to_integer<int>(bytes[139]), 'M');
    EXPECT_EQ(std::to_integer<int>(bytes[511]), 'U');
    EXPECT_EQ(std::to_integer<int>(bytes[156]), 63);
    EXPECT_EQ(std::to_integer<int>(bytes[184]), 9);
}

TEST(Geoout, RowPlacementByIopt) {
    // 2 columns x 3 rows received as (1 2) (3 4) (5 6).
    const std::vector<float> g = {1, 2, 3, 4, 5, 6};
    struct Case { int iopt; int kx; std::vector<float> file; };
    for (const Case& c : {Case{1, 1, {1, 2, 3, 4, 5, 6}}, Case{0, -2, {5, 6, 3, 4, 1, 2}},
                          Case{2, -2, {5, 6, 3, 4, 1, 2}}, Case{-1, -2, {5, 6, 3, 4, 1, 2}}}) {
        SCOPED_TRACE("IOPT " + std::to_string(c.iopt));
        MemoryFileSystem fs;
        auto r = unit_geoout(rows_of(g), fs, "p.grd", 2, 3, 1, c.iopt);
        ASSERT_EQ(r.status, GridStatus::ok);
        const Bytes b = fs.contents("p.grd");
        EXPECT_EQ(i32_at(b, 16), c.kx);
        EXPECT_EQ(body(b), c.file);
        // The first row received lies at byte 512 with IOPT 1 and at 512 + 2 x 4 x 2 otherwise.
        EXPECT_EQ(f32_at(b, c.iopt == 1 ? 512 : 512 + 16), 1.0f);
    }
}

TEST(Geoout, EachRowSource) {
    MemoryFileSystem fs;
    // A scratch file of rows (1 2) (3 4) (5 6), left positioned at its end.
    put_file(fs, "rows.tmp", floats_as_bytes({1, 2, 3, 4, 5, 6}));
    auto rows = fs.open("rows.tmp", OpenMode::read_write);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->seek(24), 24);
    {
        SCOPED_TRACE("IHAND > 0: the open file, read from byte 0");
        auto r = unit_geoout(RowSource::stream(*rows), fs, "s.grd", 2, 3);
        ASSERT_EQ(r.status, GridStatus::ok);
        EXPECT_EQ(body(fs.contents("s.grd")), (std::vector<float>{1, 2, 3, 4, 5, 6}));
        std::array<std::byte, 4> probe{};
        EXPECT_EQ(rows->read(probe), 0) << "the source file stays open, read to its end";
    }
    const std::vector<float> g = {1, 2, 3, 4, 5, 6};
    // A 3 x 3 array GRID(i, j) = 10 j + i, stored with i fastest.
    const std::vector<float> sq = {11, 12, 13, 21, 22, 23, 31, 32, 33};
    const std::vector<float> sq_by_columns = {11, 21, 31, 12, 22, 32, 13, 23, 33};
    struct Case { const char* what; int ihand, n; const std::vector<float>& grid; std::vector<float> file; };
    for (const Case& c : {Case{"IHAND 0", 0, 2, g, {1, 2, 3, 4, 5, 6}},
                          Case{"IHAND -1: the array's rows from the last to the first", -1, 2, g, {5, 6, 3, 4, 1, 2}},
                          Case{"IHAND -2: row k is GRID(k, 1..NCOL)", -2, 3, sq, sq_by_columns},
                          Case{"IHAND -9: row k is GRID(k, 1..NCOL)", -9, 3, sq, sq_by_columns}}) {
        SCOPED_TRACE(c.what);
        auto r = unit_geoout(RowSource::memory_by_ihand(c.grid, c.ihand), fs, "m.grd", c.n, 3);
        ASSERT_EQ(r.status, GridStatus::ok);
        EXPECT_EQ(body(fs.contents("m.grd")), c.file);
    }
    {
        SCOPED_TRACE("IHAND below -1 needs a square grid");
        auto r = unit_geoout(RowSource::memory_by_ihand(g, -2), fs, "bad.grd", 2, 3);
        EXPECT_EQ(r.status, GridStatus::bad_arguments);
        EXPECT_FALSE(fs.exists("bad.grd"));
    }
}

TEST(Geoout, BackTransformsByMode) {
    const float e = 2.7182817f;
    MemoryFileSystem fs;
    {
        SCOPED_TRACE("MODE 2: e^v");
        const std::vector<float> g = {0.0f, 1.0f, -99999.0f, 2.0f};
        auto r = unit_geoout(rows_of(g), fs, "m2.grd", 4, 1, 2);
        ASSERT_EQ(r.status, GridStatus::ok);
        const auto v = body(fs.contents("m2.grd"));
        ASSERT_EQ(v.size(), 4u);
        EXPECT_EQ(v[0], 1.0f);
        EXPECT_EQ(v[1], e);
        EXPECT_EQ(v[2], kGridDummy);
        EXPECT_FLOAT_EQ(v[3], static_cast<float>(static_cast<double>(e) * static_cast<double>(e)));
        EXPECT_EQ(r.gmin, 1.0f);
        EXPECT_EQ(r.gmax, v[3]);
    }
    {
        SCOPED_TRACE("MODE 3: signed");
        const std::vector<float> g = {2.0f, -2.0f, 0.5f, 1.0f, -1.0f, -0.25f, 3.0f};
        auto r = unit_geoout(rows_of(g), fs, "m3.grd", 7, 1, 3);
        ASSERT_EQ(r.status, GridStatus::ok);
        const auto v = body(fs.contents("m3.grd"));
        ASSERT_EQ(v.size(), 7u);
        EXPECT_EQ(v[0], e);
        EXPECT_EQ(v[1], -e);
        EXPECT_EQ(v[2], 0.5f);
        EXPECT_EQ(v[3], 1.0f);
        EXPECT_EQ(v[4], -1.0f);
        EXPECT_EQ(v[5], -0.25f);
        EXPECT_FLOAT_EQ(v[6], static_cast<float>(static_cast<double>(e) * static_cast<double>(e)));
        EXPECT_EQ(r.gmin, -e);
        EXPECT_EQ(r.gmax, v[6]);
    }
    {
        // e^v overflows above v = 88.72: such a grid has no usable range, so none is written.
        SCOPED_TRACE("values that are not finite once transformed back");
        struct Case { int mode; float v; };
        for (const Case& c : {Case{2, 88.8f}, Case{3, 89.8f}, Case{3, -89.8f}, Case{1, INFINITY}, Case{2, NAN}}) {
            SCOPED_TRACE("MODE " + std::to_string(c.mode) + ", value " + std::to_string(c.v));
            const std::vector<float> g = {1.0f, c.v, -99999.0f, 0.5f};
            auto r = unit_geoout(rows_of(g), fs, "inf.grd", 2, 2, c.mode);
            EXPECT_EQ(r.status, GridStatus::not_finite);
            EXPECT_FALSE(fs.exists("inf.grd"));
        }
        const std::vector<float> g = {88.7f, 89.7f, -89.7f, 0.0f};
        auto r = unit_geoout(rows_of(g), fs, "big.grd", 2, 2, 3);
        EXPECT_EQ(r.status, GridStatus::ok) << "the largest values that still fit";
    }
    {
        SCOPED_TRACE("other MODE values leave values alone");
        for (int mode : {1, 0, 4, -3}) {
            EXPECT_EQ(back_transform(2.0f, mode), 2.0f);
            EXPECT_EQ(back_transform(-5.0f, mode), -5.0f);
        }
    }
}

TEST(Geoout, AllDummyGridKeepsTheStartingStatistics) {
    MemoryFileSystem fs;
    const std::vector<float> g(6, -99999.0f);
    auto r = unit_geoout(rows_of(g), fs, "d.grd", 3, 2, 2);
    ASSERT_EQ(r.status, GridStatus::ok);
    const Bytes b = fs.contents("d.grd");
    for (std::size_t at = 512; at < b.size(); at += 4) expect_bytes(b, at, {0xae, 0xc5, 0x9d, 0xf4}, "dummy node");
    expect_bytes(b, 160, {0x80, 0x96, 0x18, 0x4b}, "1.0E7");
    expect_bytes(b, 164, {0x80, 0x96, 0x18, 0xcb}, "-1.0E7");
    EXPECT_EQ(r.gmin, 1.0e7f);
    EXPECT_EQ(r.gmax, -1.0e7f);
}

TEST(Geoout, StatisticsAreTheTrueExtremes) {
    MemoryFileSystem fs;
    struct Case { const char* what; std::vector<float> g; float lo, hi; };
    for (const Case& c : {Case{"every value above 1.0E7", {2.0e7f, 3.0e7f}, 2.0e7f, 3.0e7f},
                          Case{"every value below -1.0E7", {-3.0e7f, -2.0e7f}, -3.0e7f, -2.0e7f},
                          Case{"one value above 1.0E7 raises the maximum", {5.0f, 4.0e7f}, 5.0f, 4.0e7f},
                          Case{"dummy is left out", {-99999.0f, 7.0f}, 7.0f, 7.0f}}) {
        SCOPED_TRACE(c.what);
        auto r = unit_geoout(rows_of(c.g), fs, "x.grd", 2, 1);
        ASSERT_EQ(r.status, GridStatus::ok);
        EXPECT_EQ(r.gmin, c.lo);
        EXPECT_EQ(r.gmax, c.hi);
        const Bytes b = fs.contents("x.grd");
        EXPECT_EQ(f32_at(b, 160), c.lo);
        EXPECT_EQ(f32_at(b, 164), c.hi);
    }
}

TEST(GridNames, OutputNameIsUsedAsGiven) {
    MemoryFileSystem fs;
    const std::vector<float> g = {1, 2};
    // Blanks and a one-character name are kept: the name rules belong to the C entries.
    ASSERT_EQ(unit_geoout(rows_of(g), fs, "a   ", 2, 1, 1, 1, 0.0f).status, GridStatus::ok);
    ASSERT_EQ(unit_geoout(rows_of(g), fs, "b", 2, 1, 1, 1, 0.0f).status, GridStatus::ok);
    EXPECT_EQ(fs.names(), (std::vector<std::string>{"a   ", "b"}));
}

TEST(Geoout, ShortSourceFailsAndKeepsTheEarlierFile) {
    MemoryFileSystem fs;
    put_file(fs, "out.grd", Bytes(3, std::byte{'o'}));
    put_file(fs, "rows.tmp", floats_as_bytes({1, 2, 3}));  // 1.5 rows of 2
    auto rows = fs.open("rows.tmp", OpenMode::read_only);
    ASSERT_NE(rows, nullptr);
    auto r = unit_geoout(RowSource::stream(*rows), fs, "out.grd", 2, 2, 1, 1, 0.0f);
    EXPECT_EQ(r.status, GridStatus::short_source);
    EXPECT_EQ(fs.contents("out.grd"), Bytes(3, std::byte{'o'}));
    EXPECT_EQ(fs.names(), (std::vector<std::string>{"out.grd", "rows.tmp"})) << "no temporary left";
}

TEST(Geoout, RefusesImpossibleArguments) {
    MemoryFileSystem fs;
    const std::vector<float> g = {1, 2, 3};
    struct Case { const char* what; int ncol, nrow; float yorg, dx; };
    for (const Case& c : {Case{"no columns", 0, 1, 0, 1}, Case{"negative rows", 1, -1, 0, 1},
                          Case{"grid smaller than NCOL x NROW", 2, 2, 0, 1},
                          Case{"a spacing the reader would refuse", 3, 1, 0, HUGE_VALF},
                          Case{"an origin the reader would refuse", 3, 1, std::nanf(""), 1}}) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(geoout(rows_of(g), fs, "z.grd",
                         GeooutParams{.ncol = c.ncol, .nrow = c.nrow, .yorg = c.yorg, .dx = c.dx})
                      .status,
                  GridStatus::bad_arguments);
    }
    EXPECT_TRUE(fs.names().empty());
}

TEST(Geoout, FailedWritesAreReportedAndLeaveNothing) {
    const std::vector<float> g = {1, 2, 3, 4};
    for (std::int64_t budget : {0, 100, 512, 516}) {
        SCOPED_TRACE("write budget " + std::to_string(budget));
        FaultyFileSystem fs;
        fs.write_budget = budget;
        auto r = unit_geoout(rows_of(g), fs, "w.grd", 2, 2, 1, 1, 0.0f);
        EXPECT_EQ(r.status, GridStatus::write_failed);
        EXPECT_TRUE(fs.inner.names().empty());
    }
    {
        SCOPED_TRACE("rename fails");
        FaultyFileSystem fs;
        fs.fail_rename = true;
        auto r = unit_geoout(rows_of(g), fs, "w.grd", 2, 2, 1, 1, 0.0f);
        EXPECT_EQ(r.status, GridStatus::write_failed);
        EXPECT_TRUE(fs.inner.names().empty());
    }
}

TEST(Geoout, OnDiskReplacesTheFileAndLeavesNoTemporary) {
    control_test::TempDir dir;
    DiskFileSystem fs;
    put_file(fs, file_in(dir, "g.grd"), Bytes(2000, std::byte{7}));
    const std::vector<float> g = {1, 2, 3, 4};
    auto r = unit_geoout(rows_of(g), fs, file_in(dir, "g.grd"), 2, 2, 1, 1, 0.0f);
    ASSERT_EQ(r.status, GridStatus::ok);
    EXPECT_EQ(dir.names(), (std::set<std::string>{"g.grd"}));
    EXPECT_EQ(std::filesystem::file_size(file_in(dir, "g.grd")), 512u + 16u);

    auto missing = unit_geoout(rows_of(g), fs, file_in(dir, "no/such/dir/g.grd"), 2, 2, 1, 1, 0.0f);
    EXPECT_EQ(missing.status, GridStatus::cannot_create);
}

TEST(Geoout, WritesADeviceInPlaceInsteadOfReplacingIt) {
    // A link to /dev/full stands for any device or pipe named as the output: the grid
    // goes to the device (and fails there), and the name is never replaced by a file.
    control_test::TempDir dir;
    const std::string full = file_in(dir, "full.grd");
    std::filesystem::create_symlink("/dev/full", full);
    DiskFileSystem fs;
    const std::vector<float> g = {1, 2, 3, 4};
    auto r = unit_geoout(rows_of(g), fs, full, 2, 2, 1, 1, 0.0f);
    EXPECT_EQ(r.status, GridStatus::write_failed);
    EXPECT_TRUE(std::filesystem::is_symlink(full));
    EXPECT_EQ(dir.names(), (std::set<std::string>{"full.grd"}));
}

TEST(GridReader, RoundTripThroughTheWriter) {
    MemoryFileSystem fs;
    const std::vector<float> g = {1, 2, 3, -99999.0f, 5, 6};  // 3 x 2
    for (int iopt : {1, 0}) {
        SCOPED_TRACE("IOPT " + std::to_string(iopt));
        ASSERT_EQ(geoout(rows_of(g), fs, "rt.grd",
                         GeooutParams{.ncol = 3, .nrow = 2, .xorg = 10.0f, .yorg = 20.0f, .dx = 0.25f,
                                      .dy = 4.0f, .iopt = iopt, .dummy = -99999.0f})
                      .status,
                  GridStatus::ok);
        GridData d;
        ASSERT_EQ(read_grid(fs, "rt.grd", d), GridStatus::ok);
        expect_frame(d.header, {3, 2, iopt == 1 ? 1 : -2, 0.25, 4.0, 10.0, 20.0});
        EXPECT_EQ(d.header.zmin, 1.0f);
        EXPECT_EQ(d.header.zmax, 6.0f);
        // node(i, j) counts j from the origin whatever the orientation.
        EXPECT_EQ(d.node(1, 1), 1.0f);
        EXPECT_EQ(d.node(3, 1), 3.0f);
        EXPECT_EQ(d.node(1, 2), kGridDummy);
        EXPECT_EQ(d.node(3, 2), 6.0f);

        auto f = fs.open("rt.grd", OpenMode::read_only);
        GridHeader h;
        ASSERT_EQ(read_grid_header(*f, h), GridStatus::ok);
        std::vector<float> row(3);
        ASSERT_EQ(read_grid_row(*f, h, 0, row), GridStatus::ok);
        EXPECT_EQ(row, iopt == 1 ? (std::vector<float>{1, 2, 3}) : (std::vector<float>{kGridDummy, 5, 6}));
        EXPECT_EQ(read_grid_row(*f, h, 2, row), GridStatus::bad_arguments);
    }
}

// A header with the given counts and element words, followed by `values` floats of 0.
Bytes raw_grid(std::int32_t size, std::int32_t type, std::int32_t ne, std::int32_t nv, std::size_t values,
               double de = 1.0, double x0 = 0.0) {
    GridHeader h = unit_header(ne, nv, 1);
    h.element_size = size;
    h.element_type = type;
    h.de = de;
    h.x0 = x0;
    return grid_bytes(h, std::vector<float>(values, 0.0f));
}

TEST(GridReader, RejectsCorruptHeadersBeforeAllocating) {
    const double nan = std::nan("");
    struct Case { const char* what; Bytes bytes; GridStatus want; };
    const std::vector<Case> cases = {
        {"exact length", raw_grid(4, 2, 3, 2, 6), GridStatus::ok},
        {"longer than needed", raw_grid(4, 2, 3, 2, 9), GridStatus::ok},
        {"one value short", raw_grid(4, 2, 3, 2, 5), GridStatus::bad_header},
        {"header only", raw_grid(4, 2, 3, 2, 0), GridStatus::bad_header},
        {"truncated header", Bytes(100, std::byte{0}), GridStatus::short_source},
        {"empty file", Bytes{}, GridStatus::short_source},
        {"element size 8", raw_grid(8, 2, 3, 2, 12), GridStatus::bad_header},
        {"element type 1", raw_grid(4, 1, 3, 2, 6), GridStatus::bad_header},
        {"zero columns", raw_grid(4, 2, 0, 2, 6), GridStatus::bad_header},
        {"negative columns", raw_grid(4, 2, -3, 2, 6), GridStatus::bad_header},
        {"negative rows", raw_grid(4, 2, 3, -2, 6), GridStatus::bad_header},
        {"huge counts", raw_grid(4, 2, 0x7fffffff, 0x7fffffff, 6), GridStatus::bad_header},
        {"NaN spacing", raw_grid(4, 2, 3, 2, 6, nan), GridStatus::bad_header},
        {"infinite origin", raw_grid(4, 2, 3, 2, 6, 1.0, HUGE_VAL), GridStatus::bad_header},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem fs;
        put_file(fs, "c.grd", c.bytes);
        GridData d;
        EXPECT_EQ(read_grid(fs, "c.grd", d), c.want);
        if (c.want == GridStatus::ok) {
            EXPECT_EQ(d.values.size(), 6u);
        }
    }
    MemoryFileSystem fs;
    GridData d;
    EXPECT_EQ(read_grid(fs, "absent.grd", d), GridStatus::cannot_open);
}

TEST(PendingFile, OnlyCommitPutsTheFileInPlace) {
    MemoryFileSystem fs;
    {
        PendingFile p(fs, "a.grd");
        ASSERT_EQ(p.create(), GridStatus::ok);
        ASSERT_EQ(p.file().write(Bytes(5, std::byte{1})), 5);
        const std::vector<std::string> names = fs.names();
        ASSERT_EQ(names.size(), 1u);
        EXPECT_NE(names[0], "a.grd");
        EXPECT_EQ(names[0].rfind("a.grd", 0), 0u) << "the temporary sits beside the name";
    }
    EXPECT_TRUE(fs.names().empty()) << "abandoned without commit";
    {
        PendingFile p(fs, "a.grd");
        ASSERT_EQ(p.create(), GridStatus::ok);
        ASSERT_EQ(p.file().write(Bytes(5, std::byte{1})), 5);
        ASSERT_EQ(p.commit(), GridStatus::ok);
    }
    EXPECT_EQ(fs.names(), (std::vector<std::string>{"a.grd"}));
    EXPECT_EQ(fs.contents("a.grd"), Bytes(5, std::byte{1}));
}

TEST(RangeTracker, StartsStayOnlyWithoutValidValues) {
    RangeTracker t;
    EXPECT_FALSE(t.any());
    EXPECT_EQ(t.min(), 1.0e7f);
    EXPECT_EQ(t.max(), -1.0e7f);
    t.add(std::nanf(""));
    EXPECT_FALSE(t.any());
    t.add(3.0f);
    t.add(-2.0f);
    t.add(std::nanf(""));
    EXPECT_EQ(t.min(), -2.0f);
    EXPECT_EQ(t.max(), 3.0f);
}

}  // namespace
