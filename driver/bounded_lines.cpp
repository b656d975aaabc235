// Text lines of a bounded length, read in pieces.
#include "bounded_lines.hpp"

#include <algorithm>

namespace driver {
namespace {

// Piece of a text line read at once; a longer line is gathered piece by piece up to
// the reader's limit.
constexpr std::size_t kChunkChars = std::size_t{64} << 10;

}  // namespace

BoundedLines::BoundedLines(std::istream& in, std::size_t max_chars)
    : in_(in),
      max_chars_(max_chars),
      // Room for one character at least, so that every piece read makes progress.
      chunk_(std::clamp(max_chars, std::size_t{1}, kChunkChars) + 1) {}

// istream::getline stops at LF (dropped), at the end of the file, or with failbit when
// the piece is full and more of the line follows.
BoundedLines::Fetch BoundedLines::fetch(std::string& line) {
    line.clear();
    for (;;) {
        in_.getline(chunk_.data(), static_cast<std::streamsize>(chunk_.size()));
        if (in_.bad()) return Fetch::failed;
        const auto got = static_cast<std::size_t>(in_.gcount());
        const bool at_end = in_.eof();
        const bool piece_full = in_.fail() && !at_end;
        if (in_.fail() && at_end && got == 0 && line.empty()) return Fetch::end;
        // A line that ends at LF counts the LF in gcount; one cut by the end of the file
        // or by a full piece does not.
        const std::size_t chars = !in_.fail() && !at_end ? got - 1 : got;
        if (line.size() + chars > max_chars_) return Fetch::too_long;
        line.append(chunk_.data(), chars);
        if (!piece_full) break;
        in_.clear(in_.rdstate() & ~std::ios::failbit);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return Fetch::line;
}

}  // namespace driver
