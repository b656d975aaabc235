// Section layout and the line reports. The layout works in 32-bit reals in the order
// the gridding library's callers always used, so that grids line up node for node
// with grids made before.
#include "section_gridding.hpp"

#include <climits>
#include <cmath>

#include "free_format.hpp"
#include "gridout/fixed_format.hpp"

namespace driver {
namespace {

// The quotient truncated toward zero as a whole number. A quotient between -1 and 0
// gives 0, not -0: a top between -cell and 0 (columns at sea level) must round up to a
// plain 0, which the console shows without a minus sign.
float whole_quotient(float v, float step) {
    const float q = std::trunc(v / step);
    return q == 0.0f ? 0.0f : q;
}

// A whole multiple of step at or below v. The multiple is formed from the quotient
// truncated toward zero, which lies above v for negative v and is then moved down.
float round_down(float v, float step) {
    float t = step * whole_quotient(v, step);
    if (t > v) t = t - step;
    return t;
}

// A whole multiple of step at or above v.
float round_up(float v, float step) {
    float t = step * whole_quotient(v, step);
    if (t < v) t = t + step;
    return t;
}

// Nodes from lo to hi at the given spacing, one more when the truncated count falls
// short of hi (the quotient can round just below a whole number).
int node_count(float lo, float hi, float step) {
    const float n = std::trunc((hi - lo) / step + 1.0f);
    if (!(n < 2147483648.0f)) return INT_MAX;
    int count = static_cast<int>(n);
    if (lo + static_cast<float>(count - 1) * step < hi && count < INT_MAX) ++count;
    return count;
}

}  // namespace

SectionLayout section_layout(const CellSizes& cells, const LineExtent& extent) {
    const float xcell = cells.xcell, cell = cells.cell;
    const float xmin = static_cast<float>(extent.xmin), xmax = static_cast<float>(extent.xmax);
    const float zmin = static_cast<float>(extent.zmin), zmax = static_cast<float>(extent.zmax);
    SectionLayout g{};
    g.radius = 5.0f * cell;
    if (2.0f * xcell > g.radius) g.radius = 2.0f * xcell;
    g.gx0 = round_down(xmin, xcell);
    g.gx1 = round_up(xmax, xcell);
    g.gz0 = round_down(zmin, cell);
    g.gz1 = round_up(zmax, cell);
    g.nx = node_count(g.gx0, g.gx1, xcell);
    g.nz = node_count(g.gz0, g.gz1, cell);
    return g;
}

std::string line_report(std::string_view label, std::int64_t record_count, const LineExtent& e) {
    std::string s;
    s += "\n";
    s += " Processing line : ";
    s += label;
    s += "\n\n";
    s += " Number of points : " + gridout::integer(record_count, 6) + "\n";
    s += " x range : " + gridout::fixed(e.xmin, 10, 2) + gridout::fixed(e.xmax, 10, 2) + "\n";
    s += " z range : " + gridout::fixed(e.zmax, 10, 2) + gridout::fixed(e.zmin, 10, 2) + "\n";
    return s;
}

std::string layout_report(const SectionLayout& g) {
    std::string s;
    s += free_format_line(" generating grid") + "\n";
    s += "\n";
    s += free_format_line(" x range to output : ") + gridout::general15(g.gx0) +
         gridout::general15(g.gx1) + "\n";
    s += free_format_line(" number of x cells : ") + gridout::integer(g.nx, 12) + "\n";
    s += free_format_line(" z range to output : ") + gridout::general15(g.gz1) +
         gridout::general15(g.gz0) + "\n";
    s += free_format_line(" number of z cells : ") + gridout::integer(g.nz, 12) + "\n";
    return s;
}

GridCall make_grid_call(std::string_view label, std::string_view datfile,
                        const SectionLayout& layout, const CellSizes& cells) {
    GridCall c;
    c.label = std::string(label);
    for (std::size_t k = 0; k < kQuantities.size(); ++k)
        c.out_files[k] = c.label + std::string(kQuantities[k].suffix);
    c.datfile = std::string(datfile);
    c.x0 = layout.gx0;
    c.y0 = layout.gz0;
    c.dx = cells.xcell;
    c.dy = cells.cell;
    c.nx = layout.nx;
    c.ny = layout.nz;
    c.radius = layout.radius;
    return c;
}

}  // namespace driver
