// The plan of a gridding call, from a table of requests: the working grid, window,
// partition and record size it derives and the log lines it writes, edge cases beside
// the golden runs (which pin the frames the stages read off the plan). Values worked
// out by hand in the comments.
#include "call_plan.hpp"

#include <gtest/gtest.h>


#include <string>
#include <tuple>
#include <vector>

#include "gridout/byte_file.hpp"

namespace minc {
namespace {

// The requested grid: first node, spacings, columns and rows.
struct Frame {
    float x0, y0, dx, dy;
    int nx, ny;
};

// A request of the grid f with the radius and angle.
GridRequest req(Frame f, float radius, float angle = 0.0f) {
    GridRequest r;
    std::tie(r.x0, r.y0, r.dx, r.dy, r.nx, r.ny, r.radius, r.angle) =
        std::tuple(f.x0, f.y0, f.dx, f.dy, f.nx, f.ny, radius, angle);
    return r;
}

// A parameter line: label, value right-aligned in the field that ends at offset 27.
std::string line(const std::string& label, const std::string& value) {
    return label + std::string(28 - label.size() - value.size(), ' ') + value + "\r\n";
}

std::string plan_log(const CallPlan& p) {
    gridout::MemoryFileSystem fs;
    {
        auto f = fs.create("log");
        ParameterLog log(f.get());
        log_plan(p, log);
        f->close();
    }
    const std::vector<std::byte> b = fs.contents("log");
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

TEST(CallPlan, PlansAndTheirLogFromATableOfRequests) {
    struct Case {
        const char* what;
        GridRequest r;
        DataRange range;  // read by a rotated call only
        WorkingGrid grid;
        int hw;
        Partition part;  // cpb, rpb, nsect, ntier, overlap
        int nwrec;
        Status status;
        std::string log;
    };
    const Case cases[] = {
        {"41 x 65 at (100, -220), 25 x 5, radius 50: two cells, one block",
         req({100.0f, -220.0f, 25.0f, 5.0f, 41, 65}, 50.0f), {}, {4.0f, -44.0f, 41, 65}, 2,
         {45, 69, 1, 1, 1}, 2700, Status::ok,
         line(" half window ", "2.") + line(" total columns ", "45.") + line(" total rows ", "69.") +
             line(" number tiers ", "1.") + line(" sections/tier ", "1.") +
             line(" columns/block ", "45.") + line(" rows/block ", "69.")},
        {"no radius: no mask lines",
         req({0.0f, 0.0f, 1.0f, 1.0f, 1000, 50}, 0.0f), {}, {0.0f, 0.0f, 1000, 50}, 0,
         {209, 54, 5, 1, 10}, 2700, Status::ok,
         line(" half window ", "0.") + line(" number tiers ", "1.") + line(" sections/tier ", "5.") +
             line(" columns/block ", "209.") + line(" rows/block ", "54.")},
        {"radius 250 cells on 1000 columns: reduced to 104, radius used logged",
         req({0.0f, 0.0f, 1.0f, 10.0f, 1000, 30}, 250.0f), {}, {0.0f, 0.0f, 1000, 30}, 104,
         {209, 34, 5, 1, 10}, 2700, Status::ok,
         line(" half window ", "104.") + line(" radius used ", "104.000") +
             line(" total columns ", "1208.") + line(" total rows ", "238.") +
             line(" number tiers ", "1.") + line(" sections/tier ", "5.") +
             line(" columns/block ", "209.") + line(" rows/block ", "34.")},
        {"several blocks with NY 5: the mask lines, then -999",
         req({0.0f, 0.0f, 1.0f, 1.0f, 1000, 5}, 3.0f), {}, {0.0f, 0.0f, 1000, 5}, 3,
         {}, 0, Status::overlap_too_small,
         line(" half window ", "3.") + line(" total columns ", "1006.") + line(" total rows ", "11.")},
        // xc0 = trunc(2.3) - 1 = 1, yc0 = trunc(-3.7) - 1 = -4; ncu = nint(11.6 - 1) + 1 = 12,
        // nru = nint(5.2 + 4) + 1 = 10.
        {"rotated 30 degrees: the working grid follows the data range",
         req({0.0f, 0.0f, 1.0f, 1.0f, 10, 8}, 0.0f, 30.0f), DataRange{2.3f, 10.6f, -3.7f, 4.2f},
         {1.0f, -4.0f, 12, 10}, 0, {16, 14, 1, 1, 1}, 2700, Status::ok,
         line(" half window ", "0.") + line(" number tiers ", "1.") + line(" sections/tier ", "1.") +
             line(" columns/block ", "16.") + line(" rows/block ", "14.")},
        {"rotated with no data range: no plan lines at all",
         req({0.0f, 0.0f, 1.0f, 1.0f, 10, 8}, 2.0f, 30.0f), DataRange{}, {}, 0, {}, 0,
         Status::bad_data_name, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CallPlan p = plan_call(c.r, c.range);
        EXPECT_EQ(p.status(), c.status);
        if (!failed(p.grid_status)) {
            EXPECT_EQ(std::tuple(p.grid, p.hw()), std::tuple(c.grid, c.hw));
        }
        if (p.status() == Status::ok) {
            EXPECT_EQ(std::tuple(p.part, p.nwrec), std::tuple(c.part, c.nwrec));
        }
        EXPECT_EQ(plan_log(p), c.log);
    }
}

}  // namespace
}  // namespace minc
