// Name rules of the exported C entries (see entry_names.hpp).
#include "entry_names.hpp"

#include <algorithm>
#include <cstddef>

namespace minc {
namespace {

// The grid writer of the classic library kept its output name in a buffer of this size.
constexpr std::size_t kMaxNameText = 512;
constexpr char kDefaultOutput[] = "outfile.grd";

std::string_view trim_trailing_blanks(std::string_view t) {
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
}

}  // namespace

std::optional<std::string> text_name(std::string_view text) {
    const auto nul = text.find('\0');
    if (nul != std::string_view::npos && nul >= 1) return std::string(text.substr(0, nul));
    if (nul == 0) return std::nullopt;
    const std::string_view name = trim_trailing_blanks(text);
    if (name.size() < 2) return std::nullopt;
    return std::string(name);
}

std::optional<std::string> nul_name(std::string_view text) {
    const auto nul = text.find('\0');
    if (nul == std::string_view::npos || nul == 0) return std::nullopt;
    return std::string(text.substr(0, nul));
}

std::string minc_output_name(std::string_view text) {
    std::string name = text_name(text).value_or(kDefaultOutput);
    // The classic entry handed the writer the name followed by a NUL; when the NUL falls
    // beyond the writer's 512 characters, the writer's blank rule takes over.
    if (name.size() >= kMaxNameText) return flip_file_name(std::string_view(name).substr(0, kMaxNameText));
    return name;
}

std::string input_file_name(std::string_view text) {
    const std::size_t nul = text.find('\0');
    if (nul == 0) return {};  // a leading NUL names nothing, whatever follows it
    if (nul != std::string_view::npos) return std::string(text.substr(0, nul));
    return std::string(trim_trailing_blanks(text));
}

std::string grid_file_name(std::string_view text) {
    return flip_file_name(text.substr(0, std::min(text.size(), kMaxNameText)));
}

std::string flip_file_name(std::string_view text) {
    const std::size_t nul = text.find('\0');
    // A name cut at a NUL is taken as it is, even one character long; only a name
    // without a NUL is checked for length.
    if (nul != std::string_view::npos && nul > 0) return std::string(text.substr(0, nul));
    if (nul == 0) return kDefaultOutput;
    const std::string_view name = trim_trailing_blanks(text);
    if (name.size() < 2) return kDefaultOutput;
    return std::string(name);
}

}  // namespace minc
