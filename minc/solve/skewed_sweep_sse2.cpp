// The vectorised relaxation sweep for SSE2 (the x86-64 baseline): 4 rows per vector.
#include "skewed_bands.hpp"

#if defined(__x86_64__)
#include <emmintrin.h>

namespace minc::skewed_sse2 {
namespace {

struct V {
    using F = __m128;
    using M = __m128;  // all ones or all zeros per lane
    using K = __m128i;
    static constexpr int kLanes = 4;
    [[gnu::always_inline]] static F load(const float* p) { return _mm_load_ps(p); }
    [[gnu::always_inline]] static F loadu(const float* p) { return _mm_loadu_ps(p); }
    [[gnu::always_inline]] static void store(float* p, F x) { _mm_store_ps(p, x); }
    // A true broadcast: -0 stays -0.
    [[gnu::always_inline]] static F splat(float x) { return _mm_set1_ps(x); }
    [[gnu::always_inline]] static F add(F a, F b) { return _mm_add_ps(a, b); }
    [[gnu::always_inline]] static F sub(F a, F b) { return _mm_sub_ps(a, b); }
    [[gnu::always_inline]] static F mul(F a, F b) { return _mm_mul_ps(a, b); }
    [[gnu::always_inline]] static F abs(F a) { return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
    [[gnu::always_inline]] static M lt(F a, F b) { return _mm_cmplt_ps(a, b); }
    [[gnu::always_inline]] static M ge(F a, F b) { return _mm_cmpge_ps(a, b); }
    [[gnu::always_inline]] static M both(M a, M b) { return _mm_and_ps(a, b); }
    [[gnu::always_inline]] static F select(M m, F yes, F no) {
        return _mm_or_ps(_mm_and_ps(m, yes), _mm_andnot_ps(m, no));
    }
    // Each kind in the top half of its lane, so that the top kind bit is the sign.
    [[gnu::always_inline]] static K load_kinds(const std::uint16_t* p) {
        return _mm_unpacklo_epi16(_mm_setzero_si128(), _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    }
    // Lane n alone.
    [[gnu::always_inline]] static M lane_mask(int n) {
        return _mm_castsi128_ps(_mm_cmpeq_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(n)));
    }
    // The kind bit moved into the sign and spread over the lane: no constant to build.
    [[gnu::always_inline]] static M test(K k, std::int32_t bit) {
        const int up = 15 - __builtin_ctz(static_cast<unsigned>(bit));
        return _mm_castsi128_ps(_mm_srai_epi32(up == 0 ? k : _mm_slli_epi32(k, up), 31));
    }
    // Lanes moved up by one (two): lane 0 (and 1) from the top lanes of `below`.
    [[gnu::always_inline]] static F shift1(F cur, F below) {
        return _mm_castsi128_ps(
            _mm_or_si128(_mm_slli_si128(_mm_castps_si128(cur), 4), _mm_srli_si128(_mm_castps_si128(below), 12)));
    }
    [[gnu::always_inline]] static F shift2(F cur, F below) {
        return _mm_castsi128_ps(
            _mm_or_si128(_mm_slli_si128(_mm_castps_si128(cur), 8), _mm_srli_si128(_mm_castps_si128(below), 8)));
    }
};

}  // namespace
}  // namespace minc::skewed_sse2

#define MINC_SKEWED_ISA skewed_sse2
#include "skewed_kernel.hpp"
#undef MINC_SKEWED_ISA

namespace minc {

void sweep_bands_sse2(const SkewedBands& bands, float omega) { skewed_sse2::sweep_bands(bands, omega); }

}  // namespace minc
#endif
