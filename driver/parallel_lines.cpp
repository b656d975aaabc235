// Lines gridded on worker threads (see parallel_lines.hpp).
#include "parallel_lines.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
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

// The state guessed for a grid whose predecessor is still being made: no failure, and
// the one rising sweep that most section grids end on.
constexpr CarriedState kLikelyState{.rise = 1, .status_word = 0};

static_assert(kLineGrids == static_cast<int>(kQuantities.size()));

// Grids made at once from guesses only while processors are left for them: on a
// machine with fewer processors than threads, a guess would take a processor from a
// grid that is sure to be kept.
int guessing_limit() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(std::min(n, 1024u));
}

}  // namespace

ParallelGridder::ParallelGridder(int jobs, OrderedConsole& console)
    : jobs_(jobs), console_(console), tasks_(kLikelyState), guessing_limit_(guessing_limit()) {
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

std::optional<GridTask> ParallelGridder::next_task() {
    if (std::optional<GridTask> t = tasks_.next_known()) return t;
    if (const auto next = next_job(); next != queue_.end()) {
        auto line = std::make_shared<Line>(Line{.job = std::move(*next), .placed = 0, .written = 0, .failures = 0, .warnings = {}, .last_log = {}});
        queue_.erase(next);
        const std::uint64_t sequence = line->job.sequence;
        line->job.call.points = line->job.points;
        gridding_.insert(line->job.call.label);
        lines_.emplace(sequence, std::move(line));
        tasks_.add(sequence);
        return tasks_.next_known();
    }
    if (tasks_.running() < guessing_limit_) return tasks_.next_guess();
    return std::nullopt;
}

MadeGrid ParallelGridder::make_grid(const Job& job, const GridTask& task) {
    MadeGrid made{.input = task.input, .output = {}, .file = {}};
    // A fresh state but for the carried count: the grid is made as the grid before
    // left the line, or as guessed.
    minc::RelaxState relax{.rise = task.input.rise};
    const auto k = static_cast<std::size_t>(task.grid);
    try {
        minc::GridRequest request = quantity_request(job.call, k, task.input.status_word);
        request.log_to = minc::LogTo::memory;
        made.file = minc::grid_file(request, quantity_points(job.call, k), relax, minc::Stores::memory);
    } catch (const std::exception&) {
        // Only the copy of the points can fail here; the library reports its own failures.
        made.file = minc::GridFile{};
        made.file.result.status = minc::Status::store_failed;
    }
    made.output = CarriedState{.rise = relax.rise, .status_word = made.file.result.code()};
    return made;
}

void ParallelGridder::place_ready(std::uint64_t sequence) {
    while (std::optional<MadeGrid> made = tasks_.take_ready(sequence)) {
        Line& line = *lines_.at(sequence);
        const auto k = static_cast<std::size_t>(line.placed++);
        const GridCall& call = line.job.call;
        const int code = minc::code(minc::write_grid_file(made->file, call.out_files[k]));
        if (code != 0) {
            ++line.failures;
            line.warnings += failed_grid_warning(call, k, code);
        } else {
            ++line.written;
        }
        line.last_log = std::move(made->file.result.log);
        if (!tasks_.placed(sequence, CarriedState{.rise = made->output.rise, .status_word = code})) continue;

        console_.fill(line.job.place, std::move(line.warnings));
        counts_.grids += line.written;
        counts_.failures += line.failures;
        if (!log_sequence_ || sequence > *log_sequence_) {
            log_sequence_ = sequence;
            last_log_ = std::move(line.last_log);
        }
        --in_flight_;
        gridding_.erase(call.label);
        lines_.erase(sequence);
        job_done_.notify_all();
        return;
    }
}

void ParallelGridder::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        std::optional<GridTask> task;
        job_ready_.wait(lock, [&] {
            task = next_task();
            return task || (closing_ && queue_.empty() && lines_.empty());
        });
        if (!task) return;
        // The line stays alive while its grid is made, even if the line ends meanwhile
        // on the grids the other threads made.
        const std::shared_ptr<Line> line = lines_.at(task->line);
        lock.unlock();
        MadeGrid made = make_grid(line->job, *task);
        lock.lock();
        tasks_.finish(*task, std::move(made));
        place_ready(task->line);
        // A grid in place opens the next one; a line ended may free its label.
        job_ready_.notify_all();
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
