// Template grid (REJONL): its step and size, the XLIM/YLIM filter that takes every
// point from one block only, and the failures of a damaged data scratch store.
#include "template_grid.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "assign_data.hpp"
#include "fill.hpp"
#include "solver_test_util.hpp"
#include "work_area.hpp"

namespace minc {
namespace {

using test::kDummy;
using test::StorePoint;
using test::make_partition;

struct StoreRec {
    int link = 0;
    std::vector<StorePoint> pts;
    int count = -1;  // -1: the number of points
};

// Everything REJONL needs: the call's stores and a data scratch store in memory.
struct Fixture {
    gridout::MemoryFileSystem fs;
    std::unique_ptr<gridout::ByteFile> store = fs.create("store");
    WorkArea w;
    TemplateGrid tmpl;
    RelaxState state;
    int nw = 2700;

    // Writes records 1, 2, ... of the store (P = nw / 3 points each).
    void write(const std::vector<StoreRec>& recs) {
        for (std::size_t r = 0; r < recs.size(); ++r)
            test::write_store_record(*store, static_cast<int>(r) + 1, recs[r].link, recs[r].pts, nw, recs[r].count);
    }
    Status run(const Partition& part, int records) {
        tmpl.values = w.template_values;
        const TemplateFrame f{.records = records, .nwrec = nw, .part = part, .dummy = kDummy, .tol = 1.0e-4f};
        return rejonl(f, *store, w.record, w.solver(), tmpl, state);
    }
    std::int32_t flag(int c, int r) const { return w.flags[static_cast<std::size_t>((r - 1) * tmpl.nxc + (c - 1))]; }
};

TEST(Rejonl, TemplateSizeAndStep) {
    struct Case {
        Partition part;
        int ic, nxc, nyc;
        const char* why;
    };
    const Case cases[] = {
        {make_partition(101, 101, 1, 1, 1), 4, 32, 32, "one block 101 x 101: 100 intervals, 100 / 4 + 7 = 32"},
        {make_partition(175, 175, 10, 4, 4), 4, 174, 174, "669 intervals: 167 + 7 = 174, 174^2 = 30276 fits"},
        {make_partition(180, 180, 10, 4, 4), 5, 144, 144, "689 intervals: 179^2 = 32041 does not fit, 137 + 7 = 144"},
        {make_partition(170, 170, 10, 5, 5), 5, 168, 168, "809 intervals: 209^2 too many, 161 + 7 = 168"},
        {make_partition(170, 170, 10, 8, 3), 5, 264, 104, "1289 x 489 intervals: 329 x 129 = 42441 too many, 264 x 104 fits"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Fixture f;
        // One datum at extended node (1, 1) = template node (3, 3); empty heads elsewhere.
        std::vector<StoreRec> recs(static_cast<std::size_t>(c.part.blocks()));
        recs[0].pts = {{1.0f, 1.0f, 4.0f}};
        f.write(recs);
        ASSERT_EQ(f.run(c.part, c.part.blocks()), Status::ok);
        EXPECT_EQ(f.tmpl.ic, c.ic);
        EXPECT_EQ(f.tmpl.nxc, c.nxc);
        EXPECT_EQ(f.tmpl.nyc, c.nyc);
        EXPECT_EQ(f.tmpl.xt0, 1 - 2 * c.ic);
        EXPECT_EQ(f.tmpl.yt0, 1 - 2 * c.ic);
        EXPECT_EQ(f.flag(3, 3), -1);
        EXPECT_FLOAT_EQ(f.tmpl.view()(3, 3), 4.0f);
    }
}

TEST(Rejonl, EachPointComesFromOneBlock) {
    // 2 x 2 blocks of 30 x 30, overlap 5: XLIM = YLIM = 25 for the first section and
    // tier. Template step 4: extended x goes to template (x - 1) / 4 + 3, so x = 25 is
    // template column 9 and x = 29 column 10, both exact nodes (fixed by their datum).
    const Partition part = make_partition(30, 30, 5, 2, 2);
    Fixture f;
    std::vector<StoreRec> recs(4);
    recs[0].pts = {{25, 13, 2}, {29, 13, 5}, {13, 25, 6}, {13, 29, 7}};  // block 1: 2 and 6 kept
    recs[1].pts = {{29, 13, 3}, {33, 29, 8}};                             // block 2: 3 kept (last section)
    recs[2].pts = {{13, 29, 9}, {29, 33, 10}};                            // block 3: 9 kept (last tier)
    recs[3].pts = {{45, 45, 11}, {5, 5, 12}};                             // block 4 keeps everything
    f.write(recs);
    ASSERT_EQ(f.run(part, 4), Status::ok);
    ASSERT_EQ(f.tmpl.ic, 4);
    ASSERT_EQ(f.tmpl.nxc, 20);
    ASSERT_EQ(f.tmpl.nyc, 20);
    const auto z = f.tmpl.view();
    struct Node {
        int c, r;
        float z;
    };
    for (const Node& n : {Node{9, 6, 2}, Node{6, 9, 6}, Node{10, 6, 3}, Node{6, 10, 9}, Node{14, 14, 11}, Node{4, 4, 12}}) {
        SCOPED_TRACE("kept datum at template node " + std::to_string(n.c) + ", " + std::to_string(n.r));
        EXPECT_EQ(f.flag(n.c, n.r), -1);
        EXPECT_FLOAT_EQ(z(n.c, n.r), n.z);
    }
    // The points beyond XLIM or YLIM of a block that is not the last are not assigned:
    // their nodes are free and were filled and relaxed.
    EXPECT_EQ(f.flag(11, 10), 0);  // (33, 29) from block 2
    EXPECT_EQ(f.flag(10, 11), 0);  // (29, 33) from block 3
    int fixed = 0;
    for (int k = 0; k < 400; ++k) {
        fixed += f.w.flags[static_cast<std::size_t>(k)] == -1;
        ASSERT_TRUE(std::isfinite(f.w.template_values[static_cast<std::size_t>(k)]));
        ASSERT_NE(f.w.template_values[static_cast<std::size_t>(k)], kDummy);
    }
    EXPECT_EQ(fixed, 6);
}

TEST(Rejonl, OneOffNodeDatumGivesAConstantTemplate) {
    // The datum lies 0.25 template spacings from every node, so it is an off-node
    // constraint. Its node takes the data mean as its value (IZSET 1); the fill then
    // spreads that single value everywhere, and a constant surface meets the off-node
    // constraint, so the relaxation keeps it up to rounding. Leaving the node blank would leave
    // the fill nothing to spread (-1010).
    const Partition one = make_partition(41, 41, 1, 1, 1);
    Fixture f;
    f.write({{0, {{10.0f, 14.0f, 2.5f}}}});  // template position (5.25, 6.25)
    ASSERT_EQ(f.run(one, 1), Status::ok);
    ASSERT_EQ(f.tmpl.ic, 4);
    ASSERT_EQ(f.tmpl.nxc, 17);
    EXPECT_GE(f.flag(5, 6), 1);
    EXPECT_LE(f.flag(5, 6), 4);
    float worst = 0.0f;
    for (int k = 0; k < f.tmpl.nxc * f.tmpl.nyc; ++k) {
        if (k != (6 - 1) * 17 + (5 - 1)) {
            ASSERT_EQ(f.w.flags[static_cast<std::size_t>(k)], 0) << "template node " << k;
        }
        worst = std::max(worst, std::fabs(f.w.template_values[static_cast<std::size_t>(k)] - 2.5f));
    }
    // The relaxation's single-precision stencil weights do not sum to exactly one, so a
    // sweep can move a constant by an ulp; 8 ulps of 2.5 leaves room for that and still
    // catches any real departure from the data value.
    EXPECT_LE(worst, 8.0f * 0x1p-22f);
}

TEST(Rejonl, TemplateIsTheDocumentedSteps) {
    // 4 x 4 blocks of 180 x 180, overlap 10: template step 5 (1 / 5 is inexact, so the
    // conversion (x - 1) x (1 / IC) + 3 shows in the last bits), 144 x 144 nodes. The
    // template is built again here from the steps as documented, with the same assignment,
    // fill and relaxation routines: assign the points of every block that lie within its
    // XLIM / YLIM (0.1 weight constant, offsets 0), finish with IZSET 1, fill, then at
    // most 30 sweeps. Both must agree bit for bit. The sparse data keep the relaxation
    // from converging within 30 sweeps, so the sweep limit matters too.
    const Partition part = make_partition(180, 180, 10, 4, 4);
    const std::vector<std::vector<StorePoint>> chains = {
        {{12.3f, 17.9f, 3.0f}, {171.0f, 40.2f, -1.5f}, {175.4f, 60.7f, 9.0f}},  // block 1: 175.4 > XLIM 170
        {{180.6f, 33.3f, 2.0f}, {333.3f, 150.1f, 4.25f}},                     // block 2
        {},
        {{600.1f, 12.7f, -2.0f}},                                            // block 4, last section
        {{44.4f, 200.2f, 1.0f}, {77.7f, 345.6f, 6.5f}, {90.0f, 399.9f, 0.5f}},  // block 5: 399.9 > YLIM 340
        {},
        {{444.4f, 222.2f, 7.0f}},
        {},
        {},
        {{250.5f, 520.5f, -3.25f}},
        {},
        {},
        {{31.7f, 640.3f, 5.5f}},  // block 13, last tier
        {},
        {},
        {{690.9f, 690.1f, 8.0f}},  // block 16
    };
    Fixture f;
    std::vector<StoreRec> recs;
    for (const auto& pts : chains) recs.push_back({0, pts});
    f.write(recs);
    ASSERT_EQ(f.run(part, 16), Status::ok);
    ASSERT_EQ(f.tmpl.ic, 5);
    ASSERT_EQ(f.tmpl.nxc, 144);
    ASSERT_EQ(f.tmpl.nyc, 144);

    const int nxc = 144, nyc = 144;
    test::BlockArrays ref(nxc, nyc);
    std::fill(ref.z.v.begin(), ref.z.v.end(), kDummy);
    for (int t = 1; t <= 4; ++t) {
        for (int s = 1; s <= 4; ++s) {
            const float xlim = static_cast<float>(s * 170), ylim = static_cast<float>(t * 170);
            std::vector<float> kept;
            for (const StorePoint& p : chains[static_cast<std::size_t>((t - 1) * 4 + s - 1)]) {
                if ((s == 4 || p.x <= xlim) && (t == 4 || p.y <= ylim)) {
                    kept.insert(kept.end(), {(p.x - 1.0f) * (1.0f / 5.0f) + 3.0f, (p.y - 1.0f) * (1.0f / 5.0f) + 3.0f, p.z});
                }
            }
            if (!kept.empty()) assign(0.1f, {0.0f, 0.0f}, nxc, nyc, ref.acc, kept);
        }
    }
    bwts(1, 0.1f, 0.0f, ref.z.view(), ref.flags.view(), ref.acc);
    std::vector<float> line(static_cast<std::size_t>(nyc));
    ASSERT_EQ(gridr(ref.z.view(), line, kDummy), Status::ok);
    RelaxState state;
    RelaxResult result;
    curvmn(ref.z.view(), ref.fl(), ref.acc, {1.0e-4f, 30}, state, result);
    ASSERT_EQ(result.niter, 30);

    int differ = 0;
    for (std::size_t k = 0; k < ref.z.v.size(); ++k) {
        if (f.w.template_values[k] != ref.z.v[k] && ++differ <= 5)
            ADD_FAILURE() << "template node " << k % 144 + 1 << ", " << k / 144 + 1 << ": " << f.w.template_values[k]
                          << " want " << ref.z.v[k];
        if (f.w.flags[k] != ref.flags.v[k] && ++differ <= 5) ADD_FAILURE() << "flag of template node " << k;
    }
    EXPECT_EQ(differ, 0);
}

TEST(Rejonl, DamagedStore) {
    struct Case {
        const char* what;
        std::vector<StoreRec> recs;
        int records;
        Status want;
    };
    const Case cases[] = {
        {"link beyond the records of the store", {{2, {{5, 5, 1}}}, {7, {{6, 6, 1}}}}, 2, Status::chain_record_range},
        {"negative link", {{-1, {{5, 5, 1}}}}, 1, Status::chain_record_range},
        {"links that form a loop", {{2, {{5, 5, 1}}}, {1, {{6, 6, 1}}}}, 2, Status::chain_record_range},
        {"a record claims 901 points", {{0, {{5, 5, 1}}, 901}}, 1, Status::chain_record_count},
        {"the store is shorter than its record count", {{2, {{5, 5, 1}}}}, 2, Status::store_failed},
        {"no data at all: the fill finds nothing", {{0, {}}}, 1, Status::no_values},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        f.write(c.recs);
        EXPECT_EQ(f.run(make_partition(40, 40, 1, 1, 1), c.records), c.want);
    }
    EXPECT_EQ(code(Status::chain_record_range), -1003);
    EXPECT_EQ(code(Status::chain_record_count), -1004);
    EXPECT_EQ(code(Status::no_values), -1010);
}

}  // namespace
}  // namespace minc
