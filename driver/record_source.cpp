// The record sources (see record_source.hpp): the Corvane reader as it is, the line
// selection, and the tabular formats, whose records are split into the values of their
// fields, picked by role and placed layer by layer.
#include "record_source.hpp"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "aseg_gdf.hpp"
#include "field_roles.hpp"
#include "free_format.hpp"
#include "layer_geometry.hpp"
#include "output_file.hpp"
#include "workbench_xyz.hpp"

namespace driver {
namespace {

// Largest .dfn read: its fields take a few kilobytes.
constexpr std::uintmax_t kMaxDfnBytes = std::uintmax_t{16} << 20;

bool is_word(std::string_view token, std::initializer_list<std::string_view> words) {
    std::string t(token);
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(words.begin(), words.end(), t) != words.end();
}

// One value of a field: NaN for no value ("*", a blank column, the field's null, NaN,
// an infinity or a number beyond the 32-bit range). False when the text is no number.
bool read_value(std::string_view token, const Field& f, double& out) {
    out = std::nan("");
    if (token.empty() || token == "*" || is_word(token, {"nan", "+nan", "-nan", "inf", "+inf", "-inf", "infinity",
                                                        "+infinity", "-infinity"}))
        return true;
    if (!read_real_precise(token, out)) {
        const std::string s(token);
        char* end = nullptr;
        std::strtod(s.c_str(), &end);
        out = std::nan("");
        return end == s.c_str() + s.size();
    }
    if (f.null && out == *f.null) out = std::nan("");
    return true;
}

enum class Syntax { aseg_gdf, workbench };

class TabularSource final : public RecordSource {
public:
    TabularSource(std::unique_ptr<BoundedLines> lines, Syntax syntax, FieldTable table, FieldPick pick,
                  std::int64_t lines_read)
        : lines_(std::move(lines)),
          syntax_(syntax),
          table_(std::move(table)),
          pick_(pick),
          line_in_file_(lines_read) {}

    /// The first data line, read while the header was looked for.
    void hold(std::string line) {
        held_ = std::move(line);
        holding_ = true;
    }

    bool next(ModelReader::Item& item) override {
        item = {RecordKind::comment, line_in_file_ + 1, false, 0};
        BoundedLines::Fetch got = BoundedLines::Fetch::line;
        if (holding_) {
            current_.swap(held_);
            holding_ = false;
        } else if (done_) {
            return false;
        } else {
            got = lines_->fetch(current_);
        }
        if (got == BoundedLines::Fetch::end) return false;
        if (got != BoundedLines::Fetch::line) {
            // Reported once, as the last item: nothing after it is read.
            done_ = true;
            current_.clear();
            item.kind = got == BoundedLines::Fetch::failed ? RecordKind::unreadable : RecordKind::too_long;
            item.last = true;
            problem_ = got == BoundedLines::Fetch::failed ? "the model file cannot be read" : std::string();
            return true;
        }
        ++line_in_file_;
        const bool comment = syntax_ == Syntax::aseg_gdf ? is_aseg_comment(current_) : is_workbench_comment(current_);
        if (!comment) item.kind = convert();
        item.numbers = record_.numbers;
        return true;
    }

    const ModelRecord& record() const override { return record_; }
    std::string_view text() const override { return current_; }
    const std::string& problem() const override { return problem_; }
    bool counts_numbers() const override { return false; }

private:
    // The picked field's values, as numbers.
    bool take(int field, std::span<double> out) {
        const Field& f = table_.fields[static_cast<std::size_t>(field)];
        for (std::size_t k = 0; k < out.size(); ++k) {
            const std::string_view token = values_[static_cast<std::size_t>(f.first) + k];
            if (!read_value(token, f, out[k])) {
                problem_ = "field " + f.name + " holds '" + std::string(token) + "', not a number";
                return false;
            }
        }
        return true;
    }

    std::span<double> slot(Role r, std::size_t& at) {
        const int k = pick_.of(r);
        const std::size_t n = k < 0 ? 0 : static_cast<std::size_t>(table_.fields[static_cast<std::size_t>(k)].count);
        const std::span<double> s(numbers_.data() + at, n);
        at += n;
        return s;
    }

    RecordKind convert() {
        record_.numbers = 0;
        if (syntax_ == Syntax::aseg_gdf ? !split_aseg_record(current_, table_, values_) : !split_row()) {
            problem_ = "record holds " + std::to_string(count_tokens(current_)) + " values in " +
                       std::to_string(current_.size()) + " characters; the fields take " +
                       std::to_string(table_.values) + " values" + widths_text();
            // As the first record, the file does not match its description at all.
            return seen_record_ ? RecordKind::skipped : RecordKind::unreadable;
        }
        const std::size_t layers = static_cast<std::size_t>(pick_.layers);
        numbers_.assign(5 + 3 * layers, 0.0);
        std::size_t at = 0;
        struct Scalar { Role role; double* out; };
        double line = 0.0, fiducial = std::nan(""), east = 0.0, north = 0.0, ground = 0.0, doi = std::nan("");
        const Scalar scalars[] = {{Role::line, &line},     {Role::fiducial, &fiducial}, {Role::east, &east},
                                  {Role::north, &north},   {Role::ground, &ground},     {Role::doi, &doi}};
        for (const Scalar& s : scalars)
            if (pick_.of(s.role) >= 0 && !take(pick_.of(s.role), std::span<double>(s.out, 1)))
                return RecordKind::unreadable;
        const Role model_role = pick_.model == pick_.of(Role::conductivity) ? Role::conductivity : Role::resistivity;
        const std::span<double> model = slot(model_role, at);
        const std::span<double> thickness = slot(Role::thickness, at);
        const std::span<double> tops = slot(Role::depth_top, at);
        if (!take(pick_.model, model)) return RecordKind::unreadable;
        if (pick_.of(Role::thickness) >= 0 && !take(pick_.of(Role::thickness), thickness)) return RecordKind::unreadable;
        if (pick_.of(Role::depth_top) >= 0 && !take(pick_.of(Role::depth_top), tops)) return RecordKind::unreadable;
        seen_record_ = true;
        record_.numbers = table_.values;

        for (const Scalar& s : scalars) {
            if (s.role == Role::doi || s.role == Role::fiducial || !std::isnan(*s.out)) continue;
            problem_ = "no value for the " + std::string(role_name(s.role));
            return RecordKind::skipped;
        }
        // Truncation toward zero, as for the Corvane line number; 2^63 bounds it.
        const double t = std::trunc(line);
        if (!(std::fabs(t) < 9.2233720368547758e18)) {
            problem_ = "line number beyond 64 bits";
            return RecordKind::skipped;
        }
        record_.line_number = static_cast<std::int64_t>(t);
        record_.east = east;
        record_.north = north;
        record_.elevation = ground;
        record_.fiducial = fiducial;
        record_.doi = doi;
        const LayerColumns columns{.model = model, .thickness = thickness, .depth_top = tops, .doi = doi};
        problem_ = place_layers(columns, pick_.unit, record_.conductivity, record_.layer_offset);
        // Every point's elevation must fit the 32-bit line point file.
        for (std::size_t i = 0; problem_.empty() && i < layers; ++i)
            if (!(std::fabs(ground + record_.layer_offset[i]) <= static_cast<double>(FLT_MAX)))
                problem_ = "the centre of layer " + std::to_string(i + 1) + " lies beyond the 32-bit range";
        return problem_.empty() ? RecordKind::record : RecordKind::skipped;
    }

    bool split_row() {
        values_.clear();
        TokenCursor cursor(current_);
        std::string_view token;
        while (cursor.next(token)) {
            if (values_.size() == static_cast<std::size_t>(table_.values)) return false;
            values_.push_back(token);
        }
        return values_.size() == static_cast<std::size_t>(table_.values);
    }

    std::string widths_text() const {
        if (syntax_ != Syntax::aseg_gdf) return {};
        std::int64_t width = 0;
        for (const Field& f : table_.fields) width += std::int64_t{f.count} * f.width;
        return " or " + std::to_string(width) + " characters";
    }

    std::unique_ptr<BoundedLines> lines_;
    Syntax syntax_;
    FieldTable table_;
    FieldPick pick_;
    std::int64_t line_in_file_;
    std::string current_, held_;
    bool holding_ = false;
    bool done_ = false;
    bool seen_record_ = false;
    std::vector<std::string_view> values_;
    std::vector<double> numbers_;
    std::string problem_;
    ModelRecord record_;
};

std::string read_dfn(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw RunStop{" The specified definition file does not exist (" + path + ")"};
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxDfnBytes)
        throw RunStop{" the definition file " + path + " is larger than " + std::to_string(kMaxDfnBytes) + " bytes"};
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(size))) throw RunStop{" cannot read the definition file " + path};
    return text;
}

}  // namespace

bool SelectedLines::next(ModelReader::Item& item) {
    if (!inner_->next(item)) return false;
    if (item.kind == RecordKind::record && !lines_.contains(inner_->record().line_number))
        item.kind = RecordKind::comment;
    return true;
}

std::unique_ptr<RecordSource> open_tabular_source(const ModelOptions& options, std::string_view dfn_text,
                                                  std::istream& in, const std::string& file, std::int32_t& ndepth,
                                                  std::size_t max_chars) {
    auto lines = std::make_unique<BoundedLines>(in, max_chars);
    const bool aseg = options.format == ModelFormat::aseg_gdf;
    FieldTable table;
    std::string first_data;
    bool has_data = false;
    std::int64_t read = 0;
    if (aseg) {
        table = parse_dfn(dfn_text, options.dfn);
    } else {
        // The header: the last "/" line before the first record.
        std::string line, header;
        for (;;) {
            const BoundedLines::Fetch got = lines->fetch(line);
            if (got == BoundedLines::Fetch::too_long)
                throw RunStop{" a text line of more than " + std::to_string(max_chars) +
                              " characters is not a model record (" + file + ", line " + std::to_string(read + 1) +
                              "); run stopped"};
            if (got == BoundedLines::Fetch::failed) throw RunStop{" cannot read the data file " + file};
            if (got == BoundedLines::Fetch::end) break;
            ++read;
            if (is_blank(line)) continue;
            if (is_workbench_comment(line)) {
                header = line;
                continue;
            }
            first_data = line;
            has_data = true;
            --read;  // the held line is counted when it is handed on
            break;
        }
        if (header.empty()) throw RunStop{" " + file + " has no column header line (a line starting with /)"};
        table = parse_workbench_header(header);
    }
    const FieldPick pick = pick_fields(table, options, aseg ? options.dfn : file);
    if (pick.layers > kMaxDepthCells)
        throw RunStop{" " + std::to_string(pick.layers) + " layers are above the limit of " +
                      std::to_string(kMaxDepthCells)};
    ndepth = pick.layers;
    auto tabular = std::make_unique<TabularSource>(std::move(lines), aseg ? Syntax::aseg_gdf : Syntax::workbench,
                                                   std::move(table), pick, read);
    if (has_data) tabular->hold(std::move(first_data));
    std::unique_ptr<RecordSource> source = std::move(tabular);
    if (!options.lines.empty()) source = std::make_unique<SelectedLines>(std::move(source), options.lines);
    return source;
}

std::unique_ptr<RecordSource> open_record_source(const ModelOptions& options, std::istream& in,
                                                 const std::string& file, std::int32_t& ndepth,
                                                 std::size_t max_chars) {
    if (options.format != ModelFormat::corvane) {
        const std::string dfn = options.format == ModelFormat::aseg_gdf ? read_dfn(options.dfn) : std::string();
        return open_tabular_source(options, dfn, in, file, ndepth, max_chars);
    }
    std::unique_ptr<RecordSource> source = std::make_unique<CorvaneSource>(in, ndepth);
    if (!options.lines.empty()) source = std::make_unique<SelectedLines>(std::move(source), options.lines);
    return source;
}

}  // namespace driver
