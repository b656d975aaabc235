// Grids a plane sampled on a coarse lattice through both interfaces of an installed
// minc: the C entry MINC (libminc.so) and minc::Gridder (libminc_cxx.a). The grid must
// hold the plane, and the two grid files must be the same bytes: both are the first
// call of a fresh relaxation state. Exit status 0 when every check holds.
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <minc/minc.h>
#include <minc/minc.hpp>

namespace {

static_assert(std::endian::native == std::endian::little, "the data file is written as host floats");

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what.c_str());
        ++failures;
    }
}

float plane(float x, float y) { return 2.0f * x - 1.5f * y + 40.0f; }

std::vector<char> read_all(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// An 80-character text for the C entry: the name, a NUL, blanks.
void name80(char (&text)[80], const char* name) {
    std::memset(text, ' ', sizeof text);
    std::memcpy(text, name, std::strlen(name) + 1);
}

}  // namespace

int main() {
    // The plane at every second node of a 13 x 9 grid of spacing 0.5, as x, y, z records.
    constexpr int kNx = 13, kNy = 9;
    {
        std::ofstream data("plane.dat", std::ios::binary);
        for (int j = 0; j < kNy; j += 2)
            for (int i = 0; i < kNx; i += 2) {
                const float rec[3] = {0.5f * static_cast<float>(i), 0.5f * static_cast<float>(j),
                                      plane(0.5f * static_cast<float>(i), 0.5f * static_cast<float>(j))};
                data.write(reinterpret_cast<const char*>(rec), sizeof rec);
            }
    }

    char out[80], dat[80];
    name80(out, "c.grd");
    name80(dat, "plane.dat");
    float x0 = 0.0f, y0 = 0.0f, dx = 0.5f, dy = 0.5f, radius = 0.0f, dummy = -99999.0f;
    float gmin = 0.0f, gmax = 0.0f, angle = 0.0f;
    int nx = kNx, ny = kNy, ichan = 1, maxchan = 1, mode = 1, iopt = 1, ierr = 0;
    MINC(out, 80, &x0, &y0, &dx, &dy, &nx, &ny, &radius, dat, 80, &ichan, &dummy, &maxchan, &mode,
         &iopt, &gmin, &gmax, &angle, &ierr);
    check(ierr == MINC_OK, "MINC status " + std::to_string(ierr));

    minc::GridRequest request;
    request.outfile = "cxx.grd";
    request.datfile = "plane.dat";
    request.dx = 0.5f;
    request.dy = 0.5f;
    request.nx = kNx;
    request.ny = kNy;
    minc::Gridder gridder;
    const minc::GridResult result = gridder.grid(request);
    check(result.ok(), "Gridder status " + std::to_string(result.code()));
    check(result.gmin == gmin && result.gmax == gmax, "the two interfaces report different ranges");

    const std::vector<char> c_grid = read_all("c.grd"), cxx_grid = read_all("cxx.grd");
    const std::size_t want = 512 + 4 * std::size_t{kNx} * kNy;
    check(c_grid.size() == want, "c.grd has " + std::to_string(c_grid.size()) + " bytes");
    check(c_grid == cxx_grid, "c.grd and cxx.grd differ");
    if (c_grid.size() == want) {
        // Rows from the first y upward. Data nodes hold their datum; between them the
        // relaxation stops at its convergence limit, a few thousandths off the plane.
        for (int j = 0; j < kNy; ++j)
            for (int i = 0; i < kNx; ++i) {
                float v;
                std::memcpy(&v, c_grid.data() + 512 + 4 * (std::size_t(j) * kNx + i), 4);
                const float z = plane(0.5f * static_cast<float>(i), 0.5f * static_cast<float>(j));
                const float tol = i % 2 == 0 && j % 2 == 0 ? 1e-3f : 0.05f;
                check(std::fabs(v - z) < tol, "node (" + std::to_string(i + 1) + ", " +
                                                     std::to_string(j + 1) + "): " + std::to_string(v) +
                                                     ", plane " + std::to_string(z));
            }
    }
    check(std::fabs(gmin - plane(0.0f, 4.0f)) < 1e-3f && std::fabs(gmax - plane(6.0f, 0.0f)) < 1e-3f,
          "range " + std::to_string(gmin) + " .. " + std::to_string(gmax));

    if (failures == 0) std::printf("installed minc: C and C++ interfaces agree, plane reproduced\n");
    return failures == 0 ? 0 : 1;
}
