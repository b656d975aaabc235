// Disk and in-memory implementations of the byte-file layer, and the staged files
// through which every output is written: out of sight until complete, then put in
// place under its name in one step.
#include "gridout/byte_file.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gridout {
namespace {

class DiskFile final : public ByteFile {
public:
    DiskFile(std::FILE* f, bool writable) : f_(f), writable_(writable) {}
    /// With a buffer of its own, set before any transfer (glibc ignores a size given
    /// without a buffer).
    DiskFile(std::FILE* f, bool writable, std::size_t buffer_bytes)
        : f_(f), writable_(writable), buffer_(std::make_unique_for_overwrite<char[]>(buffer_bytes)) {
        std::setvbuf(f_, buffer_.get(), _IOFBF, buffer_bytes);
    }
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
    /// Writes out the buffer; false when this or any earlier write failed.
    bool flush() {
        if (f_ && std::fflush(f_) != 0) failed_ = true;
        return f_ && !failed_;
    }
    int descriptor() const { return f_ ? fileno(f_) : -1; }

private:
    enum class Op { none, read, write };
    std::FILE* f_;
    bool writable_;
    std::unique_ptr<char[]> buffer_;  // declared after f_: freed only after the close
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

// The temporary names that exist while a staged file is put in place (or, without
// unnamed files, while it is written), for the signal handler to remove. A fixed table
// of slots, each claimed in one atomic step, so that the handler reads it without a
// lock or an allocation. With every slot taken a name goes unlisted.
struct PendingSlot {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
enum : int { kSlotFree = 0, kSlotFilling = 1, kSlotListed = 2 };
PendingSlot g_pending[64];

// Lists a temporary name for as long as the object lives.
class PendingName {
public:
    explicit PendingName(const std::string& path) {
        if (path.size() >= PATH_MAX) return;
        for (PendingSlot& s : g_pending) {
            int expected = kSlotFree;
            if (!s.state.compare_exchange_strong(expected, kSlotFilling)) continue;
            std::memcpy(s.path, path.c_str(), path.size() + 1);
            s.state.store(kSlotListed);
            slot_ = &s;
            return;
        }
    }
    ~PendingName() {
        if (slot_) slot_->state.store(kSlotFree);
    }
    PendingName(const PendingName&) = delete;
    PendingName& operator=(const PendingName&) = delete;

private:
    PendingSlot* slot_ = nullptr;
};

void remove_temporaries_and_end(int sig) {
    for (PendingSlot& s : g_pending)
        if (s.state.load() == kSlotListed) ::unlink(s.path);
    // SA_RESETHAND has put back the default action: the signal, pending until this
    // handler returns, then ends the process as it would have without the handler.
    ::raise(sig);
}

// A name for a temporary beside `name` that no other writer picks: the process id and
// a counter; the writer still creates it exclusively.
std::string temporary_beside(const std::string& name) {
    static std::atomic<unsigned> counter{0};
    return name + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".part";
}

// The default staging: a temporary file beside the name, renamed onto it on commit.
class RenamedTemporary final : public StagedFile {
public:
    RenamedTemporary(FileSystem& fs, std::string name, std::string temp, std::unique_ptr<ByteFile> f,
                     bool direct)
        : fs_(fs), name_(std::move(name)), temp_(std::move(temp)), file_(std::move(f)), direct_(direct) {}
    ~RenamedTemporary() override {
        if (done_) return;
        file_->close();
        if (!direct_) fs_.remove(temp_);
    }
    ByteFile& file() override { return *file_; }
    bool commit() override {
        done_ = true;
        if (!file_->close()) {
            if (!direct_) fs_.remove(temp_);
            return false;
        }
        if (direct_ || fs_.rename(temp_, name_)) return true;
        fs_.remove(temp_);
        return false;
    }

private:
    FileSystem& fs_;
    std::string name_, temp_;
    std::unique_ptr<ByteFile> file_;
    bool direct_;
    bool done_ = false;
};

constexpr std::size_t kStagedBufferBytes = std::size_t{1} << 18;

// The final target of a name: symbolic links followed (a link to a file not yet there
// gives that file's name). Relative link texts are taken from the link's folder.
std::string follow_links(std::string name) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(name.c_str(), buf, sizeof buf);
        if (n <= 0 || std::size_t(n) >= sizeof buf) return name;
        std::string to(buf, std::size_t(n));
        const std::size_t slash = name.rfind('/');
        if (to[0] != '/' && slash != std::string::npos) to = name.substr(0, slash + 1) + to;
        name = std::move(to);
    }
    return name;  // a loop of links: creating the file will fail
}

std::string folder_of(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : name.substr(0, slash);
}

// Links an open unnamed file under `path`; errno tells why not.
bool link_descriptor(int fd, const std::string& path) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST) return false;
    // Without /proc the descriptor itself is linked, which needs CAP_DAC_READ_SEARCH.
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;
}

// A staged disk file: unnamed (O_TMPFILE, linked on commit), a named temporary
// (renamed on commit), or a device or pipe written in place.
class StagedDiskFile final : public StagedFile {
public:
    enum class Kind { unnamed, named, in_place };
    StagedDiskFile(std::unique_ptr<DiskFile> f, Kind kind, std::string target, std::string temp,
                   bool existed)
        : file_(std::move(f)), kind_(kind), target_(std::move(target)), temp_(std::move(temp)),
          existed_(existed) {
        if (kind_ == Kind::named) listed_ = std::make_unique<PendingName>(temp_);
    }
    ~StagedDiskFile() override {
        if (done_) return;
        file_->close();  // an unnamed file vanishes with its descriptor
        if (kind_ == Kind::named) ::unlink(temp_.c_str());
    }
    ByteFile& file() override { return *file_; }
    bool commit() override {
        done_ = true;
        switch (kind_) {
            case Kind::in_place:
                return file_->close();
            case Kind::named: {
                const bool ok = file_->close() && ::rename(temp_.c_str(), target_.c_str()) == 0;
                if (!ok) ::unlink(temp_.c_str());
                return ok;
            }
            case Kind::unnamed: {
                const bool placed = file_->flush() && place(file_->descriptor());
                return file_->close() && placed;
            }
        }
        return false;
    }

private:
    // link() never replaces a name, so a file already there is replaced by linking the
    // new one under a temporary name and renaming that onto it. Only between those two
    // calls does a name of the new file exist that is not the final one.
    bool place(int fd) {
        if (!existed_) {
            if (link_descriptor(fd, target_)) return true;
            if (errno != EEXIST) return false;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string side = temporary_beside(target_);
            const PendingName listed(side);
            if (link_descriptor(fd, side)) {
                if (::rename(side.c_str(), target_.c_str()) == 0) return true;
                ::unlink(side.c_str());
                return false;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }

    std::unique_ptr<DiskFile> file_;
    Kind kind_;
    std::string target_, temp_;
    bool existed_;
    bool done_ = false;
    std::unique_ptr<PendingName> listed_;  // the named temporary, while it exists
};

std::unique_ptr<DiskFile> disk_file_on(int fd) {
    std::FILE* f = ::fdopen(fd, "w+b");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<DiskFile>(f, true, kStagedBufferBytes);
}

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

bool DiskFileSystem::same_file(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    return !a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::unique_ptr<StagedFile> DiskFileSystem::stage(const std::string& name, StageError& why) {
    why = StageError::cannot_create;
    if (name.empty()) return nullptr;
    const std::string target = follow_links(name);
    struct stat st {};
    const bool existed = ::stat(target.c_str(), &st) == 0;
    if (existed) {
        if (S_ISDIR(st.st_mode)) return nullptr;
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
            why = StageError::pipe;
            return nullptr;
        }
        if (!S_ISREG(st.st_mode)) {
            // A device: renaming a file onto it would replace it.
            auto f = open(target, OpenMode::read_write);
            if (!f) return nullptr;
            why = StageError::none;
            return std::make_unique<StagedDiskFile>(
                std::unique_ptr<DiskFile>(static_cast<DiskFile*>(f.release())),
                StagedDiskFile::Kind::in_place, target, std::string(), true);
        }
        // The mode bits count even for a user whom access() lets write anything: a file
        // made read-only is not replaced behind its owner's back.
        if (::access(target.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0) {
            why = StageError::not_writable;
            return nullptr;
        }
    }
    const mode_t keep = existed ? (st.st_mode & 07777) : 0;
    if (!named_only_) {
        const int fd = ::open(folder_of(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0) {
            // The new version keeps the permissions of the file it replaces.
            if (existed) (void)::fchmod(fd, keep);
            auto f = disk_file_on(fd);
            if (!f) return nullptr;
            why = StageError::none;
            return std::make_unique<StagedDiskFile>(std::move(f), StagedDiskFile::Kind::unnamed,
                                                    target, std::string(), existed);
        }
        // Only a file system without unnamed files falls back to a named temporary.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return nullptr;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = temporary_beside(target);
        const int fd = ::open(temp.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        if (existed) (void)::fchmod(fd, keep);
        auto f = disk_file_on(fd);
        if (!f) {
            ::unlink(temp.c_str());
            return nullptr;
        }
        why = StageError::none;
        return std::make_unique<StagedDiskFile>(std::move(f), StagedDiskFile::Kind::named, target,
                                                temp, existed);
    }
    return nullptr;
}

std::unique_ptr<StagedFile> FileSystem::stage(const std::string& name, StageError& why) {
    why = StageError::cannot_create;
    if (name.empty()) return nullptr;
    const bool direct = is_special(name);
    const std::string temp = direct ? name : temporary_beside(name);
    auto f = direct ? open(name, OpenMode::read_write) : create(temp);
    if (!f) return nullptr;
    why = StageError::none;
    return std::make_unique<RenamedTemporary>(*this, name, temp, std::move(f), direct);
}

namespace {

// A new unnamed file in `folder`; -1 on failure.
int unnamed_file(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    // Without unnamed files: a random name created exclusively (never through a link)
    // and removed as soon as the file is open.
    std::string name = folder + "/.scratch.XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(name.c_str());
    return named;
}

// A handle of its own on an open file, at offset 0. Opened anew through /proc it has a
// position of its own; without /proc it shares the position of the other handles.
std::unique_ptr<ByteFile> handle_on(int fd, OpenMode mode) {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    int own = ::open(proc.c_str(), (mode == OpenMode::read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (own < 0) own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return nullptr;
    std::FILE* f = ::lseek(own, 0, SEEK_SET) == 0
                       ? ::fdopen(own, mode == OpenMode::read_only ? "rb" : "r+b")
                       : nullptr;
    if (!f) {
        ::close(own);
        return nullptr;
    }
    return std::make_unique<DiskFile>(f, mode == OpenMode::read_write);
}

}  // namespace

PrivateDiskFileSystem::~PrivateDiskFileSystem() {
    for (const auto& kv : files_) ::close(kv.second);
}

std::unique_ptr<ByteFile> PrivateDiskFileSystem::create(const std::string& name) {
    if (name.empty()) return nullptr;
    const int fd = unnamed_file(folder_);
    if (fd < 0) return nullptr;
    remove(name);
    files_[name] = fd;
    return handle_on(fd, OpenMode::read_write);
}

std::unique_ptr<ByteFile> PrivateDiskFileSystem::open(const std::string& name, OpenMode mode) {
    auto it = files_.find(name);
    return it == files_.end() ? nullptr : handle_on(it->second, mode);
}

bool PrivateDiskFileSystem::remove(const std::string& name) {
    auto it = files_.find(name);
    if (it == files_.end()) return false;
    ::close(it->second);
    files_.erase(it);
    return true;
}

bool PrivateDiskFileSystem::exists(const std::string& name) { return files_.count(name) > 0; }

bool PrivateDiskFileSystem::rename(const std::string& from, const std::string& to) {
    auto it = files_.find(from);
    if (it == files_.end()) return false;
    const int fd = it->second;
    files_.erase(it);
    remove(to);
    files_[to] = fd;
    return true;
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

void remove_temporaries_on_signals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGALRM, SIGUSR1, SIGUSR2}) {
        struct sigaction now {};
        if (::sigaction(sig, nullptr, &now) != 0 || now.sa_handler != SIG_DFL) continue;
        struct sigaction act {};
        act.sa_handler = remove_temporaries_and_end;
        sigemptyset(&act.sa_mask);
        act.sa_flags = SA_RESETHAND;
        ::sigaction(sig, &act, nullptr);
    }
}

}  // namespace gridout
