// What a long run tells the user on a terminal: the line being gridded, how far through
// the model file the run is and the elapsed time, on one line of standard error that is
// rewritten in place, and a one-line summary at the end. None of it goes to standard
// output or into a file, so the console transcript and the outputs stay as they are.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace driver {

/// What the end-of-run summary counts.
struct RunTally {
    std::int64_t lines = 0;     ///< lines written and gridded
    std::int64_t points = 0;    ///< points written to the tables
    std::int64_t grids = 0;     ///< grid files written
    std::int64_t failures = 0;  ///< gridding calls that failed
};

class Progress {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    /// A silent reporter: every call does nothing.
    Progress() = default;

    /// Reports to `err` about a model file of `total_bytes` (0 when unknown: no share
    /// is shown). `clock` gives the time; the run's start is the time of construction.
    Progress(std::ostream& err, std::uint64_t total_bytes, Clock clock = steady_now);

    /// The status line while `label` is gridded, `bytes_read` bytes into the model file.
    void gridding(std::string_view label, std::uint64_t bytes_read);

    /// Clears the status line and prints the summary line.
    void finish(const RunTally& tally);

    bool enabled() const { return err_ != nullptr; }

    /// The status line's text (without the carriage return and erase sequence).
    std::string status_text(std::string_view label, std::uint64_t bytes_read) const;
    /// The summary line's text (without its line end).
    std::string summary_text(const RunTally& tally) const;

    static std::chrono::steady_clock::time_point steady_now() {
        return std::chrono::steady_clock::now();
    }

private:
    double elapsed_seconds() const;

    std::ostream* err_ = nullptr;
    std::uint64_t total_bytes_ = 0;
    Clock clock_;
    std::chrono::steady_clock::time_point start_{};
    bool line_shown_ = false;
};

/// True when file descriptor 2 is a terminal: only then does a run show its progress.
bool stderr_is_terminal();

}  // namespace driver
