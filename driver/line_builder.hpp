// One survey line while its records arrive: the line statistics, the run-wide
// horizontal cell size, the points of each record, and what the line step needs to
// write the text tables from precise values afterwards (each record's position and
// which of its cells gave a point). No I/O here; the line step writes the points.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model_reader.hpp"

namespace driver {

/// Reals per point, in this order, in the line point file.
inline constexpr int kPointReals = 8;
enum PointField { kStation, kDepth, kEast, kNorth, kCon, kLogCon, kRes, kLogRes };

/// Horizontal cell size at the start of a run.
inline constexpr double kInitialXcell = 1000.0;

/// depth(i) = -((i - 0.5) x cell), i = 1..ndepth, stored 0-based: the elevation of the
/// centre of cell i below the top of its column, in 32-bit reals.
std::vector<float> make_depth_table(std::int32_t ndepth, float cell);

/// The run-wide horizontal cell size after a station step: the smallest step so far
/// that exceeds the vertical cell size. Steps of `cell` or less and negative ones leave it.
double update_xcell(double xcell, double step, float cell);

/// A line label: the line number as decimal text, of any width.
std::string line_label(std::int64_t line_number);

/// Where a record of the line lies, at full precision.
struct RecordPosition {
    double station;    // distance from the line's first record
    double elevation;  // top of the column
    double east;
    double north;
    std::uint32_t points;  // points the record gave (cells with conductivity > 0)
    double fiducial;       // NaN when the record has none
    double doi;            // depth of investigation (m below the ground); NaN when none
    std::uint32_t geometry = 0;  // 0: the uniform cells; k: the line's layer geometry k - 1
};

/// Statistics of the line in progress, at full precision.
struct LineStats {
    std::int64_t line_number = 0;
    std::string label;
    std::int64_t record_count = 0;
    std::int64_t point_count = 0;
    double first_east = 0.0, first_north = 0.0;
    double last_east = 0.0, last_north = 0.0;  // set from the second record on
    double xmin = 0.0, xmax = 0.0;             // station range
    double zmax = 0.0;                         // highest cell centre
    double zmin = 0.0;                         // lowest cell centre
};

class LineBuilder {
public:
    /// `depth_table` must outlive the builder.
    LineBuilder(std::span<const float> depth_table, float cell);

    /// Starts a new line (no record yet).
    void start(std::int64_t line_number);

    /// Adds a record: updates the statistics and `xcell` (from the second record on),
    /// and appends the record's points, kPointReals reals each, to the line's points.
    void add(const ModelRecord& record, double& xcell);

    /// The line's point records so far, in record order: what the line point file holds.
    std::span<const float> points() const { return points_; }

    const LineStats& stats() const { return stats_; }
    std::span<const RecordPosition> records() const { return records_; }
    /// True when cell `cell_index` (0-based) of record `record_index` gave a point.
    bool gave_point(std::size_t record_index, std::size_t cell_index) const;
    /// Elevation of the centre of cell `cell_index` of record `record_index` relative to
    /// the record's elevation: the depth table's, or the record's own layer offset.
    double cell_offset(std::size_t record_index, std::size_t cell_index) const;

    /// Shifts the station range and the points' stations of a line that runs from east
    /// to west so that its last record lies at station 0. The stations of `records()`
    /// stay as read.
    void rebase();

private:
    std::span<const float> depth_;
    float cell_;
    std::size_t words_per_record_;
    LineStats stats_;
    double last_station_ = 0.0;
    std::vector<RecordPosition> records_;
    std::vector<float> points_;  // kPointReals reals per point
    std::vector<std::uint64_t> cell_bits_;  // words_per_record_ words per record
    // Layer offsets of the line's records that have their own, one set per change from
    // the record before (a delivery's layers are mostly the same for every record).
    std::vector<double> geometries_;
    std::uint32_t geometry_count_ = 0;
};

/// True when the line runs from east to west and is re-based (first east > last east).
inline bool runs_west(const LineStats& s) { return s.first_east > s.last_east; }

}  // namespace driver
