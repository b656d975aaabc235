// Disk and in-memory implementations of the byte-file layer.
#include "gridout/byte_file.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <sys/stat.h>

namespace gridout {
namespace {

class DiskFile final : public ByteFile {
public:
    DiskFile(std::FILE* f, bool writable) : f_(f), writable_(writable) {}
    ~DiskFile() override { close(); }

    std::int64_t read(std::span<std::byte> out) override {
        if (!f_) return -1;
        if (out.empty()) return 0;
        if (last_ == Op::write) std::fseek(f_, 0, SEEK_CUR);  // switching direction
        last_ = Op::read;
        std::size_t n = std::fread(out.data(), 1, out.size(), f_);
        if (n == 0 && std::ferror(f_)) { std::clearerr(f_); return -1; }
        return static_cast<std::int64_t>(n);
    }
    std::int64_t write(std::span<const std::byte> in) override {
        // A read-only handle refuses the write as the in-memory kind does: -1, and the
        // file's later close still succeeds.
        if (!f_ || !writable_) return -1;
        if (in.empty()) return 0;
        if (last_ == Op::read) std::fseek(f_, 0, SEEK_CUR);
        last_ = Op::write;
        std::size_t n = std::fwrite(in.data(), 1, in.size(), f_);
        if (n != in.size()) { failed_ = true; std::clearerr(f_); }
        return n == 0 ? -1 : static_cast<std::int64_t>(n);
    }
    std::int64_t seek(std::int64_t offset) override {
        if (!f_ || offset < 0) return -1;
        if (::fseeko(f_, static_cast<off_t>(offset), SEEK_SET) != 0) return -1;
        last_ = Op::none;
        return offset;
    }
    std::int64_t size() override {
        if (!f_) return -1;
        if (std::fflush(f_) != 0) failed_ = true;
        struct stat st {};
        if (fstat(fileno(f_), &st) != 0) return -1;
        return static_cast<std::int64_t>(st.st_size);
    }
    bool close() override {
        if (!f_) return !failed_;
        if (std::fflush(f_) != 0) failed_ = true;
        if (std::fclose(f_) != 0) failed_ = true;
        f_ = nullptr;
        return !failed_;
    }

private:
    enum class Op { none, read, write };
    std::FILE* f_;
    bool writable_;
    Op last_ = Op::none;
    bool failed_ = false;
};

class MemoryFile final : public ByteFile {
public:
    MemoryFile(std::shared_ptr<std::vector<std::byte>> bytes, bool writable)
        : bytes_(std::move(bytes)), writable_(writable) {}

    std::int64_t read(std::span<std::byte> out) override {
        if (!bytes_) return -1;
        const auto& b = *bytes_;
        if (pos_ >= b.size()) return 0;
        std::size_t n = std::min(out.size(), b.size() - pos_);
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(pos_), n, out.begin());
        pos_ += n;
        return static_cast<std::int64_t>(n);
    }
    std::int64_t write(std::span<const std::byte> in) override {
        if (!bytes_ || !writable_) return -1;
        auto& b = *bytes_;
        if (b.size() < pos_ + in.size()) {
            // A write far beyond the end asks for a buffer that may not exist: that is a
            // failed write, not an exception out of the layer.
            try {
                b.resize(pos_ + in.size(), std::byte{0});
            } catch (const std::exception&) {
                return -1;
            }
        }
        std::copy(in.begin(), in.end(), b.begin() + static_cast<std::ptrdiff_t>(pos_));
        pos_ += in.size();
        return static_cast<std::int64_t>(in.size());
    }
    std::int64_t seek(std::int64_t offset) override {
        if (!bytes_ || offset < 0) return -1;
        pos_ = static_cast<std::size_t>(offset);
        return offset;
    }
    std::int64_t size() override {
        return bytes_ ? static_cast<std::int64_t>(bytes_->size()) : -1;
    }
    bool close() override { bytes_.reset(); return true; }

private:
    std::shared_ptr<std::vector<std::byte>> bytes_;
    bool writable_;
    std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<ByteFile> DiskFileSystem::create(const std::string& name) {
    if (name.empty()) return nullptr;
    std::FILE* f = std::fopen(name.c_str(), "w+b");
    if (!f) return nullptr;
    return std::make_unique<DiskFile>(f, true);
}

std::unique_ptr<ByteFile> DiskFileSystem::open(const std::string& name, OpenMode mode) {
    if (name.empty()) return nullptr;
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
    std::FILE* f = std::fopen(name.c_str(), mode == OpenMode::read_only ? "rb" : "r+b");
    if (!f) return nullptr;
    return std::make_unique<DiskFile>(f, mode == OpenMode::read_write);
}

bool DiskFileSystem::remove(const std::string& name) { return std::remove(name.c_str()) == 0; }

bool DiskFileSystem::exists(const std::string& name) {
    struct stat st {};
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DiskFileSystem::is_special(const std::string& name) {
    struct stat st {};
    return !name.empty() && ::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
           !S_ISDIR(st.st_mode);
}

bool DiskFileSystem::rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::unique_ptr<ByteFile> MemoryFileSystem::create(const std::string& name) {
    if (name.empty()) return nullptr;
    auto& slot = files_[name];
    if (slot) slot->clear();  // handles still open on the old file see it truncated
    else slot = std::make_shared<std::vector<std::byte>>();
    return std::make_unique<MemoryFile>(slot, true);
}

std::unique_ptr<ByteFile> MemoryFileSystem::open(const std::string& name, OpenMode mode) {
    auto it = files_.find(name);
    if (it == files_.end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second, mode == OpenMode::read_write);
}

bool MemoryFileSystem::remove(const std::string& name) { return files_.erase(name) > 0; }

bool MemoryFileSystem::exists(const std::string& name) { return files_.count(name) > 0; }

bool MemoryFileSystem::rename(const std::string& from, const std::string& to) {
    auto it = files_.find(from);
    if (it == files_.end()) return false;
    auto bytes = it->second;
    files_.erase(it);
    files_[to] = std::move(bytes);
    return true;
}

std::vector<std::byte> MemoryFileSystem::contents(const std::string& name) const {
    auto it = files_.find(name);
    return it == files_.end() ? std::vector<std::byte>{} : *it->second;
}

std::vector<std::string> MemoryFileSystem::names() const {
    std::vector<std::string> out;
    for (const auto& kv : files_) out.push_back(kv.first);
    return out;
}

std::int64_t read_up_to(ByteFile& f, std::span<std::byte> out) {
    std::size_t got = 0;
    while (got < out.size()) {
        const std::int64_t n = f.read(out.subspan(got));
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
}

FileSystem& disk() {
    static DiskFileSystem fs;  // stateless; one instance serves the process
    return fs;
}

}  // namespace gridout
