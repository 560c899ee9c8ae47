#include "platform/OperatorMessage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "log/cLogFile.h"
#include "tests/support/TempDir.h"

namespace pg {
namespace {

struct Shown {
    void* owner;
    std::string title;
    std::string text;
};

class OperatorMessageTest : public ::testing::Test {
  protected:
    ~OperatorMessageTest() override { OperatorMessage::SetSink(nullptr); }
};

TEST_F(OperatorMessageTest, SinkGetsOwnerTitleAndText) {
    std::vector<Shown> shown;
    OperatorMessage::SetSink([&](void* owner, const std::string& title, const std::string& text) {
        shown.push_back({owner, title, text});
    });
    int window = 0;
    ::testing::internal::CaptureStderr();
    OperatorMessage::Show(&window, "Pressgate.", "Sorry, only 1 Instance of Pressgate can run");
    OperatorMessage::Show(nullptr, "Error", "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].owner, &window);
    EXPECT_EQ(shown[0].title, "Pressgate.");
    EXPECT_EQ(shown[0].text, "Sorry, only 1 Instance of Pressgate can run");
    EXPECT_EQ(shown[1].owner, nullptr);
    EXPECT_EQ(shown[1].title, "Error");
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

TEST_F(OperatorMessageTest, SinkRunsOutsideTheLock) {
    // A sink may replace itself (a window closing while it shows a message).
    int calls = 0;
    OperatorMessage::SetSink([&](void*, const std::string&, const std::string&) {
        ++calls;
        OperatorMessage::SetSink(
            [&](void*, const std::string&, const std::string&) { calls += 100; });
    });
    OperatorMessage::Show(nullptr, "a", "b");
    OperatorMessage::Show(nullptr, "a", "b");
    EXPECT_EQ(calls, 101);
}

TEST_F(OperatorMessageTest, ShowAndSetSinkFromManyThreads) {
    std::atomic<int> calls{0};
    auto sink = [&](void*, const std::string&, const std::string&) { ++calls; };
    OperatorMessage::SetSink(sink);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                if (t == 0) {
                    OperatorMessage::SetSink(sink);
                } else {
                    OperatorMessage::Show(nullptr, "title", "text");
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(calls.load(), 3 * 500);
}

}  // namespace
}  // namespace pg
