// Partition of the extended grid (PRTISH): worked examples derived by hand from the
// candidate rule, and the limits every partition must respect.
#include "partition.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "capacities.hpp"
#include "solver_test_util.hpp"

namespace minc {
namespace {

constexpr int kMaxB = kMaxBlocks;  // block dimension limit is kMaxB / 3 = 1200

struct Expected {
    const char* what;
    int ncp, nrp, ov;
    int cpb, rpb, nsect, ntier;
};

void expect_partitions(std::initializer_list<Expected> cases) {
    for (const Expected& e : cases) {
        SCOPED_TRACE(testing::Message() << e.ncp << " x " << e.nrp << ": " << e.what);
        Partition p;
        p.overlap = e.ov;
        ASSERT_EQ(prtish({.max_words = kWorkWords, .max_blocks = kMaxB, .columns = e.ncp, .rows = e.nrp}, p),
                  Status::ok);
        EXPECT_EQ(p.cpb, e.cpb);
        EXPECT_EQ(p.rpb, e.rpb);
        EXPECT_EQ(p.nsect, e.nsect);
        EXPECT_EQ(p.ntier, e.ntier);
    }
}

TEST(Prtish, WorkedExamples) {
    // Hand derivations (base size trunc(sqrt(32000) - 10) = 168):
    // 204 x 54: NS0 = NT0 = 1; the first pass picks the square 32 x 32 (i = 9, j = 2,
    //   18 blocks); the second pass then takes the single block 204 x 54 (ratio 3.78).
    // 1004 x 54: NS0 = trunc(1004/168 + 0.5) - 1 = 5, CW(1) = 10 + ceil(994/5) = 209.
    // 250 x 250: the single block has 62500 nodes; the first pass finds 130 x 130 (4
    //   blocks); the second pass finds 1 x 3 blocks of 250 x 90 (22500 nodes, ratio 2.78),
    //   since 250 x 130 (2 blocks) has 32500 nodes.
    // 54 x 1004: the single column 54 x 209 has ratio 0.258 <= 0.3 and is refused; the
    //   first pass ends at 54 x 54 (23 tiers), the second takes 54 x 176 (6 tiers,
    //   ratio 0.307), the fewest blocks with a ratio above 0.3.
    // 64 x 44: one block (the single-block grid of a 60 x 40 call).
    expect_partitions({
        {"", 204, 54, 10, 204, 54, 1, 1},
        {"", 1004, 54, 10, 209, 54, 5, 1},
        {"", 250, 250, 10, 250, 90, 1, 3},
        {"", 54, 1004, 10, 54, 176, 1, 6},
        {"", 64, 44, 10, 64, 44, 1, 1},
    });
}

TEST(Prtish, SecondPassHasNoUpperRatioLimit) {
    // 400 x 400, overlap 10: NS0 = NT0 = trunc(400/168 + 0.5) - 1 = 1 and CW(k) = RH(k) =
    // 10 + ceil(390 / k): 400, 205, 140, 108, 88, 75, ... The first pass ends at the
    // square (3, 3), 140 x 140, 9 blocks. In the second pass (1, 6), 400 x 75 = 30000
    // nodes, has 6 blocks and ratio 5.33, which only has to exceed 0.3; (1, 5) = 35200
    // and (2, 2) = 42025 nodes break the node limit, so nothing with fewer blocks fits.
    expect_partitions({{"", 400, 400, 10, 400, 75, 1, 6}});
}

TEST(Prtish, StrictComparisonsAndTheRatioGate) {
    // 51 x 1919: NS0 = 1 (CW(1) = 51); NT0 = trunc(1919/168 + 0.5) - 1 = 10 and RH(k) =
    // 10 + ceil(1909 / (9 + k)): 201, 184, 170, 157, ... The first pass settles on 51 x 57
    // (41 tiers, ratio 0.895). Second pass with one section: 10, 11 tiers have ratios
    // 0.254 and 0.277; 12 tiers give 51 / 170 = 0.3 (also in float), refused; 13 tiers
    // give 0.325. Two sections need at least 20 blocks.
    //
    // 327 x 643: NS0 = trunc(1.946 + 0.5) - 1 = 1, CW = 327, 169, 116, 90, ...; NT0 =
    // trunc(3.827 + 0.5) - 1 = 3, RH = 221, 169, 137, 116, 101, 90, ... The ratio is
    // exactly 1 at (2, 2) 169 x 169 (8 blocks) and again at (3, 4), (4, 6), ... up to
    // (17, 32); the first is kept. No pair of fewer than 8 blocks fits (327 x 101 and
    // 169 x 221 exceed 32000 nodes), so the second pass changes nothing. Keeping a later
    // square instead would let the second pass take the first 8-block pair in loop
    // order, 327 x 90.
    //
    // 4000 x 24: NS0 = trunc(23.81 + 0.5) - 1 = 23, CW(32) = 10 + ceil(3990 / 54) = 84;
    // NT0 = 1, RH(1) = 24 is the tallest. The squarest pair is 84 x 24 (ratio 3.5), so the
    // fewest-blocks pass (which would take 23 sections of 184 columns) does not run.
    expect_partitions({
        {"a ratio of exactly 0.3 is not above 0.3", 51, 1919, 10, 51, 157, 1, 13},
        {"the first of several square pairs is kept", 327, 643, 10, 169, 169, 2, 4},
        {"no second pass when the best ratio is 3 or more", 4000, 24, 10, 84, 24, 54, 1},
    });
}

TEST(Prtish, LimitsHoldOverManySizes) {
    // Every partition keeps a block within 32000 nodes and 1200 nodes per side and
    // covers the extended grid with its sections and tiers.
    for (int ov : {10, 5}) {
        for (int ncp = 5; ncp <= 3000; ncp += 37) {
            for (int nrp = 5; nrp <= 3000; nrp += 53) {
                Partition p;
                p.overlap = ov;
                const Status s =
                    prtish({.max_words = kWorkWords, .max_blocks = kMaxB, .columns = ncp, .rows = nrp}, p);
                if (s != Status::ok) {
                    ADD_FAILURE() << "no partition for " << ncp << " x " << nrp << " ov " << ov;
                    continue;
                }
                SCOPED_TRACE(std::to_string(ncp) + " x " + std::to_string(nrp) + " ov " + std::to_string(ov));
                EXPECT_LE(p.cpb, 1200);
                EXPECT_LE(p.rpb, 1200);
                EXPECT_LE(p.cpb * p.rpb, 32000);
                EXPECT_GE(p.nsect, 1);
                EXPECT_GE(p.ntier, 1);
                EXPECT_GE((p.nsect - 1) * p.section_step() + p.cpb, ncp);
                EXPECT_GE((p.ntier - 1) * p.tier_step() + p.rpb, nrp);
            }
        }
    }
}

TEST(Prtish, NoFeasiblePairFails) {
    // With a block limit of 60 a block may be at most 20 wide, but even 36 sections of a
    // 1000-column grid need 10 + ceil(990 / 36) = 38 columns: nothing fits.
    Partition p = test::make_partition(7, 8, 10, 3, 9);
    EXPECT_EQ(prtish({.max_words = kWorkWords, .max_blocks = 60, .columns = 1000, .rows = 100}, p),
              Status::no_partition);
    EXPECT_EQ(p.nsect, 0);
    EXPECT_EQ(p.cpb, 7);
    EXPECT_EQ(p.rpb, 8);
    EXPECT_EQ(p.ntier, 9);
    EXPECT_EQ(code(Status::no_partition), -1001);
}

TEST(Prtish, BlockNumbering) {
    const Partition p = test::make_partition(30, 20, 10, 4, 3);
    EXPECT_EQ(p.block(1, 1), 1);
    EXPECT_EQ(p.block(4, 1), 4);
    EXPECT_EQ(p.block(1, 2), 5);
    EXPECT_EQ(p.block(3, 3), 11);
    EXPECT_EQ(p.blocks(), 12);
    EXPECT_EQ(p.section_step(), 20);
    EXPECT_EQ(p.tier_step(), 10);
}

}  // namespace
}  // namespace minc
