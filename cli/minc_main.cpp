// minc: grids scattered x, y, z data by minimum curvature into a GRD grid file, through
// the same gridding entry that halvex uses. Reads x, y, z text (whitespace or comma
// separated, comment and header lines skipped) or the library's binary input data file,
// and writes the grid file and "minc.log" in the current directory.
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <unistd.h>

#include "gridout/byte_file.hpp"
#include "minc/minc.hpp"

namespace {

constexpr const char* kUsage = R"(Usage: minc [options] INPUT

Grids scattered data by minimum curvature (continuous curvature splines in tension 0)
into a GRD grid file. Writes the grid and the log "minc.log" in the current directory.

INPUT is a text file of x y z lines (blank, tab or comma separated; lines starting with
#, !, %, or any line that does not start with a number, are skipped), or "-" for the
standard input, or with --binary the library's input data file: records of 2 + MAXCHAN
little-endian 32-bit reals (x, y, channel values).

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
  --binary MAXCHAN         INPUT is a binary input data file with MAXCHAN channels
  --channel K              channel gridded from a binary file (default 1)
  --disk-stores            keep the scratch data in files "~minc??.tmp" (deleted at the end)
  -q, --quiet              print nothing on success
  -h, --help               this text

Exit status: 0 on success, 1 when the gridding failed (its code is printed), 2 on bad
arguments or unreadable input.
)";

struct Options {
    std::string input;
    std::string output = "grid.grd";
    std::optional<std::vector<float>> region, origin, spacing;
    std::optional<std::vector<int>> size;
    float radius = 0.0f;
    int mode = 1;
    float angle = 0.0f;
    int iterations = 0;
    float dummy = -99999.0f;
    int iopt = 1;
    int binary_channels = 0;  // 0: text input
    int channel = 1;
    bool disk = false;
    bool quiet = false;
};

struct UsageError {
    std::string message;
};

template <class T>
T parse_number(std::string_view s, std::string_view what) {
    T v{};
    if constexpr (std::is_same_v<T, float>) {
        // strtof accepts what people write (1e3, +5, .5); the whole text must be used.
        std::string copy(s);
        char* end = nullptr;
        errno = 0;
        v = std::strtof(copy.c_str(), &end);
        if (copy.empty() || end != copy.c_str() + copy.size() || errno == ERANGE || !std::isfinite(v))
            throw UsageError{"bad number '" + copy + "' for " + std::string(what)};
    } else {
        const char* e = s.data() + s.size();
        auto r = std::from_chars(s.data(), e, v);
        if (r.ec != std::errc() || r.ptr != e)
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

Options parse_args(int argc, char** argv) {
    Options o;
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        auto value = [&]() -> std::string {
            if (k + 1 >= argc) throw UsageError{"option " + a + " needs a value"};
            return argv[++k];
        };
        if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            std::exit(0);
        } else if (a == "-R" || a == "--region") {
            o.region = parse_list<float>(value(), 4, 4, "--region");
        } else if (a == "--origin") {
            o.origin = parse_list<float>(value(), 2, 2, "--origin");
        } else if (a == "--size") {
            o.size = parse_list<int>(value(), 2, 2, "--size");
        } else if (a == "-I" || a == "--spacing") {
            o.spacing = parse_list<float>(value(), 1, 2, "--spacing");
        } else if (a == "-o" || a == "--output") {
            o.output = value();
        } else if (a == "-S" || a == "--radius") {
            o.radius = parse_number<float>(value(), "--radius");
        } else if (a == "--mode") {
            o.mode = parse_number<int>(value(), "--mode");
            if (o.mode < 1 || o.mode > 3) throw UsageError{"--mode is 1, 2 or 3"};
        } else if (a == "--angle") {
            o.angle = parse_number<float>(value(), "--angle");
        } else if (a == "-N" || a == "--iterations") {
            o.iterations = parse_number<int>(value(), "--iterations");
            if (o.iterations < 32) throw UsageError{"--iterations must be 32 or more"};
        } else if (a == "--dummy") {
            o.dummy = parse_number<float>(value(), "--dummy");
        } else if (a == "--reverse-rows") {
            o.iopt = 2;
        } else if (a == "--binary") {
            o.binary_channels = parse_number<int>(value(), "--binary");
        } else if (a == "--channel") {
            o.channel = parse_number<int>(value(), "--channel");
        } else if (a == "--disk-stores") {
            o.disk = true;
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError{"unknown option " + a};
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            throw UsageError{"more than one input file: " + o.input + ", " + a};
        }
    }
    if (o.input.empty()) throw UsageError{"no input file"};
    if (!o.spacing) throw UsageError{"--spacing is required"};
    if (o.region && (o.origin || o.size)) throw UsageError{"give --region or --origin and --size, not both"};
    if (!o.region && !(o.origin && o.size)) throw UsageError{"give --region, or --origin and --size"};
    return o;
}

/// One text line as x, y, z, or nothing for a comment or header line. Throws on a line
/// that starts like data but is not three numbers.
std::optional<std::array<float, 3>> parse_xyz(const std::string& line, long number) {
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
        throw UsageError{"line " + std::to_string(number) + ": fewer than three values"};
    std::array<float, 3> v{};
    for (int k = 0; k < 3; ++k) v[k] = parse_number<float>(word[k], "line " + std::to_string(number));
    return v;
}

/// Converts text input to a binary input data file (one channel) at `path`, through the
/// library's word writer, so the file has the words the gridding call reads. Every line
/// is parsed even after a failed write: a bad line is reported before a full disk.
long text_to_binary(std::istream& in, const std::string& path) {
    const std::unique_ptr<gridout::ByteFile> out = gridout::disk().create(path);
    if (!out) throw UsageError{"cannot create the temporary file " + path};
    std::string line;
    long number = 0, points = 0;
    bool written = true;
    while (std::getline(in, line)) {
        ++number;
        const auto v = parse_xyz(line, number);
        if (!v) continue;
        written = written && gridout::write_words(*out, std::span<const float>(*v));
        ++points;
    }
    if (!out->close() || !written) throw UsageError{"cannot write the temporary file " + path};
    return points;
}

/// Removes a file when it goes out of scope.
struct RemoveOnExit {
    std::string path;
    ~RemoveOnExit() {
        if (!path.empty()) gridout::disk().remove(path);
    }
};

int run(int argc, char** argv) {
    const Options o = parse_args(argc, argv);
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
        // Nodes on both edges of the region, as gridders with the same region give them.
        r.nx = static_cast<int>(std::lround((g[1] - g[0]) / dx)) + 1;
        r.ny = static_cast<int>(std::lround((g[3] - g[2]) / dy)) + 1;
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

    RemoveOnExit temp;
    if (o.binary_channels > 0) {
        r.datfile = o.input;
        r.maxchan = o.binary_channels;
        r.ichan = o.channel;
    } else {
        temp.path = (std::filesystem::temp_directory_path() /
                     ("minc_points_" + std::to_string(::getpid()) + ".bin"))
                        .string();
        long points = 0;
        if (o.input == "-") {
            points = text_to_binary(std::cin, temp.path);
        } else {
            std::ifstream in(o.input);
            if (!in) throw UsageError{"cannot read " + o.input};
            points = text_to_binary(in, temp.path);
        }
        if (points == 0) throw UsageError{"no x y z line in " + o.input};
        r.datfile = temp.path;
        r.maxchan = 1;
        r.ichan = 1;
    }

    minc::RelaxState state;
    const minc::GridResult res =
        minc::grid(r, state, o.disk ? minc::Stores::disk : minc::Stores::memory);
    if (!res.ok()) {
        std::cerr << "minc: gridding failed with code " << res.code() << ": "
                  << minc::describe(res.status) << "\n";
        return 1;
    }
    if (!o.quiet)
        std::cout << "minc: wrote " << o.output << ": " << r.nx << " x " << r.ny << " nodes, z from "
                  << res.gmin << " to " << res.gmax << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << "minc: " << e.message << "\n(minc --help shows the options)\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "minc: " << e.what() << "\n";
        return 2;
    }
}
