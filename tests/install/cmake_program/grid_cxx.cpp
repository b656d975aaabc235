// Grids the points grid_c wrote ("plane.dat") through minc::Gridder of an installed
// libminc_cxx.a into "cxx.grd". The C entry and the C++ interface run the same core,
// each from a fresh relaxation state, so the grid must equal grid_c's "c.grd" byte for
// byte. Run after grid_c in the same folder; exit status 0 when the checks hold.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include <minc/minc.hpp>

namespace {

std::vector<char> read_all(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace

int main() {
    minc::GridRequest request;
    request.outfile = "cxx.grd";
    request.datfile = "plane.dat";
    request.dx = 0.5f;
    request.dy = 0.5f;
    request.nx = 13;
    request.ny = 9;
    minc::Gridder gridder;
    const minc::GridResult result = gridder.grid(request);
    if (!result.ok()) {
        std::fprintf(stderr, "Gridder status %d\n", result.code());
        return 1;
    }
    const std::vector<char> c_grid = read_all("c.grd"), cxx_grid = read_all("cxx.grd");
    if (c_grid.size() != 512 + 4 * 13 * 9 || c_grid != cxx_grid) {
        std::fprintf(stderr, "cxx.grd (%zu bytes) differs from c.grd (%zu bytes)\n", cxx_grid.size(),
                     c_grid.size());
        return 1;
    }
    std::printf("installed libminc_cxx.a: the same grid through minc::Gridder\n");
    return 0;
}
