// Where the record loop's model records come from. A source hands on one classified
// text line at a time, as ModelReader does for the Corvane file; the ASEG-GDF2 and
// Workbench XYZ sources fill the same ModelRecord from the fields they pick by role,
// with each layer's centre and its conductivity in mS/m, so that everything after the
// reading (line building, tables, gridding) is the same for every format.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

#include "model_options.hpp"
#include "model_reader.hpp"

namespace driver {

class RecordSource {
public:
    virtual ~RecordSource() = default;
    /// As ModelReader::next. Besides its kinds, a tabular source gives `skipped` for a
    /// record left out with a warning (problem() says why) and `unreadable` with
    /// problem() saying what could not be read.
    virtual bool next(ModelReader::Item& item) = 0;
    virtual const ModelRecord& record() const = 0;
    virtual std::string_view text() const = 0;
    /// What is wrong with the last skipped or unreadable item; empty for the Corvane
    /// reader, whose stop message is its own.
    virtual const std::string& problem() const = 0;
    /// True when records are Corvane's numbers in a row, so the first record's count of
    /// numbers tells whether ndepth is right.
    virtual bool counts_numbers() const = 0;
};

/// The Corvane model file through ModelReader.
class CorvaneSource final : public RecordSource {
public:
    CorvaneSource(std::istream& in, std::int32_t ndepth) : reader_(in, ndepth) {}
    bool next(ModelReader::Item& item) override { return reader_.next(item); }
    const ModelRecord& record() const override { return reader_.record(); }
    std::string_view text() const override { return reader_.text(); }
    const std::string& problem() const override { return none_; }
    bool counts_numbers() const override { return true; }

private:
    ModelReader reader_;
    std::string none_;
};

/// Passes on the records of the selected survey lines only; the others read as comments.
class SelectedLines final : public RecordSource {
public:
    SelectedLines(std::unique_ptr<RecordSource> inner, LineRanges lines)
        : inner_(std::move(inner)), lines_(std::move(lines)) {}
    bool next(ModelReader::Item& item) override;
    const ModelRecord& record() const override { return inner_->record(); }
    std::string_view text() const override { return inner_->text(); }
    const std::string& problem() const override { return inner_->problem(); }
    bool counts_numbers() const override { return inner_->counts_numbers(); }

private:
    std::unique_ptr<RecordSource> inner_;
    LineRanges lines_;
};

/// The source for a model file read from `in` (named `file` in messages). For a tabular
/// format the field table is read first (the .dfn, or the header of the Workbench file)
/// and the fields are picked; `ndepth` is then set to the number of layers. Throws
/// RunStop when the description cannot be read or a role has no field. `max_chars`
/// bounds one text line.
std::unique_ptr<RecordSource> open_record_source(const ModelOptions& options, std::istream& in,
                                                 const std::string& file, std::int32_t& ndepth,
                                                 std::size_t max_chars = kMaxRecordChars);

/// The source for a tabular model file, with the .dfn's text (ASEG-GDF2) given
/// rather than read from options.dfn, which names it in messages.
std::unique_ptr<RecordSource> open_tabular_source(const ModelOptions& options, std::string_view dfn_text,
                                                  std::istream& in, const std::string& file, std::int32_t& ndepth,
                                                  std::size_t max_chars = kMaxRecordChars);

}  // namespace driver
