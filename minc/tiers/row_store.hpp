// Row scratch store: the record layouts of the grid row file, the mask file and the
// section store, and the small routines that move rows and blocks in and out.
//
//  grid row file / template output: rows of NCU reals, one after the other, no header.
//  mask file: records of RL = max(NCT + 1, 30) words; record 0 the header
//             (NCT, NRT, 1, x origin, 1.0, y origin, 1.0, zeros), record r = mask row r:
//             a lead word 0 then NCT integers. Record r starts at byte r * RL * 4.
//  section store: slots of NB = CPB * RPB words; slot k (1-based) at byte (k - 1) * NB * 4.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "gridout/byte_file.hpp"
#include "minc/status.hpp"

namespace minc {

/// Record length in words of a row-addressed file of ncol columns.
inline int record_words(int ncol) { return std::max(ncol + 1, 30); }

/// A row-addressed file and its record length.
struct RowFile {
    gridout::ByteFile* file = nullptr;
    int rl = 30;  // record length in words
};

/// ROWDA, write mode: row irow (1-based; 0 is the header) as lead word 0 then the values.
template <gridout::Word T>
Status rowda_write(RowFile f, std::span<const T> data, int irow) {
    const std::int64_t at = std::int64_t(irow) * f.rl * 4;
    if (!gridout::seek_to(*f.file, at) || !gridout::write_word<std::int32_t>(*f.file, 0) ||
        !gridout::write_words(*f.file, data))
        return Status::store_failed;
    return Status::ok;
}

/// ROWDA, read mode: the values of row irow (the lead word is skipped).
template <gridout::Word T>
Status rowda_read(RowFile f, std::span<T> data, int irow) {
    const std::int64_t at = std::int64_t(irow) * f.rl * 4 + 4;
    if (!gridout::seek_to(*f.file, at) || !gridout::read_words(*f.file, data))
        return Status::store_failed;
    return Status::ok;
}

/// ROWIO: appends values at the current position (no seek).
inline Status rowio(gridout::ByteFile& f, std::span<const float> data) {
    return gridout::write_words(f, data) ? Status::ok : Status::store_failed;
}

/// WRBLK: writes a block as slot (1-based) of a store whose slots hold nb words.
template <gridout::Word T>
Status wrblk(gridout::ByteFile& f, int slot, int nb, std::span<const T> data) {
    const std::int64_t at = std::int64_t(slot - 1) * nb * 4;
    if (!gridout::seek_to(f, at) || !gridout::write_words(f, data)) return Status::store_failed;
    return Status::ok;
}

/// Reads slot (1-based) of a store of nb-word slots into data.
template <gridout::Word T>
Status read_slot(gridout::ByteFile& f, int slot, int nb, std::span<T> data) {
    const std::int64_t at = std::int64_t(slot - 1) * nb * 4;
    if (!gridout::seek_to(f, at) || !gridout::read_words(f, data)) return Status::store_failed;
    return Status::ok;
}

/// Mask file header, record 0.
struct MaskHeader {
    std::int32_t ncol = 0, nrow = 0;
    float x0 = 0.0f, y0 = 0.0f;
};

/// Creates the mask layout in an open, empty file: header record (RL words) followed by
/// nrow * ncol zero words, as the gridding entry writes it.
Status write_mask_header(gridout::ByteFile& f, const MaskHeader& h);

/// Reads ncol and nrow (and origin) from the header.
Status read_mask_header(gridout::ByteFile& f, MaskHeader& h);

}  // namespace minc
