// Input data pass: the input records (a data file or points in memory), RNGDAT (extent
// of the accepted points, for a rotated call) and SEQDAT (sorting the points into the
// linked record chains of the data scratch store, one chain per block, home block
// first, then the overlap copies). WRBLK2 writes one record of that store.
#include "data_pass.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>

#include "grid_view.hpp"

namespace minc {
namespace {

using gridout::ByteFile;

// One input record after rotation and scaling to cell units.
struct InputPoint {
    float x = 0.0f, y = 0.0f, v = 0.0f;
};

using ReadResult = InputRecords::Read;

// Reads `bytes` bytes; a read that transfers nothing is the end of the data, a short
// one a record cut short by the end of the file, and a negative count a read error.
ReadResult read_exact(ByteFile& data, std::span<std::byte> bytes) {
    const std::int64_t n = data.read(bytes);
    if (n < 0) return ReadResult::failed;
    return n == static_cast<std::int64_t>(bytes.size()) ? ReadResult::record : ReadResult::end;
}

// Reads the next input record into p: rotated about the centre when the call is
// rotated, then scaled to cell units. `count` is the number of records read so far in
// this pass; a record beyond t.max_records is reported as too_many.
ReadResult next_record(InputRecords& data, const DataTransform& t, InputPoint& p, std::int64_t& count) {
    float x = 0.0f, y = 0.0f, v = 0.0f;
    if (ReadResult r = data.next(t, x, y, v); r != ReadResult::record) return r;
    if (count >= t.max_records) return ReadResult::too_many;
    ++count;
    if (t.rotated) {
        const float xd = x - t.xr, yd = y - t.yr;
        x = xd * t.cos_a - yd * t.sin_a;
        y = xd * t.sin_a + yd * t.cos_a;
    }
    p.x = x / t.dx;
    p.y = y / t.dy;
    p.v = v;
    return ReadResult::record;
}

// A record is dropped when its value is the null value. A value or position that is
// not finite (NaN or infinite in the file, or a position overflowing in the scaling)
// would slip through every later comparison, so it is dropped the same way.
bool is_null(const InputPoint& p, float dummy) {
    return p.v == dummy || !std::isfinite(p.v) || !std::isfinite(p.x) || !std::isfinite(p.y);
}

// MODE 2 takes the logarithm, so it refuses values <= 0; the other modes take any value.
bool mode_accepts(int mode, float v) { return !(mode == 2 && v <= 0.0f); }

// MODE transform of an accepted value; false when the mode refuses it.
bool transform_value(int mode, float& v) {
    if (!mode_accepts(mode, v)) return false;
    if (mode == 2) {
        v = std::log(v);
    } else if (mode == 3) {
        // Signed logarithm: continuous at +-1, linear in between.
        if (v > 1.0f) {
            v = 1.0f + std::log(v);
        } else if (v < -1.0f) {
            v = -1.0f - std::log(-v);
        }
    }
    return true;
}

// Byte offset of record irec (1-based) of the data scratch store; a record is a link,
// a count and `words` point words.
std::int64_t record_offset(int irec, std::size_t words) {
    return (static_cast<std::int64_t>(irec) - 1) * (static_cast<std::int64_t>(words) + 2) * 4;
}

}  // namespace

bool InputRecords::rewind() {
    next_ = 0;
    return file_ == nullptr || gridout::seek_to(*file_, 0);
}

InputRecords::Read InputRecords::next(const DataTransform& t, float& x, float& y, float& v) {
    if (file_ == nullptr) {
        if (next_ >= points_.size()) return Read::end;
        const Point& p = points_[next_++];
        x = p.x;
        y = p.y;
        v = p.value;
        return Read::record;
    }
    assert(t.maxchan >= 1 && chan_.size() >= static_cast<std::size_t>(t.maxchan));
    assert(t.ichan >= 1 && t.ichan <= t.maxchan);
    // A final record cut short by the end of the file counts as the end of the data: it
    // is dropped rather than completed with the channels of the record before it.
    float xy[2] = {0.0f, 0.0f};
    for (std::span<std::byte> part : {std::as_writable_bytes(std::span<float>(xy)),
                                      std::as_writable_bytes(chan_.first(static_cast<std::size_t>(t.maxchan)))}) {
        if (Read r = read_exact(*file_, part); r != Read::record) return r;
    }
    x = xy[0];
    y = xy[1];
    v = chan_[static_cast<std::size_t>(t.ichan - 1)];
    return Read::record;
}

DataRange rngdat(InputRecords& data, const DataTransform& t) {
    DataRange r;
    if (!data.rewind()) {
        r.read_failed = true;
        return r;
    }
    InputPoint p;
    ReadResult got;
    std::int64_t count = 0;
    while ((got = next_record(data, t, p, count)) == ReadResult::record) {
        if (is_null(p, t.dummy)) continue;
        if (!mode_accepts(t.mode, p.v)) continue;
        r.xmin = std::min(r.xmin, p.x);
        r.xmax = std::max(r.xmax, p.x);
        r.ymin = std::min(r.ymin, p.y);
        r.ymax = std::max(r.ymax, p.y);
    }
    r.read_failed = got == ReadResult::failed;
    r.too_many = got == ReadResult::too_many;
    return r;
}

Status wrblk2(ByteFile& scratch, int irec, int link, int npts, std::span<const float> data) {
    const std::int32_t head[2] = {link, npts};
    if (!gridout::seek_to(scratch, record_offset(irec, data.size())) ||
        !gridout::write_words(scratch, std::span<const std::int32_t>(head)) ||
        !gridout::write_words(scratch, data)) {
        return Status::store_failed;
    }
    return Status::ok;
}

Status read_data_record(ByteFile& scratch, int irec, DataRecordHead& head, std::span<float> data) {
    if (!gridout::seek_to(scratch, record_offset(irec, data.size())) || !gridout::read_word(scratch, head.link) ||
        !gridout::read_word(scratch, head.count) || !gridout::read_words(scratch, data)) {
        return Status::store_failed;
    }
    return Status::ok;
}

namespace {

// The per-block buffers of the pass and the chains they become: each block gathers
// points in its buffer of nw words; a full buffer goes to the store at once, linked to
// the next free record, which becomes the block's current record.
class BlockChains {
public:
    BlockChains(ByteFile& scratch, int nblocks, int nw, float dummy, DataPassBuffers b)
        : scratch_(scratch), nblocks_(nblocks), nw_(nw), b_(b) {
        for (int c = 1; c <= nblocks; ++c) {
            b_.current[static_cast<std::size_t>(c - 1)] = c;
            b_.fill[static_cast<std::size_t>(c - 1)] = 1;
        }
        std::fill_n(b_.work.begin(), static_cast<std::size_t>(nblocks) * unw(), dummy);
    }

    // Appends a point to block c's buffer.
    Status store(int c, float xn, float yn, float z) {
        auto buf = buffer(c);
        std::int32_t& k = b_.fill[static_cast<std::size_t>(c - 1)];
        buf[static_cast<std::size_t>(k - 1)] = xn;
        buf[static_cast<std::size_t>(k)] = yn;
        buf[static_cast<std::size_t>(k + 1)] = z;
        k += 3;
        if (k >= nw_) {
            std::int32_t& cur = b_.current[static_cast<std::size_t>(c - 1)];
            if (Status s = wrblk2(scratch_, cur, next_free_, (k - 1) / 3, buf); s != Status::ok) return s;
            cur = next_free_;
            ++next_free_;
            k = 1;
        }
        return Status::ok;
    }

    // Every chain ends in a record with link 0, also the chain of a block without data.
    Status close() {
        for (int c = 1; c <= nblocks_; ++c) {
            const auto ci = static_cast<std::size_t>(c - 1);
            if (Status s = wrblk2(scratch_, b_.current[ci], 0, (b_.fill[ci] - 1) / 3, buffer(c)); s != Status::ok)
                return s;
        }
        return Status::ok;
    }

    int records() const { return next_free_ - 1; }

private:
    std::size_t unw() const { return static_cast<std::size_t>(nw_); }
    std::span<float> buffer(int c) { return b_.work.subspan(static_cast<std::size_t>(c - 1) * unw(), unw()); }

    ByteFile& scratch_;
    int nblocks_, nw_;
    DataPassBuffers b_;
    int next_free_ = nblocks_ + 1;
};

// Acceptance window: the extended grid, less 0.01 node at each edge.
struct Window {
    float xlo, xhi, ylo, yhi;
    bool holds(float x, float y) const { return !(y > yhi || y < ylo || x < xlo || x > xhi); }
};
Window acceptance_window(const DataPassFrame& g) {
    const float eps = 0.01f * g.h;
    return Window{g.xe0 + eps, g.xe0 + static_cast<float>(g.ncu + 4 - 1) * g.h - eps, g.ye0 + eps,
                  g.ye0 + static_cast<float>(g.nru + 4 - 1) * g.h - eps};
}

// How a point at node position (xn, yn) is spread over the blocks: its home block, then
// the overlap copies to its neighbours below and to the left when it lies within
// overlap - 0.1 nodes of the start of its home block.
class BlockSpread {
public:
    explicit BlockSpread(const Partition& part)
        : nsect_(part.nsect),
          ntier_(part.ntier),
          s_step_(static_cast<float>(part.section_step())),
          t_step_(static_cast<float>(part.tier_step())),
          ou_((static_cast<float>(part.overlap) - 0.1f) / s_step_),
          ow_((static_cast<float>(part.overlap) - 0.1f) / t_step_) {}

    Status spread(BlockChains& chains, float xn, float yn, float z) const {
        // Home block: section k takes (k - 1) S + 1.005 <= xn < k S + 1.005, so a
        // point on the first node of a section belongs to the section before it.
        const float u = xn / s_step_;
        const float w = yn / t_step_;
        int section = trunc_int(u + 1.0f - 1.005f / s_step_);
        int tier = trunc_int(w + 1.0f - 1.005f / t_step_);
        // The window keeps xn, yn >= 1.01, so both are at least 1; the clamp only
        // guards the buffers against a caller's inconsistent window.
        section = std::max(section, 1);
        tier = std::max(tier, 1);
        // fu and fw: the point's position within the home block in units of the step.
        float fu = u - static_cast<float>(section - 1);
        float fw = w - static_cast<float>(tier - 1);
        if (section > nsect_) {
            section = nsect_;
            fu = 1.0f;
        }
        if (tier > ntier_) {
            tier = ntier_;
            fw = 1.0f;
        }
        const int b = (tier - 1) * nsect_ + section;

        // Home first, then below, below-left, left: this order fixes the order of
        // the points in every chain and so the order of their accumulation.
        Status s = chains.store(b, xn, yn, z);
        if (s == Status::ok && tier != 1 && fw <= ow_) s = chains.store(b - nsect_, xn, yn, z);
        if (s == Status::ok && section != 1 && tier != 1 && fw <= ow_ && fu <= ou_)
            s = chains.store(b - nsect_ - 1, xn, yn, z);
        if (s == Status::ok && section != 1 && fu <= ou_) s = chains.store(b - 1, xn, yn, z);
        return s;
    }

private:
    int nsect_, ntier_;
    float s_step_, t_step_;
    float ou_, ow_;
};

// Reads every input record and spreads the accepted points over the chains.
Status sort_points(InputRecords& data, const DataPassFrame& g, const DataTransform& t,
                   const BlockSpread& spread, BlockChains& chains, int& accepted) {
    const float h = g.h, xe0 = g.xe0, ye0 = g.ye0;
    const Window window = acceptance_window(g);
    if (!data.rewind()) return Status::input_failed;
    InputPoint p;
    ReadResult got;
    std::int64_t count = 0;
    while ((got = next_record(data, t, p, count)) == ReadResult::record) {
        if (is_null(p, t.dummy)) continue;
        if (!window.holds(p.x, p.y)) continue;
        float z = p.v;
        if (!transform_value(t.mode, z)) continue;
        ++accepted;
        const float xn = p.x / h + (1.0f - xe0 / h);
        const float yn = p.y / h + (1.0f - ye0 / h);
        if (Status s = spread.spread(chains, xn, yn, z); s != Status::ok) return s;
    }
    // A read error is not the end of the data: the points read so far are not all.
    if (got == ReadResult::failed) return Status::input_failed;
    if (got == ReadResult::too_many) return Status::too_much_data;
    return Status::ok;
}

}  // namespace

DataPassResult seqdat(InputRecords& data, ByteFile& scratch, const DataPassFrame& g,
                      const Partition& part, const DataTransform& t, DataPassBuffers buffers) {
    const int nblocks = part.nsect * part.ntier;
    assert(g.nw >= 3 && nblocks >= 1);
    assert(buffers.work.size() >= static_cast<std::size_t>(nblocks) * static_cast<std::size_t>(g.nw));
    assert(buffers.fill.size() >= static_cast<std::size_t>(nblocks) &&
           buffers.current.size() >= static_cast<std::size_t>(nblocks));

    DataPassResult res;
    // Every point's home block is found by dividing by the steps. A partition whose
    // blocks are no wider (taller) than their overlap, as a narrow rotated working grid
    // that still needs several blocks gets, has none: it cannot be gridded.
    if (part.section_step() < 1 || part.tier_step() < 1) {
        res.status = Status::no_partition;
        return res;
    }
    BlockChains chains(scratch, nblocks, g.nw, t.dummy, buffers);
    res.status = sort_points(data, g, t, BlockSpread(part), chains, res.accepted);
    if (res.status != Status::ok) return res;
    res.records = chains.records();
    res.status = chains.close();
    if (res.status == Status::ok && res.accepted == 0) res.status = Status::no_data;
    return res;
}

}  // namespace minc
