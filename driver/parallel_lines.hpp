// The lines of a run gridded on several threads. The record loop stays on the calling
// thread and hands each completed line over; worker threads make its four grids while
// the loop reads on. Every line starts from a fresh relaxation state and status word,
// as if it were the first line of a run, so its grids depend on nothing but the line
// itself: the outputs are the same bytes whatever the number of threads. A thread with
// no line to start makes later grids of the lines being gridded ahead of time
// (line_tasks.hpp), so that the last lines of a run end on every thread. A label that
// comes back (line 1, line 77, line 1 again) names the same grid files, so a line waits
// while an earlier line of its label is gridded: the later grids replace the earlier
// ones, as in a run on one thread. The warnings of a line take their place on the
// console where the line was handed over.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "line_tasks.hpp"
#include "minc/minc.hpp"
#include "minc_gridder.hpp"
#include "ordered_console.hpp"
#include "section_gridding.hpp"

namespace driver {

/// The most gridding threads a run takes (-j).
inline constexpr int kMaxJobs = 256;

class ParallelGridder final : public SectionGridder {
public:
    /// Starts `jobs` worker threads (1..kMaxJobs). Failed calls are reported through
    /// `console` as standard-error lines, one per call, in line order.
    /// The calls keep their scratch data and their logs in memory.
    ParallelGridder(int jobs, OrderedConsole& console);
    /// Waits for the lines handed over, then ends the threads.
    ~ParallelGridder() override;
    ParallelGridder(const ParallelGridder&) = delete;
    ParallelGridder& operator=(const ParallelGridder&) = delete;

    /// Hands the line over (its points are copied), first waiting while `jobs` + 1 lines
    /// are in flight: one line waits ready for the first thread that finishes its line
    /// while the record loop reads on, so the threads never wait for the reading, and at
    /// most that many lines' points and grids are held.
    std::optional<std::string> grid_line(const GridCall& call) override;

    /// Waits for every line handed over, writes their warnings, and writes "minc.log"
    /// as the last call of the last line left it.
    void finish() override;

    GridCounts counts() const override;

private:
    struct Job {
        std::uint64_t sequence;  // order in which the line was handed over
        GridCall call;
        std::vector<float> points;
        OrderedConsole::Place place;
    };
    // A line whose grids are being made, and what its grids in place left.
    struct Line {
        Job job;
        int placed = 0;        // grids in place, written or failed
        int written = 0;       // grid files written
        int failures = 0;      // grids that failed
        std::string warnings;  // one line per failed grid, each ending with LF
        std::string last_log;  // the log of the last grid in place
    };

    void work();
    // The next grid to make: of a line being gridded whose state is known, else the
    // first grid of a line waiting, else, while processors are left, one from a guess.
    std::optional<GridTask> next_task();
    // Makes the grid of `task` (unlocked).
    static MadeGrid make_grid(const Job& job, const GridTask& task);
    // Puts the line's grids that are ready in place, and ends the line after its last.
    void place_ready(std::uint64_t sequence);
    // The first queued job whose label no thread is gridding; end() when none.
    std::deque<Job>::iterator next_job();
    void wait_until_in_flight_below(int limit);

    const int jobs_;
    OrderedConsole& console_;

    mutable std::mutex mutex_;  // guards everything below but the threads
    std::condition_variable job_ready_;
    std::condition_variable job_done_;
    std::deque<Job> queue_;         // in the order the lines were handed over
    std::set<std::string> gridding_;  // labels of the lines being gridded
    std::map<std::uint64_t, std::shared_ptr<Line>> lines_;  // being gridded, by sequence
    LineTasks tasks_;
    const int guessing_limit_;  // grids made at once beyond which no thread guesses
    int in_flight_ = 0;  // handed over and not yet done
    bool closing_ = false;
    std::uint64_t next_sequence_ = 0;
    std::optional<std::uint64_t> log_sequence_;  // the latest line whose log is held
    std::string last_log_;
    GridCounts counts_;

    std::vector<std::thread> threads_;
};

}  // namespace driver
