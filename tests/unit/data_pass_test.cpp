// Input data pass: home blocks and overlap copies at their thresholds, the record
// chains of the data scratch store, value transforms, the acceptance window and the
// data extent.
#include "data_pass.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <limits>
#include <string>
#include <vector>

#include "mask_picture.hpp"
#include "solver_test_util.hpp"
#include "work_area.hpp"

namespace minc {
namespace {

using test::InputRecord;
using test::kDummy;
using test::make_partition;
using test::store_record;
using Pts = std::vector<test::StorePoint>;

DataTransform plain() {
    DataTransform t;
    t.dummy = kDummy;
    return t;
}

// RNGDAT over an input data file.
DataRange rngdat_of(gridout::ByteFile& data, std::span<float> chan, const DataTransform& t) {
    InputRecords in(data, chan);
    return rngdat(in, t);
}

// SEQDAT with node spacing 1 and the call's stores; xe0 = ye0 = 1 puts node coordinates
// on the cell positions.
DataPassResult run_pass(gridout::ByteFile& data, gridout::ByteFile& scratch, const Partition& part,
                        const DataTransform& t = plain(), int nw = 300, int ncu = 16, int nru = 16, float xe0 = 1.0f,
                        float ye0 = 1.0f) {
    WorkArea w;
    InputRecords in(data, w.channels);
    const DataPassFrame frame{.h = 1.0f, .xe0 = xe0, .ye0 = ye0, .nw = nw, .ncu = ncu, .nru = nru};
    return seqdat(in, scratch, frame, part, t, w.data_pass_buffers());
}

// The result of a pass over the records and the bytes of the store it wrote.
struct PassRun {
    DataPassResult res;
    std::vector<std::byte> store;
    int nw;
    Pts chain(int b) const { return test::store_chain(store, b, nw, res.records); }
    std::vector<float> values() const {
        std::vector<float> z;
        for (const test::StorePoint& p : chain(1)) z.push_back(p.z);
        return z;
    }
};

PassRun run_seqdat(const std::vector<InputRecord>& recs, const Partition& part, const DataTransform& t = plain(),
                   int nw = 300, int ncu = 16, int nru = 16, float xe0 = 1.0f, float ye0 = 1.0f) {
    gridout::MemoryFileSystem fs;
    auto data = test::write_input(fs, recs);
    auto scratch = fs.create("store");
    PassRun r{run_pass(*data, *scratch, part, t, nw, ncu, nru, xe0, ye0), {}, nw};
    r.store = fs.contents("store");
    return r;
}

const Partition kSingle = make_partition(20, 20, 1, 1, 1);

TEST(Seqdat, HomeBlocksAndOverlapCopies) {
    // 3 x 3 blocks of 26 x 26, overlap 10: steps S = T = 16. The copy threshold is
    // (10 - 0.1) / 16; 16 + 9.9 = 25.9 lands exactly on it in float, so the comparison
    // must include equality.
    ASSERT_EQ((16.0f + 9.9f) / 16.0f - 1.0f, (10.0f - 0.1f) / 16.0f);  // precondition of the case
    const float on = 16.0f + 9.9f;
    const std::vector<InputRecord> recs = {
        {17.0f, 5.0f, {1}},    // first node of section 2: home section 1, no copy
        {on, 5.0f, {2}},       // home section 2, on the threshold: copied left
        {25.95f, 5.0f, {3}},   // 0.05 short of the far overlap edge: not copied
        {53.0f, 5.0f, {4}},    // beyond the step of the last section: stays there, no copy
        {5.0f, on, {5}},       // home tier 2 on the threshold: copied below
        {on, on, {6}},         // home block 5: copies below, below-left, left in that order
        {53.0f, 53.0f, {7}},   // last section and last tier
        {17.01f, 5.0f, {8}},   // just past the home boundary 17.005 of section 2: copied left
    };
    const int nw = 30;
    PassRun r = run_seqdat(recs, make_partition(26, 26, 10, 3, 3), plain(), nw, 54, 54);
    ASSERT_EQ(r.res.status, Status::ok);
    EXPECT_EQ(r.res.accepted, 8);
    EXPECT_EQ(r.res.records, 9);
    ASSERT_EQ(r.store.size(), 9u * (nw + 2) * 4);

    const test::StorePoint p1{17, 5, 1}, p2{on, 5, 2}, p3{25.95f, 5, 3}, p4{53, 5, 4}, p5{5, on, 5},
        p6{on, on, 6}, p7{53, 53, 7}, p8{17.01f, 5, 8};
    const std::vector<Pts> expected = {{p1, p2, p5, p6, p8}, {p2, p3, p6, p8}, {p4}, {p5, p6}, {p6}, {}, {}, {}, {p7}};
    for (int b = 1; b <= 9; ++b) {
        SCOPED_TRACE("block " + std::to_string(b));
        EXPECT_EQ(r.chain(b), expected[static_cast<std::size_t>(b - 1)]);
    }
}

TEST(Seqdat, RecordChainsOfExactlyPPoints) {
    // One block, P = 4 points per record (nw = 12).
    auto points = [](int n) {
        std::vector<InputRecord> v;
        for (int k = 0; k < n; ++k) v.push_back({2.0f + static_cast<float>(k), 3.0f, {static_cast<float>(k)}});
        return v;
    };
    {
        SCOPED_TRACE("exactly P points: head full, second record empty");
        PassRun r = run_seqdat(points(4), kSingle, plain(), 12);
        ASSERT_EQ(r.res.status, Status::ok);
        EXPECT_EQ(r.res.records, 2);
        ASSERT_EQ(r.store.size(), 2u * 14 * 4);
        const test::StoreRecord head = store_record(r.store, 1, 12), second = store_record(r.store, 2, 12);
        EXPECT_EQ(head.link, 2);
        EXPECT_EQ(head.count, 4);
        EXPECT_EQ(head.words[9], 5.0f);   // x of the fourth point
        EXPECT_EQ(head.words[11], 3.0f);  // its value
        EXPECT_EQ(second.link, 0);
        EXPECT_EQ(second.count, 0);
    }
    {
        SCOPED_TRACE("2P + 1 points: three records");
        PassRun r = run_seqdat(points(9), kSingle, plain(), 12);
        ASSERT_EQ(r.res.status, Status::ok);
        EXPECT_EQ(r.res.records, 3);
        const test::StoreRecord r1 = store_record(r.store, 1, 12), r2 = store_record(r.store, 2, 12),
                                r3 = store_record(r.store, 3, 12);
        EXPECT_EQ(r1.link, 2);
        EXPECT_EQ(r2.link, 3);
        EXPECT_EQ(r2.count, 4);
        EXPECT_EQ(r2.words[0], 6.0f);  // fifth point
        EXPECT_EQ(r3.link, 0);
        EXPECT_EQ(r3.count, 1);
        EXPECT_EQ(r3.words[2], 8.0f);
    }
    {
        SCOPED_TRACE("two blocks fill in turn: records numbered in the order they fill");
        // S = 10: block 1 holds xn < 11.005, block 2 beyond (copies only below xn = 19.9).
        std::vector<InputRecord> v = {{25, 3, {1}}, {2, 3, {2}}, {26, 3, {3}}, {3, 3, {4}},
                                      {27, 3, {5}}, {28, 3, {6}}, {29, 3, {7}}};
        PassRun r = run_seqdat(v, make_partition(20, 20, 10, 2, 1), plain(), 6, 26);  // P = 2
        ASSERT_EQ(r.res.status, Status::ok);
        // Block 2 fills first (record 2 -> 3), then block 1 (record 1 -> 4), then block 2
        // again (record 3 -> 5).
        EXPECT_EQ(r.res.records, 5);
        EXPECT_EQ(store_record(r.store, 2, 6).link, 3);
        EXPECT_EQ(store_record(r.store, 1, 6).link, 4);
        EXPECT_EQ(store_record(r.store, 3, 6).link, 5);
        EXPECT_EQ(store_record(r.store, 4, 6).count, 0);
        EXPECT_EQ(store_record(r.store, 5, 6).count, 1);
        EXPECT_EQ(r.chain(2), (Pts{{25, 3, 1}, {26, 3, 3}, {27, 3, 5}, {28, 3, 6}, {29, 3, 7}}));
        EXPECT_EQ(r.chain(1), (Pts{{2, 3, 2}, {3, 3, 4}}));
    }
}

TEST(Seqdat, NoAcceptedPointStillWritesEveryHead) {
    const int nw = 9;
    // A null value, a point outside the window, and a non-finite value.
    std::vector<InputRecord> v = {{5, 5, {kDummy}}, {500, 5, {1}}, {5, 5, {std::numeric_limits<float>::quiet_NaN()}}};
    PassRun r = run_seqdat(v, make_partition(26, 26, 10, 2, 3), plain(), nw, 38, 54);
    EXPECT_EQ(r.res.status, Status::no_data);
    EXPECT_EQ(code(r.res.status), -1002);
    EXPECT_EQ(r.res.accepted, 0);
    EXPECT_EQ(r.res.records, 6);
    ASSERT_EQ(r.store.size(), 6u * (nw + 2) * 4);
    for (int b = 1; b <= 6; ++b) {
        SCOPED_TRACE("head " + std::to_string(b));
        const test::StoreRecord h = store_record(r.store, b, nw);
        EXPECT_EQ(h.link, 0);
        EXPECT_EQ(h.count, 0);
        EXPECT_EQ(h.words[0], kDummy);  // untouched buffer of null values
    }
}

TEST(Seqdat, ValueTransforms) {
    const float ln10 = 2.302585093f;
    {
        SCOPED_TRACE("MODE 3: signed logarithm; the null value is dropped before the transform");
        DataTransform t = plain();
        t.mode = 3;
        PassRun r = run_seqdat({{2, 2, {-0.5f}}, {3, 2, {10.0f}}, {4, 2, {-10.0f}}, {5, 2, {kDummy}},
                                {6, 2, {1.0f}}, {7, 2, {-1.0f}}, {8, 2, {0.0f}}},
                               kSingle, t);
        ASSERT_EQ(r.res.status, Status::ok);
        EXPECT_EQ(r.res.accepted, 6);
        const std::vector<float> z = r.values();
        ASSERT_EQ(z.size(), 6u);
        EXPECT_EQ(z[0], -0.5f);
        EXPECT_FLOAT_EQ(z[1], 1.0f + ln10);
        EXPECT_FLOAT_EQ(z[2], -1.0f - ln10);
        EXPECT_EQ(z[3], 1.0f);
        EXPECT_EQ(z[4], -1.0f);
        EXPECT_EQ(z[5], 0.0f);
    }
    {
        SCOPED_TRACE("MODE 2: natural logarithm, values <= 0 dropped");
        DataTransform t = plain();
        t.mode = 2;
        PassRun r = run_seqdat({{2, 2, {0.0f}}, {3, 2, {-1.0f}}, {4, 2, {100.0f}}, {5, 2, {1.0f}}}, kSingle, t);
        ASSERT_EQ(r.res.status, Status::ok);
        EXPECT_EQ(r.res.accepted, 2);
        const std::vector<float> z = r.values();
        ASSERT_EQ(z.size(), 2u);
        EXPECT_FLOAT_EQ(z[0], 2.0f * ln10);
        EXPECT_EQ(z[1], 0.0f);
    }
    {
        SCOPED_TRACE("MODE 1 keeps the value; the channel is ICHAN of MAXCHAN");
        DataTransform t = plain();
        t.maxchan = 3;
        t.ichan = 2;
        PassRun r = run_seqdat({{2, 2, {7.0f, -3.5f, 9.0f}}, {3, 2, {kDummy, kDummy, 1.0f}}}, kSingle, t);
        EXPECT_EQ(r.res.accepted, 1);
        EXPECT_EQ(r.values(), std::vector<float>{-3.5f});
    }
}

TEST(Seqdat, RecordsThatAreDropped) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    {
        SCOPED_TRACE("acceptance window: extended grid less 0.01 node, both ends included");
        // xe0 = 1, ncu = 16: 1.01 <= x <= 1 + 19 - 0.01 = 19.99.
        PassRun r = run_seqdat({{1.005f, 5, {1}}, {1.02f, 5, {2}}, {19.98f, 5, {3}}, {19.995f, 5, {4}},
                                {5, 1.005f, {5}}, {5, 19.995f, {6}}, {5, 19.98f, {7}}},
                               kSingle);
        EXPECT_EQ(r.values(), (std::vector<float>{2, 3, 7}));
    }
    {
        SCOPED_TRACE("non-finite positions and values");
        PassRun r = run_seqdat({{nan, 5, {1}}, {5, inf, {2}}, {5, 5, {-inf}}, {5, 5, {nan}}, {6, 6, {3}}}, kSingle);
        EXPECT_EQ(r.values(), (std::vector<float>{3}));
    }
    {
        SCOPED_TRACE("a final record cut short by the end of the file is dropped");
        gridout::MemoryFileSystem fs;
        auto data = test::write_input(fs, {{2, 2, {1, 10}}, {3, 3, {2, 20}}});
        const float partial[3] = {4, 4, 3};  // x, y and the first of two channels
        ASSERT_TRUE(gridout::write_words(*data, std::span<const float>(partial)));
        auto scratch = fs.create("store");
        DataTransform t = plain();
        t.maxchan = 2;
        EXPECT_EQ(run_pass(*data, *scratch, kSingle, t).accepted, 2);
    }
}

TEST(Seqdat, NodeCoordinatesFromWorldUnits) {
    // DX = 2, DY = 0.5; extended grid origin (-3, 4) in cell units:
    // world (10, 3) -> cell (5, 6) -> node (5 + 1 + 3, 6 + 1 - 4) = (9, 3).
    DataTransform t = plain();
    t.dx = 2.0f;
    t.dy = 0.5f;
    PassRun r = run_seqdat({{10.0f, 3.0f, {42.0f}}}, kSingle, t, 300, 16, 16, -3.0f, 4.0f);
    ASSERT_EQ(r.res.status, Status::ok);
    EXPECT_EQ(r.chain(1), (Pts{{9, 3, 42}}));
}

TEST(Seqdat, NodeCoordinatesInSinglePrecisionOrder) {
    // xn = x/H + (1 - XE0/H) with every step rounded to single precision. With XE0 =
    // -2.3, x = 0.81: 1 + 2.3f = 3.3f, and 0.81f + 3.3f rounds to 0x1.070a3ep+2; the
    // regrouped (x - XE0) + 1 would give 0x1.070a3cp+2. With YE0 = -1.7, y = 13.85:
    // 13.85f + 2.7f = 0x1.08cccep+4, where (y - YE0) + 1 gives 0x1.08ccccp+4.
    PassRun r = run_seqdat({{0.81f, 13.85f, {5.0f}}}, kSingle, plain(), 300, 20, 20, -2.3f, -1.7f);
    ASSERT_EQ(r.res.status, Status::ok);
    const Pts pts = r.chain(1);
    ASSERT_EQ(pts.size(), 1u);
    EXPECT_EQ(pts[0].x, 0x1.070a3ep+2f);
    EXPECT_EQ(pts[0].y, 0x1.08cccep+4f);
    EXPECT_EQ(pts[0].z, 5.0f);
}

TEST(Seqdat, FailedStoreWriteIsReported) {
    gridout::MemoryFileSystem fs;
    auto data = test::write_input(fs, {{5, 5, {1}}});
    fs.create("store");
    auto scratch = fs.open("store", gridout::OpenMode::read_only);
    ASSERT_TRUE(scratch);
    EXPECT_EQ(run_pass(*data, *scratch, kSingle).status, Status::store_failed);
}

TEST(Wrblk2, RecordLayoutAndOffset) {
    gridout::MemoryFileSystem fs;
    auto f = fs.create("store");
    const std::vector<float> d = {1.5f, -2.0f, 3.25f};
    // Record 3 of 5-word records starts at byte 40; the gap before it reads as zeros.
    ASSERT_EQ(wrblk2(*f, 3, 7, 1, d), Status::ok);
    const auto bytes = fs.contents("store");
    ASSERT_EQ(bytes.size(), 60u);
    for (std::size_t k = 0; k < 40; ++k) EXPECT_EQ(bytes[k], std::byte{0});
    const test::StoreRecord r = store_record(bytes, 3, 3);
    EXPECT_EQ(r.link, 7);
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.words, d);
    auto ro = fs.open("store", gridout::OpenMode::read_only);
    EXPECT_EQ(wrblk2(*ro, 1, 0, 0, d), Status::store_failed);

    // Read back through read_data_record; a record past the end of the store fails.
    DataRecordHead head;
    std::vector<float> words(3);
    ASSERT_EQ(read_data_record(*ro, 3, head, words), Status::ok);
    EXPECT_EQ(head.link, 7);
    EXPECT_EQ(head.count, 1);
    EXPECT_EQ(words, d);
    EXPECT_EQ(read_data_record(*ro, 4, head, words), Status::store_failed);
}

TEST(Rngdat, ExtentOfAcceptedPoints) {
    struct Case {
        const char* what;
        std::vector<InputRecord> recs;
        DataTransform t;
        float xmin, xmax, ymin, ymax;
    };
    DataTransform log_scaled = plain();
    log_scaled.mode = 2;
    log_scaled.dx = 2.0f;
    DataTransform rotated = plain();
    rotated.rotated = true;
    rotated.sin_a = 1.0f;
    rotated.cos_a = 0.0f;
    rotated.xr = 100.0f;
    rotated.yr = 50.0f;
    const Case cases[] = {
        {"unrotated, scaled, MODE 2 drops values <= 0, null values dropped",
         {{10, 1, {1}}, {-4, 8, {2}}, {100, -50, {0}}, {200, 200, {kDummy}}, {6, -3, {5}}},
         log_scaled, -2.0f, 5.0f, -3.0f, 8.0f},
        {"rotated by 90 degrees about (100, 50): (x, y) -> (-(y - 50), x - 100)",
         {{101, 50, {1}}, {102, 53, {1}}, {99, 49, {1}}}, rotated, -3.0f, 1.0f, -1.0f, 2.0f},
    };
    WorkArea w;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        gridout::MemoryFileSystem fs;
        const DataRange r = rngdat_of(*test::write_input(fs, c.recs), w.channels, c.t);
        EXPECT_EQ(r.xmin, c.xmin);
        EXPECT_EQ(r.xmax, c.xmax);
        EXPECT_EQ(r.ymin, c.ymin);
        EXPECT_EQ(r.ymax, c.ymax);
    }
    {
        SCOPED_TRACE("no accepted point leaves an empty range");
        gridout::MemoryFileSystem fs;
        const DataRange r = rngdat_of(*test::write_input(fs, {{1, 1, {kDummy}}}), w.channels, plain());
        EXPECT_GT(r.xmin, r.xmax);
        EXPECT_GT(r.ymin, r.ymax);
    }
}

TEST(DataPass, ReadErrorIsNotTheEndOfTheData) {
    // Three records, each read as x, y and then its channel; the sixth read, the third
    // record's channel, fails.
    const std::vector<InputRecord> recs = {{5, 5, {1}}, {6, 6, {2}}, {7, 7, {3}}};
    WorkArea w;
    {
        SCOPED_TRACE("seqdat");
        gridout::MemoryFileSystem fs;
        auto input = test::write_input(fs, recs);
        test_support::FailingFile data(*input, 5);
        auto scratch = fs.create("store");
        EXPECT_EQ(run_pass(data, *scratch, kSingle).status, Status::input_failed);
        EXPECT_EQ(data.reads(), 5);
    }
    {
        SCOPED_TRACE("rngdat");
        gridout::MemoryFileSystem fs;
        auto input = test::write_input(fs, recs);
        test_support::FailingFile data(*input, 5);
        EXPECT_TRUE(rngdat_of(data, w.channels, plain()).read_failed);
    }
    {
        SCOPED_TRACE("a record cut short by the end of the file is still only the end");
        gridout::MemoryFileSystem fs;
        // Two records and a third that lacks its channel.
        auto cut = test::write_input(fs, {recs[0], recs[1]});
        ASSERT_TRUE(gridout::write_word(*cut, 7.0f));
        ASSERT_TRUE(gridout::write_word(*cut, 7.0f));
        const DataRange r = rngdat_of(*cut, w.channels, plain());
        EXPECT_FALSE(r.read_failed);
        EXPECT_EQ(r.xmax, 6.0f);
    }
}

}  // namespace
}  // namespace minc

namespace minc {
namespace {

// A data file that never ends, as a device or a pipe can be: the same 12-byte record
// (x, y, one channel) over and over.
class EndlessFile final : public gridout::ByteFile {
public:
    explicit EndlessFile(InputRecord r) {
        const float words[3] = {r.x, r.y, r.chan.at(0)};
        std::memcpy(record_, words, sizeof record_);
    }
    std::int64_t read(std::span<std::byte> out) override {
        for (std::byte& b : out) b = record_[pos_++ % sizeof record_];
        return std::int64_t(out.size());
    }
    std::int64_t write(std::span<const std::byte>) override { return -1; }
    std::int64_t seek(std::int64_t offset) override {
        pos_ = std::size_t(offset);
        return offset;
    }
    std::int64_t size() override { return -1; }
    bool close() override { return true; }

private:
    std::byte record_[12] = {};
    std::size_t pos_ = 0;
};

// Both passes read at most max_records records: one more, however the file goes on,
// ends the pass with too_much_data rather than a store that grows without bound.
TEST(DataPass, RecordLimitStopsFilesThatGoOn) {
    const InputRecord rec{5, 5, {1}};
    struct Case {
        const char* what;
        int records;         // records in the file; -1: endless
        int tail_bytes;      // bytes of a record cut short after them
        std::int64_t limit;
        bool too_many;
    };
    const Case cases[] = {
        {"exactly the limit", 4, 0, 4, false},
        {"the limit and a record cut short", 4, 6, 4, false},
        {"one record more", 5, 0, 4, true},
        {"a file that never ends", -1, 0, 4, true},
        {"a file that never ends, limit 1", -1, 0, 1, true},
    };
    WorkArea w;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataTransform t = plain();
        t.max_records = c.limit;
        gridout::MemoryFileSystem fs;
        std::unique_ptr<gridout::ByteFile> file;
        if (c.records >= 0) {
            file = test::write_input(fs, std::vector<InputRecord>(std::size_t(c.records), rec));
            const std::vector<std::byte> tail(std::size_t(c.tail_bytes), std::byte{0x41});
            ASSERT_EQ(file->write(tail), c.tail_bytes);
        } else {
            file = std::make_unique<EndlessFile>(rec);
        }
        const DataRange r = rngdat_of(*file, w.channels, t);
        EXPECT_EQ(r.too_many, c.too_many);
        EXPECT_FALSE(r.read_failed);
        auto scratch = fs.create("store");
        const DataPassResult p = run_pass(*file, *scratch, kSingle, t);
        EXPECT_EQ(p.status, c.too_many ? Status::too_much_data : Status::ok);
        if (!c.too_many) {
            EXPECT_EQ(p.accepted, c.records);
        }
    }
    EXPECT_EQ(DataTransform{}.max_records, std::int64_t{1} << 23);
}

// A partition whose blocks are no wider or taller than their overlap has no step to
// find a home block by: the pass refuses it before reading a record.
TEST(DataPass, StepsBelowOneAreRefused) {
    struct Case { const char* what; Partition part; Status expect; };
    const Case cases[] = {
        {"section step 0", make_partition(10, 30, 10, 2, 3), Status::no_partition},
        {"section step -2", make_partition(8, 30, 10, 2, 3), Status::no_partition},
        {"tier step 0", make_partition(30, 5, 5, 3, 2), Status::no_partition},
        {"steps 1", make_partition(11, 11, 10, 2, 2), Status::ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PassRun r = run_seqdat({{5, 5, {1}}, {9, 3, {2}}}, c.part, plain(), 30);
        EXPECT_EQ(r.res.status, c.expect);
        EXPECT_EQ(r.res.accepted, c.expect == Status::ok ? 2 : 0);
    }
}

}  // namespace
}  // namespace minc
