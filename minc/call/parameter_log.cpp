// Parameter and block lines of the gridding log, each assembled in a blank-filled
// buffer and written in one piece.
#include "parameter_log.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "gridout/real2char.hpp"

namespace minc {

namespace {

constexpr std::size_t kLineBuffer = 256;

// Formats value into line[at .. at + width - 1] (width and decimals as real2char takes them).
void put_field(std::span<char> line, std::size_t at, float value, int width, int decimals) {
    std::array<char, kLineBuffer> text;
    text.fill(' ');
    gridout::real2char(value, width, decimals, text);
    std::copy_n(text.begin(), width, line.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

void ParameterLog::write_line(std::string_view bytes) {
    if (file_ == nullptr) return;
    // Nothing reads the log and the gridding must not depend on it: a failed write is dropped.
    (void)file_->write(std::as_bytes(std::span<const char>(bytes.data(), bytes.size())));
}

void ParameterLog::parameter(std::string_view label, float value, int decimals) {
    std::array<char, kLineBuffer> line;
    line.fill(' ');
    std::copy_n(label.begin(), std::min<std::size_t>(label.size(), 16), line.begin());
    std::size_t length = 30;
    if (label == " y origin ") {
        // Kept on purpose: the y origin has a field two characters wider, starting two
        // places earlier and ending where every other value ends.
        put_field(line, 14, value, 14, decimals);
    } else {
        put_field(line, 16, value, 12, decimals);
    }
    if (label == " rotation angle ") {
        // Kept on purpose: this line has one blank more before CR LF (31 bytes).
        line[29] = '\r';
        line[30] = '\n';
        length = 31;
    } else {
        line[28] = '\r';
        line[29] = '\n';
    }
    write_line(std::string_view(line.data(), length));
}

void ParameterLog::block_heading() {
    write_line("\r\n");
    std::array<char, kHeading.size() + 2> line;
    std::copy(kHeading.begin(), kHeading.end(), line.begin());
    line[kHeading.size()] = '\r';
    line[kHeading.size() + 1] = '\n';
    write_line(std::string_view(line.data(), line.size()));
}

void ParameterLog::block_result(int tier, int sect, float err0, float err, int niter) {
    std::array<char, 43> line;
    line.fill(' ');
    put_field(line, 1, static_cast<float>(tier), 4, 0);
    put_field(line, 7, static_cast<float>(sect), 4, 0);
    put_field(line, 12, err0, 10, 4);
    put_field(line, 23, err, 10, 4);
    put_field(line, 37, static_cast<float>(niter), 4, 0);
    line[41] = '\r';
    line[42] = '\n';
    write_line(std::string_view(line.data(), line.size()));
}

}  // namespace minc
