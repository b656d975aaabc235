// Choice of the instruction set that runs the relaxation sweep: the plain sweep in storage
// order, or the vectorised sweep built for SSE2, AVX2 or AVX-512, chosen at run time from
// what the processor offers. Every choice gives the same grids, bit for bit.
#pragma once

#include <optional>
#include <string_view>

namespace minc {

enum class SweepIsa : int {
    scalar = 0,  // the written-order sweep (relax_sweep)
    sse2 = 1,    // 4 rows per vector
    avx2 = 2,    // 8 rows per vector
    avx512 = 3,  // 16 rows per vector (AVX-512 F, DQ, BW, VL)
};

/// "scalar", "sse2", "avx2" or "avx512".
const char* sweep_isa_name(SweepIsa isa);

/// The instruction set named by text (one of the names above), or nothing.
std::optional<SweepIsa> parse_sweep_isa(std::string_view text);

/// Whether this processor (and this build) can run the sweep of isa.
bool sweep_isa_supported(SweepIsa isa);

/// Rows handled together by one vector of isa (1 for the scalar sweep).
int sweep_isa_lanes(SweepIsa isa);

/// The instruction set the relaxation uses: the one forced by force_sweep_isa if any;
/// else the one named by the environment variable MINC_SIMD, lowered to the best that
/// the processor supports (an unknown name is ignored); else the best supported.
SweepIsa active_sweep_isa();

/// Forces the instruction set of every later relaxation (for tests and benchmarks);
/// nothing restores the choice above. Returns false, changing nothing, when isa is not
/// supported.
bool force_sweep_isa(std::optional<SweepIsa> isa);

}  // namespace minc
