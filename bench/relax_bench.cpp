// Speed of the minimum-curvature relaxation on a realistic block: 200 x 150 nodes (30000,
// near the 32000-node block limit), 400 scattered data points from a smooth field attached
// by ASSIGN/BWTS, relaxed from a rough start. Reports node updates per second
// (items_per_second): one item is one node visited by one sweep. The sweep and the whole
// relaxation run once per instruction set the processor offers; at the end the speeds of
// the vectorised sweeps are printed as ratios to the written-order sweep of the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "assign_data.hpp"
#include "relax.hpp"
#include "relax_sweep.hpp"
#include "skewed_sweep.hpp"
#include "sweep_isa.hpp"

namespace {

using minc::Grid;
using minc::GridView;

constexpr int kNx = 200;
constexpr int kNy = 150;
constexpr int kPoints = 400;

struct Block {
    Grid<float> start{kNx, kNy};
    Grid<std::int32_t> flags{kNx, kNy};
    std::vector<float> coef = std::vector<float>(6 * std::size_t(kNx) * std::size_t(kNy), 0.0f);
};

float field(float x, float y) {
    return 100.0f + 20.0f * std::sin(0.05f * x) * std::cos(0.07f * y) + 0.1f * x - 0.2f * y;
}

const Block& block() {
    static const Block b = [] {
        Block blk;
        std::mt19937 rng(1234);
        std::uniform_real_distribution<float> px(1.0f, static_cast<float>(kNx));
        std::uniform_real_distribution<float> py(1.0f, static_cast<float>(kNy));
        std::uniform_real_distribution<float> noise(-5.0f, 5.0f);
        std::vector<float> pts;
        for (int k = 0; k < kPoints; ++k) {
            const float x = px(rng), y = py(rng);
            pts.insert(pts.end(), {x, y, field(x, y)});
        }
        // Rough start: a coarse version of the field plus noise.
        for (int j = 1; j <= kNy; ++j)
            for (int i = 1; i <= kNx; ++i)
                blk.start(i, j) = field(static_cast<float>(i / 20 * 20), static_cast<float>(j / 20 * 20)) + noise(rng);
        minc::assign(10.0f, {0.0f, 0.0f}, kNx, kNy, blk.coef, pts);
        minc::bwts(0, 10.0f, 0.0f, blk.start.view(), blk.flags.view(), blk.coef);
        return blk;
    }();
    return b;
}

// Sweeps alone, at a fixed over-relaxation factor, on a grid that keeps relaxing.
void BM_RelaxSweep(benchmark::State& st) {
    const Block& b = block();
    Grid<float> z = b.start;
    for (auto _ : st) {
        benchmark::DoNotOptimize(minc::relax_sweep(z.view(), b.flags.view(), b.coef, 1.3f));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * std::int64_t(kNx) * kNy);
}
BENCHMARK(BM_RelaxSweep)->Name("BM_Sweep/scalar");

// The vectorised sweep alone: the block converted once, then sweeps.
void BM_SkewedSweep(benchmark::State& st, minc::SweepIsa isa) {
    if (!minc::sweep_isa_supported(isa)) {
        st.SkipWithError("instruction set not offered by this processor");
        return;
    }
    const Block& b = block();
    Grid<float> z = b.start;
    minc::SkewedSweep sweep(z.view(), b.flags.view(), b.coef, isa);
    for (auto _ : st) {
        benchmark::DoNotOptimize(sweep.sweep(1.3f));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * std::int64_t(kNx) * kNy);
}
BENCHMARK_CAPTURE(BM_SkewedSweep, sse2, minc::SweepIsa::sse2)->Name("BM_Sweep/sse2");
BENCHMARK_CAPTURE(BM_SkewedSweep, avx2, minc::SweepIsa::avx2)->Name("BM_Sweep/avx2");
BENCHMARK_CAPTURE(BM_SkewedSweep, avx512, minc::SweepIsa::avx512)->Name("BM_Sweep/avx512");

// The effect of the summation order alone, on a bench-local copy of the plain interior
// equation (flag 0 nodes of the interior; data and edge nodes skipped). With the two
// terms that depend on the latest updates last, each node waits for its left neighbour
// through 8 float operations; with the same sums in the order left, right, down, up (the
// just-updated node first) through 10. Both loops read the left neighbour back from
// memory (a store-to-load forwarding delay per node); relax_sweep avoids that and also
// carries the neighbour pre-scaled by 8, which leaves 7 operations on the chain.
template <bool kDependentLast>
float interior_sweep(float* z, const std::int32_t* flags, int nx, int ny, float omega) {
    float dmax = 0.0f;
    for (int j = 2; j < ny - 2; ++j) {
        float* r = z + std::size_t(j) * std::size_t(nx);
        const std::int32_t* f = flags + std::size_t(j) * std::size_t(nx);
        const float* dn = r - nx;
        const float* up = r + nx;
        const float* dn2 = r - 2 * nx;
        const float* up2 = r + 2 * nx;
        for (int i = 2; i < nx - 2; ++i) {
            if (f[i] != 0) continue;
            float nsum, fsum;
            if constexpr (kDependentLast) {
                nsum = r[i + 1] + dn[i] + up[i] + r[i - 1];
                fsum = r[i + 2] + dn2[i] + up2[i] + r[i - 2];
            } else {
                nsum = r[i - 1] + r[i + 1] + dn[i] + up[i];
                fsum = r[i - 2] + r[i + 2] + dn2[i] + up2[i];
            }
            const float dsum = dn[i + 1] + up[i + 1] + dn[i - 1] + up[i - 1];
            const float t = (8.0f * nsum - 2.0f * dsum - fsum) * 0.05f;
            const float v = r[i];
            const float nv = v + omega * (t - v);
            r[i] = nv;
            const float d = std::fabs(nv - v);
            if (d < 1.0e8f && d >= std::fabs(dmax)) dmax = nv - v;
        }
    }
    return dmax;
}

template <bool kDependentLast>
void BM_InteriorOrder(benchmark::State& st) {
    const Block& b = block();
    Grid<float> z = b.start;
    for (auto _ : st) {
        benchmark::DoNotOptimize(interior_sweep<kDependentLast>(z.v.data(), b.flags.v.data(), kNx, kNy, 1.3f));
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * std::int64_t(kNx - 4) * (kNy - 4));
}
BENCHMARK_TEMPLATE(BM_InteriorOrder, true)->Name("BM_InteriorOrder/dependent_last");
BENCHMARK_TEMPLATE(BM_InteriorOrder, false)->Name("BM_InteriorOrder/dependent_first");

// The whole relaxation as a block solve calls it (tolerance 1E-4, at most 512 sweeps),
// from the rough start every time, with the instruction set forced (the vectorised ones
// include their conversion in and out); items count the sweeps actually done.
void BM_Curvmn(benchmark::State& st, minc::SweepIsa isa) {
    if (!minc::force_sweep_isa(isa)) {
        st.SkipWithError("instruction set not offered by this processor");
        return;
    }
    const Block& b = block();
    Grid<float> z;
    std::int64_t sweeps = 0;
    for (auto _ : st) {
        z = b.start;
        minc::RelaxState state;
        minc::RelaxResult r;
        minc::curvmn(z.view(), b.flags.view(), b.coef, {1.0e-4f, 512}, state, r);
        sweeps += r.niter;
        benchmark::DoNotOptimize(z.v.data());
    }
    st.counters["sweeps_per_call"] =
        benchmark::Counter(static_cast<double>(sweeps) / static_cast<double>(st.iterations()));
    st.SetItemsProcessed(sweeps * std::int64_t(kNx) * kNy);
    minc::force_sweep_isa(std::nullopt);
}
BENCHMARK_CAPTURE(BM_Curvmn, scalar, minc::SweepIsa::scalar)->Name("BM_Curvmn/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Curvmn, sse2, minc::SweepIsa::sse2)->Name("BM_Curvmn/sse2")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Curvmn, avx2, minc::SweepIsa::avx2)->Name("BM_Curvmn/avx2")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Curvmn, avx512, minc::SweepIsa::avx512)->Name("BM_Curvmn/avx512")->Unit(benchmark::kMillisecond);

// The console report, keeping each run's node updates per second for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
            const auto it = r.counters.find("items_per_second");
            if (it != r.counters.end()) rate_[r.benchmark_name()] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Each vectorised run against the scalar run of the same family.
    void print_ratios() const {
        for (const char* family : {"BM_Sweep", "BM_Curvmn"}) {
            const auto base = rate_.find(std::string(family) + "/scalar");
            if (base == rate_.end() || base->second <= 0.0) continue;
            for (const char* isa : {"sse2", "avx2", "avx512"}) {
                const auto r = rate_.find(std::string(family) + "/" + isa);
                if (r == rate_.end()) continue;
                std::printf("%s/%s: %.2fx the scalar sweep (%.0f M node updates/s)\n", family, isa,
                            r->second / base->second, r->second / 1.0e6);
            }
        }
    }

private:
    std::map<std::string, double> rate_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}
