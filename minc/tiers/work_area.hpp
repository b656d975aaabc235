// The fixed stores of one gridding call. Their sizes are the library's capacities
// (capacities.hpp): they bound the partition, the half window and the data records,
// so they keep their design values. A fresh WorkArea is the reset of a call: every
// store starts at zero.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "capacities.hpp"
#include "data_pass.hpp"
#include "template_grid.hpp"

namespace minc {

struct WorkArea {
    /// Blocks, rows and window buffers of every stage.
    std::vector<float> work = std::vector<float>(kWorkWords, 0.0f);
    /// The data pass's per-block fill counters and current record numbers.
    std::vector<std::int32_t> fill = std::vector<std::int32_t>(kMaxBlocks, 0);
    std::vector<std::int32_t> current = std::vector<std::int32_t>(kMaxBlocks, 0);
    /// Edge buffer of the solver (two halves of 3600). The design lays it over the two
    /// block tables above; their uses never overlap in time, so separate stores give
    /// the same results with each type kept as it is.
    std::vector<float> edge = std::vector<float>(kEdgeWords, 0.0f);
    /// One record of the data scratch store.
    std::vector<float> record = std::vector<float>(kRecordBufferWords, 0.0f);
    /// Channel values of one input record.
    std::vector<float> channels = std::vector<float>(kMaxChannels, 0.0f);
    /// Solver arrays shared by the template grid and every block.
    std::vector<std::int32_t> flags = std::vector<std::int32_t>(kBlockNodes, 0);
    std::vector<float> accumulator = std::vector<float>(kAccumulatorWords, 0.0f);
    std::vector<float> template_values = std::vector<float>(kBlockNodes, 0.0f);

    /// Integer working storage of the blanking passes (they take their window out of the
    /// work area in the design); allocated, zeroed, on first use within a call, with at
    /// least kWorkWords words and at least `words`.
    std::vector<std::int32_t>& int_work(std::size_t words = kWorkWords) {
        if (int_work_.size() < words || int_work_.empty())
            int_work_.resize(std::max<std::size_t>(words, kWorkWords), 0);
        return int_work_;
    }

    /// The data pass's view of the stores.
    DataPassBuffers data_pass_buffers() {
        return DataPassBuffers{std::span<float>(work), std::span<std::int32_t>(fill),
                               std::span<std::int32_t>(current)};
    }

    /// The solver's view of the stores: the section grid is the start of the work area.
    SolverArrays solver() {
        return SolverArrays{std::span<float>(work).first(kBlockNodes), std::span<std::int32_t>(flags),
                            std::span<float>(accumulator), std::span<float>(edge)};
    }

private:
    std::vector<std::int32_t> int_work_;
};

}  // namespace minc
