// The run sequence and the record loop. A survey line is a run of consecutive records
// with the same line number; its points are kept in memory as they are read, while its
// line point file is opened at its first record and written at its end. When a line
// ends, the line step (line_step.cpp) writes its line point file, re-bases it if it runs
// west and writes its tables; the line is then reported and handed, with its points,
// to the section gridder.
#include "run.hpp"

#include <climits>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "command_line.hpp"
#include "free_format.hpp"
#include "line_builder.hpp"
#include "line_step.hpp"
#include "minc_gridder.hpp"
#include "model_reader.hpp"
#include "ordered_console.hpp"
#include "output_file.hpp"
#include "parallel_lines.hpp"
#include "progress.hpp"
#include "record_source.hpp"
#include "run_lock.hpp"
#include "tables.hpp"

namespace driver {
namespace {

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
    float dx = 0.0f;  // --dx; 0: the smallest station step of the run so far
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
    if (ndepth > kMaxDepthCells)
        throw RunStop{" number of depth cells " + std::to_string(ndepth) + " is above the limit of " +
                      std::to_string(kMaxDepthCells)};
}

// One answer line, without its line end; false at the end of the input. A line is held
// to the length of a model record, so that an endless one (/dev/zero) stops the run
// instead of filling the memory.
bool read_answer(std::istream& in, std::string& line) {
    line.clear();
    std::streambuf* buf = in.good() ? in.rdbuf() : nullptr;
    if (buf == nullptr) return false;
    for (;;) {
        const int c = buf->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return !line.empty();
        }
        if (c == '\n') return true;
        if (line.size() == kMaxRecordChars)
            throw RunStop{" an answer of more than " + std::to_string(kMaxRecordChars) +
                          " characters; run stopped"};
        line.push_back(static_cast<char>(c));
    }
}

// The answer to a number prompt: the first line that is not blank.
std::string read_number_answer(std::istream& in, std::string_view what) {
    std::string answer;
    while (read_answer(in, answer)) {
        strip_line_end(answer);
        if (!is_blank(answer)) return answer;
    }
    throw RunStop{" no answer given for the " + std::string(what)};
}

Parameters read_parameters(std::span<const std::string> args, Console& console, const ModelOptions& model) {
    Parameters p;
    // A tabular model file gives the number of layers itself.
    const bool corvane = model.format == ModelFormat::corvane;
    if (!corvane && args.size() > 2)
        throw RunStop{" the number of layers comes from the model file: give only the model file and the cell size"};
    if (args.empty()) {
        console.out << (corvane ? " enter name of the CORVANE model file : " : " enter name of the model file : ")
                    << std::flush;
        std::string name;
        if (!read_answer(console.in, name)) name.clear();
        strip_line_end(name);
        if (is_blank(name)) throw RunStop{" no file name supplied "};
        p.infil = strip_trailing_blanks(name);

        console.out << (corvane ? " enter the Corvane cell size : " : " enter the cell size : ") << std::flush;
        p.cell = parse_cell(read_number_answer(console.in, "cell size"));
        check_cell(p.cell);
        if (!corvane) return p;

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

// The combined table lies beside the model file (its folder part carries over) and takes
// its stem from the model file's own name, up to the last ".": m.1.mod and m.2.mod get
// tables of their own. A name with no "." after its first character is taken whole.
std::string combined_table_name(const std::string& infil) {
    const std::size_t slash = infil.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = infil.rfind('.');
    const std::size_t end = dot != std::string::npos && dot > start ? dot : infil.size();
    return infil.substr(0, end) + "_all.xyz";
}

// Where in the model file a message points: " (m.mod, line 7)".
std::string at_line(const std::string& infil, std::int64_t line) {
    return " (" + infil + ", line " + std::to_string(line) + ")";
}

std::string at_lines(const std::string& infil, std::int64_t first, std::int64_t last) {
    if (first == last) return at_line(infil, first);
    return " (" + infil + ", lines " + std::to_string(first) + " to " + std::to_string(last) + ")";
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
          wanted_(std::int64_t{p.ndepth} + kLeadingNumbers) {}

    void run(std::istream& model, RecordSource& source) {
        model_ = &model;
        try {
            read_records(source);
        } catch (RunStop&) {
            // The points of the records read so far stay, as the tables written so far do.
            if (point_file_.is_open()) {
                try {
                    point_file_.write(builder_->points());
                } catch (RunStop&) {
                    // The file could not be written, so it is dropped; the first stop is the one reported.
                }
            }
            point_file_.keep();
            throw;
        }
    }

    /// Lines that reached their line step (written, then handed to the gridder).
    std::int64_t converted_lines() const { return converted_lines_; }
    /// True when a record was skipped, the data ended at a short record or a line of
    /// fewer than three records was dropped.
    bool left_out() const { return left_out_; }

private:
    void read_records(RecordSource& reader) {
        ModelReader::Item item{};
        while (reader.next(item)) {
            switch (item.kind) {
                case RecordKind::comment:
                    continue;
                case RecordKind::unreadable:
                    stop_on_input((reader.problem().empty() ? free_format_line(" error reading the input xyz data file")
                                                            : " " + reader.problem()) +
                                  at_line(p_.infil, item.line_in_file));
                case RecordKind::skipped:
                    left_out_ = true;
                    warn(" warning: " + reader.problem() + "; record left out" + at_line(p_.infil, item.line_in_file));
                    continue;
                case RecordKind::too_long:
                    stop_on_input(" a text line of more than " + std::to_string(kMaxRecordChars) +
                                  " characters is not a model record" +
                                  at_line(p_.infil, item.line_in_file) + "; run stopped");
                case RecordKind::short_record:
                    if (skip_short_record(item)) continue;
                    break;  // a short last record ends the model data
                case RecordKind::record:
                    if (!seen_record_ && reader.counts_numbers()) check_first_record(item, reader.text());
                    seen_record_ = true;
                    if (!take(reader.record(), item)) return;
                    continue;
            }
            break;
        }
        if (in_progress_) complete_line();
    }

    // A stop on bad model data. The lines converted before it keep their files (the run
    // puts them in place on the way out), and the message says so.
    [[noreturn]] void stop_on_input(std::string line) const {
        if (converted_lines_ > 0)
            line += " (the files of the " + std::to_string(converted_lines_) +
                    (converted_lines_ == 1 ? " line" : " lines") + " converted before are kept)";
        throw RunStop{line};
    }

    void warn(const std::string& line) {
        console_.out << std::flush;
        console_.err << line << "\n";
    }

    std::string count_text(std::int64_t numbers, const char* relation) const {
        return std::to_string(numbers) + " numbers, " + relation + " 10 + ndepth = " +
               std::to_string(wanted_);
    }

    // A record with fewer than 10 + ndepth numbers. Returns true when the loop goes on
    // (the record skipped), false when the record ends the model data (the last one of
    // the file, most likely cut off while the file was written). As the first record of
    // the file it shows a wrong ndepth, which would make every record short: the run
    // stops there rather than warn for each.
    bool skip_short_record(const ModelReader::Item& item) {
        const std::string where = at_line(p_.infil, item.line_in_file);
        left_out_ = true;
        if (item.last) {
            warn(" warning: the last record holds " + count_text(item.numbers, "fewer than") +
                 "; the model data end before it" + where);
            return false;
        }
        if (!seen_record_)
            throw RunStop{" the first record holds " + count_text(item.numbers, "fewer than") +
                          where + ": check ndepth; run stopped"};
        warn(" warning: record holds " + count_text(item.numbers, "fewer than") + "; skipped" + where);
        return true;
    }

    // A first record with more than 10 + ndepth numbers most likely means that ndepth is
    // too small: the deeper cells of every record are then ignored. Said once.
    void check_first_record(const ModelReader::Item& item, std::string_view text) {
        seen_record_ = true;
        const std::int64_t numbers = count_tokens(text);
        if (numbers > wanted_)
            warn(" warning: the first record holds " + count_text(numbers, "more than") +
                 "; the numbers after the first " + std::to_string(wanted_) +
                 " of a record are ignored" + at_line(p_.infil, item.line_in_file) + ": check ndepth");
    }

    void warn_dropped(const std::string& label, std::int64_t records, std::int64_t first,
                      std::int64_t last) {
        left_out_ = true;
        warn(" warning: survey line " + label + " has only " + std::to_string(records) +
             (records == 1 ? " record" : " records") + ", fewer than " + std::to_string(kMinLineRecords) +
             "; not written or gridded" + at_lines(p_.infil, first, last));
    }

    // The builder and its depth table are made with the first complete record, so that
    // their size follows what the records hold.
    LineBuilder& builder() {
        if (!builder_) {
            depth_ = make_depth_table(p_.ndepth, p_.cell);
            builder_.emplace(depth_, p_.cell);
        }
        return *builder_;
    }

    // Adds a record; false when the run ends here (the last record of the file started
    // a new line after a completed one, and that one-record line is not reported).
    bool take(const ModelRecord& record, const ModelReader::Item& item) {
        LineBuilder& b = builder();
        if (!in_progress_ || record.line_number != b.stats().line_number) {
            if (in_progress_) {
                if (b.stats().record_count >= kMinLineRecords) {
                    complete_line();
                    // Kept on purpose: when the last record of the file opens a new line
                    // after a completed one, the run ends there and that one-record line
                    // gets no line report and no file (its points never reach one); only
                    // the warning names it.
                    if (item.last) {
                        warn_dropped(line_label(record.line_number), 1, item.line_in_file,
                                     item.line_in_file);
                        return false;
                    }
                } else {
                    warn_dropped(b.stats().label, b.stats().record_count, line_first_text_,
                                 line_last_text_);
                    discard_points();
                }
            }
            b.start(record.line_number);
            in_progress_ = true;
            line_first_text_ = item.line_in_file;
            point_file_.create(std::string(kPointFile), guard_);
        }
        line_last_text_ = item.line_in_file;
        b.add(record, xcell_);
        return true;
    }

    // The point file of a line that is too short to be written.
    void discard_points() {
        point_file_.abandon();
        remove_file(std::string(kPointFile));
    }

    void complete_line() {
        std::string datfile;
        if (builder_->stats().record_count >= kMinLineRecords) {
            datfile = line_step(*builder_, depth_, guard_, point_file_, combined_);
        } else {
            discard_points();
        }
        in_progress_ = false;
        const LineStats& s = builder_->stats();
        const LineExtent extent{.xmin = s.xmin, .xmax = s.xmax, .zmin = s.zmin, .zmax = s.zmax};
        console_.out << line_report(s.label, s.record_count, extent);
        if (s.record_count < kMinLineRecords) {
            warn_dropped(s.label, s.record_count, line_first_text_, line_last_text_);
            return;
        }
        ++converted_lines_;

        // The layout is computed in 32-bit reals from the rounded precise values.
        const float xcell = p_.dx > 0.0f ? p_.dx : static_cast<float>(xcell_);
        const CellSizes cells{.xcell = xcell, .cell = p_.cell};
        const SectionLayout layout = section_layout(cells, extent);
        console_.out << layout_report(layout);
        GridCall call = make_grid_call(s.label, datfile, layout, cells);
        call.points = builder_->points();
        for (const std::string& name : call.out_files) guard_.check(name);
        guard_.check(std::string(kGriddingLog));
        console_.out << std::flush;
        if (console_.progress != nullptr) {
            console_.progress->count_line(static_cast<std::int64_t>(call.points.size() / kPointReals));
            console_.progress->gridding(s.label, bytes_read());
        }
        if (std::optional<std::string> stop = gridder_.grid_line(call)) throw RunStop{*stop};
    }

    // How far into the model file the reading is; all of it once the stream has ended.
    std::uint64_t bytes_read() const {
        const std::streamoff at = model_ != nullptr ? std::streamoff(model_->tellg()) : -1;
        return at < 0 ? UINT64_MAX : static_cast<std::uint64_t>(at);
    }

    const Parameters& p_;
    Console& console_;
    SectionGridder& gridder_;
    std::istream* model_ = nullptr;
    ModelGuard guard_;
    OutputFile& combined_;
    const std::int64_t wanted_;  // numbers of a complete record: 10 + ndepth
    std::vector<float> depth_;
    std::optional<LineBuilder> builder_;
    OutputFile point_file_;  // the line point file of the line in progress, written at its end
    double xcell_ = kInitialXcell;
    bool in_progress_ = false;
    bool seen_record_ = false;  // a complete record was read
    bool left_out_ = false;
    std::int64_t converted_lines_ = 0;
    std::int64_t line_first_text_ = 0;  // text lines of the current line's first and last records
    std::int64_t line_last_text_ = 0;
};

int run_or_throw(const CommandLine& command, Console& console, SectionGridder& gridder) {
    print_banner(console.out);
    // Every output, the lock included, goes to the output folder (the current one by default).
    const OutputFolder folder(command.model.output_dir);
    // Taken before anything is asked or written: a second run in this folder stops here.
    std::string lock_problem;
    const std::optional<RunLock> lock = RunLock::acquire(lock_problem);
    if (!lock) throw RunStop{lock_problem};

    Parameters p = read_parameters(command.operands, console, command.model);
    p.dx = command.dx;
    if (is_blank(p.infil)) throw RunStop{" No data file supplied"};
    const std::string path = folder.input_path(p.infil);

    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw RunStop{" The specified data file does not exist (" + p.infil + ")"};
    auto buffer = std::make_unique<char[]>(std::size_t{1} << 20);
    std::ifstream model;
    model.rdbuf()->pubsetbuf(buffer.get(), std::streamsize{1} << 20);
    if (!std::filesystem::is_directory(path, ec)) model.open(path, std::ios::binary);
    if (!model.is_open()) throw RunStop{" cannot open the data file " + p.infil};
    if (console.progress != nullptr) {
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        console.progress->set_total_bytes(ec ? 0 : static_cast<std::uint64_t>(size));
    }
    ModelOptions options = command.model;
    options.dfn = folder.input_path(options.dfn);
    const std::unique_ptr<RecordSource> source = open_record_source(options, model, p.infil, p.ndepth);

    ModelGuard guard(path);
    OutputFile combined;
    // In an output folder the combined table takes the model file's name without its folder.
    combined.create(combined_table_name(folder.entered() ? std::filesystem::path(p.infil).filename().string() : p.infil),
                    guard);
    combined.write(kTableHeader);
    combined.write(kTableLineEnd);

    RecordLoop loop(p, console, gridder, guard, combined);
    try {
        loop.run(model, *source);
    } catch (RunStop& stop) {
        // A stop keeps what the run wrote until then: the combined table up to the last
        // complete line goes in place like the files of those lines, which are gridded
        // and reported before the stop message. The message says that the table is cut
        // short, as it may replace a complete one of an earlier run.
        gridder.finish();
        const std::int64_t lines = combined.lines();
        if (combined.keep())
            stop.line += "; table cut short: " + combined.name() + " holds " + std::to_string(lines) +
                         (lines == 1 ? " line" : " lines");
        throw;
    }
    gridder.finish();
    const std::int64_t rows = combined.lines() - 1;
    combined.close();
    if (loop.converted_lines() == 0)
        throw RunStop{" nothing converted: " + p.infil + " holds no survey line of " +
                      std::to_string(kMinLineRecords) + " or more records"};
    if (rows == 0)
        throw RunStop{" nothing converted: every conductivity in " + p.infil +
                      " is 0 or less, so no line has a point"};
    return loop.left_out() ? kExitIncomplete : kExitOk;
}

}  // namespace

int run(std::span<const std::string> args, Console& console, SectionGridder& gridder,
        std::string_view version) {
    const CommandLine command = parse_command_line(args);
    if (command.action == Action::help) {
        console.out << help_text() << std::flush;
        return kExitOk;
    }
    if (command.action == Action::version) {
        console.out << "halvex" << (version.empty() ? "" : " ") << version << "\n" << std::flush;
        return kExitOk;
    }
    if (!command.unknown_option.empty()) {
        console.err << " unknown option " << command.unknown_option
                    << " (a model file of that name goes after --; see halvex --help)\n"
                    << std::flush;
        return kExitStop;
    }
    if (!command.bad_jobs.empty() || !command.bad_model_option.empty()) {
        console.err << (command.bad_jobs.empty() ? command.bad_model_option : command.bad_jobs) << "\n" << std::flush;
        return kExitStop;
    }
    if (!command.bad_dx.empty()) {
        console.err << command.bad_dx << "\n" << std::flush;
        return kExitStop;
    }
    int status = kExitStop;
    try {
        status = run_or_throw(command, console, gridder);
    } catch (const RunStop& stop) {
        console.out << std::flush;
        console.err << stop.line << "\n";
    } catch (const std::bad_alloc&) {
        console.out << std::flush;
        console.err << " not enough memory for this run\n";
    }
    console.out << std::flush;
    console.err << std::flush;
    return status;
}

int run(std::span<const std::string> args, Console& console, std::string_view version) {
    const CommandLine command = parse_command_line(args);
    const bool converts = command.action == Action::run && command.unknown_option.empty() &&
                          command.bad_jobs.empty() && command.bad_dx.empty() && command.bad_model_option.empty();
    std::optional<Progress> progress;
    if (console.err_is_terminal && converts) progress.emplace(console.err);
    // Everything the run writes goes through one ordered transcript, so that the
    // reports of lines gridded on other threads appear in line order, and the status
    // line is taken off the terminal while other text is written.
    OrderedConsole ordered(console.out, console.err, progress ? &*progress : nullptr);
    Console run_console{ordered.out(), console.in, ordered.err()};
    run_console.progress = progress ? &*progress : nullptr;
    std::unique_ptr<SectionGridder> gridder;
    if (command.jobs > 0 && converts) {
        try {
            gridder = std::make_unique<ParallelGridder>(command.jobs, ordered);
        } catch (const std::exception&) {
            console.err << " cannot start " << command.jobs
                        << " gridding threads; run with a smaller -j\n" << std::flush;
            return kExitStop;
        }
    } else {
        gridder = std::make_unique<MincGridder>(run_console.err);
    }
    const int status = run(args, run_console, *gridder, version);
    const GridCounts counts = gridder->counts();
    gridder.reset();
    ordered.drain();
    if (progress) progress->finish(counts.grids, counts.failures);
    return status == kExitOk && counts.failures > 0 ? kExitIncomplete : status;
}

static_assert(kExitGridFailed == kExitIncomplete, "a failed gridding call leaves a grid out");

}  // namespace driver
