// Text lines of a bounded length, read in pieces.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace driver {

/// Reads text lines of at most `max_chars` characters each, in pieces of a fixed size, so
/// that a line with no end (a binary file, a file with no line ends) is never held beyond
/// the limit. A line ends at LF; a CR before it is part of the line end (files written on
/// Windows).
class BoundedLines {
public:
    enum class Fetch { line, end, failed, too_long };

    BoundedLines(std::istream& in, std::size_t max_chars);

    /// The next line into `line`, its end removed. `failed` on a read error of the stream
    /// (not the end), `too_long` when the line passes the limit; after either, the stream
    /// is left where the failure found it.
    Fetch fetch(std::string& line);

private:
    std::istream& in_;
    std::size_t max_chars_;
    std::vector<char> chunk_;  // one bounded piece of a line at a time
};

}  // namespace driver
