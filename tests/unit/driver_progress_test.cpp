// The terminal progress of a run: the status line's share and time, its rewriting in
// place, and the summary line.
#include <gtest/gtest.h>

#include <sstream>

#include "progress.hpp"

namespace driver {
namespace {

using std::chrono::milliseconds;
using TimePoint = std::chrono::steady_clock::time_point;

// A clock the test moves by hand.
struct FakeClock {
    TimePoint now{};
    Progress::Clock fn() {
        return [this] { return now; };
    }
};

TEST(Progress, StatusLineShowsShareAndElapsedTime) {
    struct Case {
        std::uint64_t total, read;
        int elapsed_ms;
        const char* want;
    };
    const Case cases[] = {
        {1000, 0, 0, "halvex: gridding line 1001, 0 % of the model file, 0.0 s"},
        {1000, 333, 1300, "halvex: gridding line 1001, 33 % of the model file, 1.3 s"},
        {1000, 1000, 61000, "halvex: gridding line 1001, 100 % of the model file, 61.0 s"},
        // A file that grew while it was read never shows more than all of it.
        {1000, 5000, 10, "halvex: gridding line 1001, 100 % of the model file, 0.0 s"},
        // A model of unknown size (a pipe) shows no share.
        {0, 5000, 2000, "halvex: gridding line 1001, 2.0 s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.want);
        FakeClock clock;
        std::ostringstream err;
        Progress p(err, c.total, clock.fn());
        clock.now += milliseconds(c.elapsed_ms);
        EXPECT_EQ(p.status_text("1001", c.read), c.want);
    }
}

TEST(Progress, RewritesItsLineAndEndsWithTheSummary) {
    FakeClock clock;
    std::ostringstream err;
    Progress p(err, 0, clock.fn());
    p.set_total_bytes(200);
    p.count_line(1000);
    p.gridding("7", 100);
    clock.now += milliseconds(3500);
    p.count_line(234);
    p.gridding("8", 200);
    p.finish(8, 1);
    EXPECT_EQ(err.str(),
              "\r\033[Khalvex: gridding line 7, 50 % of the model file, 0.0 s"
              "\r\033[Khalvex: gridding line 8, 100 % of the model file, 3.5 s"
              "\r\033[Khalvex: 2 lines, 1234 points, 8 grids, 1 failed call, 3.5 s\n");
    EXPECT_EQ(p.tally().lines, 2);
    EXPECT_EQ(p.tally().points, 1234);
}

TEST(Progress, StepsAsideForOtherTextAndComesBack) {
    struct Case {
        const char* what;
        bool shown;  // a status line is on the terminal when the text comes
        const char* want;
    };
    const Case cases[] = {
        {"status line shown", true,
         "\r\033[Khalvex: gridding line 3, 25 % of the model file, 0.0 s"
         "\r\033[K warning\n"
         "\r\033[Khalvex: gridding line 3, 25 % of the model file, 2.0 s"
         "\r\033[Khalvex: 1 line, 0 points, 0 grids, 0 failed calls, 2.0 s\n"},
        {"nothing shown yet", false,
         " warning\n"
         "halvex: 0 lines, 0 points, 0 grids, 0 failed calls, 2.0 s\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeClock clock;
        std::ostringstream err;
        Progress p(err, 400, clock.fn());
        if (c.shown) {
            p.count_line(0);
            p.gridding("3", 100);
        }
        clock.now += milliseconds(2000);
        p.suspend();
        err << " warning\n";
        p.resume();
        p.finish(0, 0);
        EXPECT_EQ(err.str(), c.want);
    }
}

}  // namespace
}  // namespace driver
