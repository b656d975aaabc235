// Buffered C streams with every failure checked: fwrite reports a failed flush of its
// buffer (a full disk, /dev/full) as a short count, fclose the failure of the last one.
#include "output_file.hpp"

#include <bit>
#include <cstring>
#include <system_error>

namespace driver {
namespace {

static_assert(std::endian::native == std::endian::little,
              "line point files are little-endian; a big-endian port must swap words");

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

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
    f_ = std::fopen(name.c_str(), "wb");
    if (f_ == nullptr) throw RunStop{" cannot create file " + name};
    std::setvbuf(f_, nullptr, _IOFBF, kBufferBytes);
}

void OutputFile::fail_write() {
    abandon();
    throw RunStop{" cannot write file " + name_};
}

void OutputFile::write(std::string_view bytes) {
    if (bytes.empty()) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), f_) != bytes.size()) fail_write();
}

void OutputFile::write(std::span<const float> words) {
    if (words.empty()) return;
    if (std::fwrite(words.data(), sizeof(float), words.size(), f_) != words.size()) fail_write();
}

void OutputFile::close() {
    if (f_ == nullptr) return;
    const bool bad = std::ferror(f_) != 0;
    const int rc = std::fclose(f_);
    f_ = nullptr;
    if (bad || rc != 0) throw RunStop{" cannot write file " + name_};
}

void OutputFile::abandon() {
    if (f_ != nullptr) std::fclose(f_);
    f_ = nullptr;
}

PointFileReader::PointFileReader(const std::string& name) : name_(name) {
    f_ = std::fopen(name.c_str(), "rb");
    if (f_ == nullptr) throw RunStop{" cannot read file " + name};
    std::setvbuf(f_, nullptr, _IOFBF, kBufferBytes);
}

PointFileReader::~PointFileReader() {
    if (f_ != nullptr) std::fclose(f_);
}

void PointFileReader::read(std::span<float, 8> point) {
    if (std::fread(point.data(), sizeof(float), point.size(), f_) != point.size())
        throw RunStop{" cannot read file " + name_};
}

void remove_file(const std::string& name) {
    std::error_code ec;
    std::filesystem::remove(name, ec);
}

}  // namespace driver
