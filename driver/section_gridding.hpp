// Gridding of a completed line's vertical section (station against elevation): the
// console report of the line, the grid layout rounded outward to whole cells, and the
// seam through which the four gridding calls of a line are made.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace driver {

/// Grid of one line's section, in 32-bit reals as the gridding library takes them.
/// Nodes lie at x = gx0 + (i - 1) xcell, i = 1..nx, and y = gz0 + (j - 1) cell,
/// j = 1..nz; y is elevation, so row 1 is the deepest.
struct SectionLayout {
    float radius;  // search radius: the larger of 5 cell and 2 xcell
    float gx0, gx1;  // station range rounded outward to whole multiples of xcell
    float gz0, gz1;  // elevation range rounded outward to whole multiples of cell
    int nx, nz;      // node counts (saturate at the largest int for absurd ranges)
};

/// The extent of a line at full precision: its station range and the elevations of its
/// lowest and highest cell centre.
struct LineExtent {
    double xmin = 0.0, xmax = 0.0;
    double zmin = 0.0, zmax = 0.0;
};

/// The two cell sizes of a section grid, in 32-bit reals.
struct CellSizes {
    float xcell = 0.0f;  // horizontal: the run-wide station step
    float cell = 0.0f;   // vertical: the model's cell thickness
};

/// Rounds the line's station range [xmin, xmax] and elevation range [zmin, zmax]
/// outward and counts the nodes, in 32-bit reals: each bound is first rounded to one.
/// Both cell sizes must be positive.
SectionLayout section_layout(const CellSizes& cells, const LineExtent& extent);

/// The console report of a completed line (also of a line of one or two records):
/// blank line, " Processing line : " label, blank line, record count as I6, and the
/// x range (xmin, xmax) and z range (top, bottom) as F10.2 pairs; LF line ends.
std::string line_report(std::string_view label, std::int64_t record_count, const LineExtent& extent);

/// The free-format lines printed before a line is gridded: " generating grid", a blank
/// line, the x range and count, the z range (top first) and count.
std::string layout_report(const SectionLayout& layout);

/// One gridded quantity of a line: which channel of the line point file, the mode of
/// the gridding library (2: gridded as logarithms and written back as values,
/// 1: gridded as they are) and the grid file suffix.
struct Quantity {
    int channel;
    int mode;
    std::string_view suffix;
};
inline constexpr std::array<Quantity, 4> kQuantities = {{
    {3, 2, "_con.grd"},
    {4, 1, "_logcon.grd"},
    {5, 2, "_res.grd"},
    {6, 1, "_logres.grd"},
}};

/// Null value of the line point data, passed to the gridding library as DUMMY.
inline constexpr float kNullValue = -99999.0f;
/// Channels per point of the line point file beyond station and depth.
inline constexpr int kPointChannels = 6;

/// Everything the four gridding calls of one line need. The calls are, in order, the
/// four entries of kQuantities: output out_files[k], channel kQuantities[k].channel,
/// mode kQuantities[k].mode, input datfile with kPointChannels channels, null value
/// kNullValue, rows stored from the deepest upward, no rotation.
struct GridCall {
    std::string label;
    std::array<std::string, 4> out_files;  // label + suffix, in kQuantities order
    std::string datfile;                   // "tmpdat.tmp" or "tmpdat2.tmp"
    float x0;      // gx0
    float y0;      // gz0
    float dx;      // xcell
    float dy;      // cell
    int nx;
    int ny;        // nz
    float radius;
    /// The point records of datfile (kPointReals reals each, as in the file) when the
    /// caller holds them; empty: the gridder reads datfile.
    std::span<const float> points;
};

/// Grid files written and gridding calls failed so far.
struct GridCounts {
    std::int64_t grids = 0;
    std::int64_t failures = 0;
};

/// The seam between the driver and the gridding library. The driver calls grid_line
/// once per line of three or more records, after the line's files are written and its
/// report printed, and finish() once when the record loop has ended (normally or on a
/// stop), before anything else is reported. One gridder serves a whole run, so it can
/// carry state from call to call (the library's status word). grid_line returns the
/// console line of a stop when the run cannot go on (an output that cannot be
/// written), or nothing. A gridder may grid a line after grid_line returns; finish()
/// then waits for every line handed over and reports them.
class SectionGridder {
public:
    virtual ~SectionGridder() = default;
    virtual std::optional<std::string> grid_line(const GridCall& call) = 0;
    virtual void finish() {}
    virtual GridCounts counts() const { return {}; }
};

/// Grids nothing: a run with it writes the tables and files of every line but no grid.
class NoGridding final : public SectionGridder {
public:
    std::optional<std::string> grid_line(const GridCall&) override { return std::nullopt; }
};

/// The GridCall of a line.
GridCall make_grid_call(std::string_view label, std::string_view datfile,
                        const SectionLayout& layout, const CellSizes& cells);

}  // namespace driver
