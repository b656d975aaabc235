// The Workbench XYZ column header (see workbench_xyz.hpp).
#include "workbench_xyz.hpp"

#include <cctype>

#include "free_format.hpp"

namespace driver {
namespace {

Field named(std::string_view name) {
    Field f;
    f.name = std::string(name);
    return f;
}

}  // namespace

bool is_workbench_comment(std::string_view line) {
    std::size_t k = 0;
    while (k < line.size() && (line[k] == ' ' || line[k] == '\t')) ++k;
    return k == line.size() || line[k] == '/';
}

FieldTable parse_workbench_header(std::string_view line) {
    while (!line.empty() && (line.front() == '/' || line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    FieldTable table;
    TokenCursor cursor(line);
    std::string_view token;
    while (cursor.next(token)) {
        // "NAME_k": column k of the array NAME when it follows column k - 1.
        const std::size_t cut = token.rfind('_');
        std::int64_t index = 0;
        bool numbered = cut != std::string_view::npos && cut > 0 && cut + 1 < token.size() && token.size() - cut <= 8;
        for (std::size_t k = cut + 1; numbered && k < token.size(); ++k) {
            if (!std::isdigit(static_cast<unsigned char>(token[k]))) numbered = false;
            index = index * 10 + (token[k] - '0');
        }
        if (numbered) {
            const std::string_view base = token.substr(0, cut);
            Field* last = table.fields.empty() ? nullptr : &table.fields.back();
            if (index == 1) {
                table.add(named(base));
                continue;
            }
            if (last != nullptr && last->name == base && last->count + 1 == index) {
                ++last->count;
                ++table.values;
                continue;
            }
        }
        table.add(named(token));
    }
    return table;
}

}  // namespace driver
