// The command table of the connection handler, over real loopback connections to an
// in-process daemon: exact bytes in, exact bytes (or silence) out.

#include <gtest/gtest.h>

#include <regex>

#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class CommandTable : public ::testing::Test {
  protected:
    CommandTable() : daemon_(TestConfig().AddLocalQueue("lp")) {}
    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueueIgnoringCase("lp"); }
    TestDaemon daemon_;
};

TEST_F(CommandTable, RepliesToUnknownQueuesAndCommands) {
    const struct {
        std::string request, reply;
    } rows[] = {
        {"\002nosuch\n", ""},                                        // receive job: silence
        {"\004no\033such\n", "no\\x1Bsuch: no such print queue\n"},  // shown escaped
        {"\005nosuch root 1\n", ""},
        {"\001nosuch\n", kAck},  // print waiting jobs: acknowledged all the same
        {"\003lp\n", kEmptyList},
        {"\004LP\n", kEmptyList},
        {std::string(1, '\0') + "lp\n", ""},  // unknown command bytes
        {"\006lp\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.request));
        bool closed = false;
        EXPECT_EQ(Exchange(daemon_.Port(), row.request, &closed), row.reply);
        EXPECT_TRUE(closed);
    }
}

// Print waiting jobs activates a stopped queue, without regard to case; receive job is
// acknowledged only while the queue runs.
TEST_F(CommandTable, ReceiveJobIsAcknowledgedOnlyWhileTheQueueRuns) {
    Queue()->Pause();  // the daemon itself still runs
    EXPECT_EQ(Exchange(daemon_.Port(), "\002lp\n"), "\001");
    Queue()->Stop();
    EXPECT_EQ(Exchange(daemon_.Port(), "\002lp\n"), "\001");
    EXPECT_EQ(Exchange(daemon_.Port(), "\001LP\n"), kAck);
    EXPECT_EQ(Queue()->State(), QueueState::Running);
    EXPECT_EQ(FirstReply(daemon_.Port(), "\002Lp\n"), kAck);
}

// Short and long lists over the wire; the first list item selects by number or by user. Long
// list ranks count over the whole queue, also when the selection shows only some jobs.
TEST_F(CommandTable, QueueStateSelectsByTheFirstListItem) {
    Queue()->Stop();  // the jobs stay put; a stopped queue's state is still served
    auto job = StoreJob(*Queue(), 12, "ann");
    StoreJob(*Queue(), 13, "bob")->SetState(JobState::Printing);
    Queue()->HoldJob(*StoreJob(*Queue(), 14, "bob"));
    StoreJob(*Queue(), 15, "bob");
    EXPECT_EQ(Exchange(daemon_.Port(), "\003lp 12\n"),
              "lp: \n    #012 report.txt from ann@pc1 waiting " + job->timeDate + "\n");
    const std::string size = std::to_string(job->TotalSize());
    EXPECT_TRUE(std::regex_match(
        Exchange(daemon_.Port(), "\004lp bob\n"),
        std::regex("lp: \nRank +Owner +Job +Files +Total Size\nactive +bob@pc1 +13 +report.txt +" +
                   size + " bytes\nhold +bob@pc1 +14 .*\n4th +bob@pc1 +15 .*\n")));
    auto listed = [&](const std::string& request) {
        const std::string text = Exchange(daemon_.Port(), request);
        std::string numbers;
        for (const char* n : {"#012", "#013", "#014", "#015"}) {
            numbers += text.find(n) != std::string::npos ? n : "";
        }
        return numbers;
    };
    EXPECT_EQ(listed("\003lp\n"), "#012#013#014#015");
    EXPECT_EQ(listed("\003lp 12x 13\n"), "#012");
    EXPECT_EQ(listed("\003lp bob\n"), "#013#014#015");
    // No job of that user: the header alone.
    EXPECT_EQ(Exchange(daemon_.Port(), "\003lp carl\n"), "lp: \n");
}

TEST_F(CommandTable, CommandLineSplitOverTwoSendsIsAssembled) {
    LoopbackClient client(daemon_.Port());
    client.Send("\003l");
    ASSERT_TRUE(daemon_.WaitForScreenLine("Enter RunRecvRequest"));
    client.Send("p\n");
    EXPECT_EQ(client.ReceiveUntilClose(seconds(5)), kEmptyList);
}

// TestPrintManager (on by default): a job is taken only when the queue's printer exists, or its
// remote host takes a connection.
TEST(DestinationTest, JobsAreRefusedWhenThePrinterOrTheRemoteHostIsNotThere) {
    FakeLpdHost listening;  // a port that listens, and one that does not
    TestDaemon daemon(
        TestConfig()
            .AddQueue("lp", "no-such-printer,,,x")
            .AddQueue("up", "store,127.0.0.1," + std::to_string(listening.Port()) + ",remote")
            .AddQueue("down", "store,127.0.0.1," + std::to_string(FreePort()) + ",remote"));
    EXPECT_EQ(Exchange(daemon.Port(), "\002lp\n"), "\001");
    EXPECT_EQ(FirstReply(daemon.Port(), "\002up\n"), kAck);
    EXPECT_EQ(Exchange(daemon.Port(), "\002down\n"), "\001");
}

// The reply ends with our half-close; the connection ends when the client closes too, and a
// client that never closes is cut after CloseDelayMs. The exit line tells when the thread ended.
TEST(ConnectionClose, EndsWithTheClientsCloseOrAfterTheCloseDelay) {
    const char* kExit = "RunRecvRequest() :  Exit this thread";
    for (const bool clientCloses : {true, false}) {
        SCOPED_TRACE(clientCloses);
        TestDaemon daemon(TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "CloseDelayMs",
                                                               clientCloses ? "600000" : "200"));
        LoopbackClient client(daemon.Port());
        client.Send("\003lp\n");
        bool closed = false;
        EXPECT_EQ(client.ReceiveUntilClose(seconds(10), &closed), kEmptyList);
        EXPECT_TRUE(closed);
        if (clientCloses) {
            EXPECT_FALSE(daemon.ScreenHas(kExit));
            client.ShutdownWrite();
        }
        EXPECT_TRUE(daemon.WaitForScreenLine(kExit));
    }
}

// A byte now and then never lets a read time out; still the command line must come within the
// time-out as a whole, and with MinBytesPerSecond a job's files must come fast enough.
TEST(ConnectionClose, DribblingClientsAreCutOff) {
    TestDaemon daemon(TestConfig()
                          .AddLocalQueue("lp")
                          .Set("GENERAL CONFIGURE", "LocalCmdTimeout", "1")
                          .Set("GENERAL CONFIGURE", "MinBytesPerSecond", "100"));
    // False when the daemon closes the connection before the last byte is out.
    auto dribble = [](LoopbackClient& client, const std::string& bytes) {
        for (char c : bytes) {
            client.Send(std::string(1, c));
            if (client.WaitForClose(milliseconds(250))) {
                return false;
            }
        }
        return true;
    };
    LoopbackClient line(daemon.Port());
    EXPECT_FALSE(dribble(line, "\003" + std::string(20, 'l') + "\n"));

    LoopbackClient job(daemon.Port());
    job.Send("\002lp\n");
    ASSERT_EQ(job.ReceiveExactly(1), kAck);
    job.Send("\00220 cfA001host\n");
    ASSERT_EQ(job.ReceiveExactly(1), kAck);
    EXPECT_FALSE(dribble(job, "Hhost\nPann\nJslow\nN\n"));
    EXPECT_TRUE(daemon.WaitForScreenLine("slower than MinBytesPerSecond (100): connection cut"));
    EXPECT_TRUE(daemon.Spooler().FindQueueIgnoringCase("lp")->Jobs().empty());
}

}  // namespace
}  // namespace pg::test
