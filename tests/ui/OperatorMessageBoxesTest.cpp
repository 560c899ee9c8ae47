// The engine's operator messages as message boxes: posted from other threads, and holding
// only the thread of a remote destination test until the operator answers.

#include <chrono>
#include <future>
#include <string>

#include "platform/OperatorMessage.h"
#include "tests/ui/WindowFixture.h"

namespace pg::test {
namespace {

using namespace std::chrono_literals;

// Worker messages are posted in order without waiting (the window thread is not processing
// events: a waiting worker would never finish). Going away releases a waiting thread and
// drops its box.
TEST(OperatorMessageBoxesTest, WorkerMessagesArePostedInOrderAndReleasedWhenTheyGo) {
    auto boxes = std::make_unique<OperatorMessageBoxes>();
    ModalAnswerer answerer;
    std::future<void> worker = std::async(std::launch::async, [] {
        OperatorMessage::Show(nullptr, "Winsock Error", "bind() failed");
        OperatorMessage::Show(nullptr, "Error", "Printer not exist!");
    });
    ASSERT_EQ(worker.wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(WaitFor([&] { return answerer.Count() == 2; }));
    EXPECT_EQ(answerer.Texts(), QStringList({"bind() failed", "Printer not exist!"}));

    worker = std::async(std::launch::async,
                        [] { OperatorMessage::Show(nullptr, "Error", "socket() failed"); });
    ASSERT_TRUE(WaitUntil([&] { return boxes->WaitingThreads() == 1; }));
    boxes.reset();
    EXPECT_EQ(worker.wait_for(10s), std::future_status::ready);
    QCoreApplication::processEvents();
    EXPECT_EQ(answerer.Count(), 2);
}

// A remote queue whose host cannot be resolved: the connection asking for it waits for the
// operator; the listener and other connections go on.
TEST(OperatorMessageBoxesTest, TheDestinationTestBlocksOnlyItsOwnConnection) {
    TestDaemon daemon(TestConfig().AddLocalQueue("lp").AddQueue("far", "farq,nohost.invalid,515,"));
    OperatorMessageBoxes boxes;
    ModalAnswerer answerer;
    LoopbackClient waiting(daemon.Port());
    waiting.Send("\002far\n");

    std::string replyWhileOpen = "unset";
    std::string otherReply;
    answerer.SetInspector([&](const ModalAnswerer::Seen&) {
        replyWhileOpen = waiting.Receive(1, 200ms);
        LoopbackClient other(daemon.Port());
        other.Send("\002lp\n");
        otherReply = other.Receive(1);
    });
    ASSERT_TRUE(WaitFor([&] { return answerer.Count() == 1; }, 20000));
    EXPECT_NE(answerer.All()[0].text.indexOf("nohost.invalid"), -1);
    EXPECT_EQ(replyWhileOpen, "");
    EXPECT_EQ(otherReply, std::string(1, '\0'));
    // Answered: the waiting connection gets its refusal.
    EXPECT_EQ(waiting.Receive(1, 10s), std::string(1, '\1'));
}

}  // namespace
}  // namespace pg::test
