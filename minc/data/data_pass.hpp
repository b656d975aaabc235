// Input data pass: reads the input records (records of 2 + MAXCHAN little-endian
// reals of the input data file: x, y, channels; or the caller's points in memory),
// transforms the gridded value, and sorts the accepted points into linked
// fixed-length records, one chain per block, of the data scratch store. Positions in the store are 1-based node coordinates of the extended grid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "capacities.hpp"
#include "gridout/byte_file.hpp"
#include "minc/point.hpp"
#include "partition.hpp"
#include "minc/status.hpp"

namespace minc {

/// How input records become points (fixed for one call).
struct DataTransform {
    float dummy = -99999.0f;  // records whose channel value equals it are dropped
    int ichan = 1;            // 1-based channel gridded (input data file only)
    int maxchan = 1;          // channels per record (input data file only)
    int mode = 1;             // 1 none, 2 natural log, 3 signed log
    float dx = 1.0f, dy = 1.0f;  // world to cell units
    bool rotated = false;     // rotate about (xr, yr) by the reduced angle first
    float sin_a = 0.0f, cos_a = 1.0f, xr = 0.0f, yr = 0.0f;
    std::int64_t max_records = kMaxDataRecords;  // records a pass reads at most
    bool operator==(const DataTransform&) const = default;
};

/// Extent of the accepted points, cell units (rotated when the call is rotated).
struct DataRange {
    float xmin = 1.0e32f, xmax = -1.0e32f, ymin = 1.0e32f, ymax = -1.0e32f;
    bool read_failed = false;  // the input could not be read to its end
    bool too_many = false;     // the input holds more than max_records records
};

/// The input records of a call: the records of the input data file, read through the
/// channel buffer `chan` (at least MAXCHAN reals), or points held by the caller. A point
/// is taken as the record x, y, value of a one-channel file, so both give the same
/// numbers and pass the same filters (null value, non-finite values, MODE 2's refusal).
class InputRecords {
public:
    InputRecords(gridout::ByteFile& file, std::span<float> chan) : file_(&file), chan_(chan) {}
    explicit InputRecords(std::span<const Point> points) : points_(points) {}

    /// too_many: a record beyond DataTransform::max_records (reported by the passes).
    enum class Read { record, end, failed, too_many };
    /// Back to the first record; false when the file cannot be rewound.
    bool rewind();
    /// The next record's position and gridded value (channel t.ichan of a file record).
    /// A final file record cut short by the end of the file counts as the end.
    Read next(const DataTransform& t, float& x, float& y, float& v);

private:
    gridout::ByteFile* file_ = nullptr;  // null: the points
    std::span<float> chan_;
    std::span<const Point> points_;
    std::size_t next_ = 0;  // next point
};

/// RNGDAT.
DataRange rngdat(InputRecords& data, const DataTransform& t);

struct DataPassResult {
    Status status = Status::ok;  // no_data when no point was accepted; store_failed on a write
                                 // failure; input_failed when the input cannot be read;
                                 // no_partition when a section or tier step is below 1;
                                 // too_much_data when the input holds more than
                                 // max_records records
    int records = 0;             // records in the data scratch store (next free record - 1)
    int accepted = 0;            // points accepted
};

/// The grid the data pass sorts the points into.
struct DataPassFrame {
    float h = 1.0f;                // node spacing
    float xe0 = 0.0f, ye0 = 0.0f;  // extended grid origin, cell units
    int nw = 0;                    // point words per data record: 3 * P
    int ncu = 0, nru = 0;          // working grid columns and rows
};

/// The data pass's working storage: the per-block buffers (nblocks * nw reals in work)
/// and the per-block counters.
struct DataPassBuffers {
    std::span<float> work;
    std::span<std::int32_t> fill;     // next free word of each block's buffer, 1-based
    std::span<std::int32_t> current;  // record each block's buffer goes to
};

/// SEQDAT.
DataPassResult seqdat(InputRecords& data, gridout::ByteFile& scratch, const DataPassFrame& g,
                      const Partition& part, const DataTransform& t, DataPassBuffers buffers);

/// WRBLK2: writes record irec (1-based) of the data scratch store: link, count and the
/// data.size() words; record length data.size() + 2 words.
Status wrblk2(gridout::ByteFile& scratch, int irec, int link, int npts, std::span<const float> data);

/// Link (next record of the chain, 0 at its end) and point count of a data scratch record.
struct DataRecordHead {
    std::int32_t link = 0;
    std::int32_t count = 0;
};

/// Reads record irec (1-based) of the data scratch store as WRBLK2 writes it, with
/// data.size() point words: store_failed when the seek or a read fails.
Status read_data_record(gridout::ByteFile& scratch, int irec, DataRecordHead& head, std::span<float> data);

}  // namespace minc
