// Text pictures of blanking masks, and an in-memory mask file built from them.
#include "mask_picture.hpp"

#include <stdexcept>

namespace test_support {

namespace {

std::vector<std::string> picture_lines(std::string_view picture) {
    std::vector<std::string> lines;
    std::string line;
    auto flush = [&] {
        if (!line.empty()) lines.push_back(line);
        line.clear();
    };
    for (char ch : picture) {
        if (ch == '\n') flush();
        else if (ch == ' ' || ch == '\t' || ch == '\r') continue;
        else if (ch >= '0' && ch <= '9') line.push_back(ch);
        else throw std::invalid_argument(std::string("mask picture: unexpected character '") + ch + "'");
    }
    flush();
    return lines;
}

}  // namespace

minc::Grid<std::int32_t> parse_picture(std::string_view picture) {
    const std::vector<std::string> lines = picture_lines(picture);
    const int nrow = static_cast<int>(lines.size());
    const int ncol = nrow > 0 ? static_cast<int>(lines[0].size()) : 0;
    minc::Grid<std::int32_t> g(ncol, nrow, 0);
    for (int j = 1; j <= nrow; ++j) {
        const std::string& l = lines[std::size_t(j - 1)];
        if (static_cast<int>(l.size()) != ncol)
            throw std::invalid_argument("mask picture: rows of different lengths");
        for (int i = 1; i <= ncol; ++i) g(i, j) = l[std::size_t(i - 1)] - '0';
    }
    return g;
}

std::string picture_of(const minc::Grid<std::int32_t>& g) {
    std::string out;
    for (int j = 1; j <= g.ny; ++j) {
        for (int i = 1; i <= g.nx; ++i) {
            const std::int32_t v = g(i, j);
            out.push_back(v >= 0 && v <= 9 ? char('0' + v) : '?');
        }
        out.push_back('\n');
    }
    return out;
}

std::string normalize_picture(std::string_view picture) { return picture_of(parse_picture(picture)); }

MaskStore::MaskStore(std::string_view picture) { build(parse_picture(picture)); }

MaskStore::MaskStore(const minc::Grid<std::int32_t>& cells) { build(cells); }

void MaskStore::build(const minc::Grid<std::int32_t>& cells) {
    ncol_ = cells.nx;
    nrow_ = cells.ny;
    file_ = fs_.create(kName);
    minc::MaskHeader h;
    h.ncol = ncol_;
    h.nrow = nrow_;
    if (minc::write_mask_header(*file_, h) != minc::Status::ok)
        throw std::runtime_error("mask store: header");
    // Every row through the record layout, as the tier loop leaves the mask.
    std::vector<std::int32_t> row(static_cast<std::size_t>(ncol_));
    for (int j = 1; j <= nrow_; ++j) {
        for (int i = 1; i <= ncol_; ++i) row[std::size_t(i - 1)] = cells(i, j);
        if (minc::rowda_write(row_file(), std::span<const std::int32_t>(row), j) != minc::Status::ok)
            throw std::runtime_error("mask store: row");
    }
}

minc::Grid<std::int32_t> MaskStore::cells() {
    minc::Grid<std::int32_t> g(ncol_, nrow_, 0);
    for (int j = 1; j <= nrow_; ++j) {
        if (minc::rowda_read(row_file(), g.view().row(j), j) != minc::Status::ok)
            throw std::runtime_error("mask store: row read");
    }
    return g;
}

std::int64_t FailingFile::read(std::span<std::byte> out) {
    if (reads_left_ == 0) return -1;
    if (reads_left_ > 0) --reads_left_;
    ++reads_;
    return inner_.read(out);
}

std::int64_t FailingFile::write(std::span<const std::byte> in) {
    if (writes_left_ == 0) return -1;
    if (writes_left_ > 0) --writes_left_;
    ++writes_;
    return inner_.write(in);
}

}  // namespace test_support
