// Cost per mask cell of the window blanking passes (radrem then radmsk) and of radius
// clipping, for windows of 3 and 41 cells on a large in-memory mask. The window passes
// keep column sums and a running sum, so their cost per cell should not grow with the
// window width.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "blanking.hpp"
#include "gridout/byte_file.hpp"
#include "radius_clip.hpp"
#include "row_store.hpp"

namespace {

constexpr int kCols = 2000;
constexpr int kRows = 1000;

// A mask file of kCols x kRows cells: data cells scattered along a few survey-like lines,
// as a gridded section would leave them, plus some isolated cells. Fixed pattern, so every
// run measures the same work.
std::vector<std::byte> make_mask_bytes() {
    gridout::MemoryFileSystem fs;
    auto f = fs.create("mask");
    minc::MaskHeader h;
    h.ncol = kCols;
    h.nrow = kRows;
    minc::write_mask_header(*f, h);
    const minc::RowFile rf{f.get(), minc::record_words(kCols)};
    std::vector<std::int32_t> row(kCols);
    std::uint32_t seed = 12345u;
    for (int j = 1; j <= kRows; ++j) {
        for (int i = 1; i <= kCols; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const bool on_line = (i % 97 == 0) && j > 50 && j < kRows - 50;
            const bool scattered = (seed >> 24) < 3;
            row[std::size_t(i - 1)] = (on_line || scattered) ? 1 : 0;
        }
        minc::rowda_write(rf, std::span<const std::int32_t>(row), j);
    }
    return fs.contents("mask");
}

const std::vector<std::byte>& mask_bytes() {
    static const std::vector<std::byte> bytes = make_mask_bytes();
    return bytes;
}

void fresh_mask(gridout::MemoryFileSystem& fs, std::unique_ptr<gridout::ByteFile>& f) {
    f = fs.create("mask");
    const auto& b = mask_bytes();
    f->write(std::span<const std::byte>(b));
}

// Items are mask cells; time_per_cell is the time of one pass per cell.
void report_per_cell(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * std::int64_t(kCols) * kRows);
    state.counters["time_per_cell"] = benchmark::Counter(
        double(state.iterations()) * kCols * kRows,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}

void BM_WindowPasses(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    const int ldim = kCols;
    std::vector<std::int32_t> work(std::size_t(ldim) * std::size_t(w + 2));
    std::span<std::int32_t> all(work);
    gridout::MemoryFileSystem fs;
    std::unique_ptr<gridout::ByteFile> f;
    for (auto _ : state) {
        state.PauseTiming();
        fresh_mask(fs, f);
        state.ResumeTiming();
        const minc::RowFile rf{f.get(), minc::record_words(kCols)};
        auto colsum = all.first(std::size_t(ldim));
        auto rowbuf = all.subspan(std::size_t(ldim), std::size_t(ldim));
        auto window = all.subspan(2 * std::size_t(ldim));
        if (minc::radrem(1, rf, w, {ldim, colsum, rowbuf, window}) != minc::Status::ok ||
            minc::radmsk(1, rf, w, {ldim, colsum, rowbuf, window}) != minc::Status::ok)
            state.SkipWithError("window pass failed");
    }
    report_per_cell(state);
}
BENCHMARK(BM_WindowPasses)->Arg(3)->Arg(41)->Unit(benchmark::kMillisecond);

void BM_RadiusClip(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0));
    std::vector<std::int32_t> rowbuf(kCols), rowend(2 * kRows), colend(2 * kCols),
        outline(2 * minc::radclp_outline_points(kCols, kRows, w));
    gridout::MemoryFileSystem fs;
    std::unique_ptr<gridout::ByteFile> f;
    for (auto _ : state) {
        state.PauseTiming();
        fresh_mask(fs, f);
        state.ResumeTiming();
        const minc::RowFile rf{f.get(), minc::record_words(kCols)};
        if (minc::radclp(rf, w, rowbuf, rowend, colend, outline) != minc::Status::ok)
            state.SkipWithError("radius clip failed");
    }
    report_per_cell(state);
}
BENCHMARK(BM_RadiusClip)->Arg(3)->Arg(41)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
