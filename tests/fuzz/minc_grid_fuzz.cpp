// libFuzzer target for a whole gridding call. The first 16 input bytes choose the
// arguments (small grids, spacings, origins, radius, angle, null value, channels, mode,
// orientation, iteration limit, store kind); the rest becomes the input data file,
// either as raw little-endian reals or as points spread over the grid. The call runs in
// a private scratch folder and must end with a documented status; a success leaves a
// complete grid file whose header range is GMIN..GMAX and holds every valid node, a
// failure leaves no grid file, and no scratch file remains either way. A call on disk
// stores has a twin running at the same time in the same folder, writing another grid
// name: both must end alike, with the same grid bytes.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "call_setup.hpp"
#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"
#include "minc/minc.hpp"

#include "fuzz_scratch.hpp"

namespace {

namespace fs = std::filesystem;

using fuzz::require;
using fuzz::Scratch;

// Every status the library documents.
bool documented(int code) {
    return code == 0 || code == -2 || code == -999 || (code <= -1000 && code >= -1011) || code == -1013 ||
           code == -1014 || (code <= -1020 && code >= -1025) || (code <= -1030 && code >= -1037) ||
           code == -1040 || code == -1041;
}

// Reads the argument bytes one after the other; 0 once the input is used up.
class Bytes {
public:
    Bytes(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
    std::uint8_t next() { return at_ < n_ ? d_[at_++] : 0; }
    template <class T, std::size_t N>
    T pick(const T (&table)[N]) {
        return table[next() % N];
    }
    const std::uint8_t* rest() const { return d_ + std::min(at_, n_); }
    std::size_t rest_size() const { return n_ - std::min(at_, n_); }

private:
    const std::uint8_t* d_;
    std::size_t n_;
    std::size_t at_ = 0;
};

constexpr float kInf = INFINITY;
constexpr float kNan = NAN;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 16) return 0;
    Bytes in(data, 16);
    const Scratch scratch("minc");

    // Grid sizes stay small so that an input runs quickly; a few reach past one block
    // (and past the overlap rules), which needs about 180 nodes a side.
    static const int kSizes[] = {1, 2, 5, 6, 7, 10, 11, 12, 17, 25, 40, 64, 0, -3, 190, 230};
    static const float kSpacings[] = {1.0f, 0.5f, 2.5f, 0.1f, 3.0f, 1.0e-3f, 0.0f, -1.0f, kNan, kInf, 7.0f, 1.0e-20f};
    static const float kOrigins[] = {0.0f, -5.0f, 3.5f, 100.25f, -1.0e6f, 1.0e9f, kNan, -kInf, -2147483648.0f, 0.75f};
    static const float kRadii[] = {0.0f, -2.0f, 1.0f, 1.5f, 3.0f, 6.0f, 25.0f, 1.0e6f, kNan, kInf};
    static const float kAngles[] = {0.0f, 1.5f, 30.0f, 60.0f, 90.0f, -45.0f, 44.9f, -400.0f, 2.0f, kNan, kInf, -17.0f};
    static const float kDummies[] = {-99999.0f, 0.0f, 1.0f, kNan, -kInf, -1.0e32f};
    static const float kScales[] = {1.0f, 0.01f, 100.0f, 1.0e30f, 3.0e38f, 1.0e-30f};

    minc::GridRequest r;
    r.outfile = "g.grd";
    r.datfile = "data.bin";
    r.nx = in.pick(kSizes);
    r.ny = in.pick(kSizes);
    r.dx = in.pick(kSpacings);
    const std::uint8_t dy = in.next();  // mostly DY = DX
    r.dy = dy % 4 == 0 ? kSpacings[dy / 4 % std::size(kSpacings)] : r.dx;
    r.x0 = in.pick(kOrigins);
    r.y0 = in.pick(kOrigins);
    r.radius = in.pick(kRadii);
    r.angle = in.pick(kAngles);
    r.dummy = in.pick(kDummies);
    const std::uint8_t ch = in.next();
    r.maxchan = ch % 8 == 7 ? 257 : 1 + ch % 4;
    r.ichan = ch / 8 % 8 == 7 ? r.maxchan + 1 : 1 + ch / 8 % r.maxchan;
    const std::uint8_t mode = in.next();
    r.mode = mode % 5;
    r.iopt = mode / 5 % 3;
    // A short sweep limit keeps the larger grids quick; small grids get the default 512
    // sweeps now and then.
    const std::uint8_t it = in.next();
    const bool small = std::int64_t(r.nx) * std::int64_t(r.ny) <= 4096;
    r.iterations = it % 16 == 0 && small ? 0 : 32 + it % 8;
    const std::uint8_t how = in.next();
    const minc::Stores stores = how % 2 == 0 ? minc::Stores::memory : minc::Stores::disk;
    const bool raw = how / 2 % 4 == 0;
    const float scale = kScales[how / 8 % 6];

    // A rotated call sizes its working grid by the extent of the data in cells, so data
    // spread over many cells of the smaller spacing make a huge grid that takes seconds
    // to solve. Rotated calls are kept to data within about 600 cells: raw positions are
    // folded into twice the requested grid, and calls whose grid spans more are skipped.
    const float w = static_cast<float>(std::max(r.nx, 1)) * r.dx;
    const float h = static_cast<float>(std::max(r.ny, 1)) * r.dy;
    const bool rotated = minc::reduced_angle(r.angle) != 0.0f;
    if (rotated && r.dx > 0.0f && r.dy > 0.0f && std::isfinite(w) && std::isfinite(h) &&
        !(2.4f * (w + h) / std::min(r.dx, r.dy) <= 600.0f))
        return 0;

    // The data file: raw reals, or records whose bytes place the point over the grid
    // (and a little beyond it) and give each channel a value about 0 (never exactly the
    // grid files' dummy -1.0E32, which a data node may hold but no reader can tell from
    // a blank one).
    const std::uint8_t* rest = data + 16;
    const std::size_t nrest = size - 16;
    {
        std::ofstream f("data.bin", std::ios::binary);
        if (raw) {
            std::vector<float> words(nrest / 4);
            if (!words.empty()) std::memcpy(words.data(), rest, 4 * words.size());
            const std::size_t rec = 2 + static_cast<std::size_t>(std::max(r.maxchan, 1));
            auto fold = [](float v, float origin, float span) {
                return std::isfinite(v) && std::isfinite(span) && span > 0.0f ? origin + std::fmod(v - origin, span) : v;
            };
            if (rotated)
                for (std::size_t k = 0; k + 1 < words.size(); k += rec) {
                    words[k] = fold(words[k], r.x0, 2.0f * w);
                    words[k + 1] = fold(words[k + 1], r.y0, 2.0f * h);
                }
            f.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(4 * words.size()));
            f.write(reinterpret_cast<const char*>(rest + 4 * words.size()), static_cast<std::streamsize>(nrest % 4));
        } else {
            const std::size_t words = 2 + static_cast<std::size_t>(std::clamp(r.maxchan, 1, 8));
            for (std::size_t k = 0; k + words <= nrest; k += words) {
                std::vector<float> rec(words);
                rec[0] = r.x0 + (static_cast<float>(rest[k]) / 255.0f * 1.2f - 0.1f) * w;
                rec[1] = r.y0 + (static_cast<float>(rest[k + 1]) / 255.0f * 1.2f - 0.1f) * h;
                for (std::size_t c = 2; c < words; ++c)
                    rec[c] = rest[k + c] == 255 ? r.dummy : (static_cast<float>(rest[k + c]) - 99.5f) * scale;
                f.write(reinterpret_cast<const char*>(rec.data()), static_cast<std::streamsize>(4 * words));
            }
            // The bytes left over make a record cut short.
            const std::size_t tail = nrest % words;
            f.write(reinterpret_cast<const char*>(rest + nrest - tail), static_cast<std::streamsize>(tail));
        }
    }

    // A call on disk stores has a twin at the same time in the same folder.
    const bool twin = stores == minc::Stores::disk;
    minc::GridRequest q = r;
    q.outfile = "h.grd";
    minc::GridResult twin_res;
    std::thread twin_call;
    if (twin) twin_call = std::thread([&] { minc::RelaxState own; twin_res = minc::grid(q, own, stores); });
    minc::RelaxState state;
    const minc::GridResult res = minc::grid(r, state, stores);
    if (twin) twin_call.join();
    require(documented(res.code()));

    std::set<std::string> expect{"data.bin", "minc.log"};
    if (twin && res.ok()) {
        expect.insert("h.grd");
        std::ifstream a("g.grd", std::ios::binary), b("h.grd", std::ios::binary);
        require(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
    }
    require(!twin || twin_res.code() == res.code());
    if (res.ok()) {
        expect.insert("g.grd");
        gridout::GridData g;
        require(gridout::read_grid(gridout::disk(), "g.grd", g) == gridout::GridStatus::ok);
        require(g.header.ne == r.nx && g.header.nv == r.ny);
        require(fs::file_size("g.grd") == 512u + 4u * std::uintmax_t(r.nx) * std::uintmax_t(r.ny));
        require(std::memcmp(&g.header.zmin, &res.gmin, 4) == 0 && std::memcmp(&g.header.zmax, &res.gmax, 4) == 0);
        float lo = gridout::kStatMinStart, hi = gridout::kStatMaxStart;
        bool any = false;
        // The range covers every node not written as the dummy, also a computed value
        // at or below the null bound of readers.
        for (float v : g.values) {
            if (v == gridout::kGridDummy) continue;
            require(std::isfinite(v));
            lo = any ? std::min(lo, v) : v;
            hi = any ? std::max(hi, v) : v;
            any = true;
        }
        // An unrotated grid is written as solved, so its range is exactly GMIN..GMAX. A
        // rotated one is resampled from the solved grid, whose range the header keeps;
        // its edge nodes may be extrapolated a little beyond it.
        if (any && minc::reduced_angle(r.angle) == 0.0f) require(lo == res.gmin && hi == res.gmax);
    }
    require(scratch.names() == expect);
    return 0;
}
