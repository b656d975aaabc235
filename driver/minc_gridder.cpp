// Four gridding calls per line (see minc_gridder.hpp).
#include "minc_gridder.hpp"

#include <cstddef>

namespace driver {

std::string text80(const std::string& name) {
    std::string t = name;
    t.push_back('\0');
    if (t.size() < 80) t.resize(80, ' ');
    return t;
}

std::optional<std::string> MincGridder::grid_line(const GridCall& call) {
    const std::string datfile = text80(call.datfile);
    for (std::size_t k = 0; k < kQuantities.size(); ++k) {
        const Quantity& q = kQuantities[k];
        const std::string outfile = text80(call.out_files[k]);
        float gmin = 0.0f, gmax = 0.0f;  // received, not used afterwards
        // The status word goes in as the iteration limit; being 0 or negative, it always
        // leaves the library at its default limit.
        int ierr = status_word_;
        minc::minc_call(outfile, call.x0, call.y0, call.dx, call.dy, call.nx, call.ny, call.radius,
                        datfile, q.channel, kNullValue, kPointChannels, q.mode, 1, gmin, gmax, 0.0f,
                        ierr, relax_, stores_);
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
