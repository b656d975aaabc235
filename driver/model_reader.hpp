// The Corvane model file, record by record. A record is one text line holding one model
// column: line number, an unused value, east, north, elevation of the column top, five
// unused values, then the conductivity of each depth cell from the top down. The reader
// classifies each text line; grouping into survey lines is the record loop's business.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

/// Numbers before the first conductivity in a model record.
inline constexpr int kLeadingNumbers = 10;

/// One model record. Positions keep double precision: map coordinates such as
/// 7654321.89 would move by up to half a metre in a 32-bit real.
struct ModelRecord {
    std::int64_t line_number = 0;  // position 1 truncated toward zero
    double east = 0.0;             // position 3
    double north = 0.0;            // position 4
    double elevation = 0.0;        // position 5, top of the column
    std::vector<float> conductivity;  // positions 11 .. 10 + ndepth, cell 1 at the top
};

enum class RecordKind {
    comment,     // blank, or column 1 is '!', '"', '\\' or '/'
    record,      // all ndepth + 10 numbers read
    short_record,  // every token converted, but fewer than ndepth + 10 of them
    unreadable,  // a token that does not convert, or a line number beyond 64 bits
};

/// Classifies one text line (without its line end) and, for a record, fills `out`
/// (its conductivity vector is resized to ndepth). Tokens after the first ndepth + 10
/// are not looked at.
RecordKind parse_record(std::string_view text, std::int32_t ndepth, ModelRecord& out);

/// Reads the model file line by line with one line of look-ahead, so that the record
/// loop can tell the last text line of the file. A line ends at LF; a CR before it is
/// part of the line end (model files written on Windows).
class ModelReader {
public:
    ModelReader(std::istream& in, std::int32_t ndepth);

    struct Item {
        RecordKind kind;
        std::int64_t line_in_file;  // 1-based text line number
        bool last;                  // no text line follows this one
    };

    /// Reads and classifies the next text line; false at the end of the file.
    /// A read failure of the stream (not the end) gives an unreadable item.
    bool next(Item& item);

    /// The record of the last item of kind `record`.
    const ModelRecord& record() const { return record_; }

private:
    bool fetch(std::string& line);

    std::istream& in_;
    std::int32_t ndepth_;
    std::string current_;
    std::string ahead_;
    bool have_ahead_ = false;
    bool failed_ = false;
    std::int64_t line_in_file_ = 0;
    ModelRecord record_;
};

}  // namespace driver
