// The one table of the library's status texts. The C++ interface (describe,
// status_table), the exported C entry MINC_STATUS_TEXT, the minc command, the driver's
// warnings and the README's table all read it; nothing else spells a status's meaning.
#include <span>

#include "minc/minc.hpp"

namespace minc {

namespace {

constexpr StatusText kTable[] = {
    {Status::ok, "success"},
    {Status::too_many_blocks, "the grid needs more than 3600 blocks"},
    {Status::overlap_too_small, "NX or NY too small for a grid of several blocks"},
    {Status::bad_data_name, "no data file name, or (rotated) no usable data range"},
    {Status::no_partition, "the grid cannot be cut into blocks that fit"},
    {Status::no_data, "no data point accepted (missing file, or no valid value inside the grid)"},
    {Status::chain_record_range, "the data scratch store is inconsistent"},
    {Status::chain_record_count, "the data scratch store is inconsistent"},
    {Status::start_columns, "start values of a block could not be taken from the template grid"},
    {Status::start_rows, "start values of a block could not be taken from the template grid"},
    {Status::start_too_large, "start values of a block could not be taken from the template grid"},
    {Status::start_before, "start values of a block could not be taken from the template grid"},
    {Status::start_beyond, "start values of a block could not be taken from the template grid"},
    {Status::no_values, "a grid holds nothing but null values"},
    {Status::patch_misfit, "start values of a block could not be taken from the template grid"},
    {Status::window_too_wide, "the blanking window does not fit"},
    {Status::window_too_narrow, "the blanking window is too narrow"},
    {Status::bad_spacing, "DX or DY zero, negative or not finite"},
    {Status::bad_size, "NX or NY below 1"},
    {Status::bad_channel, "ICHAN outside 1..MAXCHAN"},
    {Status::bad_max_channels, "MAXCHAN outside 1..256"},
    {Status::bad_origin, "X0 or Y0 not finite, or too far from 0 in cells"},
    {Status::bad_dummy, "the null value DUMMY is not a number"},
    {Status::store_failed, "a scratch store could not be created, read or written"},
    {Status::row_too_wide, "a grid row does not fit the work area"},
    {Status::mask_failed, "the blanking mask could not be read or written"},
    {Status::input_failed, "the input data file could not be read"},
    {Status::output_failed, "the grid file could not be created or written"},
    {Status::outline_too_small, "the blanking outline does not fit"},
    {Status::not_finite, "the gridded values overflowed: a block or a grid value is not finite"},
    {Status::too_much_data, "the input data file holds more records than the limit"},
    {Status::output_is_input, "the grid file or the log is the input data file"},
    {Status::output_not_writable, "the grid file exists and may not be written"},
    {Status::cancelled, "stopped by the caller's progress callback"},
    {Status::bad_request, "no request, or a request size the library does not know"},
};

}  // namespace

std::span<const StatusText> status_table() { return kTable; }

const char* status_text(int code) {
    for (const StatusText& t : kTable)
        if (minc::code(t.status) == code) return t.text;
    return "unknown status";
}

const char* describe(Status s) { return status_text(code(s)); }

}  // namespace minc
