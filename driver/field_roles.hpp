// The fields of a tabular model file (an ASEG-GDF2 .dat described by its .dfn, a
// Workbench XYZ export) and the role each plays in a model record: line, fiducial, east,
// north, ground elevation, depth of investigation, the layer values and the layer geometry.
// Roles are found by the usual names of the field, without regard to case, unless the
// user names the field; the units of the layer values come from the file, the field's
// name or the user.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model_options.hpp"

namespace driver {

/// One field of a record: a value, or an array of `count` values (the layers).
struct Field {
    std::string name;
    std::int32_t count = 1;
    std::int32_t first = 0;  // index of its first value among the record's values
    std::int32_t width = 0;  // characters of each value in a fixed-width record; 0: none
    bool text = false;       // a text field (format A): never a number
    std::string units;       // as the file gives them; may be empty
    std::optional<double> null;  // the value that stands for "no value"
};

/// The fields of a file in record order, with the values a record holds in all.
struct FieldTable {
    std::vector<Field> fields;
    std::int64_t values = 0;
    /// Appends a field after the last one.
    void add(Field f);
};

enum class Role { line, fiducial, east, north, ground, doi, conductivity, resistivity, thickness, depth_top };
inline constexpr int kRoleCount = 10;

/// The role's name on the command line (--field ROLE=NAME) and in messages.
std::string_view role_name(Role role);

/// The usual field names of a role, lower case, in the order they are tried.
std::span<const std::string_view> role_names(Role role);

/// Which field plays each role, as indexes into FieldTable::fields; -1 for none.
struct FieldPick {
    std::array<int, kRoleCount> field{};
    int model = -1;       // the layer values: the conductivity or the resistivity field
    LayerUnit unit = LayerUnit::millisiemens_per_metre;
    std::int32_t layers = 0;
    int of(Role r) const { return field[static_cast<std::size_t>(r)]; }
};

/// Picks the field of every role. `format` gives the names' conventions (a Workbench
/// SIGMA_I is in mS/m). Throws RunStop naming the role, the names tried and the fields
/// the file has when a required role has no field; also on an unknown --field role or
/// field, on units that are not known and on layer arrays of different lengths.
FieldPick pick_fields(const FieldTable& table, const ModelOptions& options, std::string_view file);

}  // namespace driver
