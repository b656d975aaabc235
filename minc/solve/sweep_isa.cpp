// Run-time choice of the sweep's instruction set: processor features, the MINC_SIMD
// environment variable and a forced choice for tests and benchmarks.
#include "sweep_isa.hpp"

#include <atomic>
#include <cstdlib>

namespace minc {

namespace {

constexpr int kNotForced = -1;
std::atomic<int> forced_isa{kNotForced};

bool processor_has(SweepIsa isa) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    switch (isa) {
        case SweepIsa::scalar: return true;
        case SweepIsa::sse2: return __builtin_cpu_supports("sse2");
        case SweepIsa::avx2: return __builtin_cpu_supports("avx2");
        case SweepIsa::avx512:
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                   __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    }
    return false;
#else
    return isa == SweepIsa::scalar;
#endif
}

SweepIsa best_at_most(SweepIsa cap) {
    for (int k = static_cast<int>(cap); k > 0; --k)
        if (sweep_isa_supported(static_cast<SweepIsa>(k))) return static_cast<SweepIsa>(k);
    return SweepIsa::scalar;
}

// The environment's choice is read once per process.
SweepIsa environment_choice() {
    static const SweepIsa choice = [] {
        const char* text = std::getenv("MINC_SIMD");
        const std::optional<SweepIsa> named = text ? parse_sweep_isa(text) : std::nullopt;
        return best_at_most(named.value_or(SweepIsa::avx512));
    }();
    return choice;
}

}  // namespace

const char* sweep_isa_name(SweepIsa isa) {
    switch (isa) {
        case SweepIsa::scalar: return "scalar";
        case SweepIsa::sse2: return "sse2";
        case SweepIsa::avx2: return "avx2";
        case SweepIsa::avx512: return "avx512";
    }
    return "?";
}

std::optional<SweepIsa> parse_sweep_isa(std::string_view text) {
    for (SweepIsa isa : {SweepIsa::scalar, SweepIsa::sse2, SweepIsa::avx2, SweepIsa::avx512})
        if (text == sweep_isa_name(isa)) return isa;
    return std::nullopt;
}

bool sweep_isa_supported(SweepIsa isa) {
    static const bool has[4] = {processor_has(SweepIsa::scalar), processor_has(SweepIsa::sse2),
                                processor_has(SweepIsa::avx2), processor_has(SweepIsa::avx512)};
    const int k = static_cast<int>(isa);
    return k >= 0 && k < 4 && has[k];
}

int sweep_isa_lanes(SweepIsa isa) {
    switch (isa) {
        case SweepIsa::scalar: return 1;
        case SweepIsa::sse2: return 4;
        case SweepIsa::avx2: return 8;
        case SweepIsa::avx512: return 16;
    }
    return 1;
}

SweepIsa active_sweep_isa() {
    const int forced = forced_isa.load(std::memory_order_relaxed);
    if (forced != kNotForced) return static_cast<SweepIsa>(forced);
    return environment_choice();
}

bool force_sweep_isa(std::optional<SweepIsa> isa) {
    if (isa && !sweep_isa_supported(*isa)) return false;
    forced_isa.store(isa ? static_cast<int>(*isa) : kNotForced, std::memory_order_relaxed);
    return true;
}

}  // namespace minc
