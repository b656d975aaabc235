// Model record classification and the look-ahead line reader.
#include "model_reader.hpp"

#include <cmath>

#include "free_format.hpp"

namespace driver {

RecordKind parse_record(std::string_view text, std::int32_t ndepth, ModelRecord& out) {
    if (text.empty() || is_blank(text)) return RecordKind::comment;
    const char first = text.front();
    if (first == '!' || first == '"' || first == '\\' || first == '/') return RecordKind::comment;

    out.conductivity.resize(static_cast<std::size_t>(ndepth));
    const std::int64_t wanted = std::int64_t{ndepth} + kLeadingNumbers;
    TokenCursor cursor(text);
    std::string_view token;
    std::int64_t n = 0;
    for (; n < wanted && cursor.next(token); ++n) {
        switch (n) {
            case 0: {
                double v = 0.0;
                if (!read_real_precise(token, v)) return RecordKind::unreadable;
                // Truncation toward zero, as the line number is an integer; 2^63 bounds it.
                const double t = std::trunc(v);
                if (!(std::fabs(t) < 9.2233720368547758e18)) return RecordKind::unreadable;
                out.line_number = static_cast<std::int64_t>(t);
                break;
            }
            case 2:
                if (!read_real_precise(token, out.east)) return RecordKind::unreadable;
                break;
            case 3:
                if (!read_real_precise(token, out.north)) return RecordKind::unreadable;
                break;
            case 4:
                if (!read_real_precise(token, out.elevation)) return RecordKind::unreadable;
                break;
            default: {
                // Positions 2 and 6 to 10 are not used, but must still be numbers.
                float v = 0.0f;
                if (!read_real(token, v)) return RecordKind::unreadable;
                if (n >= kLeadingNumbers) out.conductivity[static_cast<std::size_t>(n - kLeadingNumbers)] = v;
                break;
            }
        }
    }
    return n == wanted ? RecordKind::record : RecordKind::short_record;
}

ModelReader::ModelReader(std::istream& in, std::int32_t ndepth) : in_(in), ndepth_(ndepth) {
    have_ahead_ = fetch(ahead_);
}

bool ModelReader::fetch(std::string& line) {
    if (failed_ || !std::getline(in_, line)) {
        if (in_.bad()) failed_ = true;
        return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool ModelReader::next(Item& item) {
    if (!have_ahead_) {
        if (!failed_) return false;
        // A read error: reported once as an unreadable line.
        failed_ = false;
        item = {RecordKind::unreadable, line_in_file_ + 1, true};
        return true;
    }
    current_.swap(ahead_);
    ++line_in_file_;
    have_ahead_ = fetch(ahead_);
    // After a read error the line is not known to be the last one.
    item.last = !have_ahead_ && !failed_;
    item.line_in_file = line_in_file_;
    item.kind = parse_record(current_, ndepth_, record_);
    return true;
}

}  // namespace driver
