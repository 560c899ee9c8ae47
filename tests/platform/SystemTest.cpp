// The small system services: the one-instance lock and operator messages.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/InstanceLock.h"
#include "platform/OperatorMessage.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

// A second holder is refused and told who holds it; a holder that dies leaves the lock free (a
// crashed instance never blocks the next one); a planted symlink is not followed.
TEST(InstanceLock, OneLiveHolderAtATimeAndNoSymlinkFollowed) {
    test::TempDir dir("pg-lock");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // takes the lock and dies holding it: nothing lets go by hand
        InstanceLock lock(dir.Path());
        ::_exit(lock.Acquired() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(status, 0);
    InstanceLock first(dir.Path());
    ASSERT_TRUE(first.Acquired()) << first.Error();
    InstanceLock second(dir.Path());
    EXPECT_FALSE(second.Acquired());
    EXPECT_EQ(second.Holder(), ::getpid());

    test::TempDir planted("pg-lock");
    std::filesystem::create_symlink(planted / "elsewhere", planted / InstanceLock::kName);
    EXPECT_EQ(InstanceLock(planted.Path()).Error(), ELOOP);
    EXPECT_FALSE(test::FileExists(planted / "elsewhere"));
}

// Without a sink a message goes to stderr as "title: text". A sink gets owner, title and text
// instead; it is called outside the lock, so it may replace itself (a window closing while it
// shows a message).
TEST(OperatorMessage, GoesToStderrOrToTheSinkWhichMayReplaceItself) {
    ::testing::internal::CaptureStderr();
    OperatorMessage::Show(nullptr, "Winsock Error", "bind() failed: 98");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Winsock Error: bind() failed: 98\n");
    std::vector<std::string> shown;
    int window = 0;
    OperatorMessage::SetSink([&](void* owner, const std::string& title, const std::string& text) {
        shown.push_back(title + ": " + text + (owner == &window ? " (window)" : ""));
        OperatorMessage::SetSink(
            [&](void*, const std::string&, const std::string&) { shown.push_back("replaced"); });
    });
    OperatorMessage::Show(&window, "Pressgate.", "text");
    OperatorMessage::Show(nullptr, "Error", "");
    EXPECT_EQ(shown, (std::vector<std::string>{"Pressgate.: text (window)", "replaced"}));
    OperatorMessage::SetSink(nullptr);
}

}  // namespace
}  // namespace pg
