// Model record classification and the look-ahead line reader.
#include "model_reader.hpp"

#include <cmath>

#include "free_format.hpp"

namespace driver {
RecordKind parse_record(std::string_view text, std::int32_t ndepth, ModelRecord& out) {
    out.numbers = 0;
    if (text.empty() || is_blank(text)) return RecordKind::comment;
    const char first = text.front();
    if (first == '!' || first == '"' || first == '\\' || first == '/') return RecordKind::comment;

    // Filled as the numbers come: a record that holds fewer numbers than ndepth asks
    // for never costs more memory than its own text.
    out.conductivity.clear();
    out.fiducial = out.doi = std::numeric_limits<double>::quiet_NaN();
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
            case 1:
            case 7: {
                // Fiducial and depth of investigation: checked as a 32-bit real like the
                // other unused numbers, so that the same records are accepted, and kept
                // at full precision for the stations file.
                float v = 0.0f;
                if (!read_real(token, v)) return RecordKind::unreadable;
                double d = static_cast<double>(v);
                read_real_precise(token, d);
                (n == 1 ? out.fiducial : out.doi) = d;
                break;
            }
            default: {
                // Positions 6, 7, 9 and 10 are not used, but must still be numbers.
                float v = 0.0f;
                if (!read_real(token, v)) return RecordKind::unreadable;
                if (n >= kLeadingNumbers) out.conductivity.push_back(v);
                break;
            }
        }
    }
    out.numbers = n;
    return n == wanted ? RecordKind::record : RecordKind::short_record;
}

ModelReader::ModelReader(std::istream& in, std::int32_t ndepth, std::size_t max_chars)
    : ndepth_(ndepth), lines_(in, max_chars) {
    ahead_state_ = lines_.fetch(ahead_);
}

bool ModelReader::next(Item& item) {
    switch (ahead_state_) {
        case Fetch::end:
            return false;
        case Fetch::failed:
        case Fetch::too_long:
            // Reported once, as the last item: nothing after it is read.
            item = {ahead_state_ == Fetch::failed ? RecordKind::unreadable : RecordKind::too_long,
                    line_in_file_ + 1, true, 0};
            ahead_state_ = Fetch::end;
            current_.clear();
            return true;
        case Fetch::line:
            break;
    }
    current_.swap(ahead_);
    ++line_in_file_;
    ahead_state_ = lines_.fetch(ahead_);
    // After a read error or an over-long line the line is not the last one of the file.
    item.last = ahead_state_ == Fetch::end;
    item.line_in_file = line_in_file_;
    item.kind = parse_record(current_, ndepth_, record_);
    item.numbers = record_.numbers;
    return true;
}

}  // namespace driver
