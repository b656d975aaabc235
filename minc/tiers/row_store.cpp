// Mask file header of the row scratch store.
#include "row_store.hpp"

#include <vector>

namespace minc {

Status write_mask_header(gridout::ByteFile& f, const MaskHeader& h) {
    const int rl = record_words(h.ncol);
    std::vector<std::int32_t> header(std::size_t(rl), 0);
    header[0] = h.ncol;
    header[1] = h.nrow;
    header[2] = 1;
    header[3] = std::bit_cast<std::int32_t>(h.x0);
    header[4] = std::bit_cast<std::int32_t>(1.0f);
    header[5] = std::bit_cast<std::int32_t>(h.y0);
    header[6] = std::bit_cast<std::int32_t>(1.0f);
    if (!gridout::seek_to(f, 0) || !gridout::write_words(f, std::span<const std::int32_t>(header)))
        return Status::store_failed;
    // nrow * ncol zero words one after the other, as the layout's initial fill.
    const std::vector<std::int32_t> zeros(std::size_t(std::max(h.ncol, 0)), 0);
    for (int r = 0; r < h.nrow; ++r)
        if (!gridout::write_words(f, std::span<const std::int32_t>(zeros))) return Status::store_failed;
    return Status::ok;
}

Status read_mask_header(gridout::ByteFile& f, MaskHeader& h) {
    std::int32_t w[7] = {};
    if (!gridout::seek_to(f, 0) || !gridout::read_words(f, std::span<std::int32_t>(w, 7)))
        return Status::store_failed;
    h.ncol = w[0];
    h.nrow = w[1];
    h.x0 = std::bit_cast<float>(w[3]);
    h.y0 = std::bit_cast<float>(w[5]);
    return Status::ok;
}

}  // namespace minc
