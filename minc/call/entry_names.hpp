// File names of the exported C entries. A C caller passes every file name as a
// fixed-length text (80 characters in the classic calling programs), padded with
// blanks or ended by a NUL; these rules turn such a text into the file name that the
// C++ interface takes as it is. Nothing else in the library sees padded texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace minc {

/// Name rule of MINC's OUTFILE and DATFILE: the text before the first NUL when the NUL
/// is at the second character or later (even a 1-character name); otherwise the text
/// without trailing blanks, which counts only when at least 2 characters long. A NUL as
/// first character leaves an empty name, which does not count. nullopt: no usable name.
std::optional<std::string> text_name(std::string_view text);

/// The NUL rule alone (how a rotated MINC call names its data file): the text before a
/// NUL at the second character or later; nullopt when there is none.
std::optional<std::string> nul_name(std::string_view text);

/// MINC's grid file name: OUTFILE by text_name, "outfile.grd" when it does not count.
/// The grid writer looks at no more than 512 characters: a longer name is cut there and
/// loses its trailing blanks ("outfile.grd" when fewer than 2 characters remain).
std::string minc_output_name(std::string_view text);

/// Input name rule of GEOROT and GEOFLIP: the text before its first NUL, else the text
/// without trailing blanks; the whole text counts, however long. A text that begins
/// with NUL gives an empty name, which no file system opens.
std::string input_file_name(std::string_view text);

/// Output name rule of GEOROT: at most 512 characters of text are used. The name is the
/// text before its first NUL; without a NUL it is the text without trailing blanks, or
/// "outfile.grd" when that is shorter than 2 characters. A text that begins with NUL is
/// treated as empty, whatever follows, and so also gives "outfile.grd".
std::string grid_file_name(std::string_view text);

/// Output name rule of GEOFLIP: as grid_file_name, but the whole text counts.
std::string flip_file_name(std::string_view text);

}  // namespace minc
