// The line step (see line_step.hpp).
#include "line_step.hpp"

#include <cstdint>
#include <string_view>
#include <vector>

#include "stations_file.hpp"
#include "tables.hpp"

namespace driver {

std::string line_step(LineBuilder& builder, std::span<const float> depth_table, const ModelGuard& guard,
                      OutputFile& point_file, OutputFile& combined) {
    const LineStats& s = builder.stats();
    const std::span<const RecordPosition> records = builder.records();
    const bool rebase = runs_west(s);
    const double shift = rebase ? records.back().station : 0.0;
    std::string datfile(kPointFile);

    if (!rebase) {
        point_file.write(builder.points());
        point_file.close();
    } else {
        // A line that runs west is gridded from its re-based points, so its points as read
        // never reach a file; the point file an earlier line left goes all the same.
        point_file.abandon();
        OutputFile rebased;
        rebased.create(std::string(kRebasedPointFile), guard);
        builder.rebase();
        rebased.write(builder.points());
        remove_file(std::string(kPointFile));
        rebased.close();
        datfile = std::string(kRebasedPointFile);
    }

    OutputFile table;
    table.create("line_" + s.label + ".xyz", guard);
    table.write(kTableHeader);
    table.write(kTableLineEnd);
    {
        // Rows are formatted into one buffer and go to both tables a buffer at a time:
        // a table holds millions of rows, and a write per row costs more than its format.
        constexpr std::size_t kRowsPerChunk = 512;
        std::vector<char> chunk(kRowsPerChunk * kTableRowBytes);
        std::size_t filled = 0;
        const auto flush = [&] {
            const std::string_view text(chunk.data(), filled * kTableRowBytes);
            table.write(text, static_cast<std::int64_t>(filled));
            combined.write(text, static_cast<std::int64_t>(filled));
            filled = 0;
        };
        const std::span<const float> points = builder.points();
        std::size_t at = 0;
        for (std::size_t ri = 0; ri < records.size(); ++ri) {
            const RecordPosition& r = records[ri];
            if (r.points == 0) continue;
            const RecordRows rows(r.station - shift, r.east, r.north);
            for (std::size_t i = 0; i < depth_table.size(); ++i) {
                if (!builder.gave_point(ri, i)) continue;
                // The table shows the precise depth: elevation plus the cell's depth.
                const double depth = r.elevation + builder.cell_offset(ri, i);
                const std::span<char, kTableRowBytes> row(chunk.data() + filled * kTableRowBytes,
                                                          kTableRowBytes);
                rows.format(row, depth, points.subspan(at + kCon).first<4>());
                at += kPointReals;
                if (++filled == kRowsPerChunk) flush();
            }
        }
        flush();
    }
    table.close();

    OutputFile coordinates;
    coordinates.create("line_" + s.label + ".crd", guard);
    coordinates.write(kCoordinateHeader);
    coordinates.write(kTableLineEnd);
    const double top_depth = builder.cell_offset(0, 0);
    coordinates.write(coordinate_line(s.xmin, top_depth, s.first_east, s.first_north));
    coordinates.write(coordinate_line(s.xmax, top_depth, s.last_east, s.last_north));
    coordinates.close();
    write_stations_file(builder, shift, guard);
    return datfile;
}

}  // namespace driver
