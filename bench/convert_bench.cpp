// Conversion speed of halvex without gridding: a generated model file of L lines of
// S stations and 64 cells (about 3/4 of the cells positive, the rest below the depth
// of investigation) is converted by run() in a scratch folder, writing the combined
// table, the line tables, the coordinate files and the line point files. Reports
// points per second and the peak resident memory of the run, which must not grow with
// the number of lines (the points are streamed, never held).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "run.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int kCells = 64;

// Writes the model; returns the number of points it holds.
std::int64_t write_model(const std::string& name, int lines, int stations) {
    std::mt19937 rng(4711);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    std::ofstream out(name, std::ios::binary);
    out << "/ generated model for the conversion benchmark\n";
    std::int64_t points = 0;
    char buf[64];
    for (int l = 0; l < lines; ++l) {
        const bool west = l % 2 == 1;
        for (int s = 0; s < stations; ++s) {
            const int k = west ? stations - 1 - s : s;
            const double east = 512000.0 + 25.0 * k + jitter(rng);
            const double north = 7654000.0 + 200.0 * l + jitter(rng);
            const double elev = 120.0 + 10.0 * jitter(rng);
            std::snprintf(buf, sizeof buf, "%d %d %.2f %.2f %.2f 30.0 1.0 200.0 12 64", 1000 + l,
                          s, east, north, elev);
            out << buf;
            const int doi = 40 + static_cast<int>(16.0 * (1.0 + jitter(rng)));
            for (int c = 0; c < kCells; ++c) {
                if (c >= doi) {
                    out << " 0.00000E+00";
                    continue;
                }
                const double con = (c < 8 ? 4.0 : c < 24 ? 40.0 : 2.0) * (1.0 + 0.05 * jitter(rng));
                std::snprintf(buf, sizeof buf, " %.5E", con);
                if ((l + s) % 3 == 0) *std::strchr(buf, 'E') = 'D';  // Fortran D exponents
                out << buf;
                ++points;
            }
            out << '\n';
        }
    }
    return points;
}

// Peak resident memory in kB since the last reset (Linux).
long peak_rss_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void reset_peak_rss() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_Convert(benchmark::State& state) {
    const int lines = static_cast<int>(state.range(0));
    const int stations = static_cast<int>(state.range(1));
    const fs::path previous = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("halvex_convert_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    const std::int64_t points = write_model("big.mod", lines, stations);
    const auto model_bytes = static_cast<double>(fs::file_size("big.mod"));

    const std::vector<std::string> args = {"big.mod", "5", "64"};
    long peak = 0;
    for (auto _ : state) {
        std::ostringstream out;
        std::istringstream in;
        driver::Console console{out, in};
        driver::NoGridding none;
        reset_peak_rss();
        const int status = driver::run(args, console, none);
        peak = std::max(peak, peak_rss_kb());
        if (status != driver::kExitOk) state.SkipWithError("run stopped");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * points);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(model_bytes));
    state.counters["points"] = static_cast<double>(points);
    state.counters["peak_rss_MB"] = static_cast<double>(peak) / 1024.0;
    state.counters["combined_MB"] = static_cast<double>(fs::file_size("big_all.xyz")) / 1048576.0;

    fs::current_path(previous);
    fs::remove_all(dir);
}

// 20 and 200 lines of 500 stations: ten times the file, the same peak memory.
BENCHMARK(BM_Convert)->Args({20, 500})->Args({200, 500})->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
