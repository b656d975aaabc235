// The band loop of the vectorised relaxation sweep, written once over a vector type V.
// Each instruction-set unit defines V (F: W floats, M: a lane mask, K: W kinds widened to
// 32 bits, and the operations used below) in its own namespace, names that namespace in
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

#include <algorithm>
#include <array>
#include <utility>

#include "assign_data.hpp"
#include "edge_equations.hpp"

namespace minc::MINC_SKEWED_ISA {
namespace {

// The values a band carries from one time to the next: its own result of the last time
// (n1), the neighbour (+1, -1) of the two last times (a lane shift of n1 with the band
// below's top lane: that of t - 1 is this time's (0, -1), that of t - 2 its (-1, -1)) and
// per lane the largest change so far. Older results of the band, and the band below, are
// read back from storage: those stores are several times old.
struct Carry {
    V::F n1;
    V::F se1, se2;
    V::F dmax;  // its magnitude is the largest change: no register of its own
};

struct Constants {
    V::F c8 = V::splat(8.0f), c4 = V::splat(4.0f), c2 = V::splat(2.0f);
    V::F c05 = V::splat(0.5f), c025 = V::splat(0.25f), c005 = V::splat(0.05f);
    V::F c_edge = V::splat(0.14285713f), c_second = V::splat(0.05263158f);
    V::F huge = V::splat(1.0e8f);
    V::F omega;
    float omega1;  // omega as one float, for the corner nodes
};

// The corner nodes of one band at one time, computed before the band's step: lane and
// new value of each (at most one per edge row).
struct CornerValues {
    int count = 0;
    int lane[4];
    float value[4];
};

// Which of the outer two columns on each side a step has lanes in.
enum : int { kNoEdgeColumns = 0, kWestColumns = 1, kEastColumns = 2 };

// One band at one time. zt: the band's vector at time t; below: the band below is at
// zt - W. kind: the W kinds, coef: the 6 coefficient vectors, or null when no lane
// carries a datum; band_rows: the band's SkewedBandRows, corners: the corner nodes of this
// time, or null. kEdgeColumns: the edge columns the step has lanes in; kRows: the band's
// SkewedBandRows where the caller knows them when compiling, or -1 to take band_rows.
template <int kEdgeColumns, int kRows = -1>
MINC_SKEWED_INLINE void band_step(float* zt, std::ptrdiff_t s, const std::uint16_t* kind, const float* coef,
                                  int band_rows, const CornerValues* corners, const Constants& k, Carry& c) {
    const int rows = kRows < 0 ? band_rows : kRows;
    using F = V::F;
    using M = V::M;
    constexpr int w = V::kLanes;
    const F v = V::load(zt);
    // Neighbour (a, b) of every lane: those done at earlier times (new) from the carried
    // vectors or the band's earlier stores, moved up by one or two lanes with the band
    // below's top lanes where b < 0; those not yet done (old) straight from storage.
    const F z_e = V::load(zt + s);                // (+1, 0)
    const F z_ee = V::load(zt + 2 * s);           // (+2, 0)
    const F z_n = V::loadu(zt + 2 * s + 1);       // (0, +1)
    const F z_nw = V::loadu(zt + s + 1);          // (-1, +1)
    const F z_ne = V::loadu(zt + 3 * s + 1);      // (+1, +1)
    const F z_nn = V::loadu(zt + 4 * s + 2);      // (0, +2)
    const F z_w = c.n1;                           // (-1, 0)
    const F z_ww = V::load(zt - 2 * s);           // (-2, 0)
    const F z_s = c.se1;                                      // (0, -1)
    const F z_sw = c.se2;                                     // (-1, -1)
    const F z_se = V::shift1(c.n1, V::load(zt - w - s));      // (+1, -1)
    const F z_ss = V::shift2(V::load(zt - 4 * s), V::load(zt - w - 4 * s));  // (0, -2)

    const F nsum = V::add(V::add(V::add(z_e, z_s), z_n), z_w);
    const F dsum = V::add(V::add(V::add(z_se, z_ne), z_sw), z_nw);
    const F fsum = V::add(V::add(V::add(z_ee, z_ss), z_nn), z_ww);
    F t = V::mul(V::sub(V::sub(V::mul(k.c8, nsum), V::mul(k.c2, dsum)), fsum), k.c005);

    // Data equation, where a lane carries a datum: A, B, G, H lean towards the quadrant
    // of the datum.
    const typename V::K kd = V::load_kinds(kind);
    if (coef) {
        const M upper = V::test(kd, kSkewUpper);
        const M left = V::test(kd, kSkewLeft);
        const F a = V::select(upper, z_n, z_s);
        const F g = V::select(left, z_e, z_w);
        // B is the diagonal towards the datum's quadrant, H the opposite one: B = NW, SW,
        // NE, SE for quadrants 3, 2, 4, 1. Where exactly one of upper and left holds
        // (crossed), B and H are SW and NE, else NW and SE; left says which is B.
        const M crossed = V::test(kd, kSkewCrossed);
        const F diag_left = V::select(crossed, z_sw, z_nw);
        const F diag_right = V::select(crossed, z_ne, z_se);
        const F b = V::select(left, diag_left, diag_right);
        const F h = V::select(left, diag_right, diag_left);
        // The data equation's coefficients (AccSlot), one vector of W lanes each.
        const F c_a = V::load(coef + kCoefA * w);
        const F c_b = V::load(coef + kCoefB * w);
        const F c_g = V::load(coef + kCoefG * w);
        const F c_h = V::load(coef + kCoefH * w);
        const F c_data = V::load(coef + kDataTerm * w);
        const F c_norm = V::load(coef + kNorm * w);
        const F sq = V::add(V::add(V::add(V::mul(c_a, a), V::mul(c_b, b)), V::mul(c_g, g)), V::mul(c_h, h));
        const F d = V::sub(V::add(V::mul(k.c05, dsum), V::mul(k.c025, fsum)), nsum);
        t = V::select(V::test(kd, kSkewData), V::mul(c_norm, V::sub(V::add(sq, c_data), d)), t);
    }

    if constexpr (kEdgeColumns != kNoEdgeColumns) {
        // Columns 1, 2 and, mirrored (i -> NX + 1 - i, term order kept), NX, NX - 1. A step
        // with lanes on one side only takes that side's neighbours without selecting.
        const M east = V::test(kd, kSkewEast);
        const auto side = [&](F west_form, F east_form) {
            if constexpr (kEdgeColumns == kWestColumns) return west_form;
            else if constexpr (kEdgeColumns == kEastColumns) return east_form;
            else return V::select(east, east_form, west_form);
        };
        const F m_e = side(z_e, z_w);
        const F m_w = side(z_w, z_e);
        const F m_se = side(z_se, z_sw);
        const F m_ne = side(z_ne, z_nw);
        const F m_sw = side(z_sw, z_se);
        const F m_nw = side(z_nw, z_ne);
        const F m_ee = side(z_ee, z_ww);
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

    if (rows != 0) {
        // Rows 1 and 2 (v pointing north) and, mirrored (j -> NY + 1 - j, term order kept),
        // NY and NY - 1: the second row's and the outer row's forms, columns 3..NX - 2.
        F r1 = t, r2 = t;
        if (rows & kBandBottomRows) {
            const F ewn = V::add(V::add(z_w, z_e), z_n);
            r1 = V::mul(V::sub(V::sub(V::sub(V::sub(V::sub(V::mul(k.c4, ewn), z_nw), z_ne), z_ww), z_ee), z_nn),
                        k.c_edge);
            r2 = V::mul(V::sub(V::sub(V::sub(V::sub(V::sub(V::sub(V::add(V::mul(k.c8, ewn), V::mul(k.c4, z_s)),
                                                                      V::mul(k.c2, V::add(z_nw, z_ne))),
                                                               z_sw),
                                                        z_se),
                                                 z_ww),
                                          z_ee),
                               z_nn),
                        k.c_second);
        }
        if (rows & kBandTopRows) {
            const F ews = V::add(V::add(z_w, z_e), z_s);
            const F t1 = V::mul(
                V::sub(V::sub(V::sub(V::sub(V::sub(V::mul(k.c4, ews), z_sw), z_se), z_ww), z_ee), z_ss), k.c_edge);
            const F t2 = V::mul(V::sub(V::sub(V::sub(V::sub(V::sub(V::sub(V::add(V::mul(k.c8, ews), V::mul(k.c4, z_n)),
                                                                          V::mul(k.c2, V::add(z_sw, z_se))),
                                                                   z_nw),
                                                            z_ne),
                                                     z_ww),
                                              z_ee),
                                       z_ss),
                                k.c_second);
            if (rows & kBandBottomRows) {
                const M top = V::test(kd, kSkewTop);
                r1 = V::select(top, t1, r1);
                r2 = V::select(top, t2, r2);
            } else {
                r1 = t1;
                r2 = t2;
            }
        }
        t = V::select(V::test(kd, kSkewOuterRow), r1, V::select(V::test(kd, kSkewSecondRow), r2, t));
    }

    F nv = V::select(V::test(kd, kSkewUpdate), V::add(v, V::mul(k.omega, V::sub(t, v))), v);
    if (corners)
        for (int n = 0; n < corners->count; ++n)
            nv = V::select(V::lane_mask(corners->lane[n]), V::splat(corners->value[n]), nv);
    V::store(zt, nv);
    const F change = V::sub(nv, v);
    const F mag = V::abs(change);
    const M take = V::both(V::test(kd, kSkewInterior), V::both(V::lt(mag, k.huge), V::ge(mag, V::abs(c.dmax))));
    c.dmax = V::select(take, change, c.dmax);

    c.n1 = nv;
    c.se2 = c.se1;
    c.se1 = z_se;
}

// One band's walk through its times.
struct BandRun {
    float* zb;                    // the band's vector at time 0
    const std::uint16_t* kind;    // its kinds at its first time
    const std::int32_t* coef_at;  // its coefficient groups from its first time
    const float* coefs;           // every coefficient group
    int t0, t1;                   // first and last time (lane 0 in column 1, lane W - 1 in column NX)
    int head_end;                 // last time with a lane in column 1 or 2
    int body_end;                 // last time with no lane in column NX - 1 or NX
    int rows;                     // SkewedBandRows
    const SkewedCorner* corner;   // its next corner node
    const SkewedCorner* corner_end;
    Carry c;
};

// The coefficient vectors of a step's group, or null for a step without data lanes.
MINC_SKEWED_INLINE const float* group_coefs(const float* coefs, std::int32_t group) {
    return group < 0 ? nullptr : coefs + std::ptrdiff_t(group) * kAccWidth * V::kLanes;
}

BandRun band_run(const SkewedBands& sb, int band) {
    constexpr int w = V::kLanes;
    BandRun r;
    const int j0 = 1 + w * band;  // the band's first row
    r.zb = sb.z + std::ptrdiff_t(w) * (band + 1);
    r.kind = sb.kinds + std::ptrdiff_t(band) * sb.times * w;
    r.coef_at = sb.coef_at + std::ptrdiff_t(band) * sb.times;
    r.coefs = sb.coefs;
    r.t0 = 1 + 2 * j0;
    r.t1 = r.t0 + sb.times - 1;
    r.head_end = 2 + 2 * (j0 + w - 1);
    r.body_end = sb.nx - 2 + 2 * j0;
    r.rows = sb.band_rows[band];
    r.corner = sb.corners + sb.corner_begin[band];
    r.corner_end = sb.corners + sb.corner_begin[band + 1];
    return r;
}

// The carried vectors at the band's first time; the band below must have finished the
// four times before it.
MINC_SKEWED_INLINE void band_start(BandRun& r, std::ptrdiff_t s) {
    float* const z = r.zb + r.t0 * s;
    constexpr int w = V::kLanes;
    r.c.n1 = V::load(z - s);
    r.c.se1 = V::shift1(V::load(z - 2 * s), V::load(z - w - 2 * s));
    r.c.se2 = V::shift1(V::load(z - 3 * s), V::load(z - w - 3 * s));
    r.c.dmax = V::splat(0.0f);
}

// The corner nodes of the band's step `at`, from the skewed storage before the step:
// every node they read that the written order has updated is stored already, every other
// still holds its old value.
[[gnu::noinline]] void corner_values(BandRun& r, float* zt, int at, float omega, CornerValues& out) {
    for (; r.corner != r.corner_end && r.corner->at == at; ++r.corner) {
        const SkewedCorner& cn = *r.corner;
        const float* const p = zt + cn.lane;
        float target = 0.0f;
        switch (cn.form) {
            case CornerForm::corner: target = eq_corner(p, cn.u, cn.v); break;
            case CornerForm::eq21: target = eq_21(p, cn.u, cn.v); break;
            case CornerForm::eq22: target = eq_22(p, cn.u, cn.v); break;
        }
        const float v = *p;
        out.lane[out.count] = cn.lane;
        out.value[out.count] = v + omega * (target - v);
        ++out.count;
    }
}

MINC_SKEWED_INLINE void band_at(BandRun& r, int t, std::ptrdiff_t s, const Constants& k) {
    constexpr int w = V::kLanes;
    const int at = t - r.t0;
    const float* const coef = group_coefs(r.coefs, r.coef_at[at]);
    float* const zt = r.zb + t * s;
    CornerValues cv;
    const CornerValues* corners = nullptr;
    if (r.corner != r.corner_end && r.corner->at == at) [[unlikely]] {
        corner_values(r, zt, at, k.omega1, cv);
        corners = &cv;
    }
    const std::uint16_t* const kind = r.kind + std::ptrdiff_t(at) * w;
    const bool west = t <= r.head_end, east = t > r.body_end;
    if (west && east)
        band_step<kWestColumns | kEastColumns>(zt, s, kind, coef, r.rows, corners, k, r.c);
    else if (west)
        band_step<kWestColumns>(zt, s, kind, coef, r.rows, corners, k, r.c);
    else if (east)
        band_step<kEastColumns>(zt, s, kind, coef, r.rows, corners, k, r.c);
    else
        band_step<kNoEdgeColumns>(zt, s, kind, coef, r.rows, corners, k, r.c);
}

MINC_SKEWED_INLINE void band_finish(const BandRun& r, const SkewedBands& sb, int band) {
    V::store(sb.lane_dmax + V::kLanes * band, r.c.dmax);
    V::store(sb.lane_admax + V::kLanes * band, V::abs(r.c.dmax));
}

// The schedule. Bands run bottom to top, two at a time in one loop, so that their
// dependence chains overlap: the lower band (the leader) at least kLag times ahead of the
// band above it (the follower). A band reads the band below only at times that band has
// finished (it is ahead) and the band above only at times that band has not reached (it
// is behind, or not started), so every lane sees what the written order gives it. When the
// leader ends, the follower leads and the next band starts at once: a band runs alone only
// at the start of the first band and once the band below the last band has ended. (Three
// or four bands at a time ran no faster than two: the sweep is then bound by the
// arithmetic ports, not by latency.)
//
// The loop counts ticks; a band runs the ticks [start, end), at time tick + shift, and is
// in its body (no lane in the outer two columns, so no corner node) in [body, tail).
constexpr int kLag = 4;

struct Scheduled {
    BandRun run;
    int start, body, tail, end;
    int shift;
    bool started = false;
};

Scheduled schedule(const SkewedBands& sb, int band, int start) {
    Scheduled b;
    b.run = band_run(sb, band);
    b.shift = b.run.t0 - start;
    b.start = start;
    b.body = b.run.head_end + 1 - b.shift;
    b.tail = b.run.body_end + 1 - b.shift;
    b.end = b.run.t1 + 1 - b.shift;
    return b;
}

// A band's step in its body: the one check left is for data lanes.
MINC_SKEWED_INLINE void band_body_at(BandRun& r, int t, std::ptrdiff_t s, const Constants& k) {
    constexpr int w = V::kLanes;
    const int at = t - r.t0;
    const float* const coef = group_coefs(r.coefs, r.coef_at[at]);
    band_step<kNoEdgeColumns>(r.zb + t * s, s, r.kind + std::ptrdiff_t(at) * w, coef, r.rows, nullptr, k, r.c);
}

// Both bands in their bodies, ticks [tick, end): the hot loop of the sweep, one for each
// pair of SkewedBandRows (kRows0 for the leader, kRows1 for the follower), so that the
// edge-row forms are compiled in only where a band has such rows. The carried vectors and
// the walking pointers live in locals, so that they stay in registers from step to step.
template <int kRows0, int kRows1>
void pair_body(Scheduled& lead, Scheduled& follow, int tick, int end, std::ptrdiff_t s, const Constants& k) {
    constexpr int w = V::kLanes;
    BandRun& lo = lead.run;
    BandRun& hi = follow.run;
    Carry c0 = lo.c, c1 = hi.c;
    const int t0 = tick + lead.shift, t1 = tick + follow.shift;
    float* z0 = lo.zb + t0 * s;
    float* z1 = hi.zb + t1 * s;
    const std::uint16_t* kind0 = lo.kind + std::ptrdiff_t(t0 - lo.t0) * w;
    const std::uint16_t* kind1 = hi.kind + std::ptrdiff_t(t1 - hi.t0) * w;
    const std::int32_t* group0 = lo.coef_at + (t0 - lo.t0);
    const std::int32_t* group1 = hi.coef_at + (t1 - hi.t0);
    const float* const coefs = lo.coefs;
    for (int n = end - tick; n > 0; --n) {
        const float* const coef0 = group_coefs(coefs, *group0);
        const float* const coef1 = group_coefs(coefs, *group1);
        band_step<kNoEdgeColumns, kRows0>(z0, s, kind0, coef0, kRows0, nullptr, k, c0);
        band_step<kNoEdgeColumns, kRows1>(z1, s, kind1, coef1, kRows1, nullptr, k, c1);
        z0 += s;
        z1 += s;
        kind0 += w;
        kind1 += w;
        ++group0;
        ++group1;
    }
    lo.c = c0;
    hi.c = c1;
}

using PairBody = void (*)(Scheduled&, Scheduled&, int, int, std::ptrdiff_t, const Constants&);

// pair_body for every pair of rows bits, at index 4 kRows0 + kRows1.
template <int... kIndex>
constexpr std::array<PairBody, sizeof...(kIndex)> pair_bodies(std::integer_sequence<int, kIndex...>) {
    return {&pair_body<kIndex / 4, kIndex % 4>...};
}
constexpr auto kPairBodies = pair_bodies(std::make_integer_sequence<int, 16>());

// Ticks [tick, end) of the leader and, where it runs, the follower (null: none). The
// stretches between the ticks where a band starts, enters or leaves its body each run one
// loop.
void run_until(Scheduled& lead, Scheduled* follow, int tick, int end, std::ptrdiff_t s, const Constants& k) {
    while (tick < end) {
        int stretch_end = end;
        bool lead_body = tick >= lead.body && tick < lead.tail;
        for (const int e : {lead.body, lead.tail})
            if (e > tick) stretch_end = std::min(stretch_end, e);
        bool both = false, follow_body = false;
        if (follow != nullptr) {
            for (const int e : {follow->start, follow->body, follow->tail})
                if (e > tick) stretch_end = std::min(stretch_end, e);
            if (tick == follow->start) {
                band_start(follow->run, s);
                follow->started = true;
            }
            both = tick >= follow->start;
            follow_body = tick >= follow->body && tick < follow->tail;
        }
        if (both && lead_body && follow_body) {
            kPairBodies[std::size_t(4 * lead.run.rows + follow->run.rows)](lead, *follow, tick, stretch_end, s, k);
        } else if (both) {
            for (int u = tick; u < stretch_end; ++u) {
                if (lead_body)
                    band_body_at(lead.run, u + lead.shift, s, k);
                else
                    band_at(lead.run, u + lead.shift, s, k);
                if (follow_body)
                    band_body_at(follow->run, u + follow->shift, s, k);
                else
                    band_at(follow->run, u + follow->shift, s, k);
            }
        } else if (lead_body) {
            for (int u = tick; u < stretch_end; ++u) band_body_at(lead.run, u + lead.shift, s, k);
        } else {
            for (int u = tick; u < stretch_end; ++u) band_at(lead.run, u + lead.shift, s, k);
        }
        tick = stretch_end;
    }
}

void sweep_bands(const SkewedBands& sb, float omega) {
    Constants k;
    k.omega = V::splat(omega);
    k.omega1 = omega;
    const std::ptrdiff_t s = sb.stride;
    if (sb.bands == 0) return;
    // Band b sits in slot b % 2. The follower starts kLag times behind the leader, and not
    // before the band below the leader has ended.
    Scheduled slot[2];
    constexpr int w = V::kLanes;
    slot[0] = schedule(sb, 0, 0);
    if (sb.bands > 1) slot[1] = schedule(sb, 1, slot[0].start + 2 * w + kLag);
    int tick = 0;
    for (int lead = 0; lead < sb.bands; ++lead) {
        Scheduled& leader = slot[lead % 2];
        Scheduled* follower = lead + 1 < sb.bands ? &slot[(lead + 1) % 2] : nullptr;
        if (!leader.started) {  // it did not start while the band below led: a narrow block
            tick = leader.start;
            band_start(leader.run, s);
            leader.started = true;
        }
        run_until(leader, follower, tick, leader.end, s, k);
        tick = leader.end;
        band_finish(leader.run, sb, lead);
        // The band after the follower takes the leader's slot.
        if (lead + 2 < sb.bands)
            leader = schedule(sb, lead + 2, std::max(follower->start + 2 * w + kLag, tick));
    }
}

}  // namespace
}  // namespace minc::MINC_SKEWED_ISA

#undef MINC_SKEWED_INLINE
