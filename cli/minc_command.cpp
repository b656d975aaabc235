// The minc command's library half: parses the arguments into a gridding request, runs
// it through the same gridding entry that halvex uses, and reports on the streams it is
// given, returning the exit status. Reads x, y, z text (whitespace or comma separated,
// comment and header lines skipped) or the library's binary input data file, and
// writes the grid file and "minc.log" in the current directory.
#include "minc_command.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <fstream>
#include <istream>
#include <ostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "gridout/byte_file.hpp"
#include "halvex_version.hpp"
#include "minc/minc.hpp"

namespace minc_cli {

namespace {

constexpr const char* kUsage = R"(Usage: minc [options] INPUT

Grids scattered data by minimum curvature (continuous curvature splines in tension 0)
into a GRD grid file. Writes the grid and the log "minc.log" in the current directory.

INPUT is a text file of x y z lines (blank, tab or comma separated; lines starting with
#, !, %, or any line that does not start with a number, are skipped), or "-" for the
standard input, or with --binary the library's input data file: records of 2 + MAXCHAN
little-endian 32-bit reals (x, y, channel values).

A value follows its option as the next argument, or attached: -I0.1, -R0/6.5/0/6.5,
--spacing=0.1. Lists take commas or slashes. Numbers are decimal (no hexadecimal).

Grid (either --region, or --origin with --size):
  -R, --region XMIN,XMAX,YMIN,YMAX   grid nodes from XMIN to XMAX and YMIN to YMAX
  --origin X0,Y0                     first node
  --size NX,NY                       number of columns and rows
  -I, --spacing DX[,DY]              node spacing (required; DY defaults to DX)

Gridding:
  -o, --output FILE        grid file to write (default: grid.grd)
  -S, --radius R           blank nodes farther than R (world units) from data; 0: no blanking
  --mode N                 1 grid values (default), 2 grid natural logarithms (values > 0),
                           3 grid signed logarithms; the grid file holds values
  --angle DEG              grid in a frame rotated by DEG degrees (the output is unrotated)
  -N, --iterations N       relaxation sweep limit per block (32 or more; default 512)
  --dummy V                input values equal to V are ignored (default -99999)
  --reverse-rows           store the rows from the last to the first (orientation -2)
  --binary MAXCHAN         INPUT is a binary input data file with MAXCHAN channels (1..256)
  --channel K              channel gridded from a binary file, 1..MAXCHAN (default 1)
  --disk-stores            keep the scratch data on disk in unnamed files of the current
                           folder (private to the call; nothing is left in the folder)
  -q, --quiet              print nothing on success
  -h, --help               this text
  --version                the version

A text line whose z is not a finite number (nan, inf, or beyond the 32-bit range) is
skipped with a warning naming its line. The output may not be the input file.

Exit status: 0 on success, 1 when the gridding failed (its code is printed), 2 on bad
arguments or unreadable input, 3 when the grid was written but data lines were skipped.
)";

struct UsageError {
    std::string message;
};

/// A problem with the files rather than the options: reported on one line.
struct InputError {
    std::string message;
};

// What a text holds as a 32-bit real. strtof reads what people write (1e3, +5, .5);
// the whole text must be used. A value too small for a normal float is still a number
// (a denormal); one that rounds to zero is refused (the user wrote something else),
// and hexadecimal is not a number a user of this command means.
enum class RealText { number, malformed, hexadecimal, underflow, not_finite };

RealText read_real(std::string_view s, float& v) {
    const std::string copy(s);
    if (copy.empty()) return RealText::malformed;
    if (copy.find_first_of("xX") != std::string::npos) return RealText::hexadecimal;
    char* end = nullptr;
    errno = 0;
    v = std::strtof(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) return RealText::malformed;
    if (!std::isfinite(v)) return RealText::not_finite;  // nan, inf, or beyond 3.4e38
    if (errno == ERANGE && v == 0.0f) return RealText::underflow;
    return RealText::number;
}

const char* explain(RealText k) {
    switch (k) {
        case RealText::number: return "a number";
        case RealText::malformed: return "not a number";
        case RealText::hexadecimal: return "hexadecimal is not accepted";
        case RealText::underflow: return "too small for a 32-bit real";
        case RealText::not_finite: return "not a finite 32-bit real";
    }
    return "not a number";
}

template <class T>
T parse_number(std::string_view s, std::string_view what) {
    T v{};
    if constexpr (std::is_same_v<T, float>) {
        if (const RealText k = read_real(s, v); k != RealText::number)
            throw UsageError{"bad number '" + std::string(s) + "' for " + std::string(what) + ": " + explain(k)};
    } else {
        if (!s.empty() && s[0] == '+') s.remove_prefix(1);
        const char* e = s.data() + s.size();
        auto r = std::from_chars(s.data(), e, v);
        if (s.empty() || r.ec != std::errc() || r.ptr != e)
            throw UsageError{"bad integer '" + std::string(s) + "' for " + std::string(what)};
    }
    return v;
}

template <class T>
std::vector<T> parse_list(std::string_view s, std::size_t min, std::size_t max, std::string_view what) {
    std::vector<T> out;
    std::size_t at = 0;
    while (true) {
        const std::size_t sep = s.find_first_of(",/", at);
        out.push_back(parse_number<T>(s.substr(at, sep == std::string_view::npos ? sep : sep - at), what));
        if (sep == std::string_view::npos) break;
        at = sep + 1;
    }
    if (out.size() < min || out.size() > max)
        throw UsageError{std::string(what) + " takes " + std::to_string(min) +
                         (min == max ? "" : " or " + std::to_string(max)) + " values"};
    return out;
}

// Options that take a value, by their long name; the short letter, when there is one,
// takes its value attached (-I0.1) or as the next argument.
struct ValueOption {
    const char* name;
    char letter;
};
constexpr ValueOption kValueOptions[] = {
    {"--region", 'R'}, {"--origin", 0},  {"--size", 0},       {"--spacing", 'I'},
    {"--output", 'o'}, {"--radius", 'S'}, {"--mode", 0},      {"--angle", 0},
    {"--iterations", 'N'}, {"--dummy", 0}, {"--binary", 0},   {"--channel", 0},
};
constexpr const char* kFlagOptions[] = {"--reverse-rows", "--disk-stores", "--quiet", "--help",
                                        "--version"};

// An argument split into its long option name and its attached value, if any.
struct Split {
    std::string name;
    std::optional<std::string> value;
};

std::optional<Split> split_option(const std::string& a) {
    if (a.size() > 2 && a[0] == '-' && a[1] == '-') {
        const std::size_t eq = a.find('=');
        if (eq == std::string::npos) return Split{a, std::nullopt};
        return Split{a.substr(0, eq), a.substr(eq + 1)};
    }
    if (a.size() < 2 || a[0] != '-') return std::nullopt;  // an input name, or "-"
    if (a == "-h") return Split{"--help", std::nullopt};
    if (a == "-q") return Split{"--quiet", std::nullopt};
    for (const ValueOption& o : kValueOptions)
        if (o.letter != 0 && a[1] == o.letter)
            return Split{o.name, a.size() > 2 ? std::optional<std::string>(a.substr(2)) : std::nullopt};
    throw UsageError{"unknown option " + a};
}

// Sets the option n (its long name) from its value v.
void apply_option(Options& o, const std::string& n, const std::string& v) {
    if (n == "--region") {
        o.region = parse_list<float>(v, 4, 4, "--region");
    } else if (n == "--origin") {
        o.origin = parse_list<float>(v, 2, 2, "--origin");
    } else if (n == "--size") {
        o.size = parse_list<int>(v, 2, 2, "--size");
    } else if (n == "--spacing") {
        o.spacing = parse_list<float>(v, 1, 2, "--spacing");
    } else if (n == "--output") {
        if (v.empty()) throw UsageError{"--output needs a file name"};
        o.output = v;
    } else if (n == "--radius") {
        o.radius = parse_number<float>(v, "--radius");
    } else if (n == "--mode") {
        o.mode = parse_number<int>(v, "--mode");
        if (o.mode < 1 || o.mode > 3) throw UsageError{"--mode is 1, 2 or 3"};
    } else if (n == "--angle") {
        o.angle = parse_number<float>(v, "--angle");
    } else if (n == "--iterations") {
        o.iterations = parse_number<int>(v, "--iterations");
        if (o.iterations < 32) throw UsageError{"--iterations must be 32 or more"};
    } else if (n == "--dummy") {
        o.dummy = parse_number<float>(v, "--dummy");
    } else if (n == "--reverse-rows") {
        o.iopt = 2;
    } else if (n == "--binary") {
        o.binary_channels = parse_number<int>(v, "--binary");
        if (o.binary_channels < 1 || o.binary_channels > 256)
            throw UsageError{"--binary takes the number of channels, 1 to 256"};
    } else if (n == "--channel") {
        o.channel = parse_number<int>(v, "--channel");
    } else if (n == "--disk-stores") {
        o.disk = true;
    } else if (n == "--quiet") {
        o.quiet = true;
    }
}

// The rules between options, once all are read.
void check_options(const Options& o) {
    if (o.input.empty()) throw UsageError{"no input file"};
    if (!o.spacing) throw UsageError{"--spacing is required"};
    if (o.region && (o.origin || o.size)) throw UsageError{"give --region or --origin and --size, not both"};
    if (!o.region && !(o.origin && o.size)) throw UsageError{"give --region, or --origin and --size"};
    if (o.channel && o.binary_channels == 0)
        throw UsageError{"--channel applies to --binary input only (text input has one z column)"};
    if (o.channel && (*o.channel < 1 || *o.channel > o.binary_channels))
        throw UsageError{"--channel must be 1 to " + std::to_string(o.binary_channels) +
                         " for --binary " + std::to_string(o.binary_channels)};
}


// The option an argument names with its value: attached, or the next argument.
struct OptionValue {
    std::string name, value;
    bool flag = false;
};
OptionValue option_value(const Split& opt, const std::string& a, std::span<const std::string> args,
                         std::size_t& k) {
    const std::string& n = opt.name;
    const bool takes_value = std::any_of(std::begin(kValueOptions), std::end(kValueOptions),
                                         [&](const ValueOption& v) { return n == v.name; });
    const bool is_flag = std::any_of(std::begin(kFlagOptions), std::end(kFlagOptions),
                                     [&](const char* f) { return n == f; });
    if (!takes_value && !is_flag) throw UsageError{"unknown option " + a};
    if (is_flag && opt.value) throw UsageError{"option " + n + " takes no value"};
    if (is_flag) return OptionValue{n, std::string(), true};
    if (opt.value) return OptionValue{n, *opt.value, false};
    if (k + 1 >= args.size()) throw UsageError{"option " + a + " needs a value"};
    return OptionValue{n, args[++k], false};
}

Parsed parse_options(std::span<const std::string> args) {
    Parsed p;
    Options& o = p.options;
    bool only_names = false;  // after "--" every argument is a file name
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (!only_names && a == "--") {
            only_names = true;
            continue;
        }
        const std::optional<Split> opt = only_names ? std::nullopt : split_option(a);
        if (!opt) {
            if (!o.input.empty()) throw UsageError{"more than one input file: " + o.input + ", " + a};
            if (a.empty()) throw UsageError{"an empty input file name"};
            o.input = a;
            continue;
        }
        const OptionValue v = option_value(*opt, a, args, k);
        if (v.name == "--help" || v.name == "--version") {
            p.action = v.name == "--help" ? Parsed::Action::help : Parsed::Action::version;
            return p;
        }
        apply_option(o, v.name, v.value);
    }
    check_options(o);
    return p;
}

/// One text line as x, y, z, or nothing for a comment or header line, or for a line
/// whose z is not a finite number (counted in `skipped`, with a warning). Throws on a
/// line that starts like data but is not three numbers.
std::optional<std::array<float, 3>> parse_xyz(const std::string& line, long number, long& skipped,
                                              std::ostream& warn) {
    std::string s = line;
    for (char& c : s)
        if (c == ',' || c == ';' || c == '\t' || c == '\r') c = ' ';
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    const char c0 = s[first];
    const bool numeric = (c0 >= '0' && c0 <= '9') || c0 == '-' || c0 == '+' || c0 == '.';
    if (!numeric) return std::nullopt;  // comment or column header
    std::istringstream in(s);
    std::array<std::string, 3> word;
    if (!(in >> word[0] >> word[1] >> word[2]))
        throw InputError{"line " + std::to_string(number) + ": fewer than three values"};
    const std::string where = "line " + std::to_string(number);
    std::array<float, 3> v{};
    for (int c = 0; c < 2; ++c)
        if (const RealText k = read_real(word[c], v[c]); k != RealText::number)
            throw InputError{"bad number '" + word[c] + "' for " + where + (c == 0 ? " x: " : " y: ") + explain(k)};
    // A z that is written as a number but holds none (nan, inf, 1e39) loses that line
    // only: gridding the rest is what the user wants, and the warning says what was left.
    float z = 0.0f;
    const RealText k = read_real(word[2], z);
    if (k == RealText::not_finite) {
        warn << "minc: warning: " << where << ": z '" << word[2]
                  << "' is not a finite 32-bit real; the line is skipped\n";
        ++skipped;
        return std::nullopt;
    }
    if (k != RealText::number)
        throw InputError{"bad number '" + word[2] + "' for " + where + " z: " + explain(k)};
    v[2] = z;
    return v;
}

struct TextPoints {
    std::vector<minc::Point> points;  // the lines converted
    long skipped = 0;                 // data lines left out for a z that is not finite
};

/// The x, y, z lines of a text input as points for the gridding call.
TextPoints read_points(std::istream& in, std::ostream& warn) {
    std::string line;
    long number = 0;
    TextPoints r;
    while (std::getline(in, line)) {
        ++number;
        if (const auto v = parse_xyz(line, number, r.skipped, warn))
            r.points.push_back(minc::Point{(*v)[0], (*v)[1], (*v)[2]});
    }
    return r;
}

/// Refuses an output that is the input, or the input named as the log the call rewrites,
/// however the names are spelled (the file's identity is compared).
void check_not_input(const Options& o) {
    if (o.input == "-") return;
    gridout::FileSystem& fs = gridout::disk();
    if (fs.same_file(o.input, o.output))
        throw InputError{"the output " + o.output + " is the input file " + o.input + "; nothing written"};
    if (fs.same_file(o.input, "minc.log"))
        throw InputError{"the input " + o.input + " is minc.log, which every run rewrites; copy it first"};
}

// Nodes along one axis of a region: both edges included, as gridders with the same
// region give them. nullopt when the count does not fit a 32-bit integer.
std::optional<int> nodes_between(float lo, float hi, float d) {
    const float steps = (hi - lo) / d;
    // 2147483520 is the largest float below 2^31, so that the count plus one still fits.
    if (!(steps < 2147483520.0f)) return std::nullopt;
    return static_cast<int>(std::lround(steps)) + 1;
}

// The request of the options; throws UsageError.
minc::GridRequest grid_request(const Options& o) {
    minc::GridRequest r;
    r.outfile = o.output;
    const float dx = (*o.spacing)[0];
    const float dy = o.spacing->size() > 1 ? (*o.spacing)[1] : dx;
    if (!(dx > 0.0f) || !(dy > 0.0f)) throw UsageError{"--spacing must be positive"};
    r.dx = dx;
    r.dy = dy;
    if (o.region) {
        const auto& g = *o.region;
        if (!(g[1] > g[0]) || !(g[3] > g[2])) throw UsageError{"--region needs XMIN < XMAX and YMIN < YMAX"};
        r.x0 = g[0];
        r.y0 = g[2];
        const std::optional<int> nx = nodes_between(g[0], g[1], dx);
        const std::optional<int> ny = nodes_between(g[2], g[3], dy);
        if (!nx || !ny)
            throw UsageError{"--spacing too small for --region: the grid would have more than " +
                             std::to_string(INT_MAX) + " nodes along " + (nx ? "y" : "x")};
        r.nx = *nx;
        r.ny = *ny;
    } else {
        r.x0 = (*o.origin)[0];
        r.y0 = (*o.origin)[1];
        r.nx = (*o.size)[0];
        r.ny = (*o.size)[1];
    }
    r.radius = o.radius;
    r.mode = o.mode;
    r.angle = o.angle;
    r.iterations = o.iterations;
    r.dummy = o.dummy;
    r.iopt = o.iopt;
    if (o.binary_channels > 0) {
        r.datfile = o.input;
        r.maxchan = o.binary_channels;
        r.ichan = o.channel.value_or(1);
    }
    return r;
}

// The points of a text input; throws InputError.
TextPoints text_input(const Options& o, Streams io) {
    TextPoints text;
    if (o.input == "-") {
        text = read_points(io.in, io.err);
    } else {
        std::ifstream in(o.input);
        if (!in) throw InputError{"cannot read " + o.input};
        text = read_points(in, io.err);
    }
    if (text.points.empty()) throw InputError{"no x y z line in " + o.input};
    return text;
}

// Grids and reports the outcome.
Exit grid_and_report(const Options& o, const minc::GridRequest& r, const TextPoints& text, Streams io) {
    minc::Gridder gridder(o.disk ? minc::Stores::disk : minc::Stores::memory);
    const minc::GridResult res = o.binary_channels > 0 ? gridder.grid(r) : gridder.grid(r, text.points);
    if (!res.ok()) {
        io.err << "minc: gridding failed with code " << res.code() << ": " << minc::describe(res.status)
               << "\n";
        return Exit::gridding_failed;
    }
    if (!o.quiet)
        io.out << "minc: wrote " << o.output << ": " << r.nx << " x " << r.ny << " nodes, z from "
               << res.gmin << " to " << res.gmax << "\n";
    if (text.skipped > 0) {
        io.err << "minc: " << text.skipped << (text.skipped == 1 ? " data line was" : " data lines were")
               << " skipped\n";
        return Exit::lines_skipped;
    }
    return Exit::ok;
}

Exit run_parsed(const Parsed& p, Streams io) {
    if (p.action == Parsed::Action::help) {
        io.out << kUsage;
        return Exit::ok;
    }
    if (p.action == Parsed::Action::version) {
        io.out << "minc " << HALVEX_VERSION << "\n";
        return Exit::ok;
    }
    const Options& o = p.options;
    const minc::GridRequest r = grid_request(o);
    check_not_input(o);
    // Text input is gridded from memory, as the one-channel data file it stands for.
    const TextPoints text = o.binary_channels > 0 ? TextPoints{} : text_input(o, io);
    return grid_and_report(o, r, text, io);
}

}  // namespace

Parsed parse_args(std::span<const std::string> args) {
    try {
        return parse_options(args);
    } catch (const UsageError& e) {
        Parsed p;
        p.error = e.message;
        return p;
    }
}

std::optional<minc::GridRequest> request_of(const Options& o, std::string& error) {
    try {
        return grid_request(o);
    } catch (const UsageError& e) {
        error = e.message;
        return std::nullopt;
    }
}

Exit run(std::span<const std::string> args, Streams io) {
    try {
        const Parsed p = parse_args(args);
        if (!p.error.empty()) throw UsageError{p.error};
        return run_parsed(p, io);
    } catch (const UsageError& e) {
        io.err << "minc: " << e.message << "\n(minc --help shows the options)\n";
    } catch (const InputError& e) {
        io.err << "minc: " << e.message << "\n";
    } catch (const std::exception& e) {
        io.err << "minc: " << e.what() << "\n";
    }
    return Exit::bad_input;
}

}  // namespace minc_cli
