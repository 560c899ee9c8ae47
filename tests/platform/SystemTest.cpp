// The small system services: free space of a volume, the one-instance lock, operator
// messages.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log/LogFile.h"
#include "platform/FreeSpace.h"
#include "platform/InstanceLock.h"
#include "platform/OperatorMessage.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

TEST(FreeSpace, ReportsTheVolumeOfAPathOrTheErrno) {
    test::TempDir dir("pg-space");
    VolumeSpace space;
    int error = -1;
    ASSERT_TRUE(QueryVolumeSpace(dir.Path(), space, error));
    EXPECT_EQ(error, 0);
    // The same volume seen through another interface; others may write meanwhile.
    EXPECT_NEAR(
        static_cast<double>(space.freeClusters * space.sectorsPerCluster * space.bytesPerSector),
        static_cast<double>(std::filesystem::space(dir.Path()).available), 256.0 * 1024 * 1024);
    EXPECT_FALSE(QueryVolumeSpace(dir / "missing", space, error));
    EXPECT_EQ(error, ENOENT);
}

// A second holder is refused until the first goes; a holder that dies leaves the lock free (a
// crashed instance never blocks the next one); a planted symlink is not followed. Two live
// programs: the daemon's own tests.
TEST(InstanceLock, OneHolderAtATimeNamedInTheMessageInTheUsersRuntimeDirectory) {
    test::TempDir dir("pg-lock");
    {
        InstanceLock first(dir.Path());
        ASSERT_TRUE(first.Acquired()) << first.Error();
        InstanceLock second(dir.Path());
        EXPECT_FALSE(second.Acquired());
        EXPECT_EQ(second.Error(), EWOULDBLOCK);
        EXPECT_EQ(second.Holder(), ::getpid());  // the message names the holder
        EXPECT_NE(second.Message().find("process " + std::to_string(::getpid()) + " holds " +
                                        dir / "PressgateInstance"),
                  std::string::npos);
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

    std::filesystem::remove(dir / "PressgateInstance");
    std::filesystem::create_symlink(dir / "elsewhere", dir / "PressgateInstance");
    ::setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);
    InstanceLock planted;
    EXPECT_EQ(planted.Path(), dir / "PressgateInstance");
    EXPECT_EQ(planted.Error(), ELOOP);
    EXPECT_NE(
        planted.Message().find("cannot be opened - last error(" + std::to_string(ELOOP) + ": "),
        std::string::npos);
    EXPECT_FALSE(test::FileExists(dir / "elsewhere"));
    // Without a runtime directory each user gets a private one of their own.
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    const std::string own = "/tmp/pressgate-" + std::to_string(::getuid());
    EXPECT_EQ(InstanceLock().Path(), own + "/PressgateInstance");
    EXPECT_EQ(std::filesystem::status(own).permissions(), std::filesystem::perms::owner_all);
    ::unsetenv("XDG_RUNTIME_DIR");
}

using Shown = std::tuple<void*, std::string, std::string>;

class OperatorMessageTest : public ::testing::Test {
  protected:
    ~OperatorMessageTest() override { OperatorMessage::SetSink(nullptr); }
};

// Without a sink a message goes to stderr as "title: text" and into the system log. A sink gets
// owner, title and text instead; it is called outside the lock, so it may replace itself (a
// window closing while it shows a message).
TEST_F(OperatorMessageTest, GoesToStderrAndTheLogOrToTheSink) {
    test::TempDir dir("pg-opmsg");
    test::WriteFile(dir / "pgate.ini", "[Logging]\nLogLevel=1\nLogToScreen=Y\n");
    std::vector<std::string> screen;
    LogFile::SetScreenOutput([&](const char* text) { screen.emplace_back(text); });
    systemLog.Open(dir / "pgate.ini");
    ::testing::internal::CaptureStderr();
    OperatorMessage::Show(nullptr, "Winsock Error", "bind() failed: 98");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Winsock Error: bind() failed: 98\n");
    LogFile::SetScreenOutput(nullptr);
    systemLog.Close();
    EXPECT_EQ(screen, std::vector<std::string>{"Winsock Error: bind() failed: 98"});

    std::vector<Shown> shown;
    OperatorMessage::SetSink([&](void* owner, const std::string& title, const std::string& text) {
        shown.emplace_back(owner, title, text);
        OperatorMessage::SetSink([&](void* owner2, const std::string& title2, const std::string&) {
            shown.emplace_back(owner2, title2, "replaced");
        });
    });
    int window = 0;
    ::testing::internal::CaptureStderr();
    OperatorMessage::Show(&window, "Pressgate.", "Sorry, only 1 Instance of Pressgate can run");
    OperatorMessage::Show(nullptr, "Error", "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(shown, (std::vector<Shown>{
                         {&window, "Pressgate.", "Sorry, only 1 Instance of Pressgate can run"},
                         {nullptr, "Error", "replaced"}}));
}

TEST_F(OperatorMessageTest, ShowAndSetSinkFromManyThreads) {
    std::atomic<int> calls{0};
    auto sink = [&](void*, const std::string&, const std::string&) { ++calls; };
    OperatorMessage::SetSink(sink);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 500; ++i) {
                    t == 0 ? OperatorMessage::SetSink(sink)
                           : OperatorMessage::Show(nullptr, "title", "text");
                }
            });
        }
    }
    EXPECT_EQ(calls.load(), 3 * 500);
}

}  // namespace
}  // namespace pg
