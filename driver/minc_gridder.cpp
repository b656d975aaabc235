// Four gridding calls per line (see minc_gridder.hpp).
#include "minc_gridder.hpp"

#include <cstddef>
#include <span>
#include <vector>

#include "line_builder.hpp"

namespace driver {

std::optional<std::string> MincGridder::grid_line(const GridCall& call) {
    // The points of the line in memory, given the value of each quantity in turn: the
    // same records the library would read from the line point file.
    const std::size_t n = call.points.size() / kPointReals;
    std::vector<minc::Point> pts(n);
    for (std::size_t k = 0; k < kQuantities.size(); ++k) {
        const Quantity& q = kQuantities[k];
        // Channel c of a point file record is the real after station and depth: c + 1.
        const auto channel = static_cast<std::size_t>(q.channel + 1);
        for (std::size_t i = 0; i < n; ++i) {
            const std::span<const float> rec = call.points.subspan(i * kPointReals, kPointReals);
            pts[i] = minc::Point{rec[kStation], rec[kDepth], rec[channel]};
        }
        const minc::GridRequest request{
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
            // The status word goes in as the iteration limit; being 0 or negative, it
            // always leaves the library at its default limit.
            .iterations = status_word_,
        };
        const int ierr = (call.points.empty() ? minc::grid(request, relax_, stores_)
                                              : minc::grid(request, pts, relax_, stores_))
                             .code();
        status_word_ = ierr;
        if (ierr != 0) {
            ++failed_;
            console_ << " warning: line " << call.label << ": grid file " << call.out_files[k]
                     << " not written, gridding code " << ierr << " ("
                     << minc::describe(static_cast<minc::Status>(ierr)) << ")\n";
        }
    }
    return std::nullopt;
}

}  // namespace driver
