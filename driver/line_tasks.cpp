// The grids of the lines being gridded (see line_tasks.hpp).
#include "line_tasks.hpp"

#include <algorithm>
#include <utility>

namespace driver {
namespace {

bool holds(const std::vector<CarriedState>& states, const CarriedState& s) {
    return std::find(states.begin(), states.end(), s) != states.end();
}

bool made_from(const std::vector<MadeGrid>& made, const CarriedState& s) {
    return std::any_of(made.begin(), made.end(), [&](const MadeGrid& m) { return m.input == s; });
}

}  // namespace

void LineTasks::add(std::uint64_t line) {
    Line l;
    l.sequence = line;
    lines_.push_back(std::move(l));
}

std::deque<LineTasks::Line>::iterator LineTasks::position(std::uint64_t line) {
    return std::find_if(lines_.begin(), lines_.end(), [&](const Line& l) { return l.sequence == line; });
}

LineTasks::Line* LineTasks::find(std::uint64_t line) {
    const auto it = position(line);
    return it == lines_.end() ? nullptr : &*it;
}

void LineTasks::drop_stale(Line& l) {
    if (l.placed >= kLineGrids) return;
    std::vector<MadeGrid>& next = l.made[static_cast<std::size_t>(l.placed)];
    std::erase_if(next, [&](const MadeGrid& m) { return !(m.input == l.state); });
}

std::vector<CarriedState> LineTasks::guesses(const Line& l, int grid) const {
    // The grid before, once made, says exactly what this one starts from, unless it
    // was itself made from a wrong guess.
    const std::vector<MadeGrid>& before = l.made[static_cast<std::size_t>(grid - 1)];
    if (before.size() == 1) return {before.front().output};
    // Else the state the line is in (the grids of a line mostly leave the same one),
    // or before its first grid is in place, the likely state; then the other
    // rising-sweep count (it is 0 or 1).
    const CarriedState first = l.placed > 0 ? l.state : likely_;
    CarriedState other = first;
    other.rise = first.rise == 0 ? 1 : 0;
    return {first, other};
}

std::optional<GridTask> LineTasks::next_known() {
    for (Line& l : lines_) {
        if (l.placed >= kLineGrids) continue;
        drop_stale(l);
        const auto q = static_cast<std::size_t>(l.placed);
        if (!l.made[q].empty() || holds(l.running[q], l.state)) continue;
        l.running[q].push_back(l.state);
        ++running_;
        return GridTask{.line = l.sequence, .grid = l.placed, .input = l.state, .guessed = false};
    }
    return std::nullopt;
}

std::optional<GridTask> LineTasks::next_guess() {
    for (Line& l : lines_) {
        for (int g = l.placed + 1; g < kLineGrids; ++g) {
            const auto q = static_cast<std::size_t>(g);
            for (const CarriedState& guess : guesses(l, g)) {
                if (holds(l.running[q], guess) || made_from(l.made[q], guess)) continue;
                l.running[q].push_back(guess);
                ++running_;
                return GridTask{.line = l.sequence, .grid = g, .input = guess, .guessed = true};
            }
        }
    }
    return std::nullopt;
}

void LineTasks::finish(const GridTask& task, MadeGrid made) {
    --running_;
    Line* l = find(task.line);
    if (l == nullptr) return;  // the line was completed by the other grids made meanwhile
    const auto q = static_cast<std::size_t>(task.grid);
    std::vector<CarriedState>& making = l->running[q];
    if (const auto it = std::find(making.begin(), making.end(), task.input); it != making.end())
        making.erase(it);
    // A grid the line has passed, or one made twice, is dropped now; one made from a
    // state the line has left is dropped when the line comes to it.
    if (task.grid < l->placed || made_from(l->made[q], made.input)) return;
    l->made[q].push_back(std::move(made));
}

std::optional<MadeGrid> LineTasks::take_ready(std::uint64_t line) {
    Line* l = find(line);
    if (l == nullptr || l->placed >= kLineGrids) return std::nullopt;
    drop_stale(*l);
    std::vector<MadeGrid>& next = l->made[static_cast<std::size_t>(l->placed)];
    if (next.empty()) return std::nullopt;
    MadeGrid out = std::move(next.front());
    next.clear();
    return out;
}

bool LineTasks::placed(std::uint64_t line, CarriedState after) {
    Line* l = find(line);
    if (l == nullptr) return false;
    l->state = after;
    if (++l->placed < kLineGrids) {
        drop_stale(*l);
        return false;
    }
    lines_.erase(position(line));
    return true;
}

}  // namespace driver
