// TRSOUT: value range and its log line, ICODE 112, the plane, the null mask, record
// addressing of the row file, append mode, the name rule and failures.
#include "gridout/trsout.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "gridout_test_util.hpp"

namespace {

using namespace gridout;
using namespace gridout_test;

constexpr float N = kGridDummy;

// The inputs of one call: a companion grid (512 header bytes, whose content TRSOUT does
// not read, then rows of ne values) and a row file of lrec-word records.
struct Inputs {
    MemoryFileSystem fs;
    std::unique_ptr<ByteFile> luin, lurow;
    void make(const std::vector<float>& grid_rows, const std::vector<float>& row_file) {
        Bytes g(512, std::byte{0});
        const Bytes v = floats_as_bytes(grid_rows);
        g.insert(g.end(), v.begin(), v.end());
        put_file(fs, "mask.grd", g);
        put_file(fs, "rows.tmp", floats_as_bytes(row_file));
        luin = fs.open("mask.grd", OpenMode::read_only);
        lurow = fs.open("rows.tmp", OpenMode::read_write);
    }
};

TrsoutParams simple(int ne, int nv) {
    TrsoutParams p;
    p.ne = ne;
    p.nv = nv;
    p.lrec = ne;
    p.irec0 = 0;  // row r is record r - 1: the file is just the rows
    return p;
}

TEST(Trsout, RangeHeaderAndLogLine) {
    Inputs in;
    in.make({0, 0, 0}, {10, 5, 7});
    TrsoutParams p = simple(3, 1);
    p.x_first = 100.0f;
    p.y_first = -50.0f;
    p.dx = 0.5f;
    p.dy = 2.0f;
    p.dummy = -99999.0f;
    const TrsoutResult r = trsout(in.fs, "t.grd", *in.luin, *in.lurow, p);
    ASSERT_EQ(r.status, GridStatus::ok);
    EXPECT_EQ(r.zmin, 5.0f);
    EXPECT_EQ(r.zmax, 10.0f);
    const Bytes b = in.fs.contents("t.grd");
    ASSERT_EQ(b.size(), 512u + 12u);
    GridData d;
    ASSERT_EQ(read_grid(in.fs, "t.grd", d), GridStatus::ok);
    expect_frame(d.header, {3, 1, -2, 0.5, 2.0, 100.0, -50.0});
    EXPECT_EQ(f32_at(b, 160), 5.0f);
    EXPECT_EQ(f32_at(b, 164), 10.0f);
    EXPECT_EQ(f32_at(b, 168), -99999.0f) << "the caller's null value, not the grid dummy";
    EXPECT_EQ(f32_at(b, 172), -99999.0f);
    EXPECT_EQ(d.header.variance, -99999.0);
    EXPECT_EQ(floats_from(b, 512), (std::vector<float>{10, 5, 7}));
    // 20 + 14 + 3 + 12 + 2 characters; only the first 12 of the largest value's field.
    EXPECT_EQ(r.log_line, "Transformed range :         5.0000          10.00\r\n");
    EXPECT_EQ(r.log_line.size(), 51u);
    std::array<std::byte, 4> probe{};
    EXPECT_EQ(in.lurow->read(probe), -1) << "the row file is closed";
}

TEST(Trsout, RangeKeepsItsStartsOnlyWithoutValues) {
    struct Case { const char* what; int nv; std::vector<float> rows; float lo, hi; };
    for (const Case& c : {Case{"only null values keep the starts", 2, {N, N, -2.0e30f, N}, 1.0e7f, -1.0e7f},
                          Case{"values beyond the starts give the true range", 1, {2.0e7f, 3.0e7f}, 2.0e7f, 3.0e7f}}) {
        SCOPED_TRACE(c.what);
        Inputs in;
        in.make(std::vector<float>(c.rows.size(), 0.0f), c.rows);
        const TrsoutResult r = trsout(in.fs, "n.grd", *in.luin, *in.lurow, simple(2, c.nv));
        ASSERT_EQ(r.status, GridStatus::ok);
        const Bytes b = in.fs.contents("n.grd");
        EXPECT_EQ(f32_at(b, 160), c.lo);
        EXPECT_EQ(f32_at(b, 164), c.hi);
        EXPECT_EQ(r.zmin, c.lo);
        EXPECT_EQ(r.zmax, c.hi);
    }
}

TEST(Trsout, PlaneIsAddedOnlyWithItrendOneAndIcodeNot112) {
    // 2 x 2 zeros; plane 100 + 1 x (c - 1) x 2 + 10 x (r - 1) x 3.
    struct Case { int itrend, icode; std::vector<float> want; };
    for (const Case& c : {Case{1, 0, {100, 102, 130, 132}}, Case{1, 112, {0, 0, 0, 0}},
                          Case{0, 0, {0, 0, 0, 0}}, Case{2, 0, {0, 0, 0, 0}}}) {
        SCOPED_TRACE("ITREND " + std::to_string(c.itrend) + ", ICODE " + std::to_string(c.icode));
        Inputs in;
        in.make({0, 0, 0, 0}, {0, 0, 0, 0});
        TrsoutParams p = simple(2, 2);
        p.itrend = c.itrend;
        p.icode = c.icode;
        p.a0 = 100.0f;
        p.ax = 1.0f;
        p.ay = 10.0f;
        p.dx = 2.0f;
        p.dy = 3.0f;
        const TrsoutResult r = trsout(in.fs, "p.grd", *in.luin, *in.lurow, p);
        ASSERT_EQ(r.status, GridStatus::ok);
        EXPECT_EQ(floats_from(in.fs.contents("p.grd"), 512), c.want);
    }
}

TEST(Trsout, PlaneTermsAreAddedOneByOneInSinglePrecision) {
    // Floats near 1.0E8 lie 8 apart. Added one by one, 1.0E8 + 3 rounds back to 1.0E8 and
    // so does the next + 3; the sum of the plane's terms first (6) would give 100000008.
    Inputs in;
    in.make({0, 0}, {1.0e8f, 1.0e8f});
    TrsoutParams p = simple(2, 1);
    p.itrend = 1;
    p.a0 = 3.0f;
    p.ax = 3.0f;
    const TrsoutResult r = trsout(in.fs, "o.grd", *in.luin, *in.lurow, p);
    ASSERT_EQ(r.status, GridStatus::ok);
    EXPECT_EQ(floats_from(in.fs.contents("o.grd"), 512), (std::vector<float>{1.0e8f, 1.0e8f}));
}

TEST(Trsout, NegativeImaskKeepsTheCompanionsNulls) {
    for (int imask : {-1, 0, 1}) {
        SCOPED_TRACE("IMASK " + std::to_string(imask));
        Inputs in;
        in.make({0, N, -1.0e30f, 0}, {1, 2, 3, 4});
        TrsoutParams p = simple(4, 1);
        p.imask = imask;
        const TrsoutResult r = trsout(in.fs, "m.grd", *in.luin, *in.lurow, p);
        ASSERT_EQ(r.status, GridStatus::ok);
        const auto v = floats_from(in.fs.contents("m.grd"), 512);
        if (imask < 0) {
            EXPECT_EQ(v, (std::vector<float>{1, N, -1.0e30f, 4}));
            EXPECT_EQ(r.zmin, 1.0f);
            EXPECT_EQ(r.zmax, 4.0f);
        } else {
            EXPECT_EQ(v, (std::vector<float>{1, 2, 3, 4}));
        }
    }
}

TEST(Trsout, RecordAddressingWithIoffAndIrec0) {
    // Records of 4 words; row r is record IREC0 + r - 1 = r + 1, values at places 1 and 2.
    const std::vector<float> rows = {
        0, 0, 0, 0,     // record 0
        0, 0, 0, 0,     // record 1
        9, 11, 12, 9,   // record 2: row 1
        9, 21, 22,      // record 3: row 2, ends early after the words in use
    };
    Inputs in;
    in.make({0, 0, 0, 0}, rows);
    TrsoutParams p = simple(2, 2);
    p.lrec = 4;
    p.ioff = 1;
    p.irec0 = 2;
    const TrsoutResult r = trsout(in.fs, "a.grd", *in.luin, *in.lurow, p);
    ASSERT_EQ(r.status, GridStatus::ok);
    EXPECT_EQ(floats_from(in.fs.contents("a.grd"), 512), (std::vector<float>{11, 12, 21, 22}));
}

TEST(Trsout, AppendAddsRowsBehindTheFileWithoutAHeader) {
    Inputs in;
    in.make({0, 0}, {5, 6});
    put_file(in.fs, "app.grd", floats_as_bytes({1, 2}));
    TrsoutParams p = simple(2, 1);
    p.iappend = 1;
    const TrsoutResult r = trsout(in.fs, "app.grd", *in.luin, *in.lurow, p);
    ASSERT_EQ(r.status, GridStatus::ok);
    EXPECT_EQ(floats_from(in.fs.contents("app.grd"), 0), (std::vector<float>{1, 2, 5, 6}));
    EXPECT_TRUE(r.log_line.empty());
    EXPECT_EQ(r.zmin, 5.0f);

    Inputs fresh;
    fresh.make({0, 0}, {7, 8});
    ASSERT_EQ(trsout(fresh.fs, "new.grd", *fresh.luin, *fresh.lurow, p).status, GridStatus::ok);
    EXPECT_EQ(floats_from(fresh.fs.contents("new.grd"), 0), (std::vector<float>{7, 8}));
}

TEST(Trsout, NameRule) {
    using namespace std::string_literals;
    struct Case { std::string text, name; };
    for (const Case& c : {Case{"out.grd junk", "out.grd"}, Case{"out.grd\0x y"s, "out.grd"},
                          Case{"out grd\0"s, "out grd"}, Case{"\0abc"s, "outfile.grd"},
                          Case{"   ", "outfile.grd"}, Case{"o", "o"}}) {
        SCOPED_TRACE("'" + c.text + "'");
        EXPECT_EQ(trsout_file_name(c.text), c.name);
    }
}

TEST(Trsout, FailuresChangeNoFile) {
    {
        SCOPED_TRACE("companion grid ends early");
        Inputs in;
        in.make({0, 0, 0}, {1, 2, 3, 4});
        put_file(in.fs, "keep.grd", floats_as_bytes({42}));
        EXPECT_EQ(trsout(in.fs, "keep.grd", *in.luin, *in.lurow, simple(2, 2)).status, GridStatus::short_source);
        EXPECT_EQ(floats_from(in.fs.contents("keep.grd"), 0), (std::vector<float>{42}));
        EXPECT_EQ(in.fs.names().size(), 3u) << "no temporary left";
    }
    {
        SCOPED_TRACE("row file ends before the words in use");
        Inputs in;
        in.make({0, 0, 0, 0}, {1, 2, 3});
        EXPECT_EQ(trsout(in.fs, "x.grd", *in.luin, *in.lurow, simple(2, 2)).status, GridStatus::short_source);
        EXPECT_FALSE(in.fs.exists("x.grd"));
    }
    {
        SCOPED_TRACE("IOFF + NE beyond the record");
        Inputs in;
        in.make({0, 0}, {1, 2});
        TrsoutParams p = simple(2, 1);
        p.ioff = 1;
        EXPECT_EQ(trsout(in.fs, "x.grd", *in.luin, *in.lurow, p).status, GridStatus::bad_arguments);
        EXPECT_FALSE(in.fs.exists("x.grd"));
        std::array<std::byte, 4> probe{};
        EXPECT_EQ(in.lurow->read(probe), -1) << "the row file is closed on failure too";
    }
}

}  // namespace
