// Assembly of finished rows from hand-made section stores: the shares of sections and
// tiers, grid rows taken from the right block, the data mask with its section-seam
// and tier-seam merges, and failures of the stores.
#include "assembly.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <string>
#include <vector>

#include "capacities.hpp"
#include "control_test_util.hpp"
#include "gridout/byte_file.hpp"
#include "work_area.hpp"

namespace {

using minc::Partition;
using minc::RowCounters;
using minc::Share;
using minc::Status;
using control_test::word_at;

// Everything a SolveContext refers to, with the stores in memory.
struct Rig {
    Partition part;
    int ncu, nru, hw, nct;
    float dummy = -99999.0f;
    gridout::MemoryFileSystem fs;
    std::unique_ptr<gridout::ByteFile> data, sb, gr, ms;
    minc::WorkArea area;
    minc::TemplateGrid tmpl;
    minc::ParameterLog log{nullptr};
    minc::RelaxState relax;

    Rig(Partition p, int ncu_, int nru_, int hw_) : part(p), ncu(ncu_), nru(nru_), hw(hw_), nct(ncu_ + 2 * hw_) {
        data = fs.create("~mincir.tmp");
        sb = fs.create("~mincsb.tmp");
        gr = fs.create("~mincgr.tmp");
        if (hw >= 1) {
            ms = fs.create("~mincms.tmp");
            EXPECT_EQ(minc::write_mask_header(*ms, {nct, nru + 2 * hw, -1.0f, -1.0f}), Status::ok);
        }
    }
    minc::RowFile mask() { return {ms.get(), minc::record_words(nct)}; }
    minc::SolveContext ctx() {
        return minc::SolveContext{
            .part = part, .dummy = dummy, .tol = 1.0e-4f, .maxit = 512, .wconst = 10.0f, .hw = hw,
            .ncu = ncu, .nru = nru, .nct = nct, .tmpl = tmpl,
            .arrays = area.solver(), .work = area.work, .recbuf = area.record, .nwrec = 30, .data_store = *data, .section_store = *sb,
            .grid_rows = *gr, .mask = mask(), .log = log, .relax = relax};
    }
    int nb() const { return part.cpb * part.rpb; }
    void put_block(int slot, const std::vector<float>& v) {
        ASSERT_EQ(minc::wrblk(*sb, slot, nb(), std::span<const float>(v)), Status::ok);
    }
    void put_flags(int slot, const std::vector<std::int32_t>& v) {
        ASSERT_EQ(minc::wrblk(*sb, slot, nb(), std::span<const std::int32_t>(v)), Status::ok);
    }
    std::vector<float> grid_rows() { return control_test::words_of<float>(fs.contents("~mincgr.tmp")); }
    std::vector<std::int32_t> mask_row(int r) {
        std::vector<std::int32_t> v(std::size_t(nct), -7);
        EXPECT_EQ(minc::rowda_read(mask(), std::span<std::int32_t>(v), r), Status::ok);
        return v;
    }
};

Partition make_partition(int cpb, int rpb, int nsect, int ntier, int overlap) {
    Partition p;
    p.cpb = cpb;
    p.rpb = rpb;
    p.nsect = nsect;
    p.ntier = ntier;
    p.overlap = overlap;
    return p;
}

// A 12 x 10 working grid in 2 x 2 blocks of 10 x 9 nodes, overlap 3 (S = 7, T = 6).
Rig two_by_two(int hw) { return Rig(make_partition(10, 9, 2, 2, 3), 12, 10, hw); }

TEST(Assembly, SharesOfTheWorkedExamples) {
    {
        SCOPED_TRACE("two sections, overlap 10, NCU 196: CPB 105, S 95");
        const Share a = minc::section_share({.index = 1, .count = 2, .step = 95, .extent = 196});
        const Share b = minc::section_share({.index = 2, .count = 2, .step = 95, .extent = 196});
        EXPECT_EQ(a.first, 3);
        EXPECT_EQ(a.last, 95);
        EXPECT_EQ(a.count(), 93);
        EXPECT_EQ(b.first, 1);
        EXPECT_EQ(b.last, 103);
        EXPECT_EQ(a.count() + b.count(), 196);
    }
    {
        SCOPED_TRACE("three tiers, overlap 10, NRU 156: RPB 60, T 50");
        const Share a = minc::tier_share({.index = 1, .count = 3, .step = 50, .extent = 156});
        const Share b = minc::tier_share({.index = 2, .count = 3, .step = 50, .extent = 156});
        const Share c = minc::tier_share({.index = 3, .count = 3, .step = 50, .extent = 156});
        EXPECT_EQ(a.first, 3);
        EXPECT_EQ(a.last, 50);
        EXPECT_EQ(a.count(), 48);
        EXPECT_EQ(b.first, 1);
        EXPECT_EQ(b.last, 50);
        EXPECT_EQ(c.first, 1);
        EXPECT_EQ(c.last, 58);
        EXPECT_EQ(a.count() + b.count() + c.count(), 156);
    }
    {
        SCOPED_TRACE("one block: columns 3..NCU + 2");
        const Share a = minc::section_share({.index = 1, .count = 1, .step = 30, .extent = 40});
        EXPECT_EQ(a.first, 3);
        EXPECT_EQ(a.last, 42);
    }
}

// For block sizes chosen the way the partition chooses them (overlap plus an even
// split of the rest), every working column is taken from exactly one block, and the
// share and the column after it lie inside the block.
TEST(Assembly, SharesCoverEveryWorkingNodeOnce) {
    for (int overlap : {10, 5}) {
        for (int count = 1; count <= 6; ++count) {
            for (int n = 20 * count; n <= 20 * count + 400; n += 7) {
                const int extended = n + 4;
                const int block = overlap + (extended - overlap + count - 1) / count;
                const int step = block - overlap;
                SCOPED_TRACE("overlap " + std::to_string(overlap) + " blocks " + std::to_string(count) +
                             " nodes " + std::to_string(n));
                std::vector<int> hits(std::size_t(n) + 1, 0);
                for (int k = 1; k <= count; ++k) {
                    const Share sh =
                        minc::section_share({.index = k, .count = count, .step = step, .extent = n});
                    ASSERT_EQ(sh.first, k == 1 ? 3 : 1);
                    ASSERT_LE(sh.last + (k < count ? 1 : 0), block);
                    for (int i = sh.first; i <= sh.last; ++i) {
                        const int working = (k - 1) * step + i - 2;  // extended node minus the 2 extra
                        ASSERT_GE(working, 1);
                        ASSERT_LE(working, n);
                        ++hits[std::size_t(working)];
                    }
                    const Share tr =
                        minc::tier_share({.index = k, .count = count, .step = step, .extent = n});
                    EXPECT_EQ(tr.first, sh.first);
                    EXPECT_EQ(tr.last, sh.last);
                }
                for (int c = 1; c <= n; ++c) ASSERT_EQ(hits[std::size_t(c)], 1) << "node " << c;
            }
        }
    }
}

// Block values name their block and their extended node, so a grid row shows where
// each of its values came from.
float block_value(int block, int ex, int ey) { return float(100000 * block + 100 * ey + ex); }

struct GridCase {
    const char* name;
    int ncu, nru, cpb, rpb, nsect, ntier, overlap;
};

// A data flag on every third extended node along the diagonals, so that a mask row
// shows which extended node each of its places came from.
bool flagged(int ex, int ey) { return (ex + 2 * ey) % 3 == 0; }

// Each working node comes from the last block that starts at or before it: block
// values and flags name their extended node, so the assembled rows can be checked
// against that rule node by node. Partitions round every block up; with many blocks
// the shares before the last can add up to more than the working grid holds
// (sections or tiers that overshoot), and each share is then clipped to what is left.
TEST(Assembly, GridAndMaskRowsTakeEachNodeFromItsOwnBlock) {
    const GridCase cases[] = {
        {"2 x 2 blocks", 12, 10, 10, 9, 2, 2, 3},
        {"3 x 3 blocks", 20, 16, 10, 9, 3, 3, 3},
        {"one block", 7, 5, 11, 9, 1, 1, 1},
        // Shares 4 + 6 + 6 + 6 = 22 of 20 columns before the last (whose share is -2).
        {"sections overshoot", 20, 6, 8, 9, 5, 1, 2},
        {"tiers overshoot", 6, 20, 9, 8, 1, 5, 2},
        {"both overshoot", 20, 20, 8, 8, 5, 5, 2},
        // Shares 4 + 6 + 6 = 16 of 16: the last section and tier give nothing.
        {"last share empty", 16, 16, 8, 8, 4, 4, 2},
    };
    for (const GridCase& gc : cases) {
        for (int nrf : {1, 2, 3, 4, 1000}) {
            SCOPED_TRACE(std::string(gc.name) + ", rows per group " + std::to_string(nrf));
            const int hw = 2;
            Rig rig(make_partition(gc.cpb, gc.rpb, gc.nsect, gc.ntier, gc.overlap), gc.ncu, gc.nru, hw);
            const int S = rig.part.section_step(), T = rig.part.tier_step();
            RowCounters rows;
            ASSERT_EQ(minc::padrow(hw, rows.mask_rows, rig.mask(), rig.nct, std::span<float>(rig.area.work)),
                      Status::ok);
            for (int t = 1; t <= gc.ntier; ++t) {
                for (int s = 1; s <= gc.nsect; ++s) {
                    std::vector<float> v(std::size_t(rig.nb()));
                    std::vector<std::int32_t> f(std::size_t(rig.nb()));
                    for (int j = 1; j <= gc.rpb; ++j)
                        for (int i = 1; i <= gc.cpb; ++i) {
                            const int ex = (s - 1) * S + i, ey = (t - 1) * T + j;
                            v[std::size_t((j - 1) * gc.cpb + i - 1)] = block_value(rig.part.block(s, t), ex, ey);
                            f[std::size_t((j - 1) * gc.cpb + i - 1)] = flagged(ex, ey) ? 3 : 0;
                        }
                    rig.put_block(s, v);
                    rig.put_flags(gc.nsect + s, f);
                }
                auto ctx = rig.ctx();
                ASSERT_EQ(minc::assemb(ctx, t, 0, nrf, rows), Status::ok);
                ASSERT_EQ(minc::assemb(ctx, t, hw, nrf, rows), Status::ok);
            }
            ASSERT_EQ(minc::padrow(hw, rows.mask_rows, rig.mask(), rig.nct, std::span<float>(rig.area.work)),
                      Status::ok);
            EXPECT_EQ(rows.grid_rows, gc.nru);
            EXPECT_EQ(rows.mask_rows, gc.nru + 2 * hw);
            const std::vector<float> out = rig.grid_rows();
            ASSERT_EQ(out.size(), std::size_t(gc.ncu) * std::size_t(gc.nru));
            for (int r = 1; r <= gc.nru; ++r) {
                for (int c = 1; c <= gc.ncu; ++c) {
                    const int ex = c + 2, ey = r + 2;
                    const int s = std::min(gc.nsect, (ex - 1) / S + 1);
                    const int t = std::min(gc.ntier, (ey - 1) / T + 1);
                    ASSERT_EQ(out[std::size_t((r - 1) * gc.ncu + c - 1)], block_value((t - 1) * gc.nsect + s, ex, ey))
                        << "node (" << c << ", " << r << ")";
                }
            }
            const std::int64_t mask_bytes = rig.ms->size();
            // The store ends with the last mask row: lead word and NCT values.
            const std::int64_t last_row_end =
                (std::int64_t(gc.nru + 2 * hw) * minc::record_words(rig.nct) + 1 + rig.nct) * 4;
            EXPECT_EQ(mask_bytes, last_row_end) << "no mask row beyond the grid";
            for (int mr = 1; mr <= gc.nru + 2 * hw; ++mr) {
                const std::vector<std::int32_t> row = rig.mask_row(mr);
                for (int mc = 1; mc <= rig.nct; ++mc) {
                    const int c = mc - hw, r = mr - hw;
                    const bool inside = c >= 1 && c <= gc.ncu && r >= 1 && r <= gc.nru;
                    ASSERT_EQ(row[std::size_t(mc - 1)], inside && flagged(c + 2, r + 2) ? 1 : 0)
                        << "mask node (" << mc << ", " << mr << ")";
                }
            }
        }
    }
}

// Mask assembly of a 12 x 10 working grid, HW 2 (16 x 14 mask), from 2 x 2 blocks of
// 10 x 9 nodes, overlap 3 (S = 7, T = 6). Block node (i, j) of block (s, t) is
// extended node ((s - 1) * 7 + i, (t - 1) * 6 + j) and working node (that - 2);
// mask node = working node + 2.
struct Flag {
    int s, t, i, j, value;
};

std::vector<std::string> assemble_mask(const std::vector<Flag>& set, int nrf) {
    Rig rig = two_by_two(2);
    // Every mask row starts as garbage, so a row that is never written shows.
    std::vector<std::int32_t> junk(std::size_t(rig.nct), 7);
    for (int r = 1; r <= rig.nru + 2 * rig.hw; ++r)
        EXPECT_EQ(minc::rowda_write(rig.mask(), std::span<const std::int32_t>(junk), r), Status::ok);

    RowCounters rows;
    EXPECT_EQ(minc::padrow(rig.hw, rows.mask_rows, rig.mask(), rig.nct, std::span<float>(rig.area.work)), Status::ok);
    EXPECT_EQ(rows.mask_rows, 2);
    for (int t = 1; t <= 2; ++t) {
        for (int s = 1; s <= 2; ++s) {
            std::vector<float> grid(std::size_t(rig.nb()), 1.0f);
            std::vector<std::int32_t> flags(std::size_t(rig.nb()), 0);
            for (const Flag& f : set)
                if (f.s == s && f.t == t) flags[std::size_t((f.j - 1) * 10 + f.i - 1)] = f.value;
            rig.put_block(s, grid);
            rig.put_flags(2 + s, flags);
        }
        auto ctx = rig.ctx();
        EXPECT_EQ(minc::assemb(ctx, t, 0, nrf, rows), Status::ok);
        EXPECT_EQ(minc::assemb(ctx, t, rig.hw, nrf, rows), Status::ok);
    }
    EXPECT_EQ(rows.grid_rows, 10);
    EXPECT_EQ(rows.mask_rows, 12);
    EXPECT_EQ(minc::padrow(rig.hw, rows.mask_rows, rig.mask(), rig.nct, std::span<float>(rig.area.work)), Status::ok);
    EXPECT_EQ(rows.mask_rows, 14);

    std::vector<std::string> art;  // mask row 1 first
    for (int r = 1; r <= 14; ++r) {
        std::string line;
        for (std::int32_t w : rig.mask_row(r)) line += w == 0 ? '.' : w == 1 ? '1' : '?';
        art.push_back(line);
    }
    return art;
}

int count_ones(const std::vector<std::string>& art) {
    int ones = 0;
    for (const auto& line : art) ones += int(std::count(line.begin(), line.end(), '1'));
    return ones;
}

TEST(Assembly, MaskRowsWithSectionAndTierSeams) {
    const std::vector<Flag> set = {
        {1, 1, 5, 4, 1},   // working (3, 2), inside block (1, 1)'s share
        {1, 1, 8, 5, 3},   // column S + 1: working (6, 3), merged across the section seam
        {1, 1, 9, 5, 2},   // column S + 2: overlap only, not in the mask
        {1, 1, 4, 7, 4},   // row T + 1: working (2, 5), carried across the tier seam
        {1, 1, 4, 8, 1},   // row T + 2: overlap only
        {2, 1, 3, 7, -1},  // row T + 1 of block (2, 1): working (8, 5), carried
        {1, 1, 8, 7, 1},   // column S + 1 and row T + 1: working (6, 5), carried and merged
        {2, 1, 1, 3, 1},   // block (2, 1) column 1: working (6, 1)
        {2, 2, 7, 6, 2},   // last node: working (12, 10)
        {2, 2, 8, 6, 2},   // beyond the working grid: not in the mask
        {1, 2, 2, 3, 1},   // extended column 2 (outside the working grid)
        {1, 2, 5, 2, -1},  // working (3, 6), a fixed data node
        {1, 1, 5, 2, 1},   // extended row 2 (outside the working grid)
    };
    // clang-format off
    const std::vector<std::string> expected = {
        "................",  // 1  (border)
        "................",  // 2  (border)
        ".......1........",  // 3  working row 1
        "....1...........",  // 4
        ".......1........",  // 5
        "................",  // 6
        "...1...1.1......",  // 7  working row 5: the first row of tier 2
        "....1...........",  // 8
        "................",  // 9
        "................",  // 10
        "................",  // 11
        ".............1..",  // 12 working row 10
        "................",  // 13 (border)
        "................",  // 14 (border)
    };
    // clang-format on
    for (int nrf : {1, 2, 5, 100}) {
        SCOPED_TRACE("rows per group " + std::to_string(nrf));
        const auto art = assemble_mask(set, nrf);
        for (std::size_t r = 0; r < expected.size(); ++r) EXPECT_EQ(art[r], expected[r]) << "mask row " << r + 1;
    }
}

TEST(Assembly, SectionSeamFlagMergesWithEitherSide) {
    // The node at block (1, 1) column S + 1 is block (2, 1) column 1 (working (6, 3)).
    for (int side = 1; side <= 2; ++side) {
        SCOPED_TRACE(side == 1 ? "flag in the left block" : "flag in the right block");
        const Flag f = side == 1 ? Flag{1, 1, 8, 5, 1} : Flag{2, 1, 1, 5, 1};
        const auto art = assemble_mask({f}, 100);
        EXPECT_EQ(art[4], ".......1........");
        EXPECT_EQ(count_ones(art), 1);
    }
}

TEST(Assembly, TierSeamFlagMergesWithEitherSide) {
    // The node at block (1, 1) row T + 1 is block (1, 2) row 1 (working (4, 5)).
    for (int side = 1; side <= 2; ++side) {
        SCOPED_TRACE(side == 1 ? "flag in the lower block" : "flag in the upper block");
        const Flag f = side == 1 ? Flag{1, 1, 6, 7, 2} : Flag{1, 2, 6, 1, 2};
        for (int nrf : {1, 3, 100}) {
            const auto art = assemble_mask({f}, nrf);
            EXPECT_EQ(art[6], ".....1..........");
            EXPECT_EQ(count_ones(art), 1);
        }
    }
}

TEST(Assembly, RowsThatDoNotFitAndFailedStores) {
    {
        SCOPED_TRACE("no row fits behind the block");
        EXPECT_EQ(minc::rows_behind_block(32000, 260000), 0);
        EXPECT_EQ(minc::rows_behind_block(100, 255900), 1);
        Rig rig = two_by_two(0);
        auto ctx = rig.ctx();
        RowCounters rows;
        EXPECT_EQ(minc::assemb(ctx, 1, 0, 0, rows), Status::row_too_wide);
        EXPECT_EQ(rows.grid_rows, 0);
    }
    {
        SCOPED_TRACE("empty section store");
        Rig rig = two_by_two(0);
        auto ctx = rig.ctx();
        RowCounters rows;
        EXPECT_EQ(minc::assemb(ctx, 1, 0, 4, rows), Status::store_failed);
    }
    {
        SCOPED_TRACE("grid row store refuses writes");
        Rig rig = two_by_two(0);
        for (int s = 1; s <= 2; ++s) rig.put_block(s, std::vector<float>(std::size_t(rig.nb()), 2.0f));
        rig.gr = rig.fs.open("~mincgr.tmp", gridout::OpenMode::read_only);
        auto ctx = rig.ctx();
        RowCounters rows;
        EXPECT_EQ(minc::assemb(ctx, 1, 0, 4, rows), Status::store_failed);
    }
    {
        SCOPED_TRACE("mask store refuses writes");
        Rig rig = two_by_two(2);
        for (int s = 1; s <= 4; ++s) rig.put_flags(s, std::vector<std::int32_t>(std::size_t(rig.nb()), 0));
        rig.ms = rig.fs.open("~mincms.tmp", gridout::OpenMode::read_only);
        auto ctx = rig.ctx();
        RowCounters rows;
        EXPECT_EQ(minc::assemb(ctx, 1, 2, 4, rows), Status::store_failed);
        int irow = 0;
        EXPECT_EQ(minc::padrow(2, irow, rig.mask(), rig.nct, std::span<float>(rig.area.work)), Status::store_failed);
    }
}

TEST(RowStore, MaskRecordsSlotsAndRowsAtTheirBytes) {
    {
        SCOPED_TRACE("20 mask columns: records of 30 words, row 1 at byte 120, row 2 at 240");
        gridout::MemoryFileSystem fs;
        auto f = fs.create("m");
        ASSERT_EQ(minc::record_words(20), 30);
        ASSERT_EQ(minc::write_mask_header(*f, {20, 7, -3.5f, 12.25f}), Status::ok);
        const std::vector<std::byte> fresh = fs.contents("m");
        ASSERT_GE(fresh.size(), (30u + 7u * 20u) * 4u);
        EXPECT_EQ(word_at(fresh, 0), 20);
        EXPECT_EQ(word_at(fresh, 1), 7);
        EXPECT_EQ(word_at(fresh, 2), 1);
        EXPECT_EQ(word_at(fresh, 3), std::bit_cast<std::int32_t>(-3.5f));
        EXPECT_EQ(word_at(fresh, 4), std::bit_cast<std::int32_t>(1.0f));
        EXPECT_EQ(word_at(fresh, 5), std::bit_cast<std::int32_t>(12.25f));
        EXPECT_EQ(word_at(fresh, 6), std::bit_cast<std::int32_t>(1.0f));
        for (std::size_t k = 7; k < fresh.size() / 4; ++k) ASSERT_EQ(word_at(fresh, k), 0) << "word " << k;

        const minc::RowFile rf{f.get(), 30};
        std::vector<std::int32_t> row(20);
        for (int k = 0; k < 20; ++k) row[std::size_t(k)] = 100 + k;
        ASSERT_EQ(minc::rowda_write(rf, std::span<const std::int32_t>(row), 2), Status::ok);
        row[0] = 55;
        ASSERT_EQ(minc::rowda_write(rf, std::span<const std::int32_t>(row), 1), Status::ok);
        const std::vector<std::byte> b = fs.contents("m");
        EXPECT_EQ(word_at(b, 30), 0);  // lead word of row 1 (byte 120)
        EXPECT_EQ(word_at(b, 31), 55);
        EXPECT_EQ(word_at(b, 50), 119);
        EXPECT_EQ(word_at(b, 60), 0);  // lead word of row 2 (byte 240)
        EXPECT_EQ(word_at(b, 61), 100);
        EXPECT_EQ(word_at(b, 0), 20);  // the header is untouched
        std::vector<std::int32_t> back(20, -1);
        ASSERT_EQ(minc::rowda_read(rf, std::span<std::int32_t>(back), 2), Status::ok);
        EXPECT_EQ(back[0], 100);
        EXPECT_EQ(back[19], 119);
        minc::MaskHeader h;
        ASSERT_EQ(minc::read_mask_header(*f, h), Status::ok);
        EXPECT_EQ(h.ncol, 20);
        EXPECT_EQ(h.nrow, 7);
        EXPECT_EQ(h.x0, -3.5f);
        EXPECT_EQ(h.y0, 12.25f);
    }
    {
        SCOPED_TRACE("100 mask columns: records of 101 words, row 1 at byte 404");
        gridout::MemoryFileSystem fs;
        auto f = fs.create("m");
        ASSERT_EQ(minc::record_words(100), 101);
        const std::vector<std::int32_t> row(100, 1);
        ASSERT_EQ(minc::rowda_write(minc::RowFile{f.get(), 101}, std::span<const std::int32_t>(row), 1), Status::ok);
        const std::vector<std::byte> b = fs.contents("m");
        ASSERT_EQ(b.size(), (101u + 101u) * 4u);
        EXPECT_EQ(word_at(b, 100), 0);
        EXPECT_EQ(word_at(b, 101), 0);  // the lead word at byte 404
        EXPECT_EQ(word_at(b, 102), 1);
    }
    {
        SCOPED_TRACE("section store slots of NB words, 1-based; grid rows appended");
        gridout::MemoryFileSystem fs;
        auto sb = fs.create("sb");
        const std::vector<float> a(6, 1.5f), c(6, -2.0f);
        ASSERT_EQ(minc::wrblk(*sb, 2, 6, std::span<const float>(c)), Status::ok);
        ASSERT_EQ(minc::wrblk(*sb, 1, 6, std::span<const float>(a)), Status::ok);
        ASSERT_EQ(minc::wrblk(*sb, 2, 6, std::span<const float>(a)), Status::ok);  // replaced in place
        const std::vector<std::byte> b = fs.contents("sb");
        ASSERT_EQ(b.size(), 48u);
        for (std::size_t k = 0; k < 12; ++k) EXPECT_EQ(word_at(b, k), std::bit_cast<std::int32_t>(1.5f)) << k;
        auto gr = fs.create("gr");
        ASSERT_EQ(minc::rowio(*gr, std::span<const float>(c)), Status::ok);
        ASSERT_EQ(minc::rowio(*gr, std::span<const float>(a)), Status::ok);
        const std::vector<std::byte> g = fs.contents("gr");
        ASSERT_EQ(g.size(), 48u);
        EXPECT_EQ(word_at(g, 5), std::bit_cast<std::int32_t>(-2.0f));
        EXPECT_EQ(word_at(g, 6), std::bit_cast<std::int32_t>(1.5f));
    }
}

}  // namespace
