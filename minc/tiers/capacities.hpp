// Fixed capacities of the gridding library. They bound the partition, the half
// window and the data records, and so shape the numerical result: keep them exact.
#pragma once

#include <cstddef>
#include <cstdint>

namespace minc {

inline constexpr int kWorkWords = 256000;      // work area (reals)
inline constexpr int kMaxBlocks = 3600;        // blocks; also one half of the edge buffer
inline constexpr int kBlockNodes = kWorkWords / 8;  // 32000 nodes per block / template
inline constexpr int kEdgeWords = 2 * kMaxBlocks;   // 7200: both block tables as edge buffer
inline constexpr int kAccumulatorWords = 192000;    // six reals per node of a block
inline constexpr int kRecordBufferWords = 40960;    // one data scratch record
inline constexpr int kMaxChannels = 256;            // channel buffer
inline constexpr int kMaxPointsPerRecord = 900;
// Records an input data file may hold: 2^23 = 8388608, 256 MiB of the halvex driver's
// 8-word records. The accepted points go through the data scratch store, in memory by
// default, so a file that never ends (a device, a pipe) must stop somewhere; at the
// limit the store holds at most 12 bytes per point and block that the point reaches.
inline constexpr std::int64_t kMaxDataRecords = std::int64_t{1} << 23;

}  // namespace minc
