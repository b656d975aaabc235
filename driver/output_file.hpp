// Files the driver writes and reads back: the text tables and the line point files.
// Every failure to create, write or read one becomes a RunStop naming the file, so
// that a full disk never leaves a silently truncated table behind. The guard refuses
// to create an output that is the model file being read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

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

/// A file created or replaced for writing through a large buffer.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    /// Creates or replaces `name` after checking it against the guard; throws RunStop
    /// (" cannot create file <name>") on failure.
    void create(const std::string& name, const ModelGuard& guard);
    void write(std::string_view bytes);
    void write(std::span<const float> words);
    /// Flushes and closes; throws RunStop (" cannot write file <name>") when any data
    /// could not be written. Nothing happens when no file is open.
    void close();
    /// Closes without checking (the run is stopping anyway) and keeps the file.
    void abandon();
    bool is_open() const { return f_ != nullptr; }
    const std::string& name() const { return name_; }

private:
    [[noreturn]] void fail_write();

    std::FILE* f_ = nullptr;
    std::string name_;
};

/// A line point file read back from its start, point by point.
class PointFileReader {
public:
    explicit PointFileReader(const std::string& name);
    PointFileReader(const PointFileReader&) = delete;
    PointFileReader& operator=(const PointFileReader&) = delete;
    ~PointFileReader();
    /// Reads the next point's eight reals; throws RunStop (" cannot read file <name>")
    /// when the file ends or fails before them.
    void read(std::span<float, 8> point);

private:
    std::FILE* f_ = nullptr;
    std::string name_;
};

/// Removes a file; a file that is not there is not an error.
void remove_file(const std::string& name);

}  // namespace driver
