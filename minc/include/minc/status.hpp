// Status codes of the gridding library: 0 success, negative failure. Public: the
// C++ interface returns them and the exported C entries leave them in IERR.
#pragma once

namespace minc {

enum class Status : int {
    ok = 0,
    too_many_blocks = -2,          // more than 3600 blocks
    overlap_too_small = -999,      // NX or NY not larger than the overlap 5
    bad_data_name = -1000,         // DATFILE name empty; rotated: no NUL, or empty/degenerate range
    no_partition = -1001,          // no partition meets the limits
    no_data = -1002,               // no data point accepted
    chain_record_range = -1003,    // template: a chain record number outside the data scratch store
    chain_record_count = -1004,    // template: a record claims more than 900 points
    start_columns = -1005,         // start values: section columns outside the template
    start_rows = -1006,            // start values: section rows outside the template
    start_too_large = -1007,       // start values: work array or section too large
    start_before = -1008,          // start values: section starts before the work array
    start_beyond = -1009,          // start values: section ends beyond the work array
    no_values = -1010,             // fill: the grid holds nothing but the null value
    patch_misfit = -1011,          // start values: a patch does not fit the work array
    window_too_wide = -1013,       // blanking: mask wider than a window row slot
    window_too_narrow = -1014,     // blanking: window narrower than 3
    // Codes of this implementation (argument checks and failed file operations).
    bad_spacing = -1020,           // DX or DY zero, negative or not finite
    bad_size = -1021,              // NX or NY below 1
    bad_channel = -1022,           // ICHAN outside 1..MAXCHAN
    bad_max_channels = -1023,      // MAXCHAN below 1 or above 256
    bad_origin = -1024,            // X0 or Y0 not finite, or X0/DX or Y0/DY beyond the int range
    bad_dummy = -1025,             // DUMMY is NaN
    store_failed = -1030,          // a scratch store could not be created, read or written
    row_too_wide = -1031,          // a grid row does not fit the work area behind the block
    mask_failed = -1032,           // a read or write of the mask store failed in blanking
    input_failed = -1033,          // the input data file could not be read
    output_failed = -1034,         // the grid file could not be created or written
    outline_too_small = -1035,     // radius clipping: outline list smaller than needed
    not_finite = -1036,            // a solved block, or a grid value transformed back, is not finite
    too_much_data = -1037,         // the input data file holds more records than the limit
    output_is_input = -1040,       // the grid file or the log would replace the input data file
    output_not_writable = -1041,   // the grid file exists and may not be written
    cancelled = -1042,             // the caller's progress callback asked to stop
    bad_request = -1043,           // C request struct missing or of a size not known
};

constexpr int code(Status s) { return static_cast<int>(s); }
constexpr bool failed(Status s) { return code(s) < 0; }

}  // namespace minc
