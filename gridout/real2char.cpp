// REAL2CHAR and INT2CHAR: the library's fixed-point and integer fields written into a
// caller's text buffer, blank-filled after the field.
#include "gridout/real2char.hpp"

#include <algorithm>
#include <cstring>

#include "gridout/fixed_format.hpp"

namespace gridout {
namespace {

constexpr int kMaxWidth = 99;
constexpr int kMaxDecimals = 99;
constexpr int kIntWidth = 12;

int trimmed_length(std::span<const char> text) {
    std::size_t n = text.size();
    while (n > 0 && text[n - 1] == ' ') --n;
    return static_cast<int>(n);
}

}  // namespace

int real2char(float value, int iw, int nd, std::span<char> text) {
    std::fill(text.begin(), text.end(), ' ');
    if (iw < 1 || text.empty()) return 0;
    const int room = static_cast<int>(std::min<std::size_t>(text.size(), static_cast<std::size_t>(iw)));
    if (iw > kMaxWidth || nd < 0 || nd > kMaxDecimals || room < iw) {
        std::fill_n(text.begin(), room, '*');
    } else {
        format_fixed(text.data(), static_cast<double>(value), iw, nd);
    }
    return trimmed_length(text);
}

int int2char(int ival, std::span<char> text) {
    std::fill(text.begin(), text.end(), ' ');
    const int width = static_cast<int>(std::min<std::size_t>(text.size(), kIntWidth));
    format_int(text.data(), ival, width);
    return trimmed_length(text);
}

}  // namespace gridout
