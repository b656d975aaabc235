// Byte-level file access used by the gridding library and the grid routines.
// A FileSystem hands out ByteFiles by name; DiskFileSystem works on real files in
// the current directory, MemoryFileSystem keeps named byte buffers in memory, so that
// scratch data need never touch the user's folder. Both have the same semantics.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace gridout {

static_assert(std::endian::native == std::endian::little,
              "binary files are little-endian; a big-endian port must swap words");

/// An open file with a current position.
/// read/write transfer up to the given count at the current position and advance it;
/// they return the count transferred: 0 at the end of the file, -1 on failure.
/// seek moves to an absolute offset and returns it, or -1 on failure. A write after a
/// seek beyond the end leaves the gap reading as zeros.
class ByteFile {
public:
    virtual ~ByteFile() = default;
    virtual std::int64_t read(std::span<std::byte> out) = 0;
    virtual std::int64_t write(std::span<const std::byte> in) = 0;
    virtual std::int64_t seek(std::int64_t offset) = 0;
    /// Current length of the file in bytes, or -1 when it cannot be told.
    virtual std::int64_t size() = 0;
    /// Flushes and closes; false when data could not be written. Idempotent.
    virtual bool close() = 0;
};

enum class OpenMode { read_only, read_write };

/// Why a new version of a file could not be started.
enum class StageError {
    none,
    cannot_create,  // no file can be made there (missing folder, a folder in the way, ...)
    not_writable,   // the file exists and its owner has not allowed writing it
    pipe,           // the name is a pipe or a socket: writing it could wait for ever
};

/// A new version of a named file, written out of sight and put in place whole by
/// commit(). Until then the name keeps whatever it held; a version that is never
/// committed (an error, an exception, a killed process) leaves nothing behind.
class StagedFile {
public:
    virtual ~StagedFile() = default;
    /// The open file to write (and read back) the new content through.
    virtual ByteFile& file() = 0;
    /// Flushes and closes the file and puts it in place under the name, replacing an
    /// earlier file in one step; false when data could not be written or the file could
    /// not be put in place (the name then keeps what it held). Call at most once.
    virtual bool commit() = 0;
};

/// Named files. Names are used as given (relative names are in the current directory).
class FileSystem {
public:
    virtual ~FileSystem() = default;
    /// Creates the file, or truncates an existing one; nullptr on failure.
    virtual std::unique_ptr<ByteFile> create(const std::string& name) = 0;
    /// Opens an existing file; nullptr when it does not exist or cannot be opened.
    virtual std::unique_ptr<ByteFile> open(const std::string& name, OpenMode mode) = 0;
    virtual bool remove(const std::string& name) = 0;
    virtual bool exists(const std::string& name) = 0;
    /// Replaces `to` by `from` (used to put a completed file in place).
    virtual bool rename(const std::string& from, const std::string& to) = 0;
    /// True when the name is an existing entry that is not a plain file (a device or a
    /// pipe): renaming a file onto it would replace the device, so it is written directly.
    virtual bool is_special(const std::string& name) { (void)name; return false; }
    /// True when both names reach one existing file (the same name, another spelling of
    /// its path, a link). Both must exist.
    virtual bool same_file(const std::string& a, const std::string& b) { return a == b && exists(a); }
    /// Starts a new version of `name`; nullptr (with the reason in `why`) when it cannot
    /// be written. A name that is a device or pipe is written in place (committing only
    /// closes it). This default writes a temporary beside the name and renames it.
    virtual std::unique_ptr<StagedFile> stage(const std::string& name, StageError& why);
};

/// Real files through buffered C streams. A staged file is written as an unnamed file
/// in the folder of its name (O_TMPFILE) and linked into place on commit, so that a
/// process killed while writing leaves neither a partial file nor a temporary. Where
/// the file system has no unnamed files it falls back to a temporary beside the name.
/// Every temporary name is listed for remove_temporaries_on_signals(). A name that is
/// a symbolic link is written through to the link's target; an existing file without
/// write permission (for anyone, or for this user) is refused, and so is a pipe or a
/// socket (StageError::pipe), which a writer without a reader would wait on for ever.
class DiskFileSystem final : public FileSystem {
public:
    std::unique_ptr<ByteFile> create(const std::string& name) override;
    std::unique_ptr<ByteFile> open(const std::string& name, OpenMode mode) override;
    bool remove(const std::string& name) override;
    bool exists(const std::string& name) override;
    bool rename(const std::string& from, const std::string& to) override;
    bool is_special(const std::string& name) override;
    bool same_file(const std::string& a, const std::string& b) override;
    std::unique_ptr<StagedFile> stage(const std::string& name, StageError& why) override;
    /// Stops stage() from using unnamed files, as on a file system without them; for
    /// tests of the fallback.
    void use_named_temporaries(bool on) { named_only_ = on; }

private:
    bool named_only_ = false;
};

/// Files on disk that belong to one owner alone. Each is an unnamed file in `folder`
/// (O_TMPFILE; where the file system has none, a file created exclusively under a
/// random name and removed at once), known by its name to this object only: nothing
/// appears in the folder, so two owners in one folder never meet, a link planted under
/// a name is never followed, and a killed process leaves nothing. A file stays until
/// it is removed or replaced, or the object goes away. Each handle starts at offset 0
/// (without /proc the handles of one name share their position: open one at a time).
class PrivateDiskFileSystem final : public FileSystem {
public:
    explicit PrivateDiskFileSystem(std::string folder = ".") : folder_(std::move(folder)) {}
    ~PrivateDiskFileSystem() override;
    PrivateDiskFileSystem(const PrivateDiskFileSystem&) = delete;
    PrivateDiskFileSystem& operator=(const PrivateDiskFileSystem&) = delete;
    std::unique_ptr<ByteFile> create(const std::string& name) override;
    std::unique_ptr<ByteFile> open(const std::string& name, OpenMode mode) override;
    bool remove(const std::string& name) override;
    bool exists(const std::string& name) override;
    bool rename(const std::string& from, const std::string& to) override;

private:
    std::string folder_;
    std::map<std::string, int> files_;  // name -> descriptor of the unnamed file
};

/// Files as growable byte buffers. A file stays after its ByteFile is closed, until
/// removed or until the MemoryFileSystem goes away. Read-only handles refuse writes.
class MemoryFileSystem final : public FileSystem {
public:
    std::unique_ptr<ByteFile> create(const std::string& name) override;
    std::unique_ptr<ByteFile> open(const std::string& name, OpenMode mode) override;
    bool remove(const std::string& name) override;
    bool exists(const std::string& name) override;
    bool rename(const std::string& from, const std::string& to) override;
    /// The bytes of a file (empty when there is none); for tests.
    std::vector<std::byte> contents(const std::string& name) const;
    std::vector<std::string> names() const;

private:
    std::map<std::string, std::shared_ptr<std::vector<std::byte>>> files_;
};

/// The process-wide disk (it holds no state).
FileSystem& disk();

/// For a program's main(): on a terminating signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
/// SIGPIPE, SIGXFSZ, SIGALRM, SIGUSR1, SIGUSR2) whose action is still the default, the
/// temporary names of staged files being put in place are removed before the process
/// ends as the signal says. Unnamed staged files need nothing: they vanish with the
/// process. Signals the program ignores stay ignored.
void remove_temporaries_on_signals();

// ---- 4-byte words ------------------------------------------------------------------
// Words are little-endian on file and in memory (asserted above), so they move as bytes.

template <class T>
concept Word = (sizeof(T) == 4) && std::is_trivially_copyable_v<T>;

/// Reads words.size() words; true only when every byte arrived.
template <Word T>
bool read_words(ByteFile& f, std::span<T> words) {
    auto bytes = std::as_writable_bytes(words);
    return bytes.empty() || f.read(bytes) == static_cast<std::int64_t>(bytes.size());
}

/// Writes the words; true only when every byte was accepted.
template <Word T>
bool write_words(ByteFile& f, std::span<const T> words) {
    auto bytes = std::as_bytes(words);
    return bytes.empty() || f.write(bytes) == static_cast<std::int64_t>(bytes.size());
}
template <Word T>
bool write_words(ByteFile& f, std::span<T> words) {
    return write_words(f, std::span<const T>(words));
}

template <Word T>
bool read_word(ByteFile& f, T& w) { return read_words(f, std::span<T>(&w, 1)); }
template <Word T>
bool write_word(ByteFile& f, T w) { return write_words(f, std::span<const T>(&w, 1)); }

/// Reads until out is full or the file ends, however the file hands the bytes out;
/// returns the count read, or -1 when a read fails.
std::int64_t read_up_to(ByteFile& f, std::span<std::byte> out);

/// Seeks and checks that the position reached is the one asked for.
inline bool seek_to(ByteFile& f, std::int64_t offset) { return f.seek(offset) == offset; }

}  // namespace gridout
