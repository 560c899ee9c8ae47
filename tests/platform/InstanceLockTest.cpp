#include "platform/InstanceLock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/UniqueFd.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

// Runs an environment variable change for the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            previous_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { previous_ ? ::setenv(name_, previous_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

TEST(InstanceLock, OnlyOneHolderAtATimeInOneProcess) {
    test::TempDir dir("pg-lock");
    auto first = std::make_unique<InstanceLock>(dir.Path());
    ASSERT_TRUE(first->Acquired()) << first->Error();
    EXPECT_EQ(first->Path(), dir / "PressgateInstance");
    {
        InstanceLock second(dir.Path());  // its own open file description
        EXPECT_FALSE(second.Acquired());
        EXPECT_EQ(second.Error(), EWOULDBLOCK);
    }
    first.reset();
    InstanceLock third(dir.Path());
    EXPECT_TRUE(third.Acquired());
}

TEST(InstanceLock, ExcludesAnotherProcess) {
    test::TempDir dir("pg-lock");
    int toChild[2];
    int toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Takes the lock, reports, holds it until told to go.
        ::close(toChild[1]);
        ::close(toParent[0]);
        InstanceLock lock(dir.Path());
        const char state = lock.Acquired() ? 'y' : 'n';
        (void)!::write(toParent[1], &state, 1);
        char go;
        (void)!::read(toChild[0], &go, 1);
        ::_exit(0);
    }
    UniqueFd childIn(toChild[1]);
    UniqueFd childOut(toParent[0]);
    ::close(toChild[0]);
    ::close(toParent[1]);

    char state = 0;
    ASSERT_EQ(::read(childOut.Get(), &state, 1), 1);
    ASSERT_EQ(state, 'y');
    {
        InstanceLock mine(dir.Path());
        EXPECT_FALSE(mine.Acquired());
    }
    childIn.Reset();  // the child reads end-of-file and exits
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    // The lock died with its holder.
    InstanceLock after(dir.Path());
    EXPECT_TRUE(after.Acquired());

    // And the other way round: a child cannot take the lock this process holds.
    const pid_t second = ::fork();
    ASSERT_GE(second, 0);
    if (second == 0) {
        InstanceLock lock(dir.Path());
        ::_exit(lock.Acquired() ? 1 : 0);
    }
    ASSERT_EQ(::waitpid(second, &status, 0), second);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(InstanceLock, DirectoryFallsBackToRuntimeDirThenTmp) {
    test::TempDir runtime("pg-runtime");
    {
        ScopedEnv env("XDG_RUNTIME_DIR", runtime.Path().c_str());
        InstanceLock lock;
        EXPECT_EQ(lock.Path(), runtime / "PressgateInstance");
        EXPECT_TRUE(lock.Acquired());
    }
    {
        ScopedEnv env("XDG_RUNTIME_DIR", "");
        EXPECT_EQ(InstanceLock().Path(), "/tmp/PressgateInstance");
    }
}

TEST(InstanceLock, PlantedSymlinkIsNotFollowed) {
    test::TempDir dir("pg-lock");
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / "PressgateInstance").c_str()), 0);
    InstanceLock lock(dir.Path());
    EXPECT_FALSE(lock.Acquired());
    EXPECT_EQ(lock.Error(), ELOOP);
    EXPECT_FALSE(test::FileExists(dir / "elsewhere"));
}

}  // namespace
}  // namespace pg
