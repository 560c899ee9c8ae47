#include "platform/InstanceLock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

// A second holder is refused until the first goes; a holder that dies leaves the lock free (a
// crashed instance never blocks the next one). Two live programs: the daemon's own tests.
TEST(InstanceLock, OneHolderAtATimeAndTheLockDiesWithItsHolder) {
    test::TempDir dir("pg-lock");
    {
        InstanceLock first(dir.Path());
        ASSERT_TRUE(first.Acquired()) << first.Error();
        EXPECT_EQ(first.Path(), dir / "PressgateInstance");
        InstanceLock second(dir.Path());
        EXPECT_FALSE(second.Acquired());
        EXPECT_EQ(second.Error(), EWOULDBLOCK);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // takes the lock and dies holding it: nothing lets go by hand
        InstanceLock lock(dir.Path());
        ::_exit(lock.Acquired() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(InstanceLock(dir.Path()).Acquired());
}

TEST(InstanceLock, LivesInTheRuntimeDirectoryElseTmpAndFollowsNoPlantedSymlink) {
    test::TempDir dir("pg-lock");
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / "PressgateInstance").c_str()), 0);
    InstanceLock planted(dir.Path());
    EXPECT_FALSE(planted.Acquired());
    EXPECT_EQ(planted.Error(), ELOOP);
    EXPECT_FALSE(test::FileExists(dir / "elsewhere"));

    test::TempDir runtime("pg-runtime");
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> previous =
        old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::string inRuntime = InstanceLock().Path();
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    const std::string inTmp = InstanceLock().Path();
    previous ? ::setenv("XDG_RUNTIME_DIR", previous->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(inRuntime, runtime / "PressgateInstance");
    EXPECT_EQ(inTmp, "/tmp/PressgateInstance");
}

}  // namespace
}  // namespace pg
