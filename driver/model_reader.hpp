// The Corvane model file, record by record. A record is one text line holding one model
// column: line number, an unused value, east, north, elevation of the column top, five
// unused values, then the conductivity of each depth cell from the top down. The reader
// classifies each text line; grouping into survey lines is the record loop's business.
#pragma once

#include <cstdint>
#include <istream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "bounded_lines.hpp"

namespace driver {

/// Numbers before the first conductivity in a model record.
inline constexpr int kLeadingNumbers = 10;

/// Longest text line the reader takes, line end excluded. A longer line is not a model
/// record (a file with no line ends, a device such as /dev/zero); reading stops there,
/// so memory never grows with such a file.
inline constexpr std::size_t kMaxRecordChars = std::size_t{4} << 20;

/// Largest number of depth cells a run accepts: a record of 10 + kMaxDepthCells numbers
/// still fits kMaxRecordChars with 40 characters per number.
inline constexpr std::int32_t kMaxDepthCells = 100000;

/// One model record. Positions keep double precision: map coordinates such as
/// 7654321.89 would move by up to half a metre in a 32-bit real.
struct ModelRecord {
    std::int64_t line_number = 0;  // position 1 truncated toward zero
    double east = 0.0;             // position 3
    double north = 0.0;            // position 4
    double elevation = 0.0;        // position 5, top of the column
    // Position 2, and position 8, the depth of investigation (m below the column top);
    // neither is used by the gridding, both go to the stations file. NaN: not given.
    double fiducial = std::numeric_limits<double>::quiet_NaN();
    double doi = std::numeric_limits<double>::quiet_NaN();
    std::vector<float> conductivity;  // positions 11 .. 10 + ndepth, cell 1 at the top
    std::int64_t numbers = 0;      // numbers read: 10 + ndepth, or fewer in a short record
    /// Elevation of each cell's centre relative to `elevation` (negative below it), for
    /// models of layers of their own thicknesses; empty for the run's uniform cells.
    std::vector<double> layer_offset;
};

enum class RecordKind {
    comment,     // blank, or column 1 is '!', '"', '\\' or '/'
    record,      // all ndepth + 10 numbers read
    short_record,  // every token converted, but fewer than ndepth + 10 of them
    unreadable,  // a token that does not convert, or a line number beyond 64 bits
    too_long,    // a text line longer than the reader's limit; nothing follows it
    skipped,     // a record left out with a warning (the tabular formats' sources only)
};

/// Classifies one text line (without its line end) and, for a record, fills `out`: its
/// conductivity vector holds the conductivities the line has, ndepth of them in a full
/// record, and `numbers` counts what was read. Tokens after the first ndepth + 10 are
/// not looked at.
RecordKind parse_record(std::string_view text, std::int32_t ndepth, ModelRecord& out);

/// Reads the model file line by line with one line of look-ahead, so that the record
/// loop can tell the last text line of the file. A line ends at LF; a CR before it is
/// part of the line end (model files written on Windows).
class ModelReader {
public:
    /// `max_chars` bounds one text line (kMaxRecordChars unless a test needs less).
    ModelReader(std::istream& in, std::int32_t ndepth, std::size_t max_chars = kMaxRecordChars);

    struct Item {
        RecordKind kind;
        std::int64_t line_in_file;  // 1-based text line number
        bool last;                  // no text line follows this one
        std::int64_t numbers;       // numbers read (record and short_record), else 0
    };

    /// Reads and classifies the next text line; false at the end of the file.
    /// A read failure of the stream (not the end) gives an unreadable item, a line over
    /// the limit a too_long item; either is the last item.
    bool next(Item& item);

    /// The record of the last item of kind `record` (or, after a short_record item, the
    /// part that short record held).
    const ModelRecord& record() const { return record_; }
    /// The text of the last item, line end removed.
    std::string_view text() const { return current_; }

private:
    using Fetch = BoundedLines::Fetch;

    std::int32_t ndepth_;
    BoundedLines lines_;
    std::string current_;
    std::string ahead_;
    Fetch ahead_state_ = Fetch::end;
    std::int64_t line_in_file_ = 0;
    ModelRecord record_;
};

}  // namespace driver
