// What a long run tells the user on a terminal: the line being gridded, how far through
// the model file the run is and the elapsed time, on one line of standard error that is
// rewritten in place, and a one-line summary at the end. None of it goes to standard
// output or into a file, so the console transcript and the outputs stay as they are; a
// run whose standard error is not a terminal shows none of it.
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

    /// Reports to `err` about a model file of `total_bytes` (0 when unknown: no share
    /// is shown; set_total_bytes() can tell it later). `clock` gives the time; the run's
    /// start is the time of construction.
    explicit Progress(std::ostream& err, std::uint64_t total_bytes = 0, Clock clock = steady_now);

    void set_total_bytes(std::uint64_t total_bytes) { total_bytes_ = total_bytes; }

    /// The status line while `label` is gridded, `bytes_read` bytes into the model file.
    void gridding(std::string_view label, std::uint64_t bytes_read);

    /// Counts a line written and handed to the gridding, with its points.
    void count_line(std::int64_t points);

    /// Takes the status line off the terminal before other text is written there.
    void suspend();
    /// Shows the status line again (with the time brought up to date) after suspend().
    void resume();

    /// Clears the status line and prints the summary line of the lines and points
    /// counted and the given grids and failed calls.
    void finish(std::int64_t grids, std::int64_t failures);

    const RunTally& tally() const { return tally_; }

    /// The status line's text (without the carriage return and erase sequence).
    std::string status_text(std::string_view label, std::uint64_t bytes_read) const;
    /// The summary line's text (without its line end).
    std::string summary_text(const RunTally& tally) const;

    static std::chrono::steady_clock::time_point steady_now() {
        return std::chrono::steady_clock::now();
    }

private:
    double elapsed_seconds() const;
    void draw();

    std::ostream& err_;
    std::uint64_t total_bytes_ = 0;
    Clock clock_;
    std::chrono::steady_clock::time_point start_{};
    RunTally tally_;
    std::string label_;          // the line of the last status line
    std::uint64_t bytes_read_ = 0;
    bool line_shown_ = false;    // a status line is on the terminal
    bool suspended_ = false;     // taken off by suspend(), to be shown again
};

/// True when file descriptor 2 is a terminal: only then does a run show its progress.
bool stderr_is_terminal();

}  // namespace driver
