// Test helper: blanking masks drawn as text pictures.
//
// A picture is a block of text, one line per mask row, one digit per cell (0 blank,
// 1 data, 2 near data). The TOP line is mask ROW 1, the next line row 2, and so on
// (the order in which the passes walk the mask, and the sense of "top" in radius
// clipping). The first character of a line is column 1. Blank lines and all spaces are
// ignored, so pictures can be indented and spaced inside raw string literals.
//
// MaskStore holds such a mask in a MemoryFileSystem file with the real layout of the
// mask file (header record, then one record of RL words per row), and reads it back as
// a picture, so that tests compare pictures with pictures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gridout/byte_file.hpp"
#include "grid_view.hpp"
#include "row_store.hpp"

namespace test_support {

/// Cell values of a picture, node (i, j) = column i, row j, 1-based.
minc::Grid<std::int32_t> parse_picture(std::string_view picture);

/// The picture of a grid: one line per row (row 1 first), digits, each line ending in '\n'.
/// Values outside 0..9 are written as '?'.
std::string picture_of(const minc::Grid<std::int32_t>& g);

/// A picture in the canonical form picture_of writes (spaces and blank lines removed).
std::string normalize_picture(std::string_view picture);

/// A mask file in memory with the real record layout.
class MaskStore {
public:
    /// Builds the store from a picture.
    explicit MaskStore(std::string_view picture);
    /// Builds the store from a grid of values.
    explicit MaskStore(const minc::Grid<std::int32_t>& cells);

    /// The mask file as the passes take it (file and record length).
    minc::RowFile row_file() { return minc::RowFile{file_.get(), minc::record_words(ncol_)}; }
    /// The mask file reached through another ByteFile (for example a failing wrapper).
    minc::RowFile row_file(gridout::ByteFile& through) {
        return minc::RowFile{&through, minc::record_words(ncol_)};
    }
    gridout::ByteFile& file() { return *file_; }

    int ncol() const { return ncol_; }
    int nrow() const { return nrow_; }

    /// The mask as it now is in the file (read through the record layout).
    minc::Grid<std::int32_t> cells();
    std::string picture() { return picture_of(cells()); }
    /// The raw bytes of the file, to show that nothing was written.
    std::vector<std::byte> bytes() const { return fs_.contents(kName); }

private:
    void build(const minc::Grid<std::int32_t>& cells);
    static constexpr const char* kName = "mask";
    gridout::MemoryFileSystem fs_;
    std::unique_ptr<gridout::ByteFile> file_;
    int ncol_ = 0, nrow_ = 0;
};

/// A ByteFile that forwards to another one and starts failing after a number of
/// successful reads (or writes): every later read (write) returns -1 and moves nothing.
/// Counts only calls that move data; seeks always pass.
class FailingFile final : public gridout::ByteFile {
public:
    static constexpr int kNever = -1;
    FailingFile(gridout::ByteFile& inner, int reads_allowed, int writes_allowed = kNever)
        : inner_(inner), reads_left_(reads_allowed), writes_left_(writes_allowed) {}

    std::int64_t read(std::span<std::byte> out) override;
    std::int64_t write(std::span<const std::byte> in) override;
    std::int64_t seek(std::int64_t offset) override { return inner_.seek(offset); }
    std::int64_t size() override { return inner_.size(); }
    bool close() override { return true; }

    int reads() const { return reads_; }
    int writes() const { return writes_; }

private:
    gridout::ByteFile& inner_;
    int reads_left_, writes_left_;
    int reads_ = 0, writes_ = 0;
};

}  // namespace test_support
