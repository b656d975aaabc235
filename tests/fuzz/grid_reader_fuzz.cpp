// Fuzz target for the grid-file reader and the routines that read grid files through it
// (GEOFLIP, GEOROT, ROTGRD). Any input must give either a grid whose values match its
// header or a failure status with no output file; never a crash, a leak or an
// allocation the file's length does not justify.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "gridout/byte_file.hpp"
#include "gridout/flip.hpp"
#include "gridout/grid_file.hpp"
#include "gridout/rotate.hpp"

namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gridout;
    MemoryFileSystem fs;
    {
        auto f = fs.create("in.grd");
        require(f != nullptr);
        const auto bytes = std::as_bytes(std::span<const std::uint8_t>(data, size));
        require(bytes.empty() || f->write(bytes) == static_cast<std::int64_t>(size));
    }

    GridData grid;
    const GridStatus read = read_grid(fs, "in.grd", grid);
    if (read == GridStatus::ok) {
        const GridHeader& h = grid.header;
        require(h.ne >= 1 && h.nv >= 1);
        require(grid.values.size() == std::size_t(h.ne) * std::size_t(h.nv));
        require(512 + grid.values.size() * 4 <= size);
        volatile float corner = grid.node(1, 1) + grid.node(h.ne, h.nv);
        (void)corner;
    }

    const GridStatus flip = geoflip(fs, "in.grd", "out.grd");
    // GEOFLIP also refuses headers whose spacings or origin do not fit a 32-bit real.
    require(flip != GridStatus::ok || read == GridStatus::ok);
    require(fs.exists("out.grd") == (flip == GridStatus::ok));
    if (flip == GridStatus::ok) {
        GridData out;
        require(read_grid(fs, "out.grd", out) == GridStatus::ok);
        require(out.header.ne == grid.header.nv && out.header.nv == grid.header.ne);
        fs.remove("out.grd");
    }

    // Resample a small rotated window over the source, sized by its own header when it
    // has one (else by the first bytes), so the source checks see hostile counts too.
    const int snc = read == GridStatus::ok ? grid.header.ne : (size > 0 ? int(data[0]) - 8 : 1);
    const int snr = read == GridStatus::ok ? grid.header.nv : (size > 1 ? int(data[1]) - 8 : 1);
    GeorotParams gp;
    gp.snc = snc;
    gp.snr = snr;
    gp.nx = 4;
    gp.ny = 3;
    gp.x0 = -1.0f;
    gp.y0 = -1.0f;
    gp.dx = 0.75f;
    gp.dy = 1.25f;
    gp.angle = 30.0f;
    const GridStatus rot = georot(fs, "in.grd", fs, "rot.grd", gp);
    require(fs.exists("rot.grd") == (rot == GridStatus::ok));

    RotgrdParams rp;
    rp.nein = snc;
    rp.nvin = snr;
    rp.ne = 3;
    rp.nv = 4;
    rp.angle = -45.0f;
    rp.xoff = -0.5f;
    rp.yoff = -0.5f;
    const GridStatus rg = rotgrd(fs, "in.grd", fs, "rg.grd", rp);
    require(fs.exists("rg.grd") == (rg == GridStatus::ok));
    return 0;
}
