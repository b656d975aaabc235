// The blanking of a finished grid (see grid_blanking.hpp).
#include "grid_blanking.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "blanking.hpp"
#include "blanking_template.hpp"
#include "capacities.hpp"
#include "radius_clip.hpp"

namespace minc {
namespace {

Status clip_to_outline(const BlankingGrid& g, RowFile mask, int w, WorkArea& area) {
    // Row buffer, row spans, column spans, then the outline list in the rest of the
    // work area: (256000 - 3 NCT - 2 NRT) div 2 points. A tall mask can need more
    // outline points than that; the list then grows to what the outline can need.
    const std::size_t nc = std::size_t(g.nct), nr = std::size_t(g.nrt);
    const std::size_t fixed = 3 * nc + 2 * nr;
    const std::size_t free_points = fixed < std::size_t(kWorkWords) ? (kWorkWords - fixed) / 2 : 0;
    const std::size_t points = std::max(free_points, radclp_outline_points(g.nct, g.nrt, w));
    std::vector<std::int32_t>& iw = area.int_work(fixed + 2 * points);
    const std::span<std::int32_t> all(iw);
    return radclp(mask, w, all.subspan(0, nc), all.subspan(nc, 2 * nr), all.subspan(nc + 2 * nr, 2 * nc),
                  all.subspan(fixed, 2 * points));
}

}  // namespace

Status blanking_mask(const BlankingGrid& g, RowFile mask, WorkArea& area) {
    const int w = 2 * g.hw + 1;
    // The window passes work on integers: colsum, row buffer and a ring of w rows, of
    // NCT values each. The half window was chosen so that they fit the work area.
    std::vector<std::int32_t>& iw = area.int_work();
    const std::span<std::int32_t> all(iw);
    const std::size_t n = std::size_t(g.nct);
    const WindowStorage ws{.ldim = g.nct,
                           .colsum = all.subspan(0, n),
                           .rowbuf = all.subspan(n, n),
                           .window = all.subspan(2 * n, n * std::size_t(w))};
    if (Status s = radrem(1, mask, w, ws); failed(s)) return s;
    if (Status s = radmsk(1, mask, w, ws); failed(s)) return s;
    return clip_to_outline(g, mask, w, area);
}

Status apply_template(const BlankingGrid& g, RowFile mask, gridout::ByteFile& grid_rows,
                      gridout::ByteFile& out, WorkArea& area) {
    // One mask row from the start of the integer work area, one grid row behind it.
    std::vector<std::int32_t>& iw = area.int_work();
    const auto mrow = std::span<std::int32_t>(iw).first(std::size_t(g.nct));
    const auto grow = std::span<float>(area.work).subspan(std::size_t(g.nct), std::size_t(g.ncu));
    // The grid lies HW cells in from the mask's edges, so the border is never looked at.
    const MaskFrame frame{
        .ix0 = g.hw + 1, .iy0 = g.hw + 1, .nxm = g.nct, .nym = g.nrt, .ncol = g.ncu, .nrow = g.nru};
    return templat(frame, BlankCode{0, g.dummy}, mask, TemplateRows{mrow, grow}, grid_rows, out);
}

}  // namespace minc
