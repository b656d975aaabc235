// Files the driver writes: the text tables and the line point files.
// Every failure to create, write or read one becomes a RunStop naming the file, so
// that a full disk never leaves a silently truncated table behind. Outputs are staged
// (gridout::FileSystem::stage): a file appears under its name only when it is complete,
// and a killed run leaves the earlier file and no temporary. The guard refuses to
// create an output that is the model file being read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "gridout/byte_file.hpp"

namespace driver {

/// A stop of the run: the console line to print (without its line end). Thrown inside
/// the driver and turned into the line and a non-zero exit status by run().
struct RunStop {
    std::string line;
};

/// Knows the model file being read and refuses outputs that would replace it, whatever
/// name reaches it (the same name, "./name", a link).
class ModelGuard {
public:
    ModelGuard() = default;
    explicit ModelGuard(std::string model) : model_(std::move(model)) {}
    /// Throws RunStop when `name` exists and is the model file.
    void check(const std::string& name) const;

private:
    std::string model_;
};

/// A file created or replaced: written out of sight, put in place by close().
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    /// Starts a new version of `name` after checking it against the guard; throws
    /// RunStop (" cannot create file <name>", " output file <name> is write-protected",
    /// or " output file <name> is a pipe") on failure.
    void create(const std::string& name, const ModelGuard& guard);
    void write(std::string_view bytes);
    /// Writes text already known to hold `line_count` lines.
    void write(std::string_view bytes, std::int64_t line_count);
    void write(std::span<const float> words);
    /// Puts the complete file in place; throws RunStop (" cannot write file <name>")
    /// when any data could not be written or the file not put in place. Nothing happens
    /// when no file is open.
    void close();
    /// Drops what was written: the name keeps what it held before create().
    void abandon();
    /// The run is stopping: puts what was written so far in place, as far as every write
    /// succeeded (else drops it); never throws. True when a file was put in place.
    bool keep();
    bool is_open() const { return staged_ != nullptr; }
    /// Text lines (line feeds) written since create().
    std::int64_t lines() const { return lines_; }
    const std::string& name() const { return name_; }

private:
    [[noreturn]] void fail_write();
    void put(const void* data, std::size_t bytes);

    std::unique_ptr<gridout::StagedFile> staged_;
    std::string name_;
    bool failed_ = false;
    std::int64_t lines_ = 0;
};

/// Removes a file; a file that is not there is not an error.
void remove_file(const std::string& name);

}  // namespace driver
