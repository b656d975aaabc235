// One halvex run per folder. Runs in one folder share the line point files and the
// per-line outputs there, so a run holds an exclusive lock on a lock file in the
// current folder for its whole length. The lock is an flock(2) lock: the kernel drops
// it when the process ends, however it ends, so a killed run never leaves an obstacle.
#pragma once

#include <optional>
#include <string>

namespace driver {

/// Name of the lock file in the run's folder.
inline constexpr const char* kLockFileName = ".halvex.lock";

class RunLock {
public:
    /// Takes the lock of the current folder. Returns nothing and sets `problem` to a
    /// one-line message (without its line end) when another run holds it or the lock
    /// file cannot be made.
    static std::optional<RunLock> acquire(std::string& problem);

    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&&) = delete;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    /// Removes the lock file (while still holding it) and releases the lock.
    ~RunLock();

private:
    RunLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;  // absolute, so the release does not depend on the current folder
};

}  // namespace driver
