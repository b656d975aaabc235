// Outputs through the staged files of the byte-file layer, reads through buffered C
// streams; every failure checked: a write reports a failed flush of its buffer (a full
// disk, /dev/full) as a short count, the commit the failure of the last one.
#include "output_file.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <system_error>

namespace driver {
namespace {

static_assert(std::endian::native == std::endian::little,
              "line point files are little-endian; a big-endian port must swap words");

}  // namespace

void ModelGuard::check(const std::string& name) const {
    if (model_.empty()) return;
    std::error_code ec;
    if (std::filesystem::equivalent(model_, name, ec) && !ec)
        throw RunStop{" output file " + name + " is the model file being read; run stopped"};
}

OutputFile::~OutputFile() { abandon(); }

void OutputFile::create(const std::string& name, const ModelGuard& guard) {
    abandon();
    guard.check(name);
    name_ = name;
    failed_ = false;
    lines_ = 0;
    gridout::StageError why{};
    staged_ = gridout::disk().stage(name, why);
    if (staged_) return;
    if (why == gridout::StageError::not_writable)
        throw RunStop{" output file " + name + " is write-protected; run stopped"};
    if (why == gridout::StageError::pipe) throw RunStop{" output file " + name + " is a pipe; run stopped"};
    throw RunStop{" cannot create file " + name};
}

void OutputFile::fail_write() {
    abandon();
    throw RunStop{" cannot write file " + name_};
}

void OutputFile::put(const void* data, std::size_t bytes) {
    const std::span<const std::byte> in(static_cast<const std::byte*>(data), bytes);
    if (staged_->file().write(in) != static_cast<std::int64_t>(bytes)) {
        failed_ = true;
        fail_write();
    }
}

void OutputFile::write(std::string_view bytes) {
    if (bytes.empty()) return;
    put(bytes.data(), bytes.size());
    lines_ += std::count(bytes.begin(), bytes.end(), '\n');
}

void OutputFile::write(std::string_view bytes, std::int64_t line_count) {
    if (bytes.empty()) return;
    put(bytes.data(), bytes.size());
    lines_ += line_count;
}

void OutputFile::write(std::span<const float> words) {
    if (!words.empty()) put(words.data(), words.size_bytes());
}

void OutputFile::close() {
    if (!staged_) return;
    const bool placed = staged_->commit();
    staged_.reset();
    if (!placed) throw RunStop{" cannot write file " + name_};
}

void OutputFile::abandon() { staged_.reset(); }

bool OutputFile::keep() {
    if (!staged_) return false;
    const bool placed = !failed_ && staged_->commit();
    staged_.reset();
    return placed;
}

void remove_file(const std::string& name) {
    std::error_code ec;
    std::filesystem::remove(name, ec);
}

}  // namespace driver
