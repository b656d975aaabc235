// Partition of the extended grid into tiers (bands of rows, upwards in y) and
// sections (ranges of columns, upwards in x); every block has the same size and
// neighbouring blocks overlap so that each block inherits its boundary.
#pragma once

#include "minc/status.hpp"

namespace minc {

struct Partition {
    int cpb = 0;       // columns per block
    int rpb = 0;       // rows per block
    int nsect = 0;     // sections per tier (0 after a failed partition)
    int ntier = 0;     // number of tiers
    int overlap = 10;  // columns / rows shared by neighbours: 10, 5 or 1
    int section_step() const { return cpb - overlap; }  // S
    int tier_step() const { return rpb - overlap; }     // T
    int blocks() const { return nsect * ntier; }
    int nodes_per_block() const { return cpb * rpb; }
    /// Block number of (section, tier), both 1-based.
    int block(int section, int tier) const { return (tier - 1) * nsect + section; }
    bool operator==(const Partition&) const = default;
};

/// The room a partition must fit in and the extended grid it cuts.
struct PartitionBounds {
    int max_words;   // work area words: a block holds at most max_words / 8 nodes
    int max_blocks;  // a block is at most max_blocks / 3 nodes wide and high
    int columns;     // NCP, columns of the extended grid
    int rows;        // NRP, rows of the extended grid
};

/// PRTISH. Chooses CPB, RPB, NSECT, NTIER for the extended grid of `b` with the
/// overlap p.overlap, within b's limits. On failure returns Status::no_partition
/// with p.nsect = 0 and cpb, rpb, ntier left as they were.
Status prtish(const PartitionBounds& b, Partition& p);

}  // namespace minc
