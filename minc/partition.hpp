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
};

/// PRTISH. Chooses CPB, RPB, NSECT, NTIER for an ncp x nrp extended grid with the
/// overlap p.overlap, within maxw words (a block holds at most maxw / 8 nodes) and
/// block dimensions of at most maxb / 3. On failure returns Status::no_partition
/// with p.nsect = 0 and cpb, rpb, ntier left as they were.
Status prtish(int maxw, int maxb, int ncp, int nrp, Partition& p);

}  // namespace minc
