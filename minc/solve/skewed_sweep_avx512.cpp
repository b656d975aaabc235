// The vectorised relaxation sweep for AVX-512: 16 rows per vector. Built with
// -mavx512f -mavx512dq -mavx512bw -mavx512vl and called only where the processor has them.
#include "skewed_bands.hpp"

#if defined(__x86_64__)
#include <immintrin.h>

namespace minc::skewed_avx512 {
namespace {

struct V {
    using F = __m512;
    using M = __mmask16;
    using K = __m512i;
    static constexpr int kLanes = 16;
    [[gnu::always_inline]] static F load(const float* p) { return _mm512_load_ps(p); }
    [[gnu::always_inline]] static F loadu(const float* p) { return _mm512_loadu_ps(p); }
    [[gnu::always_inline]] static void store(float* p, F x) { _mm512_store_ps(p, x); }
    // A true broadcast: -0 stays -0.
    [[gnu::always_inline]] static F splat(float x) { return _mm512_set1_ps(x); }
    [[gnu::always_inline]] static F add(F a, F b) { return _mm512_add_ps(a, b); }
    [[gnu::always_inline]] static F sub(F a, F b) { return _mm512_sub_ps(a, b); }
    [[gnu::always_inline]] static F mul(F a, F b) { return _mm512_mul_ps(a, b); }
    [[gnu::always_inline]] static F abs(F a) {
        return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(a), _mm512_set1_epi32(0x7fffffff)));
    }
    [[gnu::always_inline]] static M lt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    [[gnu::always_inline]] static M ge(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
    [[gnu::always_inline]] static M both(M a, M b) { return _kand_mask16(a, b); }
    [[gnu::always_inline]] static F select(M m, F yes, F no) { return _mm512_mask_blend_ps(m, no, yes); }
    [[gnu::always_inline]] static K load_kinds(const std::uint16_t* p) {
        return _mm512_maskz_cvtepu16_epi32(0xffff, _mm256_load_si256(reinterpret_cast<const __m256i*>(p)));
    }
    // Lane n alone.
    [[gnu::always_inline]] static M lane_mask(int n) { return static_cast<M>(1u << n); }
    // The kind bit moved into the sign, read into a mask: no constant to build.
    [[gnu::always_inline]] static M test(K k, std::int32_t bit) {
        return _mm512_movepi32_mask(_mm512_maskz_slli_epi32(0xffff, k, 31 - __builtin_ctz(static_cast<unsigned>(bit))));
    }
    // Lanes moved up by one (two): lane 0 (and 1) from the top lanes of `below`. (Here
    // and above the masked forms with every lane set: the plain ones trip a false
    // uninitialised-value warning of the compiler.)
    [[gnu::always_inline]] static F shift1(F cur, F below) {
        const __m512i c = _mm512_castps_si512(cur);
        return _mm512_castsi512_ps(_mm512_mask_alignr_epi32(c, 0xffff, c, _mm512_castps_si512(below), 15));
    }
    [[gnu::always_inline]] static F shift2(F cur, F below) {
        const __m512i c = _mm512_castps_si512(cur);
        return _mm512_castsi512_ps(_mm512_mask_alignr_epi32(c, 0xffff, c, _mm512_castps_si512(below), 14));
    }
};

}  // namespace
}  // namespace minc::skewed_avx512

#define MINC_SKEWED_ISA skewed_avx512
#include "skewed_kernel.hpp"
#undef MINC_SKEWED_ISA

namespace minc {

void sweep_bands_avx512(const SkewedBands& bands, float omega) {
    skewed_avx512::sweep_bands(bands, omega);
    // Leave no dirty upper register halves behind: later SSE code would run slowly.
    _mm256_zeroupper();
}

}  // namespace minc
#endif
