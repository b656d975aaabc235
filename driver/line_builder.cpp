// Line statistics and points of the record loop.
#include "line_builder.hpp"

#include <algorithm>
#include <cmath>

namespace driver {

std::vector<float> make_depth_table(std::int32_t ndepth, float cell) {
    std::vector<float> depth(static_cast<std::size_t>(ndepth));
    for (std::int32_t i = 1; i <= ndepth; ++i)
        depth[static_cast<std::size_t>(i - 1)] = -((static_cast<float>(i) - 0.5f) * cell);
    return depth;
}

double update_xcell(double xcell, double step, float cell) {
    if (step > static_cast<double>(cell) && step < xcell) return step;
    return xcell;
}

std::string line_label(std::int64_t line_number) { return std::to_string(line_number); }

LineBuilder::LineBuilder(std::span<const float> depth_table, float cell)
    : depth_(depth_table), cell_(cell), words_per_record_((depth_table.size() + 63) / 64) {}

void LineBuilder::start(std::int64_t line_number) {
    stats_ = LineStats{};
    stats_.line_number = line_number;
    stats_.label = line_label(line_number);
    last_station_ = 0.0;
    records_.clear();
    points_.clear();
    cell_bits_.clear();
    geometries_.clear();
    geometry_count_ = 0;
}

void LineBuilder::add(const ModelRecord& record, double& xcell) {
    const std::span<const double> own = record.layer_offset;
    auto offset = [&](std::size_t i) { return own.empty() ? static_cast<double>(depth_[i]) : own[i]; };
    const double top = record.elevation + offset(0);
    const double bottom = record.elevation + offset(depth_.size() - 1);
    double station = 0.0;
    if (stats_.record_count == 0) {
        stats_.first_east = record.east;
        stats_.first_north = record.north;
        stats_.xmin = 0.0;
        stats_.xmax = 0.0;
        stats_.zmax = top;
        stats_.zmin = bottom;
    } else {
        // Straight-line distance from the first record, not a distance along the line.
        const double de = record.east - stats_.first_east;
        const double dn = record.north - stats_.first_north;
        station = std::sqrt(de * de + dn * dn);
        xcell = update_xcell(xcell, station - last_station_, cell_);
        if (station < stats_.xmin) stats_.xmin = station;
        if (station > stats_.xmax) stats_.xmax = station;
        if (top > stats_.zmax) stats_.zmax = top;
        if (bottom < stats_.zmin) stats_.zmin = bottom;
        stats_.last_east = record.east;
        stats_.last_north = record.north;
    }
    last_station_ = station;
    ++stats_.record_count;

    const std::size_t bits_at = cell_bits_.size();
    cell_bits_.resize(bits_at + words_per_record_, 0);
    std::uint32_t n = 0;
    const float station32 = static_cast<float>(station);
    const float east32 = static_cast<float>(record.east);
    const float north32 = static_cast<float>(record.north);
    for (std::size_t i = 0; i < depth_.size(); ++i) {
        const float c = record.conductivity[i];
        if (!(c > 0.0f)) continue;
        const float log_c = std::log10(c);
        points_.insert(points_.end(),
                      {station32, static_cast<float>(record.elevation + offset(i)),
                       east32, north32, c, log_c, 1000.0f / c, 3.0f - log_c});
        cell_bits_[bits_at + i / 64] |= std::uint64_t{1} << (i % 64);
        ++n;
    }
    stats_.point_count += n;
    std::uint32_t geometry = 0;
    if (!own.empty()) {
        const std::size_t size = depth_.size();
        if (geometry_count_ == 0 || !std::equal(own.begin(), own.end(), geometries_.end() - static_cast<std::ptrdiff_t>(size))) {
            geometries_.insert(geometries_.end(), own.begin(), own.end());
            ++geometry_count_;
        }
        geometry = geometry_count_;
    }
    records_.push_back({station, record.elevation, record.east, record.north, n, record.fiducial, record.doi,
                        geometry});
}

double LineBuilder::cell_offset(std::size_t record_index, std::size_t cell_index) const {
    const std::uint32_t g = records_[record_index].geometry;
    if (g == 0) return static_cast<double>(depth_[cell_index]);
    return geometries_[(g - 1) * depth_.size() + cell_index];
}

bool LineBuilder::gave_point(std::size_t record_index, std::size_t cell_index) const {
    const std::uint64_t w = cell_bits_[record_index * words_per_record_ + cell_index / 64];
    return ((w >> (cell_index % 64)) & 1u) != 0;
}

void LineBuilder::rebase() {
    const double shift = records_.back().station;
    std::size_t at = 0;
    for (const RecordPosition& r : records_) {
        const float station = static_cast<float>(r.station - shift);
        for (std::uint32_t k = 0; k < r.points; ++k, at += kPointReals) points_[at + kStation] = station;
    }
    stats_.xmin = -shift;
    stats_.xmax = 0.0;
}

}  // namespace driver
