// Fill of blank nodes before the relaxation, which needs a value everywhere. Blank
// means "holds the null value exactly". Values grow outward from known nodes over a
// coarse lattice (every 4th row and column) by window averages, are spread by linear
// interpolation along the lattice rows and then every column, and whatever is still
// blank gets the mean of all known nodes.
#include "fill.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>

namespace minc {

namespace {

// The lattice: nodes 5, 9, 13, ... in both directions (step h = (9 - 1) / 2 = 4, first
// index h + 1); averaging windows of widths 3, 7, 9, 9, ...
constexpr int kLatticeStep = 4;
constexpr int kLatticeFirst = 5;
constexpr int kWindowWidths[3] = {3, 7, 9};

bool any_blank(std::span<const float> v, float dummy) {
    return std::find(v.begin(), v.end(), dummy) != v.end();
}

// One averaging pass over the lattice with window half-width r. A filled node is visible
// at once to later lattice nodes of the same pass. Returns the number of nodes filled.
int lattice_pass(GridView<float> grid, int r, float dummy) {
    const int nx = grid.nx();
    const int ny = grid.ny();
    int filled = 0;
    for (int j = kLatticeFirst; j <= ny - r; j += kLatticeStep) {
        for (int i = kLatticeFirst; i <= nx - r; i += kLatticeStep) {
            if (grid(i, j) != dummy) continue;
            float sum = 0.0f;
            int count = 0;
            for (int jj = j - r; jj <= j + r; ++jj) {
                for (int ii = i - r; ii <= i + r; ++ii) {
                    const float v = grid(ii, jj);
                    if (v == dummy) continue;
                    sum += v;
                    ++count;
                }
            }
            if (count > 0) {
                grid(i, j) = sum / static_cast<float>(count);
                ++filled;
            }
        }
    }
    return filled;
}

}  // namespace

void plugm(std::span<float> line, float dummy) {
    const std::size_t n = line.size();
    std::size_t f = 0;
    while (f < n && line[f] == dummy) ++f;
    if (f == n) return;  // nothing known: the line stays blank
    for (std::size_t k = 0; k < f; ++k) line[k] = line[f];

    // p is the last known entry of the run being scanned (0-based here).
    std::size_t p = f;
    while (p + 1 < n) {
        while (p + 1 < n && line[p + 1] != dummy) ++p;
        if (p + 1 >= n) break;
        std::size_t q = p + 1;
        while (q < n && line[q] == dummy) ++q;
        if (q == n) {
            // Beyond the last known entry the line is continued by a constant.
            for (std::size_t k = p + 1; k < n; ++k) line[k] = line[p];
            return;
        }
        const float step = (line[q] - line[p]) / static_cast<float>(q - p);
        for (std::size_t k = p + 1; k < q; ++k) line[k] = line[k - 1] + step;
        p = q;
    }
}

Status gridr(GridView<float> grid, std::span<float> work_line, float dummy) {
    const int nx = grid.nx();
    const int ny = grid.ny();
    assert(work_line.size() >= std::size_t(ny));
    if (!any_blank(grid.data(), dummy)) return Status::ok;

    if (nx >= 9 && ny >= 9) {
        const int pass_limit = std::max(nx, ny) / 8;
        int passes = 0;
        int window = 0;  // index into kWindowWidths
        for (;;) {
            const int r = (kWindowWidths[window] - 1) / 2;
            const int filled = lattice_pass(grid, r, dummy);
            ++passes;
            if (passes > pass_limit || (window == 2 && filled == 0)) break;
            if (window < 2) ++window;
        }
    }

    // Lattice rows up to NY - 4 (runs also when the lattice stage was skipped).
    const int lattice_rows = (ny - kLatticeFirst) / kLatticeStep;
    for (int r = 0; r < lattice_rows; ++r) plugm(grid.row(kLatticeFirst + r * kLatticeStep), dummy);

    std::span<float> column = work_line.first(std::size_t(ny));
    for (int i = 1; i <= nx; ++i) {
        for (int j = 1; j <= ny; ++j) column[std::size_t(j - 1)] = grid(i, j);
        plugm(column, dummy);
        for (int j = 1; j <= ny; ++j) grid(i, j) = column[std::size_t(j - 1)];
    }

    if (!any_blank(grid.data(), dummy)) return Status::ok;
    float sum = 0.0f;
    int count = 0;
    for (float v : grid.data()) {
        if (v == dummy) continue;
        sum += v;
        ++count;
    }
    if (count == 0) return Status::no_values;
    const float mean = sum / static_cast<float>(count);
    for (float& v : grid.data()) {
        if (v == dummy) v = mean;
    }
    return Status::ok;
}

}  // namespace minc
