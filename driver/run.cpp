// The run sequence and the record loop. A survey line is a run of consecutive records
// with the same line number; its points stream into the line point file as they are
// read, so memory holds only the line's record positions, never its points. When a
// line ends, the line step re-bases it if it runs west, writes its tables from the
// precise positions, reports it and hands it to the section gridder.
#include "run.hpp"

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "free_format.hpp"
#include "line_builder.hpp"
#include "minc_gridder.hpp"
#include "model_reader.hpp"
#include "output_file.hpp"
#include "tables.hpp"

namespace driver {
namespace {

constexpr std::string_view kPointFile = "tmpdat.tmp";
constexpr std::string_view kRebasedPointFile = "tmpdat2.tmp";
constexpr std::string_view kGriddingLog = "minc.log";
// A line of fewer records is not written, nor gridded.
constexpr std::int64_t kMinLineRecords = 3;

std::string quoted(std::string_view value) {
    std::string s(1, '\'');
    s.append(value);
    s.push_back('\'');
    return s;
}

struct Parameters {
    std::string infil;
    float cell = 5.0f;
    std::int32_t ndepth = 64;
};

void print_banner(std::ostream& out) {
    out << "\n"
        << free_format_line(" This program reads an CORVANE model file and outputs") << "\n"
        << free_format_line(" GRD grid file and an xyz data file for each") << "\n"
        << free_format_line(" line read from the input file") << "\n"
        << "\n"
        << free_format_line(" Usage is halvex infil cell ndepth") << "\n"
        << "\n";
}

void strip_line_end(std::string& s) {
    if (!s.empty() && s.back() == '\r') s.pop_back();
}

std::string strip_trailing_blanks(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

float parse_cell(std::string_view text) {
    TokenCursor cursor(text);
    std::string_view token;
    float v = 0.0f;
    if (!cursor.next(token) || !read_real(token, v))
        throw RunStop{" Cell size is not a number: " + quoted(text)};
    return v;
}

std::int32_t parse_ndepth(std::string_view text) {
    TokenCursor cursor(text);
    std::string_view token;
    std::int32_t v = 0;
    if (!cursor.next(token) || !read_integer(token, v))
        throw RunStop{" number of depth cells is not an integer: " + quoted(text)};
    return v;
}

void check_cell(float cell) {
    if (!(cell > 0.0f)) throw RunStop{free_format_line(" Cell size must be positive")};
}

void check_ndepth(std::int32_t ndepth) {
    if (ndepth <= 0) throw RunStop{free_format_line(" number of cells must be positive")};
}

// The answer to a number prompt: the first line that is not blank.
std::string read_number_answer(std::istream& in, std::string_view what) {
    std::string answer;
    while (std::getline(in, answer)) {
        strip_line_end(answer);
        if (!is_blank(answer)) return answer;
    }
    throw RunStop{" no answer given for the " + std::string(what)};
}

Parameters read_parameters(std::span<const std::string> args, Console& console) {
    Parameters p;
    if (args.empty()) {
        console.out << " enter name of the CORVANE model file : " << std::flush;
        std::string name;
        if (!std::getline(console.in, name)) name.clear();
        strip_line_end(name);
        if (is_blank(name)) throw RunStop{" no file name supplied "};
        p.infil = strip_trailing_blanks(name);

        console.out << " enter the Corvane cell size : " << std::flush;
        p.cell = parse_cell(read_number_answer(console.in, "cell size"));
        check_cell(p.cell);

        console.out << " enter the number of depth cells : " << std::flush;
        p.ndepth = parse_ndepth(read_number_answer(console.in, "number of depth cells"));
        check_ndepth(p.ndepth);
        return p;
    }
    p.infil = strip_trailing_blanks(args[0]);
    if (args.size() >= 2) p.cell = parse_cell(args[1]);
    if (args.size() == 3) p.ndepth = parse_ndepth(args[2]);
    // Command-line values are held to the same rules as prompted ones.
    check_cell(p.cell);
    check_ndepth(p.ndepth);
    return p;
}

// The combined table lies beside the model file: the name as entered up to its first
// ".", so a directory part carries over (and a name starting with "." gives "").
std::string combined_table_name(const std::string& infil) {
    const std::size_t dot = infil.find('.');
    const std::string base = dot == std::string::npos ? std::string() : infil.substr(0, dot);
    return base + "_all.xyz";
}

class RecordLoop {
public:
    RecordLoop(const Parameters& p, Console& console, SectionGridder& gridder, ModelGuard guard,
               OutputFile& combined)
        : p_(p),
          console_(console),
          gridder_(gridder),
          guard_(std::move(guard)),
          combined_(combined),
          depth_(make_depth_table(p.ndepth, p.cell)),
          builder_(depth_, p.cell) {}

    void run(std::istream& model) {
        ModelReader reader(model, p_.ndepth);
        ModelReader::Item item{};
        while (reader.next(item)) {
            switch (item.kind) {
                case RecordKind::comment:
                    continue;
                case RecordKind::unreadable:
                    throw RunStop{free_format_line(" error reading the input xyz data file")};
                case RecordKind::short_record:
                    if (item.last) break;
                    console_.out << " warning: line " << item.line_in_file
                                 << " of the model file holds fewer than "
                                 << std::int64_t{p_.ndepth} + kLeadingNumbers
                                 << " numbers and is skipped\n";
                    continue;
                case RecordKind::record:
                    if (!take(reader.record(), item.last)) return;
                    continue;
            }
            break;  // a short last record ends the model data
        }
        if (in_progress_) complete_line();
    }

private:
    // Adds a record; false when the run ends here (the last record of the file started
    // a new line after a completed one, and that one-record line is not reported).
    bool take(const ModelRecord& record, bool last) {
        if (!in_progress_ || record.line_number != builder_.stats().line_number) {
            if (in_progress_) {
                if (builder_.stats().record_count >= kMinLineRecords) {
                    complete_line();
                    // Kept on purpose: when the last record of the file opens a new line
                    // after a completed one, the run ends there and that one-record line
                    // is neither reported nor written (its points never reach a file).
                    if (last) return false;
                } else {
                    discard_points();
                }
            }
            builder_.start(record.line_number);
            in_progress_ = true;
            point_file_.create(std::string(kPointFile), guard_);
        }
        builder_.add(record, xcell_, points_);
        point_file_.write(std::span<const float>(points_));
        return true;
    }

    // The point file of a line that is too short to be written.
    void discard_points() {
        point_file_.abandon();
        remove_file(std::string(kPointFile));
    }

    void complete_line() {
        std::string datfile;
        if (builder_.stats().record_count >= kMinLineRecords)
            datfile = line_step();
        else
            discard_points();
        in_progress_ = false;
        const LineStats& s = builder_.stats();
        console_.out << line_report(s.label, s.record_count, s.xmin, s.xmax, s.zmax, s.zmin);
        if (s.record_count < kMinLineRecords) return;

        // The layout is computed in 32-bit reals from the rounded precise values.
        const float xcell = static_cast<float>(xcell_);
        const SectionLayout layout =
            section_layout(xcell, p_.cell, static_cast<float>(s.xmin), static_cast<float>(s.xmax),
                           static_cast<float>(s.zmin), static_cast<float>(s.zmax));
        console_.out << layout_report(layout);
        const GridCall call = make_grid_call(s.label, datfile, layout, xcell, p_.cell);
        for (const std::string& name : call.out_files) guard_.check(name);
        guard_.check(std::string(kGriddingLog));
        console_.out << std::flush;
        if (std::optional<std::string> stop = gridder_.grid_line(call)) throw RunStop{*stop};
    }

    // Re-bases a westward line, writes the line table, the combined table rows and the
    // station coordinate file; returns the name of the line point file to grid.
    std::string line_step() {
        point_file_.close();
        const LineStats& s = builder_.stats();
        const std::span<const RecordPosition> records = builder_.records();
        const bool rebase = runs_west(s);
        const double shift = rebase ? records.back().station : 0.0;
        std::string datfile(kPointFile);
        std::array<float, kPointReals> point{};

        if (rebase) {
            OutputFile rebased;
            rebased.create(std::string(kRebasedPointFile), guard_);
            {
                PointFileReader in{std::string(kPointFile)};
                for (const RecordPosition& r : records) {
                    const float station = static_cast<float>(r.station - shift);
                    for (std::uint32_t k = 0; k < r.points; ++k) {
                        in.read(point);
                        point[kStation] = station;
                        rebased.write(std::span<const float>(point));
                    }
                }
            }
            remove_file(std::string(kPointFile));
            rebased.close();
            datfile = std::string(kRebasedPointFile);
            builder_.rebase_range();
        }

        OutputFile table;
        table.create("line_" + s.label + ".xyz", guard_);
        table.write(kTableHeader);
        table.write(kTableLineEnd);
        {
            PointFileReader in(datfile);
            std::array<char, kTableRowBytes> row;
            for (std::size_t ri = 0; ri < records.size(); ++ri) {
                const RecordPosition& r = records[ri];
                if (r.points == 0) continue;
                const double station = r.station - shift;
                for (std::size_t i = 0; i < depth_.size(); ++i) {
                    if (!builder_.gave_point(ri, i)) continue;
                    in.read(point);
                    // The table shows the precise depth: elevation plus the cell's depth.
                    const double depth = r.elevation + static_cast<double>(depth_[i]);
                    format_table_row(row, station, depth, r.east, r.north,
                                     std::span<const float, 4>(point.data() + kCon, 4));
                    const std::string_view text(row.data(), row.size());
                    table.write(text);
                    combined_.write(text);
                }
            }
        }
        table.close();

        OutputFile coordinates;
        coordinates.create("line_" + s.label + ".crd", guard_);
        coordinates.write(kCoordinateHeader);
        coordinates.write(kTableLineEnd);
        const double top_depth = static_cast<double>(depth_.front());
        coordinates.write(coordinate_line(s.xmin, top_depth, s.first_east, s.first_north));
        coordinates.write(coordinate_line(s.xmax, top_depth, s.last_east, s.last_north));
        coordinates.close();
        return datfile;
    }

    const Parameters& p_;
    Console& console_;
    SectionGridder& gridder_;
    ModelGuard guard_;
    OutputFile& combined_;
    std::vector<float> depth_;
    LineBuilder builder_;
    OutputFile point_file_;
    std::vector<float> points_;
    double xcell_ = kInitialXcell;
    bool in_progress_ = false;
};

int run_or_throw(std::span<const std::string> args, Console& console, SectionGridder& gridder) {
    print_banner(console.out);
    const Parameters p = read_parameters(args, console);
    if (is_blank(p.infil)) throw RunStop{" No data file supplied"};

    std::error_code ec;
    if (!std::filesystem::exists(p.infil, ec)) throw RunStop{" The specified data file does not exist"};
    auto buffer = std::make_unique<char[]>(std::size_t{1} << 20);
    std::ifstream model;
    model.rdbuf()->pubsetbuf(buffer.get(), std::streamsize{1} << 20);
    if (!std::filesystem::is_directory(p.infil, ec)) model.open(p.infil, std::ios::binary);
    if (!model.is_open()) throw RunStop{" cannot open the data file " + p.infil};

    ModelGuard guard(p.infil);
    OutputFile combined;
    combined.create(combined_table_name(p.infil), guard);
    combined.write(kTableHeader);
    combined.write(kTableLineEnd);

    RecordLoop loop(p, console, gridder, guard, combined);
    loop.run(model);
    combined.close();
    return kExitOk;
}

}  // namespace

int run(std::span<const std::string> args, Console& console, SectionGridder& gridder) {
    int status = kExitStop;
    try {
        status = run_or_throw(args, console, gridder);
    } catch (const RunStop& stop) {
        console.out << stop.line << "\n";
    } catch (const std::bad_alloc&) {
        console.out << " not enough memory for this run\n";
    }
    console.out << std::flush;
    return status;
}

int run(std::span<const std::string> args, Console& console) {
    MincGridder gridder(console.out);
    const int status = run(args, console, gridder);
    return status == kExitOk && gridder.failed_calls() > 0 ? kExitGridFailed : status;
}

}  // namespace driver
