// The grids of the lines in flight as tasks: scripted sequences of takes, finished
// grids and grids put in place, each checked against the task, the grid or the end of
// line it must give. A grid made from a guess is put in place only when the grid
// before it left exactly the guessed state.
#include "line_tasks.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace driver {
namespace {

enum class Op {
    add,     // a line handed over
    known,   // next_known(): want the task (line, grid, state) or, with !want, none
    guess,   // next_guess(): the same
    finish,  // the task (line, grid, state) ends, leaving `left`
    ready,   // take_ready(line): want a grid made from `state`, or none
    placed,  // placed(line, state): `want` says whether the line ended
};

struct Step {
    Op op;
    int line = 0;
    int grid = 0;
    CarriedState state{};
    CarriedState left{};
    bool want = true;
};

constexpr CarriedState kFresh{0, 0};
constexpr CarriedState kOne{1, 0};
constexpr CarriedState kFailed{0, -1034};
constexpr CarriedState kFailedOne{1, -1034};

struct Script {
    const char* what;
    std::vector<Step> steps;
    int running_at_end;
};

const Script kScripts[] = {
    {"grids in turn on one thread",
     {{Op::add, 0},
      {Op::known, 0, 0, kFresh},
      {Op::known, 0, 0, {}, {}, false},
      {Op::finish, 0, 0, kFresh, kOne},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kOne, {}, false},
      {Op::known, 0, 1, kOne},
      {Op::finish, 0, 1, kOne, kOne},
      {Op::ready, 0, 0, kOne},
      {Op::placed, 0, 0, kOne, {}, false}},
     0},
    {"a right guess goes in place after the grid before",
     {{Op::add, 0},
      {Op::known, 0, 0, kFresh},
      {Op::guess, 0, 1, kOne},
      {Op::finish, 0, 1, kOne, kFresh},
      {Op::ready, 0, 0, {}, {}, false},
      {Op::finish, 0, 0, kFresh, kOne},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kOne, {}, false},
      {Op::ready, 0, 0, kOne},
      {Op::placed, 0, 0, kFresh, {}, false},
      {Op::known, 0, 2, kFresh}},
     1},
    {"a wrong guess is made again from the state the line is in",
     {{Op::add, 0},
      {Op::known, 0, 0, kFresh},
      {Op::guess, 0, 1, kOne},
      {Op::finish, 0, 1, kOne, kOne},
      {Op::finish, 0, 0, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, false},
      {Op::ready, 0, 0, {}, {}, false},
      {Op::known, 0, 1, kFresh}},
     1},
    {"a guess still being made when it is found wrong: the grid is made again at once",
     {{Op::add, 0},
      {Op::known, 0, 0, kFresh},
      {Op::guess, 0, 1, kOne},
      {Op::finish, 0, 0, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, false},
      {Op::known, 0, 1, kFresh},
      {Op::finish, 0, 1, kOne, kOne},
      {Op::ready, 0, 0, {}, {}, false},
      {Op::finish, 0, 1, kFresh, kOne},
      {Op::ready, 0, 0, kFresh}},
     0},
    {"guesses: both counts, then from the made grid before, then the line's state",
     {{Op::add, 0},
      {Op::known, 0, 0, kFresh},
      {Op::guess, 0, 1, kOne},
      {Op::guess, 0, 1, kFresh},
      {Op::guess, 0, 2, kOne},
      {Op::guess, 0, 2, kFresh},
      {Op::finish, 0, 2, kOne, kFailedOne},
      {Op::guess, 0, 3, kFailedOne},
      {Op::guess, 0, 3, {}, {}, false},
      {Op::finish, 0, 0, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, false},
      {Op::finish, 0, 1, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, false},
      // Grid 2 from 1 is dropped; the one from 0 is still being made.
      {Op::known, 0, 0, {}, {}, false},
      {Op::guess, 0, 3, kFresh}},
     4},
    {"a failed grid's status word goes on to the next grid",
     {{Op::add, 0},
      {Op::known, 0, 0, kFresh},
      {Op::finish, 0, 0, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFailed, {}, false},
      {Op::known, 0, 1, kFailed},
      {Op::guess, 0, 2, kFailed},
      {Op::guess, 0, 2, kFailedOne}},
     3},
    {"the earliest line first; a guess that ends after its line is dropped",
     {{Op::add, 0},
      {Op::add, 1},
      {Op::known, 0, 0, kFresh},
      {Op::known, 1, 0, kFresh},
      {Op::guess, 0, 1, kOne},
      {Op::finish, 0, 0, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, false},
      {Op::known, 0, 1, kFresh},
      {Op::finish, 0, 1, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, false},
      {Op::known, 0, 2, kFresh},
      {Op::finish, 0, 2, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, false},
      {Op::known, 0, 3, kFresh},
      {Op::finish, 0, 3, kFresh, kFresh},
      {Op::ready, 0, 0, kFresh},
      {Op::placed, 0, 0, kFresh, {}, true},
      {Op::finish, 0, 1, kOne, kOne},
      {Op::ready, 0, 0, {}, {}, false},
      {Op::guess, 1, 1, kOne}},
     2},
};

void expect_task(const std::optional<GridTask>& t, const Step& s) {
    if (!s.want) {
        EXPECT_FALSE(t.has_value());
        return;
    }
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->line, static_cast<std::uint64_t>(s.line));
    EXPECT_EQ(t->grid, s.grid);
    EXPECT_EQ(t->input, s.state);
    EXPECT_EQ(t->guessed, s.op == Op::guess);
}

TEST(LineTasks, Scripts) {
    for (const Script& script : kScripts) {
        SCOPED_TRACE(script.what);
        LineTasks tasks(kOne);
        int k = 0;
        for (const Step& s : script.steps) {
            SCOPED_TRACE(k++);
            const auto line = static_cast<std::uint64_t>(s.line);
            switch (s.op) {
                case Op::add:
                    tasks.add(line);
                    break;
                case Op::known:
                    expect_task(tasks.next_known(), s);
                    break;
                case Op::guess:
                    expect_task(tasks.next_guess(), s);
                    break;
                case Op::finish: {
                    MadeGrid made{.input = s.state, .output = s.left, .file = {}};
                    tasks.finish(GridTask{.line = line, .grid = s.grid, .input = s.state, .guessed = false},
                                 std::move(made));
                    break;
                }
                case Op::ready: {
                    const std::optional<MadeGrid> m = tasks.take_ready(line);
                    ASSERT_EQ(m.has_value(), s.want);
                    if (m) {
                        EXPECT_EQ(m->input, s.state);
                    }
                    break;
                }
                case Op::placed:
                    EXPECT_EQ(tasks.placed(line, s.state), s.want);
                    break;
            }
        }
        EXPECT_EQ(tasks.running(), script.running_at_end);
    }
}

}  // namespace
}  // namespace driver
