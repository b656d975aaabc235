// Attachment of scattered data to grid nodes. Every point goes to its nearest node
// (half-way points to the lower one); the node then either takes the data value as a
// fixed value or keeps an off-node constraint whose coefficients are derived here once,
// so that the relaxation only evaluates a weighted neighbour sum per data node.
#include "assign_data.hpp"

#include <cassert>
#include <cmath>
#include <cstddef>

namespace minc {

namespace {

// Column (or row) of the node nearest to offset dx. Rounding half away from zero after a
// tiny upward nudge, then stepping down when the node lies more than 0.4999 above dx:
// this sends a point exactly half-way between two nodes to the lower one.
// Kept in a long so that a far-away point cannot wrap into the grid. An offset beyond
// +-1E9 (or NaN) lies outside any grid (at most 32000 nodes a side) and is answered with
// 0 at once: lroundf has no defined result past the range of long, and the step down from
// its out-of-range value would overflow.
long nearest_index(float dx) {
    if (!(dx > -1.0e9f && dx < 1.0e9f)) return 0;
    long i = std::lroundf(dx + 0.000001f);
    if (static_cast<float>(i) - dx > 0.4999f) i -= 1;
    return i;
}

}  // namespace

void assign(float wconst, BlockOffset off, int nx, int ny, std::span<float> acc,
            std::span<const float> points) {
    const float xoff = off.x, yoff = off.y;
    const std::size_t count = points.size() / 3;
    assert(acc.size() >= kAccWidth * std::size_t(nx) * std::size_t(ny));
    for (std::size_t p = 0; p < count; ++p) {
        const float dx = points[3 * p] - xoff;
        const float dy = points[3 * p + 1] - yoff;
        const float z = points[3 * p + 2];
        const long li = nearest_index(dx);
        const long lj = nearest_index(dy);
        if (li < 1 || li > nx || lj < 1 || lj > ny) continue;
        const int i = static_cast<int>(li);
        const int j = static_cast<int>(lj);
        const float fx = dx - static_cast<float>(i);
        const float fy = dy - static_cast<float>(j);
        const float r2 = fx * fx + fy * fy;
        float* a = &acc[kAccWidth * (std::size_t(j - 1) * std::size_t(nx) + std::size_t(i - 1))];
        if (wconst > 0.0f) {
            // Inverse-distance weight; the constant keeps a point on the node finite and
            // makes the weights of one cell nearly equal.
            const float w = 1.0f / (r2 + wconst);
            a[kAccWeight] += w;
            a[kAccX] += w * fx;
            a[kAccY] += w * fy;
            a[kAccValue] += w * z;
        } else if (r2 < a[kAccWeight]) {
            // Nearest mode: the closest point wins, the earlier one on a tie.
            a[kAccWeight] = r2;
            a[kAccX] = fx;
            a[kAccY] = fy;
            a[kAccValue] = z;
        }
    }
}

void bwts(int izset, float wconst, float w0, GridView<float> grid, GridView<std::int32_t> flags,
          std::span<float> acc) {
    const int nx = grid.nx();
    const int ny = grid.ny();
    const std::size_t n = std::size_t(nx) * std::size_t(ny);
    assert(flags.nx() == nx && flags.ny() == ny && acc.size() >= kAccWidth * n);
    std::span<float> z = grid.data();
    std::span<std::int32_t> f = flags.data();

    // First pass: means, fixed nodes and quadrant codes.
    for (std::size_t k = 0; k < n; ++k) {
        float* a = &acc[kAccWidth * k];
        if (a[kAccWeight] < 1.0e-7f) a[kAccWeight] = 0.0f;
        if (a[kAccWeight] == w0) continue;  // no point reached this node
        if (wconst > 0.0f) {
            const float s = 1.0f / a[kAccWeight];
            a[kAccX] = s * a[kAccX];
            a[kAccY] = s * a[kAccY];
            a[kAccValue] = s * a[kAccValue];
            a[kAccWeight] = a[kAccX] * a[kAccX] + a[kAccY] * a[kAccY];
        }
        if (a[kAccWeight] <= 0.0025f) {
            // Mean position within 0.05 spacings of the node: the data fix the node.
            f[k] = -1;
            z[k] = a[kAccValue];
            continue;
        }
        std::int32_t q;
        if (a[kAccX] >= 0.0f) {
            q = a[kAccY] >= 0.0f ? 1 : 4;
        } else {
            q = a[kAccY] >= 0.0f ? 2 : 3;
        }
        f[k] = q;
        if (izset != 0) z[k] = a[kAccValue];
    }

    // Second pass: coefficients of the data equation at interior data nodes. The offsets
    // enter only as magnitudes X, Y; the quadrant code tells the relaxation which
    // neighbours (A, B, G, H) the coefficients belong to. Each line is one float rounding.
    for (int j = 3; j <= ny - 2; ++j) {
        for (int i = 3; i <= nx - 2; ++i) {
            const std::size_t k = std::size_t(j - 1) * std::size_t(nx) + std::size_t(i - 1);
            if (f[k] < 1) continue;
            float* a = &acc[kAccWidth * k];
            const float x = std::fabs(a[kAccX]);
            const float y = std::fabs(a[kAccY]);
            const float q = y * y;
            const float p = (x + y + y + 1.0f) * x;
            const float t = 4.0f / (p + q + y);
            const float u = t * p * 0.5f - 1.0f;
            const float v = t * x;
            const float m = (y + 1.0f) * v - 2.0f * u;
            const float c2 = (v + 2.0f) - (t * q + 2.0f * u + m);
            const float c1 = (m + u) - v;
            a[kCoefA] = c2;
            a[kCoefB] = c1;
            a[kCoefG] = m;
            a[kCoefH] = u;
            a[kDataTerm] = t * a[kAccValue];
            a[kNorm] = 1.0f / (c1 + 1.0f + c2 + m + u + t);
        }
    }
}

}  // namespace minc
