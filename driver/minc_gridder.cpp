// Four gridding calls per line (see minc_gridder.hpp).
#include "minc_gridder.hpp"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "line_builder.hpp"

namespace driver {

minc::GridRequest quantity_request(const GridCall& call, std::size_t k, int iterations) {
    const Quantity& q = kQuantities[k];
    return minc::GridRequest{
        .outfile = call.out_files[k],
        .datfile = call.datfile,
        .x0 = call.x0,
        .y0 = call.y0,
        .dx = call.dx,
        .dy = call.dy,
        .nx = call.nx,
        .ny = call.ny,
        .radius = call.radius,
        .ichan = q.channel,
        .maxchan = kPointChannels,
        .dummy = kNullValue,
        .mode = q.mode,
        .iopt = 1,
        .angle = 0.0f,
        .iterations = iterations,
    };
}

std::vector<minc::Point> quantity_points(const GridCall& call, std::size_t k) {
    // Channel c of a point file record is the real after station and depth: c + 1.
    const auto channel = static_cast<std::size_t>(kQuantities[k].channel + 1);
    const std::size_t n = call.points.size() / kPointReals;
    std::vector<minc::Point> pts(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::span<const float> rec = call.points.subspan(i * kPointReals, kPointReals);
        pts[i] = minc::Point{rec[kStation], rec[kDepth], rec[channel]};
    }
    return pts;
}

std::string failed_grid_warning(const GridCall& call, std::size_t k, int code) {
    return " warning: line " + call.label + ": grid file " + call.out_files[k] +
           " not written, gridding code " + std::to_string(code) + " (" + minc::status_text(code) + ")\n";
}

std::optional<std::string> MincGridder::grid_line(const GridCall& call) {
    // The points of the line in memory, given the value of each quantity in turn: the
    // same records the library would read from the line point file.
    const bool from_file = call.points.empty();
    for (std::size_t k = 0; k < kQuantities.size(); ++k) {
        // The status word goes in as the iteration limit; being 0 or negative, it
        // always leaves the library at its default limit.
        const minc::GridRequest request = quantity_request(call, k, status_word_);
        const minc::GridResult r = from_file ? minc::grid(request, relax_, stores_)
                                             : minc::grid(request, quantity_points(call, k), relax_, stores_);
        status_word_ = r.code();
        if (status_word_ != 0) {
            ++failed_;
            console_ << failed_grid_warning(call, k, status_word_);
        } else {
            ++grids_;
        }
    }
    return std::nullopt;
}

}  // namespace driver
