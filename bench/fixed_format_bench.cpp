// Speed of the fixed-width number fields against snprintf, which they replace on the
// table path: a table row is four F12.2 fields and four E13.6 fields, and a large model
// gives tens of millions of rows. Each pair of benchmarks formats the same values;
// compare their times per item (the snprintf forms are the lower bound of a printf
// implementation, without the asterisk and leading-zero rules).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "gridout/fixed_fields.hpp"
#include "gridout/fixed_format.hpp"

namespace {

constexpr std::size_t kValues = 4096;

// Map positions, stations and depths as the tables hold them.
const std::vector<double>& positions() {
    static const std::vector<double> v = [] {
        std::mt19937_64 rng(1);
        std::uniform_real_distribution<double> east(400000.0, 800000.0);
        std::uniform_real_distribution<double> depth(-500.0, 300.0);
        std::vector<double> out(kValues);
        for (std::size_t i = 0; i < kValues; ++i) out[i] = (i % 2) ? east(rng) : depth(rng);
        return out;
    }();
    return v;
}

// Conductivities over five decades and their logarithms, as 32-bit values.
const std::vector<float>& quantities() {
    static const std::vector<float> v = [] {
        std::mt19937_64 rng(2);
        std::uniform_real_distribution<float> decade(-1.0f, 4.0f);
        std::vector<float> out(kValues);
        for (std::size_t i = 0; i < kValues; ++i) {
            const float c = std::pow(10.0f, decade(rng));
            out[i] = (i % 2) ? c : std::log10(c);
        }
        return out;
    }();
    return v;
}

// Formats the values one after another, cycling through them, with `format`.
template <class Values, class Format>
void format_each(benchmark::State& state, const Values& v, Format format) {
    char buf[64];
    std::size_t i = 0;
    for (auto _ : state) {
        format(buf, v[i++ % kValues]);
        benchmark::DoNotOptimize(buf);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FixedF12_2(benchmark::State& state) {
    format_each(state, positions(), [](char* buf, double x) { gridout::format_fixed(buf, x, 12, 2); });
}
BENCHMARK(BM_FixedF12_2);

void BM_SnprintfF12_2(benchmark::State& state) {
    format_each(state, positions(), [](char* buf, double x) { std::snprintf(buf, 64, "%12.2f", x); });
}
BENCHMARK(BM_SnprintfF12_2);

void BM_ExponentE13_6(benchmark::State& state) {
    format_each(state, quantities(),
                [](char* buf, float x) { gridout::format_exponent(buf, static_cast<double>(x), 13, 6); });
}
BENCHMARK(BM_ExponentE13_6);

// "%.5E" gives the same six digits as 0.dddddd; shifting the point is extra.
void BM_SnprintfE13_6(benchmark::State& state) {
    format_each(state, quantities(),
                [](char* buf, float x) { std::snprintf(buf, 64, "%13.5E", static_cast<double>(x)); });
}
BENCHMARK(BM_SnprintfE13_6);

void BM_General15(benchmark::State& state) {
    format_each(state, quantities(), [](char* buf, float x) { gridout::format_general15(buf, x); });
}
BENCHMARK(BM_General15);

void BM_SnprintfG15(benchmark::State& state) {
    format_each(state, quantities(),
                [](char* buf, float x) { std::snprintf(buf, 64, "%15.7G", static_cast<double>(x)); });
}
BENCHMARK(BM_SnprintfG15);

// One whole 108-character table row: four positions, four quantities, through the
// field shapes the tables use.
void BM_TableRow(benchmark::State& state) {
    const auto& p = positions();
    const auto& q = quantities();
    char row[110];
    std::size_t i = 0;
    for (auto _ : state) {
        char* out = row;
        for (int f = 0; f < 4; ++f) {
            *out++ = ' ';
            gridout::fixed_field<12, 2>(out, p[(i + static_cast<std::size_t>(f)) % kValues]);
            out += 12;
        }
        for (int f = 0; f < 4; ++f) {
            *out++ = ' ';
            gridout::exponent_field<13, 6>(out, q[(i + static_cast<std::size_t>(f)) % kValues]);
            out += 13;
        }
        i += 4;
        benchmark::DoNotOptimize(row);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TableRow);

void BM_SnprintfTableRow(benchmark::State& state) {
    const auto& p = positions();
    const auto& q = quantities();
    char row[160];
    std::size_t i = 0;
    for (auto _ : state) {
        std::snprintf(row, sizeof row, " %12.2f %12.2f %12.2f %12.2f %13.5E %13.5E %13.5E %13.5E", p[i % kValues],
                      p[(i + 1) % kValues], p[(i + 2) % kValues], p[(i + 3) % kValues],
                      static_cast<double>(q[i % kValues]), static_cast<double>(q[(i + 1) % kValues]),
                      static_cast<double>(q[(i + 2) % kValues]), static_cast<double>(q[(i + 3) % kValues]));
        i += 4;
        benchmark::DoNotOptimize(row);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SnprintfTableRow);

}  // namespace

BENCHMARK_MAIN();
