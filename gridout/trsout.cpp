// TRSOUT: row-by-row merge of a row-addressed file and a companion grid into a grid file,
// with the plane added back and the value range tracked for the header and the log.
#include "gridout/trsout.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "gridout/real2char.hpp"

namespace gridout {

std::string trsout_file_name(std::string_view text) {
    text = text.substr(0, std::min<std::size_t>(text.size(), 256));
    std::size_t end = text.find('\0');
    if (end == std::string_view::npos) end = text.find(' ');
    std::string name(text.substr(0, end));
    if (name.empty()) return "outfile.grd";
    return name;
}

namespace {

TrsoutResult failure(GridStatus s) {
    TrsoutResult r;
    r.status = s;
    return r;
}

// Copies the whole of `from` into `to` at its current position.
bool copy_file(ByteFile& from, ByteFile& to) {
    if (!seek_to(from, 0)) return false;
    std::array<std::byte, 65536> chunk{};
    for (;;) {
        std::int64_t n = from.read(chunk);
        if (n < 0) return false;
        if (n == 0) return true;
        if (to.write(std::span<const std::byte>(chunk).first(std::size_t(n))) != n) return false;
    }
}

// Starts the output: a fresh header (rows stored last first, KX -2; every statistics
// word holds the caller's null and the range words are rewritten at the end), or, when
// appending, the earlier contents carried into the temporary, so the file under the
// name is replaced only by a complete, longer one.
GridStatus start_output(FileSystem& out_fs, const std::string& name, ByteFile& f, const TrsoutParams& p) {
    if (p.iappend == 0) {
        const GridFrame frame{
            .ne = p.ne, .nv = p.nv, .order = -2, .dx = p.dx, .dy = p.dy, .x0 = p.x_first, .y0 = p.y_first};
        GridHeader h = frame_header(frame, p.dummy, p.dummy);
        h.median = p.dummy;
        h.mean = p.dummy;
        h.variance = static_cast<double>(p.dummy);
        return write_header(f, h);
    }
    if (!out_fs.exists(name)) return GridStatus::ok;
    auto old = out_fs.open(name, OpenMode::read_only);
    if (!old) return GridStatus::cannot_open;
    return copy_file(*old, f) ? GridStatus::ok : GridStatus::write_failed;
}

// Two records of LREC words: the input row in b1, the row file's record in b2.
struct RowBuffers {
    std::vector<float> b1, b2;
};

// Writes the NV rows: each node that the mask lets through takes the row file's value,
// plus the trend plane when asked; `range` collects the values written.
GridStatus transform_rows(ByteFile& luin, ByteFile& lurow, ByteFile& f, const TrsoutParams& p,
                          RowBuffers& buf, RangeTracker& range) {
    std::vector<float>& b1 = buf.b1;
    std::vector<float>& b2 = buf.b2;
    if (!seek_to(luin, kGridHeaderBytes)) return GridStatus::read_failed;
    const bool add_plane = p.itrend == 1 && p.icode != 112;
    const std::size_t first = std::size_t(p.ioff);
    const std::size_t count = std::size_t(p.ne);
    const std::int64_t needed_bytes = (std::int64_t(p.ioff) + p.ne) * 4;

    for (int r = 1; r <= p.nv; ++r) {
        std::span<float> b1_row = std::span<float>(b1).subspan(first, count);
        const std::int64_t got_in = read_up_to(luin, std::as_writable_bytes(b1_row));
        if (got_in < 0) return GridStatus::read_failed;
        if (got_in < std::int64_t(count) * 4) return GridStatus::short_source;

        // A record may end early at the end of the row file; only the words in use
        // must be there.
        const std::int64_t at = (std::int64_t(p.irec0) + r - 1) * p.lrec * 4;
        if (!seek_to(lurow, at)) return GridStatus::read_failed;
        const std::int64_t got_row = read_up_to(lurow, std::as_writable_bytes(std::span<float>(b2)));
        if (got_row < 0) return GridStatus::read_failed;
        if (got_row < needed_bytes) return GridStatus::short_source;

        for (int c = 1; c <= p.ne; ++c) {
            const std::size_t k = first + std::size_t(c - 1);
            if (p.imask < 0 && is_null(b1[k])) continue;
            b1[k] = b2[k];
            if (add_plane)
                b1[k] = b1[k] + p.a0 + p.ax * static_cast<float>(c - 1) * p.dx +
                        p.ay * static_cast<float>(r - 1) * p.dy;
            if (!is_null(b1[k])) range.add(b1[k]);
        }
        if (!write_words(f, std::span<const float>(b1_row))) return GridStatus::write_failed;
    }
    return GridStatus::ok;
}

// The log line of a fresh output's range.
std::string range_line(float zmin, float zmax) {
    std::array<char, 14> lo{}, hi{};
    real2char(zmin, 14, 4, lo);
    real2char(zmax, 14, 4, hi);
    std::string line = "Transformed range : ";
    line.append(lo.data(), lo.size());
    line.append("   ");
    // Only the first 12 characters of the largest value are logged (its last two
    // decimals fall off); kept on purpose, the log's columns are laid out for it.
    line.append(hi.data(), 12);
    line.append("\r\n");
    return line;
}

TrsoutResult run(FileSystem& out_fs, std::string_view grdfile, ByteFile& luin, ByteFile& lurow,
                 const TrsoutParams& p) {
    if (p.ne < 1 || p.nv < 1 || p.ioff < 0 || p.irec0 < 0 || p.lrec < 1 ||
        std::int64_t(p.ioff) + p.ne > p.lrec || !finite_frame(p.dx, p.dy, p.x_first, p.y_first))
        return failure(GridStatus::bad_arguments);
    RowBuffers buf;
    if (!try_zeros(buf.b1, std::size_t(p.lrec)) || !try_zeros(buf.b2, std::size_t(p.lrec)))
        return failure(GridStatus::bad_arguments);

    const std::string name = trsout_file_name(grdfile);
    PendingFile out(out_fs, name);
    if (GridStatus s = out.create(); s != GridStatus::ok) return failure(s);
    ByteFile& f = out.file();
    if (GridStatus s = start_output(out_fs, name, f, p); s != GridStatus::ok) return failure(s);

    RangeTracker range;
    if (GridStatus s = transform_rows(luin, lurow, f, p, buf, range); s != GridStatus::ok) return failure(s);

    TrsoutResult result;
    result.zmin = range.min();
    result.zmax = range.max();
    if (p.iappend == 0) {
        if (!seek_to(f, kZminOffset) || !write_word(f, result.zmin) || !write_word(f, result.zmax))
            return failure(GridStatus::write_failed);
    }
    result.status = out.commit();
    if (result.status != GridStatus::ok) return failure(result.status);
    if (p.iappend == 0) result.log_line = range_line(result.zmin, result.zmax);
    return result;
}

}  // namespace

TrsoutResult trsout(FileSystem& out_fs, std::string_view grdfile, ByteFile& luin,
                    ByteFile& lurow, const TrsoutParams& p) {
    TrsoutResult result = run(out_fs, grdfile, luin, lurow, p);
    lurow.close();
    return result;
}

}  // namespace gridout
