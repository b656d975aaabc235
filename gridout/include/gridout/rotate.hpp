// Rotated resampling of grid files. GEOROT turns a grid that the gridding library solved
// in a rotated frame back into the requested, unrotated grid (the library's last step of
// a rotated call, also exported to other programs); ROTGRD is the library's stand-alone
// rotated resampler with null-aware fall-backs. Both read their source through the
// validating grid reader and write through the write-then-rename output file, so a bad
// source leaves no output file.
#pragma once

#include <span>
#include <string>

#include "gridout/byte_file.hpp"
#include "gridout/grid_file.hpp"

namespace gridout {

/// GEOROT's arguments after the two names. World units throughout.
struct GeorotParams {
    float sdx = 1.0f, sdy = 1.0f;  // source cell sizes
    float sx0 = 0.0f, sy0 = 0.0f;  // source origin in the rotated (u, v) frame
    int snc = 0, snr = 0;          // source columns and rows (the file must hold them)
    float dx = 1.0f, dy = 1.0f;    // output cell sizes
    float x0 = 0.0f, y0 = 0.0f;    // output origin
    int nx = 0, ny = 0;            // output columns and rows
    float angle = 0.0f;            // degrees; an output position is turned by this
                                   // counter-clockwise about (xr, yr) into the source frame
    float xr = 0.0f, yr = 0.0f;
    float uoff = 0.0f, voff = 0.0f;  // added to the rotated coordinates
    float uscl = 1.0f, vscl = 1.0f;  // divisors of the rotated coordinates
    int iopt = 1;                    // 1: output rows first to last (KX 1), else reversed (KX -2)
    float dummy = 0.0f;              // not used: GEOROT does no null replacement
    float gmin = 0.0f, gmax = 0.0f;  // written to the header unchanged
    std::span<float> work;           // optional row buffer of at least nx reals
};

/// GEOROT: resamples the grid file srcfil of src_fs into the grid file grdfil of out_fs
/// by bilinear interpolation. The source's size comes
/// from snc, snr; its orientation word from its header. Statuses: cannot_open,
/// bad_header (including a source file too short for snc x snr values), read_failed,
/// bad_arguments (counts below 1, a work span shorter than nx, a non-finite output
/// spacing or origin), cannot_create,
/// write_failed. Nothing is written under grdfil unless the status is ok.
GridStatus georot(FileSystem& src_fs, const std::string& srcfil, FileSystem& out_fs,
                  const std::string& grdfil, const GeorotParams& p);

/// ROTGRD's arguments after the two names.
struct RotgrdParams {
    float xoff = 0.0f, yoff = 0.0f;  // the input's first node, in output cell units
    int nein = 0, nvin = 0;          // input values per row and rows
    float dx = 1.0f, dy = 1.0f;      // output spacing, also the unit of the input cells
    float x0 = 0.0f, y0 = 0.0f;      // output first node
    int ne = 0, nv = 0;              // output values per row and rows
    float angle = 0.0f;              // degrees
    float xc = 0.0f, yc = 0.0f;      // centre of rotation
    int kxout = 1;                   // 1: rows first to last (KX 1), else reversed (KX -2)
    float zmin = 0.0f, zmax = 0.0f;  // written to the header unchanged
};

/// ROTGRD: resamples the grid file infile of in_fs onto a rotated grid written as
/// outfile on out_fs. A node whose corners include
/// nulls (at or below -1.0E30) is interpolated from the valid pair or corner only.
/// Statuses as for georot.
GridStatus rotgrd(FileSystem& in_fs, const std::string& infile, FileSystem& out_fs,
                  const std::string& outfile, const RotgrdParams& p);

}  // namespace gridout
