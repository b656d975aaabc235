// The tier and section loop on real inputs: scattered points go through the data pass,
// the template grid and pcontl. Checked here: the edge buffer halves each block
// inherits, the log's block lines, the mask's border rows and its seams, failures, and
// that block seams do not show in a solved grid; the same input gives the same rows
// whether the stores are in memory or on disk.
#include "tier_loop.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "capacities.hpp"
#include "control_test_util.hpp"
#include "data_pass.hpp"
#include "gridout/byte_file.hpp"
#include "partition.hpp"
#include "template_grid.hpp"
#include "work_area.hpp"

namespace {

using minc::Partition;
using minc::Status;

// Passes everything to a file and reports each write (with its offset) to a hook.
class SpyFile final : public gridout::ByteFile {
public:
    SpyFile(std::unique_ptr<gridout::ByteFile> inner, std::function<void(std::int64_t, std::span<const std::byte>)> hook)
        : inner_(std::move(inner)), hook_(std::move(hook)) {}
    bool fail_reads = false;
    std::int64_t read(std::span<std::byte> out) override {
        if (fail_reads) return -1;
        const std::int64_t n = inner_->read(out);
        if (n > 0) pos_ += n;
        return n;
    }
    std::int64_t write(std::span<const std::byte> in) override {
        if (hook_) hook_(pos_, in);
        const std::int64_t n = inner_->write(in);
        if (n > 0) pos_ += n;
        return n;
    }
    std::int64_t seek(std::int64_t offset) override {
        const std::int64_t r = inner_->seek(offset);
        if (r >= 0) pos_ = r;
        return r;
    }
    std::int64_t size() override { return inner_->size(); }
    bool close() override { return inner_->close(); }

private:
    std::unique_ptr<gridout::ByteFile> inner_;
    std::function<void(std::int64_t, std::span<const std::byte>)> hook_;
    std::int64_t pos_ = 0;
};

struct Pt {
    float x, y, z;  // cell units of the working grid: node (c, r) is at (c - 1, r - 1)
};

struct RunSetup {
    int ncu = 0, nru = 0, hw = 0;
    Partition part{};  // from prtish when part.nsect == 0
    std::vector<Pt> points{};
    int maxit = 512;
    std::function<void(minc::TemplateGrid&)> tweak_template{};  // applied after the template is built
    bool fail_section_reads = false;
};

struct Outcome {
    Status status = Status::ok;
    Partition part;
    std::vector<float> grid;                  // nru rows of ncu values
    std::vector<std::vector<std::int32_t>> mask;  // mask rows 1..nru + 2 hw
    std::string log;
    std::vector<std::vector<float>> edge_at_write;  // the edge buffer at every log write
    std::vector<std::pair<std::int64_t, std::vector<float>>> section_writes;  // offset, words
};

// Runs the data pass, the template grid and the tier loop with every store in fs under
// prefix (a directory for disk files, empty in memory).
Outcome solve(gridout::FileSystem& fs, const std::string& prefix, const RunSetup& su) {
    Outcome out;
    const float dummy = -99999.0f;
    Partition part = su.part;
    if (part.nsect == 0) {
        part.overlap = 10;
        const minc::PartitionBounds bounds{.max_words = minc::kWorkWords,
                                           .max_blocks = minc::kMaxBlocks,
                                           .columns = su.ncu + 4,
                                           .rows = su.nru + 4};
        EXPECT_EQ(minc::prtish(bounds, part), Status::ok);
        if (part.blocks() == 1) part.overlap = 1;
    }
    out.part = part;
    const int nwrec = 3 * std::min(900, minc::kWorkWords / (3 * part.blocks()));

    std::vector<minc::Point> points;
    for (const Pt& p : su.points) points.push_back(minc::Point{p.x, p.y, p.z});
    auto data_store = fs.create(prefix + "~mincir.tmp");
    minc::WorkArea area;
    std::vector<float>& work = area.work;
    minc::DataTransform tr;
    tr.dummy = dummy;
    minc::InputRecords records{std::span<const minc::Point>(points)};
    const minc::DataPassFrame frame{.h = 1.0f, .xe0 = -2.0f, .ye0 = -2.0f, .nw = nwrec, .ncu = su.ncu, .nru = su.nru};
    const minc::DataPassResult pass = minc::seqdat(records, *data_store, frame, part, tr, area.data_pass_buffers());
    EXPECT_EQ(pass.status, Status::ok);
    std::fill(work.begin(), work.end(), 0.0f);

    const minc::SolverArrays arrays = area.solver();
    minc::TemplateGrid tmpl;
    tmpl.values = area.template_values;
    minc::RelaxState relax;
    const minc::TemplateFrame tf{.records = pass.records, .nwrec = nwrec, .part = part, .dummy = dummy, .tol = 1.0e-4f};
    EXPECT_EQ(minc::rejonl(tf, *data_store, area.record, arrays, tmpl, relax), Status::ok);

    if (su.tweak_template) su.tweak_template(tmpl);
    SpyFile sb(fs.create(prefix + "~mincsb.tmp"), [&](std::int64_t at, std::span<const std::byte> in) {
        std::vector<float> words(in.size() / 4);
        std::memcpy(words.data(), in.data(), words.size() * 4);
        out.section_writes.emplace_back(at, std::move(words));
    });
    sb.fail_reads = su.fail_section_reads;
    auto gr = fs.create(prefix + "~mincgr.tmp");
    const int nct = su.ncu + 2 * su.hw;
    std::unique_ptr<gridout::ByteFile> ms;
    if (su.hw >= 1) {
        ms = fs.create(prefix + "~mincms.tmp");
        EXPECT_EQ(minc::write_mask_header(*ms, {nct, su.nru + 2 * su.hw, -1.0f, -1.0f}), Status::ok);
        // Garbage in every row, so that a row the loop does not write shows.
        const std::vector<std::int32_t> junk(std::size_t(nct), 9);
        for (int r = 1; r <= su.nru + 2 * su.hw; ++r)
            EXPECT_EQ(minc::rowda_write(minc::RowFile{ms.get(), minc::record_words(nct)},
                                        std::span<const std::int32_t>(junk), r),
                      Status::ok);
    }
    SpyFile logfile(fs.create(prefix + "minc.log"), [&](std::int64_t, std::span<const std::byte> in) {
        out.log.append(reinterpret_cast<const char*>(in.data()), in.size());
        out.edge_at_write.push_back(area.edge);
    });
    minc::ParameterLog log(&logfile);

    minc::SolveContext ctx{.part = part, .dummy = dummy, .tol = 1.0e-4f, .maxit = su.maxit, .wconst = 10.0f,
                           .hw = su.hw, .ncu = su.ncu, .nru = su.nru, .nct = nct, .tmpl = tmpl, .arrays = arrays,
                           .work = work, .recbuf = area.record, .nwrec = nwrec, .data_store = *data_store,
                           .section_store = sb, .grid_rows = *gr, .mask = {ms.get(), minc::record_words(nct)},
                           .log = log, .relax = relax};
    out.status = minc::pcontl(ctx);

    const std::int64_t grid_bytes = gr->size();
    out.grid.assign(std::size_t(std::max<std::int64_t>(grid_bytes, 0) / 4), 0.0f);
    EXPECT_TRUE(gridout::seek_to(*gr, 0));
    EXPECT_TRUE(gridout::read_words(*gr, std::span<float>(out.grid)));
    if (su.hw >= 1) {
        for (int r = 1; r <= su.nru + 2 * su.hw; ++r) {
            std::vector<std::int32_t> row(std::size_t(nct), -1);
            EXPECT_EQ(minc::rowda_read(ctx.mask, std::span<std::int32_t>(row), r), Status::ok);
            out.mask.push_back(std::move(row));
        }
    }
    for (auto* f : {data_store.get(), gr.get(), ms.get()})
        if (f != nullptr) f->close();
    sb.close();
    logfile.close();
    return out;
}

Outcome solve_in_memory(const RunSetup& su) {
    gridout::MemoryFileSystem fs;
    return solve(fs, "", su);
}

// A smooth surface, in cell units.
float surface(float x, float y) {
    return 10.0f * std::sin(x / 80.0f) * std::cos(y / 55.0f) + 0.01f * x - 0.02f * y;
}

// n points spread over the working grid, none half-way between two nodes, so each has
// one nearest node.
std::vector<Pt> scattered(int ncu, int nru, int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> ux(0.0f, float(ncu - 1)), uy(0.0f, float(nru - 1));
    std::vector<Pt> pts;
    while (int(pts.size()) < n) {
        const float x = ux(gen), y = uy(gen);
        const float fx = x - std::floor(x), fy = y - std::floor(y);
        if (std::fabs(fx - 0.5f) < 0.02f || std::fabs(fy - 0.5f) < 0.02f) continue;
        pts.push_back({x, y, surface(x, y)});
    }
    return pts;
}

Partition hand_partition(int ncu, int nru, int nsect, int ntier, int overlap) {
    Partition p;
    p.overlap = overlap;
    p.nsect = nsect;
    p.ntier = ntier;
    p.cpb = overlap + (ncu + 4 - overlap + nsect - 1) / nsect;
    p.rpb = overlap + (nru + 4 - overlap + ntier - 1) / ntier;
    return p;
}

// The empty line and the column heading before every block's result line.
const std::string kBlockHead = "\r\n tier  sect   init err    end err    #iterations\r\n";

// Block lines of the log: pairs (tier, section) of the result lines in order; every
// result line is preceded by the empty line and the heading.
std::vector<std::pair<int, int>> logged_blocks(const std::string& log, bool& well_formed, bool& ends_with_heading) {
    std::vector<std::pair<int, int>> blocks;
    const std::string& head = kBlockHead;
    std::size_t at = 0;
    well_formed = true;
    ends_with_heading = false;
    while (at < log.size()) {
        if (log.compare(at, head.size(), head) != 0) {
            well_formed = false;
            break;
        }
        at += head.size();
        if (at == log.size()) {
            ends_with_heading = true;
            break;
        }
        if (at + 43 > log.size() || log.compare(at + 41, 2, "\r\n") != 0) {
            well_formed = false;
            break;
        }
        blocks.emplace_back(std::stoi(log.substr(at + 1, 4)), std::stoi(log.substr(at + 7, 4)));
        at += 43;
    }
    return blocks;
}

float grid_at(const Outcome& o, int ncu, int c, int r) { return o.grid[std::size_t((r - 1) * ncu + c - 1)]; }

TEST(Pcontl, OneBlock) {
    RunSetup su{.ncu = 40, .nru = 30, .hw = 2, .points = scattered(40, 30, 60, 1)};
    const Outcome o = solve_in_memory(su);
    ASSERT_EQ(o.status, Status::ok);
    ASSERT_EQ(o.part.blocks(), 1);
    bool ok = false, dangling = false;
    const auto blocks = logged_blocks(o.log, ok, dangling);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(dangling);
    EXPECT_EQ(blocks, (std::vector<std::pair<int, int>>{{1, 1}}));
    EXPECT_EQ(o.grid.size(), 40u * 30u);
    for (float v : o.grid) ASSERT_NE(v, -99999.0f);
    // Only block 1 and its flags were stored.
    ASSERT_EQ(o.section_writes.size(), 2u);
}

TEST(Pcontl, TwoSectionsPassColumnsToTheRight) {
    // CPB 27, RPB 24, S 17
    RunSetup su{.ncu = 40, .nru = 20, .hw = 1,
                .part = hand_partition(40, 20, 2, 1, 10), .points = scattered(40, 20, 80, 2)};
    su.points.push_back({30.0f, 10.0f, 3.0f});  // on working node (31, 11): block 2 node (16, 13)
    const Outcome o = solve_in_memory(su);
    ASSERT_EQ(o.status, Status::ok);
    const int cpb = o.part.cpb, rpb = o.part.rpb, S = o.part.section_step(), nb = cpb * rpb;
    ASSERT_EQ(S, 17);

    bool ok = false, dangling = false;
    EXPECT_EQ(logged_blocks(o.log, ok, dangling), (std::vector<std::pair<int, int>>{{1, 1}, {1, 2}}));
    EXPECT_TRUE(ok);

    // Stores in order: flags of block 1 (slot 3), block 1 (slot 1), flags of block 2, block 2.
    ASSERT_EQ(o.section_writes.size(), 4u);
    EXPECT_EQ(o.section_writes[1].first, 0);
    const std::vector<float>& block1 = o.section_writes[1].second;
    ASSERT_EQ(block1.size(), std::size_t(nb));
    EXPECT_EQ(o.section_writes[3].first, 4 * nb);
    const std::vector<float>& block2 = o.section_writes[3].second;

    // At the second block's empty line the first half holds columns S + 1..S + 3 of
    // block 1, three per row.
    ASSERT_GE(o.edge_at_write.size(), 4u);
    const std::vector<float>& edge = o.edge_at_write[3];
    for (int j = 1; j <= rpb; ++j)
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(edge[std::size_t(3 * (j - 1) + k)], block1[std::size_t((j - 1) * cpb + S + k)])
                << "row " << j << " column " << S + 1 + k;
    // Block 2 kept them fixed in its columns 1 and 2.
    for (int j = 1; j <= rpb; ++j)
        for (int i = 1; i <= 2; ++i)
            ASSERT_EQ(block2[std::size_t((j - 1) * cpb + i - 1)], block1[std::size_t((j - 1) * cpb + S + i - 1)]);
    // Block 2 was solved at XOFF = S: its datum sits at its node (31 + 2 - 17, 11 + 2).
    const std::vector<float>& flags2 = o.section_writes[2].second;
    EXPECT_NE(std::bit_cast<std::int32_t>(flags2[std::size_t((13 - 1) * cpb + 16 - 1)]), 0);
    EXPECT_EQ(block2[std::size_t((13 - 1) * cpb + 16 - 1)], 3.0f);
    EXPECT_EQ(grid_at(o, 40, 31, 11), 3.0f);
}

TEST(Pcontl, TwoTiersPassRowsUpwards) {
    // CPB 24, RPB 27, T 17
    RunSetup su{.ncu = 20, .nru = 40, .hw = 0,
                .part = hand_partition(20, 40, 1, 2, 10), .points = scattered(20, 40, 80, 3)};
    const Outcome o = solve_in_memory(su);
    ASSERT_EQ(o.status, Status::ok);
    const int cpb = o.part.cpb, T = o.part.tier_step();
    ASSERT_EQ(T, 17);
    bool ok = false, dangling = false;
    EXPECT_EQ(logged_blocks(o.log, ok, dangling), (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));

    ASSERT_EQ(o.section_writes.size(), 2u);  // HW 0: grids only, both in slot 1
    EXPECT_EQ(o.section_writes[0].first, 0);
    EXPECT_EQ(o.section_writes[1].first, 0);
    const std::vector<float>& lower = o.section_writes[0].second;
    const std::vector<float>& upper = o.section_writes[1].second;
    // At the upper block's result line the second half holds rows T + 1..T + 3 of the
    // lower block, read back from the store.
    ASSERT_EQ(o.edge_at_write.size(), 6u);
    const std::vector<float>& edge = o.edge_at_write[5];
    for (int k = 0; k < 3 * cpb; ++k)
        ASSERT_EQ(edge[std::size_t(3600 + k)], lower[std::size_t(T * cpb + k)]) << "place " << k;
    for (int k = 0; k < 2 * cpb; ++k) ASSERT_EQ(upper[std::size_t(k)], lower[std::size_t(T * cpb + k)]);
    // Grid rows: tier 1 gives block rows 3..T, tier 2 the rest.
    for (int r = 1; r <= 40; ++r) {
        const int row = r + 2;
        const bool low = row <= T;
        for (int c = 1; c <= 20; ++c) {
            const float want = low ? lower[std::size_t((row - 1) * cpb + c + 1)] : upper[std::size_t((row - T - 1) * cpb + c + 1)];
            ASSERT_EQ(grid_at(o, 20, c, r), want) << "node (" << c << ", " << r << ")";
        }
    }
}

// Working node nearest to a point (no point lies half-way).
std::pair<int, int> nearest_node(const Pt& p) { return {int(std::lround(p.x)) + 1, int(std::lround(p.y)) + 1}; }

TEST(Pcontl, MaskHasBorderRowsAndEveryDataNode) {
    for (int hw : {1, 3}) {
        SCOPED_TRACE("half window " + std::to_string(hw));
        // CPB 28, RPB 32: S 18, T 22
        RunSetup su{.ncu = 60, .nru = 50, .hw = hw,
                    .part = hand_partition(60, 50, 3, 2, 10), .points = scattered(60, 50, 120, 4)};
        const int S = su.part.section_step(), T = su.part.tier_step();
        // Points whose nearest node is the first node of the next block but whose home is
        // the block before: block row T + 1 (working row T - 1) and block column S + 1.
        for (float x : {4.3f, 17.2f, 33.7f, 50.1f}) su.points.push_back({x, float(T) - 2.2f, 1.0f});
        for (float y : {6.3f, 30.2f}) su.points.push_back({float(S) - 2.2f, y, 1.0f});
        su.points.push_back({float(S) - 2.2f, float(T) - 2.2f, 1.0f});
        const Outcome o = solve_in_memory(su);
        ASSERT_EQ(o.status, Status::ok);
        const int nct = 60 + 2 * hw;
        ASSERT_EQ(o.mask.size(), std::size_t(50 + 2 * hw));

        std::vector<std::vector<int>> expected(std::size_t(50 + 2 * hw), std::vector<int>(std::size_t(nct), 0));
        for (const Pt& p : su.points) {
            const auto [c, r] = nearest_node(p);
            expected[std::size_t(r + hw - 1)][std::size_t(c + hw - 1)] = 1;
        }
        for (int r = 1; r <= 50 + 2 * hw; ++r)
            for (int c = 1; c <= nct; ++c)
                ASSERT_EQ(o.mask[std::size_t(r - 1)][std::size_t(c - 1)], expected[std::size_t(r - 1)][std::size_t(c - 1)])
                    << "mask node (" << c << ", " << r << ")";
    }
}

TEST(Pcontl, FailedBlockLeavesItsHeading) {
    {
        SCOPED_TRACE("grid row wider than the work area behind the block");
        RunSetup su{.ncu = 260000, .nru = 6, .part = hand_partition(40, 20, 1, 1, 1)};
        gridout::MemoryFileSystem fs;
        minc::TemplateGrid tmpl;
        minc::WorkArea area;
        auto a = fs.create("a"), b = fs.create("b"), c = fs.create("c"), l = fs.create("l");
        minc::ParameterLog log(l.get());
        minc::RelaxState relax;
        minc::SolveContext ctx{.part = su.part, .dummy = -1.0f, .tol = 1.0e-4f, .maxit = 512, .wconst = 10.0f,
                               .hw = 0, .ncu = 260000, .nru = 6, .nct = 260000, .tmpl = tmpl,
                               .arrays = area.solver(), .work = area.work, .recbuf = area.record, .nwrec = 30, .data_store = *a, .section_store = *b,
                               .grid_rows = *c, .mask = {nullptr, 30}, .log = log, .relax = relax};
        EXPECT_EQ(minc::pcontl(ctx), Status::row_too_wide);
        EXPECT_EQ(fs.contents("l").size(), 0u);
    }
    {
        SCOPED_TRACE("second section cannot start from the template");
        // CPB 27, S 17
        RunSetup su{.ncu = 40, .nru = 20,
                    .part = hand_partition(40, 20, 2, 1, 10), .points = scattered(40, 20, 30, 5)};
        // With step 4, section 1 needs template columns up to 11, section 2 up to 15.
        su.tweak_template = [](minc::TemplateGrid& t) {
            ASSERT_EQ(t.ic, 4);
            t.nxc = 12;
        };
        const Outcome o = solve_in_memory(su);
        EXPECT_EQ(o.status, Status::start_columns);
        bool ok = false, dangling = false;
        EXPECT_EQ(logged_blocks(o.log, ok, dangling), (std::vector<std::pair<int, int>>{{1, 1}}));
        EXPECT_TRUE(ok);
        EXPECT_TRUE(dangling);
        EXPECT_EQ(o.grid.size(), 0u);  // the tier was never assembled
    }
    {
        SCOPED_TRACE("the block below cannot be read back");
        RunSetup su{.ncu = 20, .nru = 40,
                    .part = hand_partition(20, 40, 1, 2, 10), .points = scattered(20, 40, 30, 6)};
        su.fail_section_reads = true;
        const Outcome o = solve_in_memory(su);
        EXPECT_EQ(o.status, Status::store_failed);
        bool ok = false, dangling = false;
        // Tier 1's assembly already reads the store, so the loop ends after block (1, 1).
        EXPECT_EQ(logged_blocks(o.log, ok, dangling), (std::vector<std::pair<int, int>>{{1, 1}}));
        EXPECT_TRUE(ok);
        EXPECT_FALSE(dangling);
        EXPECT_EQ(o.grid.size(), 0u);
    }
}

// Largest neighbour differences of a solved grid, at block seams and elsewhere.
struct SeamStats {
    float seam_step = 0.0f, other_step = 0.0f;  // |z(n + 1) - z(n)|
    float seam_kink = 0.0f, other_kink = 0.0f;  // change of that step against its neighbours
};

// Seams lie between working columns c and c + 1 where c ends a section's share
// (c = s * S - 2), and likewise between rows.
SeamStats seam_stats(const Outcome& o, int ncu, int nru) {
    const int S = o.part.section_step(), T = o.part.tier_step();
    auto is_seam = [](int n, int step, int blocks) {
        for (int k = 1; k < blocks; ++k)
            if (n == k * step - 2) return true;
        return false;
    };
    SeamStats st;
    auto note = [&](bool seam, float step, float kink) {
        (seam ? st.seam_step : st.other_step) = std::max(seam ? st.seam_step : st.other_step, std::fabs(step));
        (seam ? st.seam_kink : st.other_kink) = std::max(seam ? st.seam_kink : st.other_kink, std::fabs(kink));
    };
    for (int r = 1; r <= nru; ++r) {
        for (int c = 2; c + 2 <= ncu; ++c) {
            const float d0 = grid_at(o, ncu, c, r) - grid_at(o, ncu, c - 1, r);
            const float d1 = grid_at(o, ncu, c + 1, r) - grid_at(o, ncu, c, r);
            const float d2 = grid_at(o, ncu, c + 2, r) - grid_at(o, ncu, c + 1, r);
            note(is_seam(c, S, o.part.nsect), d1, d1 - 0.5f * (d0 + d2));
        }
    }
    for (int c = 1; c <= ncu; ++c) {
        for (int r = 2; r + 2 <= nru; ++r) {
            const float d0 = grid_at(o, ncu, c, r) - grid_at(o, ncu, c, r - 1);
            const float d1 = grid_at(o, ncu, c, r + 1) - grid_at(o, ncu, c, r);
            const float d2 = grid_at(o, ncu, c, r + 2) - grid_at(o, ncu, c, r + 1);
            note(is_seam(r, T, o.part.ntier), d1, d1 - 0.5f * (d0 + d2));
        }
    }
    return st;
}

// 600 x 400 nodes from 6000 scattered samples of a smooth surface: the partition cuts it
// into several sections and tiers. A block that did not join its neighbour would show
// as a step or a kink along the seam. The largest step across a seam must not exceed
// the largest step elsewhere, and the largest kink at a seam not the largest kink
// elsewhere: kinks occur everywhere at data nodes (the surface bends to pass through
// the samples), so "no larger than elsewhere" is the test, with a margin of 10 % for
// the few hundred seam nodes meeting a steep data node by chance.
TEST(Pcontl, SeamsDoNotShow) {
    RunSetup su{.ncu = 600, .nru = 400, .hw = 0, .points = scattered(600, 400, 6000, 7)};
    const Outcome o = solve_in_memory(su);
    ASSERT_EQ(o.status, Status::ok);
    ASSERT_GE(o.part.nsect, 2);
    ASSERT_GE(o.part.ntier, 2);
    ASSERT_EQ(o.grid.size(), 600u * 400u);

    const SeamStats st = seam_stats(o, 600, 400);
    RecordProperty("seam_step", std::to_string(st.seam_step));
    RecordProperty("other_step", std::to_string(st.other_step));
    RecordProperty("seam_kink", std::to_string(st.seam_kink));
    RecordProperty("other_kink", std::to_string(st.other_kink));
    EXPECT_LE(st.seam_step, 1.1f * st.other_step);
    EXPECT_LE(st.seam_kink, 1.1f * st.other_kink);

    // The solved grid follows the surface. Near the edges the surface is extrapolated
    // from one side only, so the comparison keeps 10 nodes away from them; inside, the
    // error must stay a small part of the surface's range of about 20.
    float worst = 0.0f;
    for (int r = 11; r <= 390; ++r)
        for (int c = 11; c <= 590; ++c)
            worst = std::max(worst, std::fabs(grid_at(o, 600, c, r) - surface(float(c - 1), float(r - 1))));
    RecordProperty("worst_error", std::to_string(worst));
    // A fingerprint of the rows, to compare builds (outputs must not depend on them).
    std::uint64_t h = 1469598103934665603ull;
    for (float v : o.grid) h = (h ^ std::bit_cast<std::uint32_t>(v)) * 1099511628211ull;
    RecordProperty("grid_fingerprint", std::to_string(h));
    EXPECT_LT(worst, 0.2f);
}

TEST(Pcontl, MemoryAndDiskStoresGiveTheSameRows) {
    RunSetup su{.ncu = 230, .nru = 190, .hw = 3,
                .part = hand_partition(230, 190, 2, 2, 10), .points = scattered(230, 190, 900, 8)};
    gridout::MemoryFileSystem mem;
    const Outcome a = solve(mem, "", su);
    control_test::TempDir dir;
    const Outcome b = solve(gridout::disk(), dir.path().string() + "/", su);
    ASSERT_EQ(a.status, Status::ok);
    ASSERT_EQ(b.status, Status::ok);
    ASSERT_EQ(a.grid.size(), 230u * 190u);
    ASSERT_EQ(b.grid.size(), a.grid.size());
    EXPECT_EQ(std::memcmp(a.grid.data(), b.grid.data(), a.grid.size() * 4), 0);
    EXPECT_EQ(a.mask, b.mask);
    EXPECT_EQ(a.log, b.log);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "~mincgr.tmp"));
}

}  // namespace
