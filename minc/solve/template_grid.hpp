// Template grid (REJONL): a coarse grid over the extended grid, step IC node
// intervals, built from every data point of the call, filled and relaxed with at most
// 30 sweeps. Sections take their start values from it.
#pragma once

#include <cstdint>
#include <span>

#include "gridout/byte_file.hpp"
#include "grid_view.hpp"
#include "partition.hpp"
#include "relax.hpp"
#include "minc/status.hpp"

namespace minc {

/// Geometry and values of the template grid. Template node (c, r) lies at extended-grid
/// node ((c - 1) * ic + xt0, (r - 1) * ic + yt0), with xt0 = yt0 = 1 - 2 * ic.
struct TemplateGrid {
    int ic = 4;
    int nxc = 0, nyc = 0;
    int xt0 = 0, yt0 = 0;
    std::span<float> values;  // capacity kBlockNodes; nxc * nyc used
    GridView<float> view() const { return GridView<float>(values, nxc, nyc); }
};

/// The solver's shared arrays, slices of the library's fixed stores.
struct SolverArrays {
    std::span<float> section;       // kBlockNodes: section grid (start of the work area)
    std::span<std::int32_t> flags;  // kBlockNodes node flags
    std::span<float> acc;           // kAccumulatorWords data accumulator
    std::span<float> edge;          // kEdgeWords edge buffer (two halves of 3600)
};

/// What the template grid is built over: the data scratch store's records and the
/// partition whose block chains they form.
struct TemplateFrame {
    int records = 0;     // records in the data scratch store, each nwrec + 2 words
    int nwrec = 0;       // point words per record
    Partition part;      // the blocks whose chains are read
    float dummy = 0.0f;  // value of a template node no datum reaches
    float tol = 1.0e-4f; // relaxation tolerance
};

/// REJONL. scratch: the data scratch store of f; recbuf: one record. On success tmpl
/// holds the relaxed template (values in tmpl.values).
Status rejonl(const TemplateFrame& f, gridout::ByteFile& scratch, std::span<float> recbuf,
              SolverArrays arrays, TemplateGrid& tmpl, RelaxState& state);

}  // namespace minc
