// The section gridder of a halvex run: the four gridding calls of every line through
// the gridding library, with the run's status word and relaxation state carried from
// call to call in order, as one process carries them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "minc/minc.hpp"
#include "section_gridding.hpp"

namespace driver {

/// Exit status of a run that read its model file to the end but in which at least one
/// gridding call failed.
inline constexpr int kExitGridFailed = 3;

/// The gridding request of quantity `k` (an index into kQuantities) of `call`, with the
/// iteration limit `iterations` (below 32: the library's default).
minc::GridRequest quantity_request(const GridCall& call, std::size_t k, int iterations);

/// The points of `call` with the values of quantity `k` (an index into kQuantities).
std::vector<minc::Point> quantity_points(const GridCall& call, std::size_t k);

/// The console line of a failed call of quantity `k` of `call`, ending with LF.
std::string failed_grid_warning(const GridCall& call, std::size_t k, int code);

class MincGridder final : public SectionGridder {
public:
    /// Warnings about failed calls go to `console`, one line each.
    explicit MincGridder(std::ostream& console, minc::Stores stores = minc::Stores::memory)
        : console_(console), stores_(stores) {}

    /// Grids the line's four quantities. A failed call prints a one-line warning naming
    /// the line, the grid file and the code, and the next call goes on. Never stops the run.
    std::optional<std::string> grid_line(const GridCall& call) override;

    GridCounts counts() const override { return {.grids = grids_, .failures = failed_}; }
    int failed_calls() const { return static_cast<int>(failed_); }
    int status_word() const { return status_word_; }

private:
    std::ostream& console_;
    minc::Stores stores_;
    minc::RelaxState relax_;  // one state for the whole run
    int status_word_ = 0;     // IERR: 0 before the first call, then what the last call left
    std::int64_t failed_ = 0;
    std::int64_t grids_ = 0;
};

}  // namespace driver
