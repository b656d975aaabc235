// Helpers shared by the solver's unit tests (see solver_test_util.hpp).
#include "solver_test_util.hpp"

#include <gtest/gtest.h>

#include <cstring>

#include "assign_data.hpp"
#include "data_pass.hpp"

namespace minc::test {

std::unique_ptr<gridout::ByteFile> write_input(gridout::MemoryFileSystem& fs, const std::vector<InputRecord>& recs,
                                               const std::string& name) {
    auto f = fs.create(name);
    for (const InputRecord& r : recs) {
        EXPECT_TRUE(gridout::write_word(*f, r.x));
        EXPECT_TRUE(gridout::write_word(*f, r.y));
        EXPECT_TRUE(gridout::write_words(*f, std::span<const float>(r.chan)));
    }
    return f;
}

std::ostream& operator<<(std::ostream& os, const StorePoint& p) {
    return os << "(" << p.x << ", " << p.y << ", " << p.z << ")";
}

StoreRecord store_record(const std::vector<std::byte>& bytes, int rec, int nw) {
    StoreRecord r;
    const std::size_t len = static_cast<std::size_t>(nw + 2) * 4;
    const std::size_t off = static_cast<std::size_t>(rec - 1) * len;
    EXPECT_LE(off + len, bytes.size()) << "record " << rec;
    if (off + len > bytes.size()) return r;
    std::memcpy(&r.link, bytes.data() + off, 4);
    std::memcpy(&r.count, bytes.data() + off + 4, 4);
    r.words.resize(static_cast<std::size_t>(nw));
    std::memcpy(r.words.data(), bytes.data() + off + 8, static_cast<std::size_t>(nw) * 4);
    return r;
}

std::vector<StorePoint> store_chain(const std::vector<std::byte>& bytes, int first, int nw, int records) {
    std::vector<StorePoint> pts;
    int rec = first;
    for (int guard = 0; rec != 0 && guard <= records; ++guard) {
        const StoreRecord r = store_record(bytes, rec, nw);
        for (int k = 0; k < r.count; ++k) {
            const auto i = static_cast<std::size_t>(3 * k);
            pts.push_back({r.words[i], r.words[i + 1], r.words[i + 2]});
        }
        rec = r.link;
    }
    EXPECT_EQ(rec, 0) << "chain from record " << first << " does not end";
    return pts;
}

void write_store_record(gridout::ByteFile& store, int rec, int link, const std::vector<StorePoint>& pts, int nw,
                        int count) {
    std::vector<float> words(static_cast<std::size_t>(nw), kDummy);
    std::size_t k = 0;
    for (const StorePoint& p : pts) {
        words[k++] = p.x;
        words[k++] = p.y;
        words[k++] = p.z;
    }
    ASSERT_EQ(wrblk2(store, rec, link, count >= 0 ? count : static_cast<int>(pts.size()), words), Status::ok);
}

Partition make_partition(int cpb, int rpb, int overlap, int nsect, int ntier) {
    Partition p;
    p.cpb = cpb;
    p.rpb = rpb;
    p.overlap = overlap;
    p.nsect = nsect;
    p.ntier = ntier;
    return p;
}

BlockArrays::BlockArrays(int nx, int ny, float acc_fill)
    : z(nx, ny), flags(nx, ny), acc(6 * std::size_t(nx) * std::size_t(ny), acc_fill) {}

void BlockArrays::attach(std::span<const float> points, float wconst) {
    assign(wconst, {0.0f, 0.0f}, z.nx, z.ny, acc, points);
    bwts(0, wconst, empty_acc(wconst), z.view(), flags.view(), acc);
}

}  // namespace minc::test
