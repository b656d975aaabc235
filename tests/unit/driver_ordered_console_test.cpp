// The ordered console: text goes through in the order written, across the two streams;
// text after a held place waits until the place is filled, whatever order places are
// filled in; and a terminal status line steps aside while text is written.
#include "ordered_console.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "progress.hpp"

namespace driver {
namespace {

TEST(OrderedConsole, TextInTheOrderWrittenAcrossBothStreams) {
    std::ostringstream one;
    {
        OrderedConsole c(one, one);
        c.out() << "report 1\n";
        c.err() << " warning a\n";
        c.out() << "report 2\n" << 42 << '\n';
        EXPECT_EQ(one.str(), "");  // nothing before a flush
        c.out() << std::flush;
        EXPECT_EQ(one.str(), "report 1\n warning a\nreport 2\n42\n");
        c.err() << " last";
    }
    EXPECT_EQ(one.str(), "report 1\n warning a\nreport 2\n42\n last");  // the end drains

    std::ostringstream out, err;
    OrderedConsole c(out, err);
    c.out() << "a";
    c.err() << "b";
    c.out() << "c" << std::flush;
    EXPECT_EQ(out.str(), "ac");
    EXPECT_EQ(err.str(), "b");
}

TEST(OrderedConsole, TextAfterAHeldPlaceWaitsForIt) {
    struct Case {
        const char* what;
        std::vector<int> fill_order;  // places filled, in this order, draining after each
        std::vector<std::string> seen;  // the console after each drain
    };
    const Case cases[] = {
        {"filled in order", {0, 1}, {"L0\nW0\nL1\n", "L0\nW0\nL1\nW1\nend\n"}},
        {"second filled first", {1, 0}, {"L0\n", "L0\nW0\nL1\nW1\nend\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ostringstream one;
        OrderedConsole con(one, one);
        std::vector<OrderedConsole::Place> places;
        for (int k = 0; k < 2; ++k) {
            con.out() << "L" << k << "\n";
            places.push_back(con.hold());
        }
        con.err() << "end\n" << std::flush;
        EXPECT_EQ(one.str(), "L0\n");
        for (std::size_t i = 0; i < c.fill_order.size(); ++i) {
            const int k = c.fill_order[i];
            // Filled from another thread, as a worker does.
            std::string text(1, 'W');
            text += std::to_string(k);
            text += '\n';
            std::thread t([&] { con.fill(places[std::size_t(k)], text); });
            t.join();
            con.drain();
            EXPECT_EQ(one.str(), c.seen[i]);
        }
    }
}

TEST(OrderedConsole, StatusLineStepsAsideWhileTextIsWritten) {
    std::ostringstream out, err;
    auto fixed = [] { return std::chrono::steady_clock::time_point{}; };
    Progress progress(err, 0, fixed);
    OrderedConsole c(out, err, &progress);
    progress.gridding("9", 0);
    c.out() << std::flush;  // nothing to write: the status line stays
    c.err() << " warning\n" << std::flush;
    EXPECT_EQ(err.str(),
              "\r\033[Khalvex: gridding line 9, 0.0 s"
              "\r\033[K warning\n"
              "\r\033[Khalvex: gridding line 9, 0.0 s");
}

}  // namespace
}  // namespace driver
