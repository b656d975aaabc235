// The gridding call's plain-text log ("minc.log"): one line per call parameter and,
// for every solved block, an empty line, a column heading and a result line. Every
// line is assembled in a blank-filled buffer, ends with CR LF and goes out in one
// write. Numbers are formatted by real2char. Nothing reads the log back, so a failed
// write is ignored and never affects the gridding.
#pragma once

#include <string_view>

#include "gridout/byte_file.hpp"

namespace minc {

class ParameterLog {
public:
    /// file may be nullptr: every line is then dropped (used where no log is wanted).
    explicit ParameterLog(gridout::ByteFile* file) : file_(file) {}

    /// A parameter line: the label (at most 16 characters, starting with a blank) at
    /// offset 0, the value formatted with width 12 and `decimals` decimals at offsets
    /// 16..27, CR LF at 28, 29 (30 bytes). Two labels are laid out differently:
    /// " y origin " takes a 14-character field at offsets 14..27, and " rotation angle "
    /// has a blank at 28 and CR LF at 29, 30 (31 bytes). Integers are logged as reals
    /// with 0 decimals.
    void parameter(std::string_view label, float value, int decimals);

    /// The empty line (CR LF) and the 48-character column heading with CR LF (50 bytes)
    /// that precede every block's result line.
    void block_heading();

    /// The block's 43-byte result line: tier (4, 0) at 1..4, section (4, 0) at 7..10,
    /// first and last relaxation error (10, 4) at 12..21 and 23..32, sweeps (4, 0) at
    /// 37..40, CR LF at 41, 42; every other byte a blank.
    void block_result(int tier, int sect, float err0, float err, int niter);

    /// The heading text, without CR LF.
    static constexpr std::string_view kHeading = " tier  sect   init err    end err    #iterations";

private:
    void write_line(std::string_view bytes);
    gridout::ByteFile* file_;
};

}  // namespace minc
