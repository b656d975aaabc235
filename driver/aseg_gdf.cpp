// The .dfn reader and the .dat record splitter (see aseg_gdf.hpp).
#include "aseg_gdf.hpp"

#include <cctype>
#include <cstdlib>

#include "free_format.hpp"
#include "model_reader.hpp"
#include "output_file.hpp"

namespace driver {
namespace {

// Most fields a .dfn may define; real files have tens.
constexpr std::size_t kMaxFields = 10000;

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string upper(std::string_view s) {
    std::string out(trim(s));
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool starts_with_word(std::string_view s, std::string_view word) {
    return s.size() >= word.size() && upper(s.substr(0, word.size())) == word;
}

// Digits as a count or width of at most 7 figures; false for none.
bool read_digits(std::string_view s, std::size_t& at, std::int64_t& out) {
    const std::size_t from = at;
    out = 0;
    while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])) && at - from < 7)
        out = out * 10 + (s[at++] - '0');
    return at > from && (at == s.size() || !std::isdigit(static_cast<unsigned char>(s[at])));
}

// A Fortran edit descriptor with an optional repeat count: [n]Xw[.d], X one of A, I,
// F, E, D, G (ES and EN too).
bool read_format(std::string_view text, Field& f) {
    const std::string s = upper(text);
    std::size_t at = 0;
    std::int64_t count = 1, width = 0, decimals = 0;
    if (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at])) && !read_digits(s, at, count))
        return false;
    if (at == s.size()) return false;
    const char kind = s[at++];
    if (std::string_view("AIFEDG").find(kind) == std::string_view::npos) return false;
    if (kind == 'E' && at < s.size() && (s[at] == 'S' || s[at] == 'N')) ++at;
    if (!read_digits(s, at, width)) return false;
    if (at < s.size() && s[at] == '.') {
        ++at;
        if (!read_digits(s, at, decimals)) return false;
    }
    if (at != s.size() || count < 1 || width < 1 || count > kMaxDepthCells) return false;
    f.count = static_cast<std::int32_t>(count);
    f.width = static_cast<std::int32_t>(width);
    f.text = kind == 'A';
    return true;
}

// Attributes after the format: KEY=VALUE items separated by ':' or ','. A piece with no
// '=' continues the value before it (a long name with a comma in it).
void read_attributes(std::string_view text, Field& f) {
    std::string key, value;
    auto flush = [&] {
        if (key == "NULL") {
            const std::string v(trim(value));
            char* end = nullptr;
            const double d = std::strtod(v.c_str(), &end);
            if (!v.empty() && end == v.c_str() + v.size()) f.null = d;
        } else if (key == "UNIT" || key == "UNITS") {
            f.units = std::string(trim(value));
        }
    };
    char separator = ',';  // the one before the current piece
    while (!text.empty()) {
        const std::size_t cut = text.find_first_of(":,");
        const std::string_view piece = text.substr(0, cut);
        const std::size_t eq = piece.find('=');
        if (eq != std::string_view::npos) {
            flush();
            key = upper(piece.substr(0, eq));
            value = std::string(piece.substr(eq + 1));
        } else if (!key.empty()) {
            value.push_back(separator);
            value += std::string(piece);
        }
        if (cut == std::string_view::npos) break;
        separator = text[cut];
        text.remove_prefix(cut + 1);
    }
    flush();
}

// A numeric column of a fixed-width record reads as a number, a blank or a null word.
bool column_reads(std::string_view text) {
    text = trim(text);
    if (text.empty() || text == "*") return true;
    double v = 0.0;
    if (read_real_precise(text, v)) return true;
    const std::string s(text);
    char* end = nullptr;
    std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size();
}

}  // namespace

FieldTable parse_dfn(std::string_view text, const std::string& file) {
    FieldTable table;
    std::int64_t line_no = 0;
    std::int64_t chars = 0;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = trim(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++line_no;
        if (!starts_with_word(line, "DEFN")) continue;
        const std::size_t semi = line.find(';');
        if (semi == std::string_view::npos) continue;
        const std::string head = upper(line.substr(0, semi));
        const std::size_t rt_at = head.find("RT=");
        const std::string rt =
            rt_at == std::string::npos ? std::string() : upper(head.substr(rt_at + 3, head.find(',', rt_at) - rt_at - 3));
        // Comment records (RT=COMM) have fields of their own, not the data's.
        if (rt == "COMM") continue;
        std::string_view item = line.substr(semi + 1);
        const std::size_t colon = item.find(':');
        const std::string name(trim(item.substr(0, colon)));
        if (upper(name) == "END DEFN" || (colon == std::string_view::npos && upper(name).rfind("END", 0) == 0)) break;
        const std::string where = " (" + file + ", line " + std::to_string(line_no) + ")";
        if (colon == std::string_view::npos || name.empty())
            throw RunStop{" a DEFN record without a field name and format" + where};
        item.remove_prefix(colon + 1);
        const std::size_t colon2 = item.find(':');
        Field f;
        f.name = name;
        const std::string_view format = trim(item.substr(0, colon2));
        if (!read_format(format, f))
            throw RunStop{" field " + name + " has format '" + std::string(format) +
                          "', not a Fortran format such as I10, F10.2 or 30E15.6" + where};
        if (colon2 != std::string_view::npos) read_attributes(item.substr(colon2 + 1), f);
        chars += std::int64_t{f.count} * f.width;
        if (table.fields.size() >= kMaxFields || chars > static_cast<std::int64_t>(kMaxRecordChars))
            throw RunStop{" the fields of " + file + " describe records beyond " + std::to_string(kMaxRecordChars) +
                          " characters" + where};
        table.add(std::move(f));
    }
    if (table.fields.empty()) throw RunStop{" " + file + " defines no data field (no DEFN record)"};
    return table;
}

bool is_aseg_comment(std::string_view line) { return is_blank(line) || starts_with_word(line, "COMM"); }

bool split_aseg_record(std::string_view line, const FieldTable& table, std::vector<std::string_view>& values) {
    values.clear();
    std::size_t width = 0;
    for (const Field& f : table.fields) width += static_cast<std::size_t>(f.count) * static_cast<std::size_t>(f.width);
    // By the widths when the line is as long as they add up to, or only blanks follow,
    // or it ends within a last text column (a writer may drop a text's trailing blanks).
    const bool text_last = !table.fields.empty() && table.fields.back().text;
    const std::size_t last = text_last ? static_cast<std::size_t>(table.fields.back().width) : 0;
    const bool fits = line.size() <= width ? line.size() + last >= width : is_blank(line.substr(width));
    if (fits && width > 0) {
        bool ok = true;
        std::size_t at = 0;
        for (const Field& f : table.fields) {
            for (std::int32_t k = 0; k < f.count; ++k) {
                const std::string_view column =
                    at < line.size() ? line.substr(at, static_cast<std::size_t>(f.width)) : std::string_view();
                at += static_cast<std::size_t>(f.width);
                if (!f.text && !column_reads(column)) ok = false;
                values.push_back(trim(column));
            }
            if (!ok) break;
        }
        if (ok) return true;
        values.clear();
    }
    TokenCursor cursor(line);
    std::string_view token;
    while (cursor.next(token)) {
        if (values.size() == static_cast<std::size_t>(table.values)) return false;
        values.push_back(token);
    }
    return values.size() == static_cast<std::size_t>(table.values);
}

}  // namespace driver
