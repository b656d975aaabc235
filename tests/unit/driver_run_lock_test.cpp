// The folder lock of a run: one holder at a time, the lock file gone after a release,
// a lock left by a killed process no obstacle, a lock name that is a link never followed.
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
        EXPECT_TRUE(fs::exists(kLockFileName));
        // A second holder in the same process opens the file anew and is refused too.
        std::string second_problem;
        EXPECT_FALSE(RunLock::acquire(second_problem).has_value());
        EXPECT_EQ(second_problem, busy);
        // A holder moved elsewhere still holds the lock.
        const std::optional<RunLock> moved(std::move(first));
        first.reset();
        EXPECT_FALSE(RunLock::acquire(second_problem).has_value());
    }
    EXPECT_FALSE(fs::exists(kLockFileName));
    const std::optional<RunLock> again = RunLock::acquire(problem);
    EXPECT_TRUE(again.has_value()) << problem;
}

TEST(RunLock, KilledHolderLeavesNoObstacle) {
    TempDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string problem;
        const std::optional<RunLock> lock = RunLock::acquire(problem);
        if (lock) ::raise(SIGKILL);  // dies holding the lock, its file left behind
        ::_exit(2);
    }
    int wstatus = 0;
    ASSERT_EQ(::waitpid(child, &wstatus, 0), child);
    ASSERT_TRUE(WIFSIGNALED(wstatus));
    EXPECT_TRUE(fs::exists(kLockFileName));
    std::string problem;
    {
        const std::optional<RunLock> lock = RunLock::acquire(problem);
        EXPECT_TRUE(lock.has_value()) << problem;
    }
    EXPECT_FALSE(fs::exists(kLockFileName));
}

TEST(RunLock, LockNameThatIsALinkIsRefused) {
    TempDir dir;
    driver_test::write_file("target", "keep");
    fs::create_symlink("target", kLockFileName);
    std::string problem;
    EXPECT_FALSE(RunLock::acquire(problem).has_value());
    EXPECT_EQ(problem.rfind(" cannot make the lock file .halvex.lock in ", 0), 0u) << problem;
    EXPECT_EQ(driver_test::read_file("target"), "keep");
    EXPECT_TRUE(fs::is_symlink(kLockFileName));
}

}  // namespace
}  // namespace driver
