// Fixed capacities of the gridding library. They bound the partition, the half
// window and the data records, and so shape the numerical result: keep them exact.
#pragma once

#include <cstddef>

namespace minc {

inline constexpr int kWorkWords = 256000;      // work area (reals)
inline constexpr int kMaxBlocks = 3600;        // blocks; also one half of the edge buffer
inline constexpr int kBlockNodes = kWorkWords / 8;  // 32000 nodes per block / template
inline constexpr int kEdgeWords = 2 * kMaxBlocks;   // 7200: both block tables as edge buffer
inline constexpr int kAccumulatorWords = 192000;    // six reals per node of a block
inline constexpr int kRecordBufferWords = 40960;    // one data scratch record
inline constexpr int kMaxChannels = 256;            // channel buffer
inline constexpr int kMaxPointsPerRecord = 900;

}  // namespace minc
