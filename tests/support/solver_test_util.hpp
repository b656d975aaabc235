// Helpers shared by the solver's unit tests: input data files, records and chains of
// the data scratch store, partitions given by hand, and the arrays of one block (grid,
// flags, accumulator) that ASSIGN, BWTS and the relaxation work on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "gridout/byte_file.hpp"
#include "grid_view.hpp"
#include "partition.hpp"

namespace minc::test {

inline constexpr float kDummy = -99999.0f;

/// One record of an input data file: x, y and the channels.
struct InputRecord {
    float x, y;
    std::vector<float> chan;
};

/// Creates the file `name` in fs holding the records, little-endian reals.
std::unique_ptr<gridout::ByteFile> write_input(gridout::MemoryFileSystem& fs, const std::vector<InputRecord>& recs,
                                               const std::string& name = "data.bin");

/// A point of the data scratch store, in extended-grid node units.
struct StorePoint {
    float x, y, z;
    bool operator==(const StorePoint&) const = default;
};
std::ostream& operator<<(std::ostream& os, const StorePoint& p);

/// One record of the data scratch store as stored: link, count and nw point words.
struct StoreRecord {
    std::int32_t link = 0, count = 0;
    std::vector<float> words;
};

/// Record rec (1-based) of a store of nw-word records; a record beyond the end fails the
/// test and comes back empty.
StoreRecord store_record(const std::vector<std::byte>& bytes, int rec, int nw);

/// The points of the chain that starts at record first, following the links; a chain
/// that does not end within `records` records fails the test.
std::vector<StorePoint> store_chain(const std::vector<std::byte>& bytes, int first, int nw, int records);

/// Writes record rec of a store of nw-word records: the points, the rest of the words
/// null values, and the count of points unless `count` (>= 0) says otherwise.
void write_store_record(gridout::ByteFile& store, int rec, int link, const std::vector<StorePoint>& pts, int nw,
                        int count = -1);

/// A partition of nsect x ntier blocks of cpb x rpb nodes.
Partition make_partition(int cpb, int rpb, int overlap, int nsect, int ntier);

/// Value of an accumulator that no point reached: sums start at 0 with a weight
/// constant, the nearest-point distances at 1 without.
inline float empty_acc(float wconst) { return wconst > 0.0f ? 0.0f : 1.0f; }

/// The arrays of one nx x ny block: grid values, node flags, six accumulator reals per node.
struct BlockArrays {
    Grid<float> z;
    Grid<std::int32_t> flags;
    std::vector<float> acc;
    BlockArrays(int nx, int ny, float acc_fill = 0.0f);
    /// The six accumulator reals (after BWTS, the coefficients) of node (i, j).
    float* acc_at(int i, int j) { return &acc[6 * (std::size_t(j - 1) * std::size_t(z.nx) + std::size_t(i - 1))]; }
    GridView<const std::int32_t> fl() const { return flags.view(); }
    /// ASSIGN of the (x, y, z) triplets at offsets 0, then BWTS with izset 0.
    void attach(std::span<const float> points, float wconst = 10.0f);
};

}  // namespace minc::test
