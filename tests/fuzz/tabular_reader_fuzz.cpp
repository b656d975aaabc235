// libFuzzer target for the tabular model readers: the .dfn reader, the ASEG-GDF2 record
// splitter, the Workbench header and the record source that picks fields by role and
// places the layers. The first input byte chooses the format (even: ASEG-GDF2, odd:
// Workbench XYZ) and the longest text line taken; for ASEG-GDF2 the rest is the .dfn,
// a NUL byte, then the .dat. A description that cannot be used stops with a message;
// otherwise every item must hold together: no line beyond the limit, an over-long line
// only as the last item, line numbers counting up, and a record with one finite
// conductivity and one layer centre per layer, every point's elevation and the
// positions within the 32-bit range.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "output_file.hpp"
#include "record_source.hpp"

namespace {

void require(bool ok) {
    if (!ok) __builtin_trap();
}

bool within_32_bits(double v) { return std::isfinite(v) && std::fabs(v) <= static_cast<double>(FLT_MAX); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const std::size_t kLimits[] = {driver::kMaxRecordChars, 1, 40, 300};
    const std::size_t limit = kLimits[(data[0] >> 1) % 4];
    driver::ModelOptions options;
    options.format = data[0] % 2 == 0 ? driver::ModelFormat::aseg_gdf : driver::ModelFormat::workbench;
    options.dfn = "f.dfn";
    if (data[0] & 0x10) options.lines.ranges.emplace_back(-5, 5);
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string dfn, dat = input;
    if (options.format == driver::ModelFormat::aseg_gdf) {
        const std::size_t nul = input.find('\0');
        dfn = input.substr(0, nul);
        dat = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    }

    std::istringstream in(dat);
    std::int32_t ndepth = 0;
    std::unique_ptr<driver::RecordSource> source;
    try {
        source = driver::open_tabular_source(options, dfn, in, "f.dat", ndepth, limit);
    } catch (const driver::RunStop& stop) {
        require(!stop.line.empty() && stop.line.find('\n') == std::string::npos);
        return 0;
    }
    require(ndepth >= 1 && ndepth <= driver::kMaxDepthCells);
    driver::ModelReader::Item item{};
    std::int64_t previous = 0;
    bool seen_last = false;
    while (source->next(item)) {
        require(!seen_last);
        require(item.line_in_file > previous);
        previous = item.line_in_file;
        seen_last = item.last;
        require(source->text().size() <= limit);
        if (item.kind == driver::RecordKind::too_long) require(item.last);
        if (item.kind == driver::RecordKind::skipped) require(!source->problem().empty());
        if (item.kind != driver::RecordKind::record) continue;
        const driver::ModelRecord& r = source->record();
        require(r.conductivity.size() == static_cast<std::size_t>(ndepth));
        require(r.layer_offset.size() == static_cast<std::size_t>(ndepth));
        require(within_32_bits(r.east) && within_32_bits(r.north) && within_32_bits(r.elevation));
        for (float c : r.conductivity) require(std::isfinite(c));
        for (double o : r.layer_offset) require(within_32_bits(r.elevation + o));
        if (!options.lines.empty()) require(r.line_number >= -5 && r.line_number <= 5);
    }
    return 0;
}
