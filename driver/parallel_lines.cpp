// Lines gridded on worker threads (see parallel_lines.hpp).
#include "parallel_lines.hpp"

#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

#include "gridout/byte_file.hpp"
#include "minc_gridder.hpp"

namespace driver {
namespace {

constexpr char kGriddingLog[] = "minc.log";

// Puts the log bytes in place as "minc.log", whole. As with the library's own log, a
// log that cannot be written is not an error of the run.
void write_log(const std::string& bytes) {
    gridout::StageError why{};
    std::unique_ptr<gridout::StagedFile> log = gridout::disk().stage(kGriddingLog, why);
    if (!log) return;
    const auto data = std::as_bytes(std::span<const char>(bytes.data(), bytes.size()));
    if (data.empty() || log->file().write(data) == static_cast<std::int64_t>(data.size()))
        log->commit();
}

}  // namespace

ParallelGridder::ParallelGridder(int jobs, OrderedConsole& console)
    : jobs_(jobs), console_(console) {
    threads_.reserve(static_cast<std::size_t>(jobs));
    try {
        for (int k = 0; k < jobs; ++k) threads_.emplace_back([this] { work(); });
    } catch (...) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        job_ready_.notify_all();
        for (std::thread& t : threads_) t.join();
        throw;
    }
}

ParallelGridder::~ParallelGridder() {
    wait_until_in_flight_below(1);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    job_ready_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void ParallelGridder::wait_until_in_flight_below(int limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    job_done_.wait(lock, [&] { return in_flight_ < limit; });
}

std::optional<std::string> ParallelGridder::grid_line(const GridCall& call) {
    wait_until_in_flight_below(jobs_ + 1);
    // Lines done meanwhile show their warnings now, ahead of the text of this line.
    console_.drain();
    Job job{.sequence = next_sequence_++,
            .call = call,
            .points = std::vector<float>(call.points.begin(), call.points.end()),
            .place = 0};
    job.call.points = {};
    job.place = console_.hold();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(job));
        ++in_flight_;
    }
    job_ready_.notify_one();
    return std::nullopt;
}

std::deque<ParallelGridder::Job>::iterator ParallelGridder::next_job() {
    return std::find_if(queue_.begin(), queue_.end(),
                        [&](const Job& j) { return gridding_.count(j.call.label) == 0; });
}

void ParallelGridder::work() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        // Jobs of one label leave the queue in their order, one at a time.
        job_ready_.wait(lock, [&] { return (closing_ && queue_.empty()) || next_job() != queue_.end(); });
        const auto next = next_job();
        if (next == queue_.end()) return;
        Job job = std::move(*next);
        queue_.erase(next);
        gridding_.insert(job.call.label);
        lock.unlock();

        job.call.points = job.points;
        LineGrids grids;
        try {
            // A fresh state and status word: the line grids as the first line of a run.
            minc::RelaxState relax;
            int status_word = 0;
            grids = grid_four(job.call, relax, status_word, minc::Stores::memory, minc::LogTo::memory,
                              /*points_only=*/true);
        } catch (const std::exception&) {
            // Only the line's point copies can fail to be allocated here.
            grids = LineGrids{};
            grids.failures = static_cast<int>(kQuantities.size());
            grids.warnings = " warning: line " + job.call.label +
                             ": no grid written, not enough memory to grid the line\n";
        }
        console_.fill(job.place, std::move(grids.warnings));

        lock.lock();
        counts_.grids += grids.grids;
        counts_.failures += grids.failures;
        if (!log_sequence_ || job.sequence > *log_sequence_) {
            log_sequence_ = job.sequence;
            last_log_ = std::move(grids.last_log);
        }
        --in_flight_;
        gridding_.erase(job.call.label);
        lock.unlock();
        job_done_.notify_all();
        job_ready_.notify_all();  // a line of this label may be waiting
    }
}

void ParallelGridder::finish() {
    wait_until_in_flight_below(1);
    console_.drain();
    std::string log;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!log_sequence_) return;
        log = std::move(last_log_);
        log_sequence_.reset();
    }
    write_log(log);
}

GridCounts ParallelGridder::counts() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

}  // namespace driver
