// Workbench XYZ model exports: header lines starting with "/", the last of which names
// the columns, then one record per line of values separated by blanks, "*" for no
// value. Numbered columns (RHO_I_1 .. RHO_I_30, THK_1 .. THK_29) form one array field
// each, named without the number (RHO_I, THK).
#pragma once

#include <string_view>

#include "field_roles.hpp"

namespace driver {

/// The fields named by a column header line (its leading "/" included or not).
FieldTable parse_workbench_header(std::string_view line);

/// True for a line that is a header or comment line ("/" first) or blank.
bool is_workbench_comment(std::string_view line);

}  // namespace driver
