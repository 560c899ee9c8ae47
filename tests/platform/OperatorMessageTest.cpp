#include "platform/OperatorMessage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log/cLogFile.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

using Shown = std::tuple<void*, std::string, std::string>;

class OperatorMessageTest : public ::testing::Test {
  protected:
    ~OperatorMessageTest() override { OperatorMessage::SetSink(nullptr); }
};

// The sink gets owner, title and text, and nothing goes to stderr. It is called outside the
// lock, so it may replace itself (a window closing while it shows a message).
TEST_F(OperatorMessageTest, SinkGetsEveryMessageOutsideTheLock) {
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

TEST_F(OperatorMessageTest, WithoutSinkGoesToStderrAndTheSystemLog) {
    test::TempDir dir("pg-opmsg");
    test::WriteFile(dir / "pgate.ini", "[Logging]\nLogLevel=1\nLogToScreen=Y\n");
    std::vector<std::string> screen;
    cLogFile::SetScreenOutput([&](const char* text) { screen.emplace_back(text); });
    systemLog.Open(dir / "pgate.ini");
    OperatorMessage::SetSink([](void*, const std::string&, const std::string&) {});
    OperatorMessage::SetSink(nullptr);  // back to the headless behaviour
    ::testing::internal::CaptureStderr();
    OperatorMessage::Show(nullptr, "Winsock Error", "bind() failed: 98");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Winsock Error: bind() failed: 98\n");
    systemLog.Close();
    cLogFile::SetScreenOutput(nullptr);
    ASSERT_FALSE(screen.empty());
    EXPECT_EQ(screen.front(), "Winsock Error: bind() failed: 98");
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
