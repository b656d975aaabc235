// One halvex run per folder. Runs in one folder share the line point files and the
// per-line outputs there, so a run holds an exclusive flock(2) lock on the folder
// itself for its whole length. No lock file is made: the kernel drops the lock when
// the process ends, however it ends, so a killed run (of any user) never leaves an
// obstacle, and nothing of the lock is ever seen in the folder.
#pragma once

#include <optional>
#include <string>

namespace driver {

class RunLock {
public:
    /// Takes the lock of the current folder. Returns nothing and sets `problem` to a
    /// one-line message (without its line end) when another run holds it or the folder
    /// cannot be locked.
    static std::optional<RunLock> acquire(std::string& problem);

    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&&) = delete;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    /// Releases the lock.
    ~RunLock();

private:
    explicit RunLock(int fd) : fd_(fd) {}
    int fd_ = -1;  // the folder, open for the lock alone
};

}  // namespace driver
