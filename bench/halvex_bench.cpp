// Speed of a whole halvex run on a large, realistic model: 20 survey lines of 400
// stations with 64 cells of 5 m each, rolling topography, conductive bodies, and every
// cell below the column's depth of investigation set to 0, so that the deep part of each
// section is gridded from far-away data and its blocks relax for hundreds of sweeps.
//
// Reported per run (counters):
//   s_per_grid       processor time of the run divided by the number of grid files written
//   node_updates_ps  node updates of the block relaxation (sweeps x block nodes, from the
//                    result lines of minc.log after every call) per processor second of the run
//   relax_share      share of the run's time spent relaxing: the cost of one node update
//                    is measured by running the same calls with the sweep limit 32 and
//                    dividing the time saved by the updates saved
// The template grid's at most 30 sweeps per call are not counted as updates.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "minc/minc.hpp"
#include "minc_gridder.hpp"
#include "run.hpp"
#include "section_gridding.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int kLines = 20;
constexpr int kStations = 400;
constexpr int kCells = 64;
constexpr double kCell = 5.0;

/// Deterministic generator (64-bit LCG), uniform in [0, 1).
struct Rng {
    std::uint64_t s = 0x9E3779B97F4A7C15ull;
    double next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(s >> 11) / 9007199254740992.0;
    }
    double in(double a, double b) { return a + (b - a) * next(); }
};

double conductivity(double along, double depth, const std::vector<std::array<double, 5>>& bodies) {
    double c = depth < 20.0 ? 4.0 : depth < 60.0 ? 35.0 : depth < 140.0 ? 8.0 : 0.8;
    for (const auto& b : bodies) {
        const double r2 = std::pow((along - b[0]) / b[2], 2) + std::pow((depth - b[1]) / b[3], 2);
        if (r2 < 9.0) c += b[4] * std::exp(-r2);
    }
    return c;
}

void write_model(const std::string& path) {
    std::ofstream out(path);
    Rng rng;
    out << "/ benchmark model: Line Fid East North Elev Alt Resid DOI Iter Nlay Con(1..64)\n";
    char buf[64];
    for (int li = 0; li < kLines; ++li) {
        const int line = 1001 + 10 * li;
        const bool westward = li % 2 == 1;
        std::vector<std::array<double, 5>> bodies;
        const int nb = 1 + static_cast<int>(rng.next() * 3.0);
        for (int b = 0; b < nb; ++b)
            bodies.push_back({rng.in(0.2, 0.8) * kStations * 25.0, rng.in(40.0, 200.0),
                              rng.in(60.0, 250.0), rng.in(15.0, 50.0), rng.in(80.0, 400.0)});
        for (int si = 0; si < kStations; ++si) {
            const int k = westward ? kStations - 1 - si : si;
            const double x = k * 25.0 + rng.in(-2.0, 2.0);
            const double east = 512345.67 + x * std::sin(1.396) - li * 200.0 * std::cos(1.396);
            const double north = 7654321.89 + x * std::cos(1.396) + li * 200.0 * std::sin(1.396);
            const double elev = 120.0 + 15.0 * std::sin(x / 700.0 + li) + 4.0 * std::sin(x / 90.0);
            const double doi = 150.0 + 80.0 * rng.next();
            std::snprintf(buf, sizeof buf, "%d %d %.2f %.2f %.2f 30.0 1.0 %.1f 12 64", line,
                          10000 + 5000 * li + 3 * si, east, north, elev, doi);
            out << buf;
            for (int ci = 0; ci < kCells; ++ci) {
                const double depth = (ci + 0.5) * kCell;
                const double c = depth > doi ? 0.0 : conductivity(x, depth, bodies) * std::exp(rng.in(-0.05, 0.05));
                std::snprintf(buf, sizeof buf, " %.5E", c);
                out << buf;
            }
            out << "\n";
        }
    }
}

/// The block result lines of minc.log: sweeps x block nodes.
double node_updates_in_log() {
    std::ifstream log("minc.log", std::ios::binary);
    std::string line;
    long cpb = 0, rpb = 0;
    double updates = 0.0;
    while (std::getline(log, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind(" columns/block ", 0) == 0) cpb = std::stol(line.substr(16));
        if (line.rfind(" rows/block ", 0) == 0) rpb = std::stol(line.substr(16));
        if (line.size() == 41 && line.rfind(" tier", 0) != 0 && line[40] == '.')
            updates += std::stod(line.substr(37, 3)) * static_cast<double>(cpb * rpb);
    }
    return updates;
}

/// The four calls per line of the run's gridder, with a chosen sweep limit, counting
/// grids and relaxation node updates.
class CountingGridder final : public driver::SectionGridder {
public:
    explicit CountingGridder(int limit) : limit_(limit) {}
    std::optional<std::string> grid_line(const driver::GridCall& call) override {
        for (std::size_t k = 0; k < driver::kQuantities.size(); ++k) {
            const minc::GridRequest request = driver::quantity_request(call, k, limit_);
            if (minc::grid(request, relax_).ok()) ++grids;
            updates += node_updates_in_log();
            nodes += double(call.nx) * double(call.ny);
        }
        return std::nullopt;
    }
    int grids = 0;
    double updates = 0.0;
    double nodes = 0.0;

private:
    int limit_;
    minc::RelaxState relax_;
};

struct Workspace {
    fs::path dir, old;
    Workspace() {
        dir = fs::temp_directory_path() / ("halvex_bench_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        old = fs::current_path();
        fs::current_path(dir);
        write_model("bench.mod");
    }
    ~Workspace() {
        fs::current_path(old);
        // HALVEX_BENCH_KEEP set: the folder stays, with the model, for a look at it.
        if (std::getenv("HALVEX_BENCH_KEEP") != nullptr) return;
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

struct RunResult {
    double seconds = 0.0;
    int grids = 0;
    double updates = 0.0, nodes = 0.0;
};

double cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

RunResult run_once(int limit) {
    CountingGridder g(limit);
    std::ostringstream out;
    std::istringstream in;
    driver::Console console{out, in};
    const std::vector<std::string> args{"bench.mod", "5", "64"};
    // Processor time of this process: the machine may be shared, and the run is single
    // threaded, so this is the time the run itself took.
    const double t0 = cpu_seconds();
    driver::run(args, console, g);
    const double t1 = cpu_seconds();
    return RunResult{t1 - t0, g.grids, g.updates, g.nodes};
}

void BM_HalvexRun(benchmark::State& st) {
    Workspace ws;
    RunResult full, short_run;
    for (auto _ : st) {
        full = run_once(0);  // the run's own status word: the default limit of 512
        st.SetIterationTime(full.seconds);
    }
    short_run = run_once(32);
    const double per_update = (full.seconds - short_run.seconds) / (full.updates - short_run.updates);
    st.counters["grids"] = full.grids;
    st.counters["grid_nodes"] = full.nodes / std::max(full.grids, 1);
    st.counters["s_per_grid"] = full.seconds / std::max(full.grids, 1);
    st.counters["node_updates_ps"] = full.updates / full.seconds;
    st.counters["sweeps_per_node"] = full.updates / full.nodes;
    st.counters["relax_share"] = full.updates * per_update / full.seconds;
    st.counters["s_limit32"] = short_run.seconds;
}
BENCHMARK(BM_HalvexRun)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
