// The folder lock of a run (see run_lock.hpp).
#include "run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace driver {

std::optional<RunLock> RunLock::acquire(std::string& problem) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    const std::string where = ec ? std::string(".") : folder.string();
    // Each acquire opens the folder anew: flock locks belong to one open file, so a
    // second holder in the same process is refused as another process would be.
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        problem = " cannot lock the folder " + where + ": " + std::strerror(errno);
        return std::nullopt;
    }
    int rc;
    do rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        problem = err == EWOULDBLOCK ? " another halvex run is working in " + where + "; run stopped"
                                     : " cannot lock the folder " + where + ": " + std::strerror(err);
        return std::nullopt;
    }
    return RunLock(fd);
}

RunLock::RunLock(RunLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

RunLock::~RunLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace driver
