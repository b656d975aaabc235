// Progress and summary lines of a run on a terminal (see progress.hpp).
#include "progress.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace driver {
namespace {

// Carriage return and "erase to the end of the line": the next text replaces the
// status line instead of being appended to it.
constexpr std::string_view kRewriteLine = "\r\033[K";

std::string format_seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", s);
    return buf;
}

}  // namespace

Progress::Progress(std::ostream& err, std::uint64_t total_bytes, Clock clock)
    : err_(err), total_bytes_(total_bytes), clock_(std::move(clock)), start_(clock_()) {}

double Progress::elapsed_seconds() const {
    return std::chrono::duration<double>(clock_() - start_).count();
}

std::string Progress::status_text(std::string_view label, std::uint64_t bytes_read) const {
    std::string s = "halvex: gridding line ";
    s.append(label);
    if (total_bytes_ > 0) {
        const double share = 100.0 * static_cast<double>(std::min(bytes_read, total_bytes_)) /
                             static_cast<double>(total_bytes_);
        char buf[32];
        std::snprintf(buf, sizeof buf, ", %.0f %% of the model file", share);
        s.append(buf);
    }
    s.append(", ").append(format_seconds(elapsed_seconds()));
    return s;
}

std::string Progress::summary_text(const RunTally& t) const {
    return "halvex: " + std::to_string(t.lines) + (t.lines == 1 ? " line, " : " lines, ") +
           std::to_string(t.points) + " points, " + std::to_string(t.grids) + " grids, " +
           std::to_string(t.failures) + (t.failures == 1 ? " failed call, " : " failed calls, ") +
           format_seconds(elapsed_seconds());
}

void Progress::draw() {
    err_ << kRewriteLine << status_text(label_, bytes_read_) << std::flush;
    line_shown_ = true;
}

void Progress::gridding(std::string_view label, std::uint64_t bytes_read) {
    label_ = std::string(label);
    bytes_read_ = bytes_read;
    suspended_ = false;
    draw();
}

void Progress::count_line(std::int64_t points) {
    ++tally_.lines;
    tally_.points += points;
}

void Progress::suspend() {
    if (!line_shown_) return;
    err_ << kRewriteLine << std::flush;
    line_shown_ = false;
    suspended_ = true;
}

void Progress::resume() {
    if (!suspended_) return;
    suspended_ = false;
    draw();
}

void Progress::finish(std::int64_t grids, std::int64_t failures) {
    if (line_shown_) err_ << kRewriteLine;
    line_shown_ = suspended_ = false;
    tally_.grids = grids;
    tally_.failures = failures;
    err_ << summary_text(tally_) << "\n" << std::flush;
}

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace driver
