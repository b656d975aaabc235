// The folder lock of a run: one holder at a time, nothing of the lock ever seen in the
// folder, a lock left by a killed process no obstacle, and a lock file of an earlier
// version or of another user never followed nor an obstacle.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "control_test_util.hpp"
#include "driver_test_util.hpp"
#include "run_lock.hpp"

namespace driver {
namespace {

namespace fs = std::filesystem;
using TempDir = control_test::CwdTempDir;

TEST(RunLock, OneHolderAndNothingLeftBehind) {
    TempDir dir;
    const std::string busy = " another halvex run is working in " + fs::current_path().string() + "; run stopped";
    std::string problem;
    {
        std::optional<RunLock> first = RunLock::acquire(problem);
        ASSERT_TRUE(first.has_value()) << problem;
        EXPECT_TRUE(dir.names().empty());
        // A second holder in the same process locks the folder anew and is refused too.
        std::string second_problem;
        EXPECT_FALSE(RunLock::acquire(second_problem).has_value());
        EXPECT_EQ(second_problem, busy);
        // A holder moved elsewhere still holds the lock.
        const std::optional<RunLock> moved(std::move(first));
        first.reset();
        EXPECT_FALSE(RunLock::acquire(second_problem).has_value());
    }
    EXPECT_TRUE(dir.names().empty());
    const std::optional<RunLock> again = RunLock::acquire(problem);
    EXPECT_TRUE(again.has_value()) << problem;
}

TEST(RunLock, KilledHolderLeavesNothing) {
    TempDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string problem;
        const std::optional<RunLock> lock = RunLock::acquire(problem);
        if (lock) ::raise(SIGKILL);  // dies holding the lock
        ::_exit(2);
    }
    int wstatus = 0;
    ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
    ASSERT_TRUE(WIFSIGNALED(wstatus));
    EXPECT_TRUE(dir.names().empty());
    std::string problem;
    const std::optional<RunLock> lock = RunLock::acquire(problem);
    EXPECT_TRUE(lock.has_value()) << problem;
}

TEST(RunLock, OldLockFilesAreNoObstacle) {
    TempDir dir;
    driver_test::write_file("target", "keep");
    // A lock file of an earlier version as a link, and one no one may open (as another
    // user's would be).
    for (const bool link : {true, false}) {
        SCOPED_TRACE(link ? "a link" : "a file no one may open");
        fs::remove(".halvex.lock");
        if (link) fs::create_symlink("target", ".halvex.lock");
        else driver_test::write_file(".halvex.lock", "");
        if (!link) fs::permissions(".halvex.lock", fs::perms::none);
        std::string problem;
        EXPECT_TRUE(RunLock::acquire(problem).has_value()) << problem;
        EXPECT_EQ(driver_test::read_file("target"), "keep");
        EXPECT_EQ(dir.names(), (std::set<std::string>{".halvex.lock", "target"}));
    }
}

}  // namespace
}  // namespace driver
