// Solve of one block: the inherited band (contin), what icontl stores and logs, the
// data chain read, and its failures. The template is a hand-made plane, so a block
// without data stays on that plane and data nodes show as fixed values.
#include "solve_block.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "assign_data.hpp"
#include "capacities.hpp"
#include "fill.hpp"
#include "gridout/byte_file.hpp"
#include "start_values.hpp"
#include "work_area.hpp"

namespace {

using minc::Status;

// The plane on which the template lies, in extended-grid node units.
float plane(float x, float y) { return 2.0f + 0.5f * x + 0.25f * y; }

struct Point {
    float x, y, z;
};

// A 2 x 2 partition of blocks 20 x 16, overlap 5 (S = 15, T = 11), over an extended grid
// of 35 x 27 nodes, with its template, data store and section store in memory.
struct Rig {
    minc::Partition part;
    int hw;
    float dummy = -99999.0f;
    int nwrec = 30;
    gridout::MemoryFileSystem fs;
    std::unique_ptr<gridout::ByteFile> data, sb, gr;
    minc::WorkArea area;
    minc::TemplateGrid tmpl;
    std::unique_ptr<gridout::ByteFile> logfile;
    minc::ParameterLog log{nullptr};
    minc::RelaxState relax;

    explicit Rig(int hw_, int template_columns = 15) : hw(hw_) {
        part.cpb = 20;
        part.rpb = 16;
        part.nsect = 2;
        part.ntier = 2;
        part.overlap = 5;
        data = fs.create("~mincir.tmp");
        sb = fs.create("~mincsb.tmp");
        gr = fs.create("~mincgr.tmp");
        logfile = fs.create("minc.log");
        log = minc::ParameterLog(logfile.get());
        tmpl.ic = 4;
        tmpl.nxc = template_columns;
        tmpl.nyc = 13;
        tmpl.xt0 = tmpl.yt0 = 1 - 2 * tmpl.ic;
        tmpl.values = area.template_values;
        for (int r = 1; r <= tmpl.nyc; ++r)
            for (int c = 1; c <= tmpl.nxc; ++c)
                tmpl.view()(c, r) = plane(float((c - 1) * tmpl.ic + tmpl.xt0), float((r - 1) * tmpl.ic + tmpl.yt0));
        for (int b = 1; b <= 4; ++b) put_record(b, 0, {});
    }
    int nb() const { return part.cpb * part.rpb; }
    // Record rec of the data store: link, count, then nwrec point words.
    void put_record(int rec, int link, const std::vector<Point>& pts) {
        std::vector<std::int32_t> words(std::size_t(nwrec + 2), 0);
        words[0] = link;
        words[1] = std::int32_t(pts.size());
        for (std::size_t k = 0; k < pts.size(); ++k) {
            words[2 + 3 * k] = std::bit_cast<std::int32_t>(pts[k].x);
            words[3 + 3 * k] = std::bit_cast<std::int32_t>(pts[k].y);
            words[4 + 3 * k] = std::bit_cast<std::int32_t>(pts[k].z);
        }
        ASSERT_TRUE(gridout::seek_to(*data, std::int64_t(rec - 1) * (nwrec + 2) * 4));
        ASSERT_TRUE(gridout::write_words(*data, std::span<const std::int32_t>(words)));
    }
    minc::SolveContext ctx() {
        return minc::SolveContext{
            .part = part, .dummy = dummy, .tol = 1.0e-4f, .maxit = 512, .wconst = 10.0f, .hw = hw,
            .ncu = 31, .nru = 23, .nct = 31 + 2 * hw, .tmpl = tmpl,
            .arrays = area.solver(), .work = area.work, .recbuf = area.record, .nwrec = nwrec, .data_store = *data, .section_store = *sb,
            .grid_rows = *gr, .mask = {nullptr, 30}, .log = log, .relax = relax};
    }
    template <class T>
    std::vector<T> slot(int k) {
        std::vector<T> v(static_cast<std::size_t>(nb()));
        EXPECT_EQ(minc::read_slot(*sb, k, nb(), std::span<T>(v)), Status::ok);
        return v;
    }
    std::string log_text() {
        auto b = fs.contents("minc.log");
        return std::string(reinterpret_cast<const char*>(b.data()), b.size());
    }
    float section(int i, int j) const { return area.work[std::size_t((j - 1) * part.cpb + i - 1)]; }
    std::int32_t flag(int i, int j) const { return area.flags[std::size_t((j - 1) * part.cpb + i - 1)]; }
};

TEST(Contin, BandFromTheLeftAndFromBelow) {
    constexpr int nx = 6, ny = 5;
    std::vector<float> edge(minc::kEdgeWords, 0.0f);
    for (int k = 0; k < 3600; ++k) edge[std::size_t(k)] = 1000.0f + float(k);          // from the left
    for (int k = 0; k < 3600; ++k) edge[std::size_t(3600 + k)] = 2000.0f + float(k);   // from below
    struct Case {
        int isect, itier;
    };
    for (Case c : {Case{1, 1}, Case{2, 1}, Case{1, 2}, Case{3, 4}}) {
        SCOPED_TRACE("section " + std::to_string(c.isect) + " tier " + std::to_string(c.itier));
        minc::Grid<float> g(nx, ny, 7.0f);
        minc::Grid<std::int32_t> f(nx, ny, 3);
        minc::contin(c.isect, c.itier, g.view(), f.view(), edge);
        for (int j = 1; j <= ny; ++j) {
            for (int i = 1; i <= nx; ++i) {
                float value = 7.0f;
                std::int32_t flag = 3;
                if (c.isect != 1 && i <= 3) {
                    value = 1000.0f + float(3 * (j - 1) + (i - 1));
                    if (i <= 2) flag = -1;
                }
                if (c.itier != 1 && j <= 3) {  // rows win at the corner
                    value = 2000.0f + float(nx * (j - 1) + (i - 1));
                    if (j <= 2) flag = -1;
                }
                EXPECT_EQ(g(i, j), value) << "node (" << i << ", " << j << ")";
                EXPECT_EQ(f(i, j), flag) << "node (" << i << ", " << j << ")";
            }
        }
    }
}

TEST(Icontl, FirstBlockWithDataStoresGridAndFlagsAndLogsItsLine) {
    for (int hw : {0, 2}) {
        SCOPED_TRACE("half window " + std::to_string(hw));
        Rig rig(hw);
        // Two points on nodes: one on the plane, one raised by 3. Block 1 has a second record.
        rig.put_record(1, 5, {{6.0f, 5.0f, plane(6.0f, 5.0f)}});
        rig.put_record(5, 0, {{12.0f, 9.0f, plane(12.0f, 9.0f) + 3.0f}});
        auto ctx = rig.ctx();
        ASSERT_EQ(minc::icontl(ctx, 1, 1, 0.0f, 0.0f), Status::ok);

        // Data nodes are fixed at their values; no other node is fixed.
        EXPECT_EQ(rig.section(6, 5), plane(6.0f, 5.0f));
        EXPECT_EQ(rig.section(12, 9), plane(12.0f, 9.0f) + 3.0f);
        int fixed = 0;
        for (int j = 1; j <= 16; ++j)
            for (int i = 1; i <= 20; ++i) fixed += rig.flag(i, j) == -1;
        EXPECT_EQ(fixed, 2);
        EXPECT_EQ(rig.flag(6, 5), -1);
        EXPECT_EQ(rig.flag(12, 9), -1);
        // The bump pulls its neighbours up; far away the plane stays.
        EXPECT_GT(rig.section(13, 9), plane(13.0f, 9.0f) + 0.5f);

        const auto stored = rig.slot<float>(1);
        for (int k = 0; k < rig.nb(); ++k) ASSERT_EQ(stored[std::size_t(k)], rig.area.work[std::size_t(k)]) << k;
        if (hw >= 1) {
            const auto flags = rig.slot<std::int32_t>(3);
            for (int k = 0; k < rig.nb(); ++k) ASSERT_EQ(flags[std::size_t(k)], rig.area.flags[std::size_t(k)]) << k;
        } else {
            EXPECT_EQ(rig.sb->size(), std::int64_t(rig.nb()) * 4);  // only the grid slot
        }

        const std::string text = rig.log_text();
        ASSERT_EQ(text.size(), 43u);
        EXPECT_EQ(text.substr(0, 12), "   1.    1. ");
        EXPECT_EQ(text.substr(41), "\r\n");
        const int sweeps = std::stoi(text.substr(37, 4));
        EXPECT_GE(sweeps, 1);
        EXPECT_LE(sweeps, 512);
    }
}

TEST(Icontl, BlockWithoutDataKeepsTheTemplatePlane) {
    Rig rig(1);
    rig.put_record(2, 0, {});  // an empty chain: count 0
    for (int j = 1; j <= 16; ++j)
        for (int k = 0; k < 3; ++k) rig.area.edge[std::size_t(3 * (j - 1) + k)] = plane(float(16 + k), float(j));
    auto ctx = rig.ctx();
    ASSERT_EQ(minc::icontl(ctx, 2, 1, 15.0f, 0.0f), Status::ok);
    // Without data, and with the band from the left on the same plane, every node stays
    // on the template's plane and only the band's two outer columns are fixed.
    for (int j = 1; j <= 16; ++j) {
        for (int i = 1; i <= 20; ++i) {
            EXPECT_EQ(rig.flag(i, j), i <= 2 ? -1 : 0) << i << "," << j;
            EXPECT_NEAR(rig.section(i, j), plane(float(15 + i), float(j)), 1.0e-3f) << i << "," << j;
        }
    }
    const auto flags = rig.slot<std::int32_t>(4);
    for (std::int32_t f : flags) ASSERT_EQ(f, 0);  // stored before the band was fixed
}

TEST(Icontl, InheritedBandIsFixedAndTheRestFollowsThePlane) {
    Rig rig(0);
    auto ctx = rig.ctx();
    // Block (2, 2): node (i, j) is extended node (15 + i, 11 + j).
    for (int j = 1; j <= 16; ++j)
        for (int k = 0; k < 3; ++k)
            rig.area.edge[std::size_t(3 * (j - 1) + k)] = plane(float(15 + 1 + k), float(11 + j));
    for (int j = 1; j <= 3; ++j)
        for (int i = 1; i <= 20; ++i)
            rig.area.edge[std::size_t(3600 + 20 * (j - 1) + i - 1)] = plane(float(15 + i), float(11 + j));
    ASSERT_EQ(minc::icontl(ctx, 2, 2, 15.0f, 11.0f), Status::ok);
    for (int j = 1; j <= 16; ++j) {
        for (int i = 1; i <= 20; ++i) {
            const bool band = i <= 2 || j <= 2;
            EXPECT_EQ(rig.flag(i, j), band ? -1 : 0) << i << "," << j;
            const float expected = plane(float(15 + i), float(11 + j));
            if (band)
                EXPECT_EQ(rig.section(i, j), expected) << i << "," << j;
            else  // a plane satisfies every relaxation equation; only rounding moves it
                EXPECT_NEAR(rig.section(i, j), expected, 1.0e-3f) << i << "," << j;
        }
    }
    EXPECT_EQ(rig.log_text().substr(0, 12), "   2.    2. ");
}

TEST(Icontl, BlockIsTheDocumentedStepsInTheirOrder) {
    // Block (2, 2) with on-node and off-node data in a chain of two records, a band from
    // the left and one from below that are off the template's plane, and a sweep limit of
    // 45 that the relaxation reaches. The block is solved again here by the documented
    // steps with the same start-value, assignment, band, fill and relaxation routines:
    // flags 0, start values, accumulator 0, every record's points assigned (weight 10),
    // BWTS with IZSET 0 (off-node data keep their start value), the flags stored, the
    // band, the fill, then the relaxation with the call's tolerance and sweep limit.
    // Grid, stored flags and the log line must agree bit for bit.
    Rig rig(2);
    rig.put_record(4, 6, {{20.0f, 18.0f, 9.0f}, {24.3f, 19.6f, -4.0f}});
    rig.put_record(6, 0, {{30.25f, 22.75f, 12.5f}});
    for (int k = 0; k < 3600; ++k) rig.area.edge[std::size_t(k)] = 0.01f * float(k % 61) - 0.2f;
    for (int k = 0; k < 3600; ++k) rig.area.edge[std::size_t(3600 + k)] = 1.0f + 0.02f * float(k % 37);
    const std::vector<float> edge = rig.area.edge;
    auto ctx = rig.ctx();
    ctx.maxit = 45;
    ASSERT_EQ(minc::icontl(ctx, 2, 2, 15.0f, 11.0f), Status::ok);

    constexpr int nx = 20, ny = 16;
    minc::Grid<float> grid(nx, ny);
    minc::Grid<std::int32_t> flags(nx, ny, 0);
    std::vector<float> fine(minc::kAccumulatorWords), patch(25), acc(minc::kAccumulatorWords, 7.0f);
    ASSERT_EQ(minc::zgint({15.0f, 11.0f}, rig.tmpl, grid.view(), fine, patch, rig.dummy), Status::ok);
    std::fill_n(acc.begin(), 6 * nx * ny, 0.0f);
    const std::vector<float> first = {20.0f, 18.0f, 9.0f, 24.3f, 19.6f, -4.0f}, second = {30.25f, 22.75f, 12.5f};
    minc::assign(10.0f, {15.0f, 11.0f}, nx, ny, acc, first);
    minc::assign(10.0f, {15.0f, 11.0f}, nx, ny, acc, second);
    minc::bwts(0, 10.0f, 0.0f, grid.view(), flags.view(), acc);
    const std::vector<std::int32_t> flags_before_band = flags.v;
    minc::contin(2, 2, grid.view(), flags.view(), edge);
    std::vector<float> line(ny);
    ASSERT_EQ(minc::gridr(grid.view(), line, rig.dummy), Status::ok);
    minc::RelaxState state;
    minc::RelaxResult r;
    minc::curvmn(grid.view(), minc::GridView<const std::int32_t>(flags.view()), acc, {1.0e-4f, 45}, state, r);
    ASSERT_EQ(r.niter, 45);

    EXPECT_EQ(rig.slot<float>(2), grid.v);
    EXPECT_EQ(rig.slot<std::int32_t>(4), flags_before_band);
    EXPECT_EQ(flags_before_band[std::size_t((18 - 11 - 1) * nx + (20 - 15 - 1))], -1);  // on-node datum
    EXPECT_EQ(std::count_if(flags_before_band.begin(), flags_before_band.end(), [](std::int32_t f) { return f >= 1; }),
              2);  // the two off-node data
    gridout::MemoryFileSystem fs;
    auto logfile = fs.create("log");
    minc::ParameterLog log(logfile.get());
    log.block_result(2, 2, r.err0, r.err, r.niter);
    EXPECT_EQ(rig.log_text(), std::string(reinterpret_cast<const char*>(fs.contents("log").data()), 43));
}

TEST(Icontl, FailuresLeaveNoSlotAndNoLogLine) {
    {
        SCOPED_TRACE("template too narrow for section 2");
        Rig rig(1, 12);
        auto ctx = rig.ctx();
        EXPECT_EQ(minc::icontl(ctx, 2, 1, 15.0f, 0.0f), Status::start_columns);
        EXPECT_EQ(rig.sb->size(), 0);
        EXPECT_EQ(rig.log_text(), "");
    }
    {
        SCOPED_TRACE("data store without the block's record");
        Rig rig(0);
        rig.data = rig.fs.create("empty");
        auto ctx = rig.ctx();
        EXPECT_EQ(minc::icontl(ctx, 1, 1, 0.0f, 0.0f), Status::store_failed);
        EXPECT_EQ(rig.log_text(), "");
    }
    {
        SCOPED_TRACE("record claims more points than it holds");
        Rig rig(0);
        std::vector<Point> many(11, Point{3.0f, 3.0f, 1.0f});
        rig.nwrec = 33;
        rig.put_record(1, 0, many);
        rig.nwrec = 30;
        auto ctx = rig.ctx();
        EXPECT_EQ(minc::icontl(ctx, 1, 1, 0.0f, 0.0f), Status::chain_record_count);
    }
    {
        // Data of alternating sign near the largest float on neighbouring nodes: the
        // relaxation overflows, and its changes are all too large or NaN to count.
        SCOPED_TRACE("relaxation overflows");
        Rig rig(0);
        std::vector<Point> huge;
        for (int j = 4; j <= 12; j += 2)
            for (int i = 4; i <= 16; i += 2) huge.push_back(Point{float(i), float(j), (i + j) % 4 == 0 ? 3.0e38f : -3.0e38f});
        rig.nwrec = 3 * int(huge.size());
        rig.put_record(1, 0, huge);
        auto ctx = rig.ctx();
        EXPECT_EQ(minc::icontl(ctx, 1, 1, 0.0f, 0.0f), Status::not_finite);
        EXPECT_EQ(rig.sb->size(), 0);
        EXPECT_EQ(rig.log_text(), "");
    }
    {
        SCOPED_TRACE("section store refuses writes");
        Rig rig(2);
        rig.sb = rig.fs.open("~mincsb.tmp", gridout::OpenMode::read_only);
        auto ctx = rig.ctx();
        EXPECT_EQ(minc::icontl(ctx, 1, 1, 0.0f, 0.0f), Status::store_failed);
        EXPECT_EQ(rig.log_text(), "");
    }
}

}  // namespace
