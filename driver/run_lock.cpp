// The folder lock of a run (see run_lock.hpp).
#include "run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace driver {
namespace {

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when `path` still names the file open on `fd`.
bool names_file(const std::string& path, int fd) {
    struct stat open_file {}, named {};
    return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
           same_file(open_file, named);
}

}  // namespace

std::optional<RunLock> RunLock::acquire(std::string& problem) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    const std::string where = ec ? std::string(".") : folder.string();
    const std::string path = ec ? std::string(kLockFileName) : (folder / kLockFileName).string();
    // A run that ends removes its lock file while it still holds the lock. A run that
    // opened that file just before then locks a file no longer in the folder; it sees
    // that the name now leads elsewhere (or nowhere) and tries again.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            problem = " cannot make the lock file " + std::string(kLockFileName) + " in " + where +
                      ": " + std::strerror(errno);
            return std::nullopt;
        }
        int rc;
        do rc = ::flock(fd, LOCK_EX | LOCK_NB);
        while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const int err = errno;
            ::close(fd);
            problem = err == EWOULDBLOCK
                          ? " another halvex run is working in " + where + "; run stopped"
                          : " cannot lock " + std::string(kLockFileName) + " in " + where + ": " +
                                std::strerror(err);
            return std::nullopt;
        }
        if (names_file(path, fd)) return RunLock(fd, path);
        ::close(fd);
    }
    problem = " cannot keep the lock file " + std::string(kLockFileName) + " in " + where +
              ": it is removed as soon as it is made";
    return std::nullopt;
}

RunLock::RunLock(RunLock&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

RunLock::~RunLock() {
    if (fd_ < 0) return;
    // Only the file this run locked is removed: a name that leads elsewhere by now
    // belongs to someone else.
    if (names_file(path_, fd_)) ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace driver
