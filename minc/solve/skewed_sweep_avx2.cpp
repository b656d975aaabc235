// The vectorised relaxation sweep for AVX2: 8 rows per vector. Built with -mavx2 (and no
// FMA) and called only where the processor has AVX2.
#include "skewed_bands.hpp"

#if defined(__x86_64__)
#include <immintrin.h>

namespace minc::skewed_avx2 {
namespace {

struct V {
    using F = __m256;
    using M = __m256;  // the sign bit of each lane (blendv reads nothing else)
    using K = __m256i;
    static constexpr int kLanes = 8;
    [[gnu::always_inline]] static F load(const float* p) { return _mm256_load_ps(p); }
    [[gnu::always_inline]] static F loadu(const float* p) { return _mm256_loadu_ps(p); }
    [[gnu::always_inline]] static void store(float* p, F x) { _mm256_store_ps(p, x); }
    // A true broadcast: -0 stays -0.
    [[gnu::always_inline]] static F splat(float x) { return _mm256_set1_ps(x); }
    [[gnu::always_inline]] static F add(F a, F b) { return _mm256_add_ps(a, b); }
    [[gnu::always_inline]] static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    [[gnu::always_inline]] static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    [[gnu::always_inline]] static F abs(F a) {
        return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
    }
    [[gnu::always_inline]] static M lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    [[gnu::always_inline]] static M ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    [[gnu::always_inline]] static M both(M a, M b) { return _mm256_and_ps(a, b); }
    // The blend as written: the compiler would otherwise turn a mask used by several
    // blends into a full-lane comparison first, one more operation per mask.
    [[gnu::always_inline]] static F select(M m, F yes, F no) {
        F out;
        asm("vblendvps %3, %2, %1, %0" : "=x"(out) : "x"(no), "x"(yes), "x"(m));
        return out;
    }
    [[gnu::always_inline]] static K load_kinds(const std::uint16_t* p) {
        return _mm256_cvtepi16_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(p)));
    }
    // Lane n alone.
    [[gnu::always_inline]] static M lane_mask(int n) {
        return _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(n)));
    }
    // The kind bit moved into the sign, the one bit that a blend and the masks' AND read:
    // one shift, and no constant to build.
    // The kinds are sign-extended, so the top kind bit is the sign already.
    [[gnu::always_inline]] static M test(K k, std::int32_t bit) {
        if (bit == 0x8000) return _mm256_castsi256_ps(k);
        return _mm256_castsi256_ps(_mm256_slli_epi32(k, 31 - __builtin_ctz(static_cast<unsigned>(bit))));
    }
    // Lanes moved up by one (two): lane 0 (and 1) from the top lanes of `below`. The
    // byte alignment works per 128-bit half, so the halves are first paired across.
    [[gnu::always_inline]] static F shift1(F cur, F below) {
        const __m256 mid = _mm256_permute2f128_ps(below, cur, 0x21);  // below.hi, cur.lo
        return _mm256_castsi256_ps(_mm256_alignr_epi8(_mm256_castps_si256(cur), _mm256_castps_si256(mid), 12));
    }
    [[gnu::always_inline]] static F shift2(F cur, F below) {
        const __m256 mid = _mm256_permute2f128_ps(below, cur, 0x21);
        return _mm256_castsi256_ps(_mm256_alignr_epi8(_mm256_castps_si256(cur), _mm256_castps_si256(mid), 8));
    }
};

}  // namespace
}  // namespace minc::skewed_avx2

#define MINC_SKEWED_ISA skewed_avx2
#include "skewed_kernel.hpp"
#undef MINC_SKEWED_ISA

namespace minc {

void sweep_bands_avx2(const SkewedBands& bands, float omega) {
    skewed_avx2::sweep_bands(bands, omega);
    // Leave no dirty upper register halves behind: later SSE code would run slowly.
    _mm256_zeroupper();
}

}  // namespace minc
#endif
