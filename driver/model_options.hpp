// Options that say how to read the model file and where the outputs go: the model
// format (Corvane, ASEG-GDF2 with its .dfn, Workbench XYZ), which field plays which
// role, the units of the layer values, the survey lines to convert and the output
// folder. The command line collects them; record_source.hpp acts on them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace driver {

enum class ModelFormat { corvane, aseg_gdf, workbench };

/// Units of the conductivity or resistivity values in a model file.
enum class LayerUnit { siemens_per_metre, millisiemens_per_metre, ohm_metre };

/// Inclusive ranges of survey line numbers.
struct LineRanges {
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    bool empty() const { return ranges.empty(); }
    bool contains(std::int64_t line) const;
};

struct ModelOptions {
    ModelFormat format = ModelFormat::corvane;
    std::string dfn;  // the .dfn of an ASEG-GDF2 model (--dfn)
    std::vector<std::pair<std::string, std::string>> fields;  // --field ROLE=NAME, in order
    std::optional<LayerUnit> units;                            // --units
    LineRanges lines;                                          // --lines; empty: every line
    std::string output_dir;                                    // --output-dir; empty: here
};

/// Takes the model option at args[k] ("--dfn F", "--dfn=F" and so on for --format,
/// --field, --units, --lines, --output-dir), advancing k past a separate value.
/// Returns false when args[k] is not one of them; sets `problem` (a console line) when
/// its value is missing or wrong.
bool take_model_option(std::span<const std::string> args, std::size_t& k, ModelOptions& options,
                       std::string& problem);

/// Reads a unit name: S/m, mS/m, ohm m (also ohm.m, ohm-m, ohmm), any case and spacing.
std::optional<LayerUnit> parse_layer_unit(std::string_view text);

/// Reads "3001401,4001401" or "100-199,250": numbers and ranges separated by commas.
std::optional<LineRanges> parse_line_ranges(std::string_view text);

/// The run's output folder: for its lifetime the current folder is `dir` (made when it
/// does not exist), so that the lock, the staged files and every output land there;
/// afterwards the folder the run started in is current again. An empty `dir` changes
/// nothing. Throws RunStop when the folder cannot be made or entered.
class OutputFolder {
public:
    explicit OutputFolder(const std::string& dir);
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    ~OutputFolder();
    bool entered() const { return entered_; }
    /// An input path as given on the command line, reached from the output folder.
    std::string input_path(const std::string& path) const;

private:
    std::filesystem::path start_;
    bool entered_ = false;
};

}  // namespace driver
