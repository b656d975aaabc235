// The section gridder of a halvex run: the four gridding calls of every line through
// the gridding library, with the run's status word and relaxation state carried from
// call to call in order, as one process carries them.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "minc/minc.hpp"
#include "section_gridding.hpp"

namespace driver {

/// Exit status of a run that read its model file to the end but in which at least one
/// gridding call failed.
inline constexpr int kExitGridFailed = 3;

class MincGridder final : public SectionGridder {
public:
    /// Warnings about failed calls go to `console`, one line each.
    explicit MincGridder(std::ostream& console, minc::Stores stores = minc::Stores::memory)
        : console_(console), stores_(stores) {}

    /// Grids the line's four quantities. A failed call prints a one-line warning naming
    /// the line, the grid file and the code, and the next call goes on. Never stops the run.
    std::optional<std::string> grid_line(const GridCall& call) override;

    int failed_calls() const { return failed_; }
    int status_word() const { return status_word_; }

private:
    std::ostream& console_;
    minc::Stores stores_;
    minc::RelaxState relax_;  // one state for the whole run
    int status_word_ = 0;     // IERR: 0 before the first call, then what the last call left
    int failed_ = 0;
};

}  // namespace driver
