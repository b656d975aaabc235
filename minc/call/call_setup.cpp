// Derived parameters of a gridding call (see call_setup.hpp).
#include "call_setup.hpp"

#include <cmath>
#include <cstdint>

#include "capacities.hpp"
#include "grid_view.hpp"

namespace minc {

namespace {
// Beyond this many columns or rows no partition of at most 3600 blocks of at most
// 1200 nodes a side exists, though the partition search still finds one of more blocks.
constexpr int kMaxExtent = kMaxBlocks * (kMaxBlocks / 3);
// A rotated working grid whose data range reaches beyond this many cells from the
// origin is refused: its origin and size would no longer fit an int.
constexpr float kMaxRange = 1.0e9f;
}  // namespace

Status check_arguments(const GridRequest& r) {
    const float dx = r.dx, dy = r.dy;
    const int nx = r.nx, ny = r.ny, ichan = r.ichan, maxchan = r.maxchan;
    if (!(std::isfinite(dx) && dx > 0.0f) || !(std::isfinite(dy) && dy > 0.0f))
        return Status::bad_spacing;
    if (nx < 1 || ny < 1) return Status::bad_size;
    if (maxchan < 1 || maxchan > kMaxChannels) return Status::bad_max_channels;
    if (ichan < 1 || ichan > maxchan) return Status::bad_channel;
    return Status::ok;
}

Status check_origin_and_dummy(float x0, float y0, float dx, float dy, float dummy) {
    // The origin in cells places every datum in the grid; beyond the range of an int
    // the node positions no longer resolve single cells.
    constexpr float kIntRange = 2147483648.0f;  // 2^31
    auto in_range = [&](float w, float d) {
        const float cells = w / d;
        return std::isfinite(w) && std::fabs(cells) < kIntRange;
    };
    if (!in_range(x0, dx) || !in_range(y0, dy)) return Status::bad_origin;
    if (std::isnan(dummy)) return Status::bad_dummy;
    return Status::ok;
}

int iteration_limit(int ierr_in) { return ierr_in >= 32 ? ierr_in : 512; }

float radius_in_cells(const GridRequest& q) {
    const float radius = q.radius, dx = q.dx, dy = q.dy;
    const int nx = q.nx, ny = q.ny;
    float r = 0.0f;
    if (!(static_cast<float>(nx) * dx < radius) && !(static_cast<float>(ny) * dy < radius))
        r = radius / dx;
    if (!std::isfinite(r) || r < 0.0f) r = 0.0f;
    return r;
}

float reduced_angle(float angle) {
    float a = std::fmod(angle, 360.0f);  // remainder with the sign of ANGLE
    if (a > 180.0f) a = a - 180.0f;
    if (a < -180.0f) a = a + 180.0f;
    if (a > 90.0f) a = a - 90.0f;
    if (a < -90.0f) a = a + 90.0f;
    if (a > 45.0f) a = a - 90.0f;
    if (a < -45.0f) a = a + 90.0f;
    if (std::fabs(a) < 2.0f) a = 0.0f;
    return a;
}

HalfWindow half_window(float radius_cells, int ncu) {
    HalfWindow h;
    const float r = std::fabs(radius_cells) + 0.5f;
    // A window as wide as the grid is already far beyond what the work area holds, so a
    // larger radius changes nothing but would overflow the integer conversion.
    const std::int64_t cap = std::int64_t(kWorkWords);
    const std::int64_t hw = r < static_cast<float>(cap) ? std::int64_t(r) : cap;
    // (2*HW + 3) rows of NCU + 2*HW mask values must fit the work area.
    if ((2 * hw + 3) * (2 * hw + std::int64_t(ncu)) > std::int64_t(kWorkWords)) {
        // Largest HW with 4 HW^2 + (2 NCU + 6) HW + 3 NCU - 256000 <= 0.
        const float b = static_cast<float>(2 * std::int64_t(ncu) + 6);
        const float c = static_cast<float>(3 * std::int64_t(ncu) - kWorkWords);
        const int reduced = trunc_int((std::sqrt(b * b - 16.0f * c) - b) / 8.0f);
        h.reduced = true;
        h.hw = reduced >= 1 ? reduced : 0;
        h.radius_used = static_cast<float>(reduced);
        return h;
    }
    h.hw = static_cast<int>(hw);
    return h;
}

Status rotated_grid(const DataRange& range, WorkingGrid& g) {
    if (!(range.xmin < range.xmax) || !(range.ymin < range.ymax)) return Status::bad_data_name;
    // The range is in cell units of the requested grid. Data far from the requested
    // grid are gridded where they lie, and a range too wide to partition is refused by
    // the partition, after the half-window lines; only where the conversions below
    // would overflow is the call refused here.
    if (!(std::fabs(range.xmin) < kMaxRange && std::fabs(range.xmax) < kMaxRange &&
          std::fabs(range.ymin) < kMaxRange && std::fabs(range.ymax) < kMaxRange))
        return Status::too_many_blocks;
    g.xc0 = static_cast<float>(trunc_int(range.xmin) - 1);
    g.yc0 = static_cast<float>(trunc_int(range.ymin) - 1);
    const float xmax1 = range.xmax + 1.0f;
    const float ymax1 = range.ymax + 1.0f;
    g.ncu = static_cast<int>(std::lround(xmax1 - g.xc0)) + 1;
    g.nru = static_cast<int>(std::lround(ymax1 - g.yc0)) + 1;
    return Status::ok;
}

Status choose_partition(const WorkingGrid& wg, const GridRequest& r, Partition& p) {
    const int ncu = wg.ncu, nru = wg.nru, nx = r.nx, ny = r.ny;
    // So wide or tall a grid always partitions, into several blocks and more than 3600
    // of them, with either overlap: the overlap rule for NX and NY decides between
    // -999 and -2, as it does for any grid of several blocks (and the counts of the
    // partition search stay far from int overflow).
    if (ncu > kMaxExtent || nru > kMaxExtent)
        return nx <= 5 || ny <= 5 ? Status::overlap_too_small : Status::too_many_blocks;
    // The extended grid: the working grid and two nodes more on every side.
    const PartitionBounds bounds{
        .max_words = kWorkWords, .max_blocks = kMaxBlocks, .columns = ncu + 4, .rows = nru + 4};
    p.overlap = 10;
    if (Status s = prtish(bounds, p); p.nsect == 0)
        return failed(s) ? s : Status::no_partition;
    if (p.nsect == 1 && p.ntier == 1) {
        p.overlap = 1;
    } else if (nx <= p.overlap || ny <= p.overlap) {
        p.overlap = 5;
        const Status s = prtish(bounds, p);
        if (nx <= 5 || ny <= 5) return Status::overlap_too_small;
        if (p.nsect == 0) return failed(s) ? s : Status::no_partition;
    }
    if (std::int64_t(p.nsect) * std::int64_t(p.ntier) > kMaxBlocks) return Status::too_many_blocks;
    if (p.nsect == 1 && p.ntier == 1) p.overlap = 1;
    return Status::ok;
}

int points_per_record(int blocks) {
    const int fit = kWorkWords / (3 * blocks);
    return fit < kMaxPointsPerRecord ? fit : kMaxPointsPerRecord;
}

}  // namespace minc
