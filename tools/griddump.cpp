// griddump: a grid file as text, for reviewing a failing case.
//   griddump FILE.grd [--header]
// Prints every header field, then (unless --header) the rows from the grid's origin
// upward: "row j" and its NE values, nulls (at or below -1.0E30) as "null".
// Exit status 0, or 2 when the file is not a readable grid file.
#include <cstdio>
#include <string>

#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"

namespace {

std::string text_field(const char* data, std::size_t n) {
    std::string s(data, n);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const bool header_only = argc == 3 && std::string(argv[2]) == "--header";
    if (argc != 2 && !header_only) {
        std::fprintf(stderr, "usage: griddump FILE.grd [--header]\n");
        return 2;
    }
    gridout::GridData g;
    if (gridout::GridStatus s = gridout::read_grid(gridout::disk(), argv[1], g); s != gridout::GridStatus::ok) {
        std::fprintf(stderr, "griddump: %s: %s\n", argv[1], gridout::to_string(s));
        return 2;
    }
    const gridout::GridHeader& h = g.header;
    std::printf("element size   %d\nelement type   %d\n", h.element_size, h.element_type);
    std::printf("ne (columns)   %d\nnv (rows)      %d\nkx             %d\n", h.ne, h.nv, h.kx);
    std::printf("de             %.17g\ndv             %.17g\n", h.de, h.dv);
    std::printf("x0             %.17g\ny0             %.17g\n", h.x0, h.y0);
    std::printf("angle          %.17g\nbase           %.17g\nscale          %.17g\n", h.angle, h.base, h.scale);
    std::printf("label          '%s'\n", text_field(h.label.data(), h.label.size()).c_str());
    std::printf("map number     '%s'\n", text_field(h.map_number.data(), h.map_number.size()).c_str());
    std::printf("projection     %d\nunits x y z    %d %d %d\nvalid nodes    %d\n", h.projection, h.x_unit,
                h.y_unit, h.z_unit, h.valid_nodes);
    std::printf("zmin           %.9g\nzmax           %.9g\n", static_cast<double>(h.zmin),
                static_cast<double>(h.zmax));
    std::printf("median         %.9g\nmean           %.9g\nvariance       %.17g\nflag           %d\n",
                static_cast<double>(h.median), static_cast<double>(h.mean), h.variance, h.flag);
    if (header_only) return 0;
    for (int j = 1; j <= h.nv; ++j) {
        std::printf("row %d:", j);
        for (int i = 1; i <= h.ne; ++i) {
            const float v = g.node(i, j);
            if (gridout::is_null(v)) std::printf(" null");
            else std::printf(" %.7g", static_cast<double>(v));
        }
        std::printf("\n");
    }
    return 0;
}
