// gridcmp: compares two grid files node by node, for reviewing a failing golden case.
//   gridcmp A.grd B.grd [--tol T]
// Prints the header fields that differ, the largest |A - B| over nodes valid in both,
// the number of nodes null in only one file, and the first differing node (i, j), 1-based
// with j counted from the grid's origin, with both values. Nodes at or below -1.0E30 are
// null; two nulls are equal. Exit status: 0 equal (within T), 1 different, 2 unreadable.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"

namespace {

using gridout::is_null;

int usage() {
    std::fprintf(stderr, "usage: gridcmp A.grd B.grd [--tol T]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) return usage();
    float tol = 0.0f;
    if (argc == 5) {
        if (std::string(argv[3]) != "--tol") return usage();
        tol = std::strtof(argv[4], nullptr);
    }
    gridout::GridData a, b;
    for (auto [name, grid] : {std::pair{argv[1], &a}, std::pair{argv[2], &b}}) {
        if (gridout::GridStatus s = gridout::read_grid(gridout::disk(), name, *grid);
            s != gridout::GridStatus::ok) {
            std::fprintf(stderr, "gridcmp: %s: %s\n", name, gridout::to_string(s));
            return 2;
        }
    }
    const gridout::GridHeader& ha = a.header;
    const gridout::GridHeader& hb = b.header;
    bool differ = false;
    auto field = [&](const char* what, double x, double y) {
        if (x == y || (std::isnan(x) && std::isnan(y))) return;
        std::printf("header %-5s %.17g  %.17g\n", what, x, y);
        differ = true;
    };
    field("ne", ha.ne, hb.ne);
    field("nv", ha.nv, hb.nv);
    field("kx", ha.kx, hb.kx);
    field("de", ha.de, hb.de);
    field("dv", ha.dv, hb.dv);
    field("x0", ha.x0, hb.x0);
    field("y0", ha.y0, hb.y0);
    field("zmin", static_cast<double>(ha.zmin), static_cast<double>(hb.zmin));
    field("zmax", static_cast<double>(ha.zmax), static_cast<double>(hb.zmax));
    if (ha.ne != hb.ne || ha.nv != hb.nv) {
        std::printf("sizes differ: %d x %d against %d x %d; nodes not compared\n", ha.ne, ha.nv, hb.ne, hb.nv);
        return 1;
    }

    float max_diff = 0.0f;
    long null_mismatch = 0, over_tol = 0;
    int fi = 0, fj = 0;
    for (int j = 1; j <= ha.nv; ++j) {
        for (int i = 1; i <= ha.ne; ++i) {
            const float x = a.node(i, j), y = b.node(i, j);
            bool bad = false;
            if (is_null(x) || is_null(y)) {
                if (is_null(x) != is_null(y)) { ++null_mismatch; bad = true; }
            } else if (std::isnan(x) || std::isnan(y)) {
                bad = std::isnan(x) != std::isnan(y);
                if (bad) ++over_tol;
            } else {
                const float d = std::fabs(x - y);
                if (d > max_diff) max_diff = d;
                if (d > tol) { ++over_tol; bad = true; }
            }
            if (bad && fi == 0) { fi = i; fj = j; }
        }
    }
    std::printf("max |diff| %.9g over nodes valid in both\n", static_cast<double>(max_diff));
    std::printf("nodes beyond tolerance %ld, null in one file only %ld\n", over_tol, null_mismatch);
    if (fi != 0) {
        std::printf("first differing node (%d, %d): %.9g  %.9g\n", fi, fj,
                    static_cast<double>(a.node(fi, fj)), static_cast<double>(b.node(fi, fj)));
        differ = true;
    }
    return differ ? 1 : 0;
}
