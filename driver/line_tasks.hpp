// The grids of the lines being gridded, as tasks for worker threads. The four grids of
// a line follow one another: each starts from the relaxation state and the status word
// the grid before it left. A thread that would otherwise wait may make a later grid of
// a line ahead of time, from a guessed state; that grid is put in place only if the
// grid before it, once in place, left exactly the guessed state, and is made again
// otherwise. The grids put in place are thus the grids made one after another, whoever
// made them and in whatever order they ended.
//
// The guess pays off because the state a grid leaves hardly varies: the status word is
// 0 unless a grid fails, and the rising-sweep count (0 or 1) mostly ends as it did
// after the grid before, at 1 for most section grids.
//
// Not thread-safe: the gridder's lock guards it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "minc/minc.hpp"

namespace driver {

/// What one grid of a line hands on to the next.
struct CarriedState {
    int rise = 0;         // the relaxation's count of rising sweeps
    int status_word = 0;  // the code of the grid before
    bool operator==(const CarriedState&) const = default;
};

/// Grids of a line, one per quantity.
inline constexpr int kLineGrids = 4;

/// One grid of a line to make, from `input`.
struct GridTask {
    std::uint64_t line = 0;  // the line's sequence number
    int grid = 0;            // 0 .. kLineGrids - 1
    CarriedState input;
    bool guessed = false;  // the input is a guess: the grid before is not in place yet
};

/// A grid made, not yet in place.
struct MadeGrid {
    CarriedState input;
    CarriedState output;  // the state the call left, before its file is written
    minc::GridFile file;
};

class LineTasks {
public:
    /// `likely`: the state guessed for a grid whose predecessor is still being made.
    explicit LineTasks(CarriedState likely) : likely_(likely) {}

    /// A line whose first grid may start, from the fresh state.
    void add(std::uint64_t line);

    /// The next grid whose input is known (that of the earliest line first), taken as
    /// running; none when every such grid is running or made.
    std::optional<GridTask> next_known();

    /// The next grid that may be made from a guess, taken as running: the earliest
    /// grid, of the earliest line, not made or being made from each of its guesses.
    /// A grid's guess is the state the grid before it left, when that one is made;
    /// else the state the line is in (the likely state before its first grid is in
    /// place), then that state with the other rising-sweep count.
    std::optional<GridTask> next_guess();

    /// Hands back the grid of a task. Kept unless it cannot be put in place any more.
    void finish(const GridTask& task, MadeGrid made);

    /// The next grid of the line that may go in place: made from the state the line is
    /// in. Taken out; the caller writes it and calls placed().
    std::optional<MadeGrid> take_ready(std::uint64_t line);

    /// Records the state the line's next grid left once in place (its writing may have
    /// changed the status word). True when it was the line's last grid: the line is
    /// then forgotten.
    bool placed(std::uint64_t line, CarriedState after);

    /// Number of grids being made.
    int running() const { return running_; }

private:
    struct Line {
        std::uint64_t sequence = 0;
        int placed = 0;       // grids in place
        CarriedState state;  // what the last grid in place left
        std::array<std::vector<CarriedState>, kLineGrids> running;  // inputs being made from
        std::array<std::vector<MadeGrid>, kLineGrids> made;  // each from another input
    };

    std::deque<Line>::iterator position(std::uint64_t line);
    Line* find(std::uint64_t line);
    // Drops the made grids of the line's next grid that are not made from its state.
    static void drop_stale(Line& l);
    // The inputs a grid may be guessed from, in the order they are tried.
    std::vector<CarriedState> guesses(const Line& l, int grid) const;

    CarriedState likely_;
    std::deque<Line> lines_;  // in sequence order
    int running_ = 0;
};

}  // namespace driver
