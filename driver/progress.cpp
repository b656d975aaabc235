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
    : err_(&err), total_bytes_(total_bytes), clock_(std::move(clock)), start_(clock_()) {}

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
    return "halvex: " + std::to_string(t.lines) + " lines, " + std::to_string(t.points) +
           " points, " + std::to_string(t.grids) + " grids, " + std::to_string(t.failures) +
           (t.failures == 1 ? " failed call, " : " failed calls, ") +
           format_seconds(elapsed_seconds());
}

void Progress::gridding(std::string_view label, std::uint64_t bytes_read) {
    if (err_ == nullptr) return;
    *err_ << kRewriteLine << status_text(label, bytes_read) << std::flush;
    line_shown_ = true;
}

void Progress::finish(const RunTally& tally) {
    if (err_ == nullptr) return;
    if (line_shown_) *err_ << kRewriteLine;
    *err_ << summary_text(tally) << "\n" << std::flush;
    line_shown_ = false;
}

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace driver
