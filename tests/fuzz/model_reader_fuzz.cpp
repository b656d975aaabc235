// libFuzzer target for the model-record reader. The first input byte chooses the
// number of depth cells (1 to 80) and the longest text line taken; the rest is a model
// file. Every text line is classified, and what the reader hands on must hold together:
// no line beyond the limit, an over-long line only as the last item, a record has exactly
// ndepth finite conductivities and finite positions within the 32-bit range, line
// numbers count up by one, and only the final line is marked last.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "free_format.hpp"
#include "model_reader.hpp"

namespace {

void require(bool ok) {
    if (!ok) __builtin_trap();
}

bool within_32_bits(double v) { return std::isfinite(v) && std::isfinite(static_cast<float>(v)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::int32_t ndepth = 1 + data[0] % 80;
    // The longest line taken: the program's limit, or a small one the fuzzer can reach.
    static const std::size_t kLimits[] = {driver::kMaxRecordChars, 1, 24, 300};
    const std::size_t limit = kLimits[(data[0] / 80) % 4];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::istringstream in(text);
    driver::ModelReader reader(in, ndepth, limit);
    driver::ModelReader::Item item{};
    std::int64_t expected_line = 0;
    bool seen_last = false;
    while (reader.next(item)) {
        require(!seen_last);
        require(item.line_in_file == ++expected_line);
        seen_last = item.last;
        // A line is never longer than the limit (its CR may be gone); a longer one is
        // reported once, as the last item.
        require(reader.text().size() <= limit);
        if (item.kind == driver::RecordKind::too_long) require(item.last);
        if (item.kind == driver::RecordKind::record) {
            const driver::ModelRecord& r = reader.record();
            require(r.conductivity.size() == static_cast<std::size_t>(ndepth));
            for (float c : r.conductivity) require(std::isfinite(c));
            require(within_32_bits(r.east) && within_32_bits(r.north) && within_32_bits(r.elevation));
        }
    }
    require(expected_line == 0 || seen_last);

    // Each token on its own: whatever converts is a finite number in the 32-bit range,
    // and the two real readers agree on what is a number.
    driver::TokenCursor cursor(text);
    std::string_view token;
    for (int n = 0; n < 64 && cursor.next(token); ++n) {
        float f = 0.0f;
        double d = 0.0;
        const bool as_float = driver::read_real(token, f);
        const bool as_double = driver::read_real_precise(token, d);
        if (as_float) require(std::isfinite(f));
        if (as_double) require(within_32_bits(d));
        // A value the double reader takes is within the 32-bit range, so the float
        // reader takes it too (possibly as zero when tiny).
        if (as_double) require(as_float);
        std::int32_t i = 0;
        if (driver::read_integer(token, i)) require(as_float && as_double && d == static_cast<double>(i));
    }
    return 0;
}
