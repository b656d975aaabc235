// The band loop of the vectorised relaxation sweep, written once over a vector type V.
// Each instruction-set unit defines V (F: W floats, M: a lane mask, K: W int32 kinds, and
// the operations used below) in its own namespace, names that namespace in
// MINC_SKEWED_ISA and includes this file, so that nothing here is shared between units
// built with different instruction sets. Storage and kind bits: skewed_bands.hpp.
//
// Every lane evaluates the prescribed float sums in the order of the scalar sweep, without
// fused multiply-adds: the plain target, and where the kind asks for them the data target
// and the edge-column targets, selected per lane. A lane that is not updated keeps its
// value bit for bit. Each lane keeps its row's largest change with the scalar rule (a
// later node wins on equal magnitudes, changes of 1.0E8 or more and non-finite ones left
// out); the caller merges the rows in written order.
#ifndef MINC_SKEWED_ISA
#error "included by an instruction-set unit that names its namespace in MINC_SKEWED_ISA"
#endif

#define MINC_SKEWED_INLINE [[gnu::always_inline]] inline

namespace minc::MINC_SKEWED_ISA {
namespace {

// The values a band carries from one time to the next: its own results of the four last
// times (n1 = t - 1 .. n4 = t - 4), the band below at the same times, and per lane the
// largest change so far.
struct Carry {
    V::F n1, n2, n3, n4;
    V::F b1, b2, b3, b4;
    V::F dmax, admax;
};

struct Constants {
    V::F c8 = V::splat(8.0f), c4 = V::splat(4.0f), c2 = V::splat(2.0f);
    V::F c05 = V::splat(0.5f), c025 = V::splat(0.25f), c005 = V::splat(0.05f);
    V::F c_edge = V::splat(0.14285713f), c_second = V::splat(0.05263158f);
    V::F huge = V::splat(1.0e8f);
    V::F omega;
};

// One band at one time. zt: the band's vector at time t; below: the band below is at
// zt - W. kind: the W kinds, coef: the 6 coefficient vectors.
template <bool kEdgeColumns>
MINC_SKEWED_INLINE void band_step(float* zt, std::ptrdiff_t s, const std::int32_t* kind, const float* coef,
                                  const Constants& k, Carry& c) {
    using F = V::F;
    using M = V::M;
    constexpr int w = V::kLanes;
    const F v = V::load(zt);
    // Neighbour (a, b) of every lane: done at earlier times (new) from the carried vectors,
    // not yet done (old) straight from storage.
    const F z_e = V::load(zt + s);                // (+1, 0)
    const F z_ee = V::load(zt + 2 * s);           // (+2, 0)
    const F z_n = V::loadu(zt + 2 * s + 1);       // (0, +1)
    const F z_nw = V::loadu(zt + s + 1);          // (-1, +1)
    const F z_ne = V::loadu(zt + 3 * s + 1);      // (+1, +1)
    const F z_nn = V::loadu(zt + 4 * s + 2);      // (0, +2)
    const F z_w = c.n1;                           // (-1, 0)
    const F z_ww = c.n2;                          // (-2, 0)
    const F z_s = V::shift1(c.n2, c.b2);          // (0, -1)
    const F z_sw = V::shift1(c.n3, c.b3);         // (-1, -1)
    const F z_se = V::shift1(c.n1, c.b1);         // (+1, -1)
    const F z_ss = V::shift2(c.n4, c.b4);         // (0, -2)

    const F nsum = V::add(V::add(V::add(z_e, z_s), z_n), z_w);
    const F dsum = V::add(V::add(V::add(z_se, z_ne), z_sw), z_nw);
    const F fsum = V::add(V::add(V::add(z_ee, z_ss), z_nn), z_ww);
    F t = V::mul(V::sub(V::sub(V::mul(k.c8, nsum), V::mul(k.c2, dsum)), fsum), k.c005);

    // Data equation: A, B, G, H lean towards the quadrant of the datum.
    const typename V::K kd = V::load_kinds(kind);
    const M upper = V::test(kd, kSkewUpper);
    const M left = V::test(kd, kSkewLeft);
    const F a = V::select(upper, z_n, z_s);
    const F b = V::select(left, V::select(upper, z_nw, z_sw), V::select(upper, z_ne, z_se));
    const F g = V::select(left, z_e, z_w);
    const F h = V::select(left, V::select(upper, z_se, z_ne), V::select(upper, z_sw, z_nw));
    const F c1 = V::load(coef);
    const F c2 = V::load(coef + w);
    const F c3 = V::load(coef + 2 * w);
    const F c4 = V::load(coef + 3 * w);
    const F c5 = V::load(coef + 4 * w);
    const F c6 = V::load(coef + 5 * w);
    const F sq = V::add(V::add(V::add(V::mul(c2, a), V::mul(c1, b)), V::mul(c3, g)), V::mul(c4, h));
    const F d = V::sub(V::add(V::mul(k.c05, dsum), V::mul(k.c025, fsum)), nsum);
    t = V::select(V::test(kd, kSkewData), V::mul(c6, V::sub(V::add(sq, c5), d)), t);

    if constexpr (kEdgeColumns) {
        // Columns 1, 2 and, mirrored (i -> NX + 1 - i, term order kept), NX, NX - 1.
        const M east = V::test(kd, kSkewEast);
        const F m_e = V::select(east, z_w, z_e);
        const F m_w = V::select(east, z_e, z_w);
        const F m_se = V::select(east, z_sw, z_se);
        const F m_ne = V::select(east, z_nw, z_ne);
        const F m_sw = V::select(east, z_se, z_sw);
        const F m_nw = V::select(east, z_ne, z_nw);
        const F m_ee = V::select(east, z_ww, z_ee);
        const F t1 = V::mul(
            V::sub(V::sub(V::sub(V::sub(V::sub(V::mul(k.c4, V::add(V::add(z_s, z_n), m_e)), m_se), m_ne), z_ss), z_nn),
                   m_ee),
            k.c_edge);
        const F t2 = V::mul(
            V::sub(V::sub(V::sub(V::sub(V::sub(V::sub(V::add(V::mul(k.c8, V::add(V::add(z_s, z_n), m_e)),
                                                             V::mul(k.c4, m_w)),
                                                      V::mul(k.c2, V::add(m_se, m_ne))),
                                               m_sw),
                                        m_nw),
                                 z_ss),
                          z_nn),
                   m_ee),
            k.c_second);
        t = V::select(V::test(kd, kSkewOuterCol), t1, V::select(V::test(kd, kSkewSecondCol), t2, t));
    }

    const F nv = V::select(V::test(kd, kSkewUpdate), V::add(v, V::mul(k.omega, V::sub(t, v))), v);
    V::store(zt, nv);
    const F change = V::sub(nv, v);
    const F mag = V::abs(change);
    const M take = V::both(V::test(kd, kSkewInterior), V::both(V::lt(mag, k.huge), V::ge(mag, c.admax)));
    c.admax = V::select(take, mag, c.admax);
    c.dmax = V::select(take, change, c.dmax);

    c.n4 = c.n3;
    c.n3 = c.n2;
    c.n2 = c.n1;
    c.n1 = nv;
    c.b4 = c.b3;
    c.b3 = c.b2;
    c.b2 = c.b1;
    c.b1 = V::load(zt - w);
}

// Every band in turn, bottom to top: a band reads the band below only where it has
// finished and the band above only where it has not started.
void sweep_bands(const SkewedBands& sb, float omega) {
    constexpr int w = V::kLanes;
    const std::ptrdiff_t s = sb.stride;
    Constants k;
    k.omega = V::splat(omega);
    for (int band = 0; band < sb.bands; ++band) {
        const int j0 = 3 + w * band;              // the band's first row
        const int t0 = 1 + 2 * j0;                // its lane 0 in column 1
        const int t1 = t0 + sb.times - 1;         // its lane W - 1 in column NX
        const int head_end = 2 + 2 * (j0 + w - 1);  // last time with a lane in column 1 or 2
        const int body_end = sb.nx - 2 + 2 * j0;    // last time with no lane in column NX - 1 or NX
        float* const zb = sb.z + std::ptrdiff_t(w) * (band + 1);
        const std::int32_t* kind = sb.kinds + std::ptrdiff_t(band) * sb.times * w;
        const float* coef = sb.coefs + std::ptrdiff_t(band) * sb.times * 6 * w;

        Carry c;
        c.n1 = V::load(zb + (t0 - 1) * s);
        c.n2 = V::load(zb + (t0 - 2) * s);
        c.n3 = V::load(zb + (t0 - 3) * s);
        c.n4 = V::load(zb + (t0 - 4) * s);
        c.b1 = V::load(zb - w + (t0 - 1) * s);
        c.b2 = V::load(zb - w + (t0 - 2) * s);
        c.b3 = V::load(zb - w + (t0 - 3) * s);
        c.b4 = V::load(zb - w + (t0 - 4) * s);
        c.dmax = V::splat(0.0f);
        c.admax = V::splat(0.0f);

        int t = t0;
        const int head_last = head_end < t1 ? head_end : t1;
        for (; t <= head_last; ++t, kind += w, coef += 6 * w) band_step<true>(zb + t * s, s, kind, coef, k, c);
        for (; t <= body_end; ++t, kind += w, coef += 6 * w) band_step<false>(zb + t * s, s, kind, coef, k, c);
        for (; t <= t1; ++t, kind += w, coef += 6 * w) band_step<true>(zb + t * s, s, kind, coef, k, c);

        V::store(sb.lane_dmax + w * band, c.dmax);
        V::store(sb.lane_admax + w * band, c.admax);
    }
}

}  // namespace
}  // namespace minc::MINC_SKEWED_ISA

#undef MINC_SKEWED_INLINE
