// Picking fields by role (see field_roles.hpp).
#include "field_roles.hpp"

#include <cctype>

#include "output_file.hpp"

namespace driver {
namespace {

constexpr std::string_view kLine[] = {"line", "line_no", "lineno", "line_number", "linenumber", "flight_line",
                                      "flightline"};
constexpr std::string_view kFiducial[] = {"fid", "fiducial", "timestamp"};
constexpr std::string_view kEast[] = {"easting", "east", "utmx", "x", "mga_east", "x_mga"};
constexpr std::string_view kNorth[] = {"northing", "north", "utmy", "y", "mga_north", "y_mga"};
constexpr std::string_view kGround[] = {"dtm", "elevation", "ground_elevation", "ground", "elev", "topo",
                                        "topography", "dem"};
constexpr std::string_view kDoi[] = {"doi", "doi_standard", "doi_conservative", "depth_of_investigation"};
constexpr std::string_view kConductivity[] = {"conductivity", "sigma_i", "sigma", "cond", "con"};
constexpr std::string_view kResistivity[] = {"resistivity", "rho_i", "rho", "res"};
constexpr std::string_view kThickness[] = {"thickness", "thk", "thick", "layer_thickness"};
constexpr std::string_view kDepthTop[] = {"depth_top", "dep_top", "depth_to_top", "top_depth", "layer_top_depth"};

constexpr Role kRoles[] = {Role::line,         Role::fiducial,    Role::east,        Role::north,     Role::ground,   Role::doi,
                           Role::conductivity, Role::resistivity, Role::thickness, Role::depth_top};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string joined(std::span<const std::string_view> names) {
    std::string s;
    for (std::string_view n : names) s += (s.empty() ? "" : ", ") + std::string(n);
    return s;
}

std::string field_list(const FieldTable& table) {
    std::string s;
    for (const Field& f : table.fields) s += (s.empty() ? "" : ", ") + f.name;
    return s.empty() ? "none" : s;
}

int find_field(const FieldTable& table, std::string_view wanted) {
    const std::string w = lower(wanted);
    for (std::size_t k = 0; k < table.fields.size(); ++k)
        if (lower(table.fields[k].name) == w) return static_cast<int>(k);
    return -1;
}

std::optional<Role> role_of(std::string_view text) {
    const std::string t = lower(text);
    for (Role r : kRoles)
        if (role_name(r) == t) return r;
    if (t == "elevation") return Role::ground;
    return std::nullopt;
}

// The units of the layer values when the file gives none: what the field's name says.
std::optional<LayerUnit> units_from_name(const Field& f, Role role, ModelFormat format) {
    const std::string n = lower(f.name);
    if (role == Role::resistivity) return LayerUnit::ohm_metre;
    auto ends_with = [&](std::string_view tail) {
        return n.size() >= tail.size() && n.compare(n.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (ends_with("ms/m") || ends_with("_msm") || ends_with("_ms_m") || ends_with("_mspm"))
        return LayerUnit::millisiemens_per_metre;
    if (ends_with("(s/m)") || ends_with("_s/m") || ends_with("_sm") || ends_with("_s_m") || ends_with("_spm"))
        return LayerUnit::siemens_per_metre;
    // Workbench writes its conductivity models (SIGMA_I) in mS/m.
    if (format == ModelFormat::workbench && n.compare(0, 5, "sigma") == 0) return LayerUnit::millisiemens_per_metre;
    return std::nullopt;
}

}  // namespace

void FieldTable::add(Field f) {
    f.first = static_cast<std::int32_t>(values);
    values += f.count;
    fields.push_back(std::move(f));
}

std::string_view role_name(Role role) {
    switch (role) {
        case Role::line: return "line";
        case Role::fiducial: return "fiducial";
        case Role::east: return "east";
        case Role::north: return "north";
        case Role::ground: return "ground";
        case Role::doi: return "doi";
        case Role::conductivity: return "conductivity";
        case Role::resistivity: return "resistivity";
        case Role::thickness: return "thickness";
        case Role::depth_top: return "depth_top";
    }
    return "";
}

std::span<const std::string_view> role_names(Role role) {
    switch (role) {
        case Role::line: return kLine;
        case Role::fiducial: return kFiducial;
        case Role::east: return kEast;
        case Role::north: return kNorth;
        case Role::ground: return kGround;
        case Role::doi: return kDoi;
        case Role::conductivity: return kConductivity;
        case Role::resistivity: return kResistivity;
        case Role::thickness: return kThickness;
        case Role::depth_top: return kDepthTop;
    }
    return {};
}

FieldPick pick_fields(const FieldTable& table, const ModelOptions& options, std::string_view file) {
    const std::string in_file = " in " + std::string(file);
    FieldPick pick;
    pick.field.fill(-1);
    std::array<bool, kRoleCount> named{};
    for (const auto& [role_text, field_name] : options.fields) {
        const std::optional<Role> role = role_of(role_text);
        if (!role) {
            std::string roles;
            for (Role r : kRoles) roles += (roles.empty() ? "" : ", ") + std::string(role_name(r));
            throw RunStop{" --field " + role_text + "=" + field_name + ": no role '" + role_text + "' (roles: " +
                          roles + ")"};
        }
        const int k = find_field(table, field_name);
        if (k < 0)
            throw RunStop{" --field " + role_text + "=" + field_name + ": no field '" + field_name + "'" + in_file +
                          " (fields: " + field_list(table) + ")"};
        pick.field[static_cast<std::size_t>(*role)] = k;
        named[static_cast<std::size_t>(*role)] = true;
    }
    for (Role r : kRoles) {
        int& k = pick.field[static_cast<std::size_t>(r)];
        for (std::size_t n = 0; k < 0 && n < role_names(r).size(); ++n) k = find_field(table, role_names(r)[n]);
    }
    auto missing = [&](std::string_view what, std::span<const std::string_view> a,
                       std::span<const std::string_view> b) -> RunStop {
        std::string tried = joined(a);
        if (!b.empty()) tried += ", " + joined(b);
        return RunStop{" no field for the " + std::string(what) + in_file + " (names tried: " + tried +
                       "; fields: " + field_list(table) + "; name one with --field ROLE=NAME)"};
    };
    for (Role r : {Role::line, Role::east, Role::north, Role::ground})
        if (pick.of(r) < 0) throw missing(role_name(r), role_names(r), {});

    // The layer values: conductivity unless only resistivity was named or found.
    const bool use_res = named[static_cast<std::size_t>(Role::resistivity)] ||
                         (!named[static_cast<std::size_t>(Role::conductivity)] && pick.of(Role::conductivity) < 0);
    const Role model_role = use_res ? Role::resistivity : Role::conductivity;
    pick.model = pick.of(model_role);
    if (pick.model < 0)
        throw missing("conductivity or resistivity", role_names(Role::conductivity), role_names(Role::resistivity));
    if (pick.of(Role::thickness) < 0 && pick.of(Role::depth_top) < 0)
        throw missing("thickness or depth_top", role_names(Role::thickness), role_names(Role::depth_top));

    for (Role r : kRoles) {
        const int k = pick.of(r);
        if (k < 0 || ((r == Role::conductivity || r == Role::resistivity) && k != pick.model)) continue;
        const Field& f = table.fields[static_cast<std::size_t>(k)];
        if (f.text)
            throw RunStop{" field " + f.name + in_file + " holds text, not the " + std::string(role_name(r))};
        const bool array = r == model_role || r == Role::thickness || r == Role::depth_top;
        if (!array && f.count != 1)
            throw RunStop{" field " + f.name + in_file + " holds " + std::to_string(f.count) +
                          " values; the " + std::string(role_name(r)) + " is one value"};
    }

    const Field& model = table.fields[static_cast<std::size_t>(pick.model)];
    pick.layers = model.count;
    auto check_length = [&](Role r, bool may_lack_last) {
        const int k = pick.of(r);
        if (k < 0) return;
        const Field& f = table.fields[static_cast<std::size_t>(k)];
        if (f.count == model.count || (may_lack_last && f.count == model.count - 1 && f.count > 0)) return;
        throw RunStop{" arrays of different lengths" + in_file + ": " + model.name + " has " +
                      std::to_string(model.count) + " values, " + f.name + " has " + std::to_string(f.count)};
    };
    // The bottom layer, a half-space, may have no thickness of its own.
    check_length(Role::thickness, true);
    check_length(Role::depth_top, false);

    if (options.units) {
        pick.unit = *options.units;
    } else if (!model.units.empty()) {
        const std::optional<LayerUnit> u = parse_layer_unit(model.units);
        if (!u)
            throw RunStop{" unknown units '" + model.units + "' of field " + model.name + in_file +
                          " (S/m, mS/m or ohm.m; --units overrides)"};
        pick.unit = *u;
    } else {
        const std::optional<LayerUnit> u = units_from_name(model, model_role, options.format);
        if (!u)
            throw RunStop{" the units of field " + model.name + in_file +
                          " are not given: name them with --units (S/m, mS/m or ohm.m)"};
        pick.unit = *u;
    }
    return pick;
}

}  // namespace driver
