// Parsing of the model options (see model_options.hpp).
#include "model_options.hpp"

#include <cctype>
#include <string_view>

#include "output_file.hpp"

namespace driver {
namespace {

// A whole signed decimal integer within 64 bits.
bool read_line_number(std::string_view text, std::int64_t& out) {
    std::size_t k = 0;
    bool negative = false;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) negative = text[k++] == '-';
    if (k == text.size() || text.size() - k > 18) return false;
    std::int64_t v = 0;
    for (; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') return false;
        v = v * 10 + (text[k] - '0');
    }
    out = negative ? -v : v;
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

bool LineRanges::contains(std::int64_t line) const {
    for (const auto& [first, last] : ranges)
        if (line >= first && line <= last) return true;
    return false;
}

std::optional<LayerUnit> parse_layer_unit(std::string_view text) {
    std::string s;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        // UTF-8 middle dot and capital omega, as some writers spell "ohm m".
        if (c == 0xC2 && k + 1 < text.size() && static_cast<unsigned char>(text[k + 1]) == 0xB7) {
            ++k;
            continue;
        }
        if (c == 0xCE && k + 1 < text.size() && static_cast<unsigned char>(text[k + 1]) == 0xA9) {
            ++k;
            s += "ohm";
            continue;
        }
        if (c == ' ' || c == '.' || c == '-' || c == '*' || c == '_' || c == '\t') continue;
        s.push_back(static_cast<char>(std::tolower(c)));
    }
    if (s == "s/m") return LayerUnit::siemens_per_metre;
    if (s == "ms/m") return LayerUnit::millisiemens_per_metre;
    if (s == "ohmm" || s == "ohmmetre" || s == "ohmmeter") return LayerUnit::ohm_metre;
    return std::nullopt;
}

std::optional<LineRanges> parse_line_ranges(std::string_view text) {
    LineRanges out;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        // A range's dash follows its first number, which may itself have a sign.
        const std::size_t dash = item.size() > 1 ? item.find('-', 1) : std::string_view::npos;
        std::int64_t first = 0, last = 0;
        if (dash == std::string_view::npos) {
            if (!read_line_number(item, first)) return std::nullopt;
            last = first;
        } else if (!read_line_number(trim(item.substr(0, dash)), first) ||
                   !read_line_number(trim(item.substr(dash + 1)), last) || last < first) {
            return std::nullopt;
        }
        out.ranges.emplace_back(first, last);
        if (comma == std::string_view::npos) return out;
        text.remove_prefix(comma + 1);
    }
}

bool take_model_option(std::span<const std::string> args, std::size_t& k, ModelOptions& options,
                       std::string& problem) {
    static constexpr std::string_view kNames[] = {"--dfn", "--format", "--field", "--units", "--lines",
                                                  "--output-dir"};
    const std::string& a = args[k];
    std::string_view name;
    std::string value;
    bool has_value = false;
    for (std::string_view n : kNames) {
        if (a == n) {
            name = n;
            if (k + 1 < args.size()) {
                value = args[++k];
                has_value = true;
            }
        } else if (a.size() > n.size() && a.compare(0, n.size(), n) == 0 && a[n.size()] == '=') {
            name = n;
            value = a.substr(n.size() + 1);
            has_value = true;
        }
        if (!name.empty()) break;
    }
    if (name.empty()) return false;
    std::string say(1, ' ');
    say.append(name);
    if (!has_value || value.empty()) {
        problem = say + " needs a value";
        return true;
    }
    if (name == "--dfn") {
        options.dfn = value;
        options.format = ModelFormat::aseg_gdf;
    } else if (name == "--format") {
        std::string f;
        for (char c : value) f.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        if (f == "workbench")
            options.format = ModelFormat::workbench;
        else if (f == "corvane")
            options.format = ModelFormat::corvane;
        else if (f == "aseg" || f == "aseg-gdf2" || f == "gdf2")
            options.format = ModelFormat::aseg_gdf;
        else
            problem = say + " takes corvane, workbench or aseg-gdf2, not '" + value + "'";
    } else if (name == "--field") {
        const std::size_t eq = value.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == value.size())
            problem = say + " takes ROLE=NAME, not '" + value + "'";
        else
            options.fields.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    } else if (name == "--units") {
        options.units = parse_layer_unit(value);
        if (!options.units) problem = say + " takes S/m, mS/m or ohm.m, not '" + value + "'";
    } else if (name == "--lines") {
        const std::optional<LineRanges> lines = parse_line_ranges(value);
        if (!lines)
            problem = say + " takes line numbers and ranges such as 3001401,100-199, not '" + value + "'";
        else
            options.lines = *lines;
    } else {
        options.output_dir = value;
    }
    return true;
}

OutputFolder::OutputFolder(const std::string& dir) {
    if (dir.empty()) return;
    std::error_code ec;
    start_ = std::filesystem::current_path(ec);
    if (!ec && !std::filesystem::is_directory(dir, ec)) std::filesystem::create_directories(dir, ec);
    if (!ec) std::filesystem::current_path(dir, ec);
    if (ec) throw RunStop{" cannot use the output folder " + dir + ": " + ec.message()};
    entered_ = true;
}

OutputFolder::~OutputFolder() {
    std::error_code ec;
    if (entered_) std::filesystem::current_path(start_, ec);
}

std::string OutputFolder::input_path(const std::string& path) const {
    if (!entered_ || path.empty() || std::filesystem::path(path).is_absolute()) return path;
    return (start_ / path).string();
}

}  // namespace driver
