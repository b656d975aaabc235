// GRD grid file header, validating reader, the staged output file and the grid writer
// GEOOUT.
#include "gridout/grid_file.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace gridout {

const char* to_string(GridStatus s) {
    switch (s) {
    case GridStatus::ok: return "ok";
    case GridStatus::cannot_open: return "input file cannot be opened";
    case GridStatus::cannot_create: return "output file cannot be created";
    case GridStatus::not_writable: return "output file exists and may not be written";
    case GridStatus::write_failed: return "output file could not be written";
    case GridStatus::read_failed: return "input file could not be read";
    case GridStatus::short_source: return "input ended before all its values";
    case GridStatus::bad_header: return "input is not a valid grid file";
    case GridStatus::bad_arguments: return "invalid arguments";
    case GridStatus::not_finite: return "a value is not finite once transformed back";
    }
    return "unknown status";
}

bool try_zeros(std::vector<float>& v, std::size_t n) {
    try {
        v.assign(n, 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

GridHeader blank_header() {
    GridHeader h;
    h.label.fill(' ');
    h.map_number.fill(' ');
    h.user.fill(' ');
    return h;
}

namespace {

// Every header field with its byte offset: the one list that both encode_header and
// decode_header walk, so the two directions cannot disagree. Fields are copied byte for
// byte: the file is little-endian and so is every host this builds for (byte_file.hpp
// asserts it).
template <class Header, class Visit>
void each_field(Header& h, Visit visit) {
    visit(0, h.element_size);
    visit(4, h.element_type);
    visit(8, h.ne);
    visit(12, h.nv);
    visit(16, h.kx);
    visit(20, h.de);
    visit(28, h.dv);
    visit(36, h.x0);
    visit(44, h.y0);
    visit(52, h.angle);
    visit(60, h.base);
    visit(68, h.scale);
    visit(76, h.label);
    visit(124, h.map_number);
    visit(140, h.projection);
    visit(144, h.x_unit);
    visit(148, h.y_unit);
    visit(152, h.z_unit);
    visit(156, h.valid_nodes);
    visit(160, h.zmin);
    visit(164, h.zmax);
    visit(168, h.median);
    visit(172, h.mean);
    visit(176, h.variance);
    visit(184, h.flag);
    visit(188, h.user);
}

// Reads exactly out.size() bytes.
GridStatus read_fully(ByteFile& f, std::span<std::byte> out) {
    const std::int64_t got = read_up_to(f, out);
    if (got < 0) return GridStatus::read_failed;
    return got < static_cast<std::int64_t>(out.size()) ? GridStatus::short_source : GridStatus::ok;
}

}  // namespace

std::array<std::byte, kGridHeaderBytes> encode_header(const GridHeader& h) {
    std::array<std::byte, kGridHeaderBytes> b{};
    each_field(h, [&b](std::size_t at, const auto& v) { std::memcpy(b.data() + at, &v, sizeof v); });
    return b;
}

GridHeader decode_header(std::span<const std::byte, kGridHeaderBytes> b) {
    GridHeader h;
    each_field(h, [&b](std::size_t at, auto& v) { std::memcpy(&v, b.data() + at, sizeof v); });
    return h;
}

GridHeader frame_header(const GridFrame& f, float zmin, float zmax) {
    GridHeader h = blank_header();
    h.ne = f.ne;
    h.nv = f.nv;
    h.kx = f.order == 1 ? 1 : -2;
    h.de = static_cast<double>(f.dx);
    h.dv = static_cast<double>(f.dy);
    h.x0 = static_cast<double>(f.x0);
    h.y0 = static_cast<double>(f.y0);
    h.zmin = zmin;
    h.zmax = zmax;
    return h;
}

bool write_grid_row(ByteFile& f, std::span<const float> row, int j, int nv, int order) {
    const std::int64_t at = kGridHeaderBytes + std::int64_t(file_row(order, nv, j)) * std::int64_t(row.size()) * 4;
    return seek_to(f, at) && write_words(f, row);
}

GridStatus write_header(ByteFile& f, const GridHeader& h) {
    const auto bytes = encode_header(h);
    if (!seek_to(f, 0) || f.write(bytes) != kGridHeaderBytes) return GridStatus::write_failed;
    return GridStatus::ok;
}

// ---- reading -----------------------------------------------------------------------

GridStatus read_grid_header(ByteFile& f, GridHeader& h) {
    if (!seek_to(f, 0)) return GridStatus::read_failed;
    std::array<std::byte, kGridHeaderBytes> bytes{};
    if (GridStatus s = read_fully(f, bytes); s != GridStatus::ok) return s;
    GridHeader got = decode_header(bytes);
    if (got.element_size != 4 || got.element_type != 2) return GridStatus::bad_header;
    if (got.ne < 1 || got.nv < 1) return GridStatus::bad_header;
    if (!std::isfinite(got.de) || !std::isfinite(got.dv) || !std::isfinite(got.x0) ||
        !std::isfinite(got.y0))
        return GridStatus::bad_header;
    // Compared in values, not bytes: NE x NV stays below 2^62, but x 4 could overflow.
    const std::int64_t values = std::int64_t(got.ne) * got.nv;
    const std::int64_t have = f.size();
    if (have < 0) return GridStatus::read_failed;
    if (have < kGridHeaderBytes || (have - kGridHeaderBytes) / 4 < values) return GridStatus::bad_header;
    h = got;
    return GridStatus::ok;
}

GridStatus read_grid_values(ByteFile& f, const GridHeader& h, std::span<float> out) {
    if (h.ne < 1 || h.nv < 1 || out.size() != std::size_t(h.ne) * std::size_t(h.nv))
        return GridStatus::bad_arguments;
    if (!seek_to(f, kGridHeaderBytes)) return GridStatus::read_failed;
    return read_fully(f, std::as_writable_bytes(out));
}

GridStatus read_grid_row(ByteFile& f, const GridHeader& h, int place, std::span<float> out) {
    if (h.ne < 1 || place < 0 || place >= h.nv || out.size() != std::size_t(h.ne))
        return GridStatus::bad_arguments;
    const std::int64_t at = kGridHeaderBytes + std::int64_t(place) * h.ne * 4;
    if (!seek_to(f, at)) return GridStatus::read_failed;
    return read_fully(f, std::as_writable_bytes(out));
}

float GridData::node(int i, int j) const {
    const int place = file_row(header.kx, header.nv, j);
    return values[std::size_t(place) * std::size_t(header.ne) + std::size_t(i - 1)];
}

GridStatus read_grid(FileSystem& fs, const std::string& name, GridData& out) {
    auto f = fs.open(name, OpenMode::read_only);
    if (!f) return GridStatus::cannot_open;
    GridHeader h;
    if (GridStatus s = read_grid_header(*f, h); s != GridStatus::ok) return s;
    std::vector<float> values;
    if (!try_zeros(values, std::size_t(h.ne) * std::size_t(h.nv))) return GridStatus::bad_header;
    if (GridStatus s = read_grid_values(*f, h, values); s != GridStatus::ok) return s;
    out.header = h;
    out.values = std::move(values);
    return GridStatus::ok;
}

// ---- the pending output file -------------------------------------------------------

GridStatus PendingFile::create() {
    StageError why = StageError::none;
    staged_ = fs_.stage(name_, why);
    if (staged_) return GridStatus::ok;
    return why == StageError::not_writable ? GridStatus::not_writable : GridStatus::cannot_create;
}

GridStatus PendingFile::commit() {
    if (!staged_) return GridStatus::write_failed;
    const bool placed = staged_->commit();
    staged_.reset();
    return placed ? GridStatus::ok : GridStatus::write_failed;
}

// ---- GEOOUT ------------------------------------------------------------------------

RowSource RowSource::memory_by_ihand(std::span<const float> g, int ihand) {
    const RowOrder o = ihand == 0 ? RowOrder::rows
                       : ihand == -1 ? RowOrder::rows_reversed
                                     : RowOrder::columns;
    return memory(g, o);
}

float back_transform(float v, int mode) {
    // The single-precision e of the gridding library; keeping it (rather than a more
    // exact e) keeps written values identical to the library's other implementations.
    constexpr float kE = 2.7182817f;
    if (mode == 2) return std::pow(kE, v);
    if (mode == 3) {
        // Undoes z -> 1 + ln z (z > 1) and z -> -1 - ln(-z) (z < -1); |z| <= 1 is kept.
        if (v > 1.0f) return std::pow(kE, v - 1.0f);
        if (v < -1.0f) return -std::pow(kE, -1.0f - v);
    }
    return v;
}

namespace {

GeooutResult failure(GridStatus s) {
    GeooutResult r;
    r.status = s;
    return r;
}

// Fetches row k (1-based) of the source into row.
GridStatus fetch_row(const RowSource& src, int k, int ncol, int nrow, std::span<float> row) {
    if (src.file) return read_fully(*src.file, std::as_writable_bytes(row));
    const std::size_t nc = std::size_t(ncol);
    switch (src.order) {
    case RowOrder::rows:
        std::copy_n(src.grid.begin() + std::ptrdiff_t(std::size_t(k - 1) * nc), nc, row.begin());
        break;
    case RowOrder::rows_reversed:
        std::copy_n(src.grid.begin() + std::ptrdiff_t(std::size_t(nrow - k) * nc), nc, row.begin());
        break;
    case RowOrder::columns:
        // GRID(k, c): the array read across its first index.
        for (std::size_t c = 0; c < nc; ++c) row[c] = src.grid[c * nc + std::size_t(k - 1)];
        break;
    }
    return GridStatus::ok;
}

}  // namespace

GeooutResult geoout(RowSource src, FileSystem& out_fs, const std::string& name,
                    const GeooutParams& p) {
    const int ncol = p.ncol, nrow = p.nrow;
    GeooutResult result;
    if (ncol < 1 || nrow < 1) return failure(GridStatus::bad_arguments);
    // A header with a non-finite spacing or origin is one no reader accepts.
    if (!finite_frame(p.dx, p.dy, p.xorg, p.yorg)) return failure(GridStatus::bad_arguments);
    if (!src.file) {
        if (src.grid.size() < std::size_t(ncol) * std::size_t(nrow)) return failure(GridStatus::bad_arguments);
        if (src.order == RowOrder::columns && ncol != nrow) return failure(GridStatus::bad_arguments);
    }
    std::vector<float> row;
    if (!try_zeros(row, std::size_t(ncol))) return failure(GridStatus::bad_arguments);

    PendingFile out(out_fs, name);
    if (GridStatus s = out.create(); s != GridStatus::ok) return failure(s);
    ByteFile& f = out.file();

    // Until the statistics are rewritten at the end these mark the file incomplete.
    const GridFrame frame{
        .ne = ncol, .nv = nrow, .order = p.iopt, .dx = p.dx, .dy = p.dy, .x0 = p.xorg, .y0 = p.yorg};
    const GridHeader h = frame_header(frame, 1.0e30f, -1.0e30f);
    if (GridStatus s = write_header(f, h); s != GridStatus::ok) return failure(s);

    if (src.file && !seek_to(*src.file, 0)) return failure(GridStatus::read_failed);

    RangeTracker range;
    for (int k = 1; k <= nrow; ++k) {
        if (GridStatus s = fetch_row(src, k, ncol, nrow, row); s != GridStatus::ok) return failure(s);
        for (float& v : row) {
            if (v == p.dummy) {
                v = kGridDummy;
                continue;
            }
            v = back_transform(v, p.mode);
            if (!std::isfinite(v)) return failure(GridStatus::not_finite);
            range.add(v);
        }
        if (!write_grid_row(f, std::span<const float>(row), k, nrow, p.iopt))
            return failure(GridStatus::write_failed);
    }

    result.gmin = range.min();
    result.gmax = range.max();
    if (!seek_to(f, kZminOffset) || !write_word(f, result.gmin) || !write_word(f, result.gmax))
        return failure(GridStatus::write_failed);
    result.status = out.commit();
    return result;
}

}  // namespace gridout
