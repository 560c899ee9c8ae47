// The command table of the connection handler, over real loopback connections to an
// in-process daemon: exact bytes in, exact bytes (or silence) out.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "engine/LPDPrinter.h"
#include "platform/Mutex.h"
#include "platform/OperatorMessage.h"
#include "platform/UniqueFd.h"
#include "tests/engine/EngineTestJobs.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Sends one command line and returns everything the daemon sent before it closed.
std::string Exchange(uint16_t port, const std::string& request, bool* closed = nullptr) {
    LoopbackClient client(port);
    client.Send(request);
    return client.ReceiveUntilClose(seconds(10), closed);
}

class CommandTable : public ::testing::Test {
  protected:
    CommandTable() : daemon_(TestConfig().AddLocalQueue("lp")) {}
    std::shared_ptr<LPDPrinter> Queue() { return daemon_.Spooler().FindPrinter("lp"); }
    TestDaemon daemon_;
};

TEST_F(CommandTable, RepliesToUnknownQueuesAndCommands) {
    const std::string ack(1, '\0');
    const struct {
        std::string request, reply;
    } rows[] = {
        {"\002nosuch\n", ""},  // receive job: silence
        {"\003nosuch\n", "\001"},
        {"\004nosuch\n", "\001"},
        {"\005nosuch root 1\n", ""},
        {"\001nosuch\n", ack},  // print waiting jobs: acknowledged all the same
        {"\003lp\n", "lp: \n    No jobs queued\n"},
        {"\004LP\n", "lp: \n    No jobs queued\n"},
        {std::string(1, '\0') + "lp\n", ""},  // unknown command bytes
        {"\006lp\n", ""},
        {"\177lp\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.request));
        bool closed = false;
        EXPECT_EQ(Exchange(daemon_.Port(), row.request, &closed), row.reply);
        EXPECT_TRUE(closed);
    }
}

TEST_F(CommandTable, PrintWaitingJobsActivatesTheQueueWithoutRegardToCase) {
    Queue()->Stop();
    EXPECT_EQ(Exchange(daemon_.Port(), "\001LP\n"), std::string(1, '\0'));
    EXPECT_EQ(Queue()->State(), QueueState::Running);
}

TEST_F(CommandTable, ReceiveJobIsAcknowledgedOnlyWhileTheQueueRuns) {
    {
        LoopbackClient client(daemon_.Port());
        client.Send("\002Lp\n");
        EXPECT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
    }
    Queue()->Pause();  // the daemon itself still runs
    EXPECT_EQ(Exchange(daemon_.Port(), "\002lp\n"), "\001");
    Queue()->Stop();
    EXPECT_EQ(Exchange(daemon_.Port(), "\002lp\n"), "\001");
}

TEST_F(CommandTable, QueueStateSelectsByTheFirstListItem) {
    Queue()->Stop();  // the jobs stay put; a stopped queue's state is still served
    Queue()->AddJob(MakeJob(*Queue(), 12, "ann"));
    Queue()->AddJob(MakeJob(*Queue(), 13, "bob"));
    const std::string ann = "    #012 report.txt from ann@pc1 ";
    const std::string bob = "    #013 report.txt from bob@pc1 ";

    std::string all = Exchange(daemon_.Port(), "\003lp\n");
    EXPECT_NE(all.find(ann), std::string::npos) << all;
    EXPECT_NE(all.find(bob), std::string::npos) << all;

    std::string byNumber = Exchange(daemon_.Port(), "\003lp 12x 13\n");
    EXPECT_NE(byNumber.find(ann), std::string::npos) << byNumber;
    EXPECT_EQ(byNumber.find(bob), std::string::npos) << byNumber;

    std::string byUser = Exchange(daemon_.Port(), "\003lp bob\n");
    EXPECT_EQ(byUser.find(ann), std::string::npos) << byUser;
    EXPECT_NE(byUser.find(bob), std::string::npos) << byUser;

    // Two blanks: the first item is empty, so the whole list.
    EXPECT_EQ(Exchange(daemon_.Port(), "\003lp  bob\n"), all);
    // No job of that user: the header alone.
    EXPECT_EQ(Exchange(daemon_.Port(), "\003lp carl\n"), "lp: \n");
}

TEST_F(CommandTable, RemoveJobsFollowsTheAgentRules) {
    auto queue = Queue();
    queue->Stop();  // nothing delivers meanwhile
    queue->AddJob(MakeJob(*queue, 12, "ann"));
    queue->AddJob(MakeJob(*queue, 13, "ann"));
    queue->AddJob(MakeJob(*queue, 14, "bob"));
    queue->AddJob(MakeJob(*queue, 15, "bob"));

    auto numbers = [&] {
        std::string text;
        for (const auto& job : queue->Jobs()) {
            text += std::to_string(job->jobNo) + " ";
        }
        return text;
    };
    // Nothing is ever sent back.
    EXPECT_EQ(Exchange(daemon_.Port(), "\005lp ann 14\n"), "");   // not ann's job
    EXPECT_EQ(Exchange(daemon_.Port(), "\005lp ann bob\n"), "");  // another user's name
    EXPECT_EQ(numbers(), "12 13 14 15 ");
    EXPECT_EQ(Exchange(daemon_.Port(), "\005lp ann 12\n"), "");
    EXPECT_EQ(numbers(), "13 14 15 ");
    EXPECT_EQ(Exchange(daemon_.Port(), "\005lp root 14\n"), "");  // root removes any job
    EXPECT_EQ(numbers(), "13 15 ");
    EXPECT_EQ(Exchange(daemon_.Port(), "\005lp bob bob\n"), "");  // by user
    EXPECT_EQ(numbers(), "13 ");
    EXPECT_EQ(Exchange(daemon_.Port(), "\005lp ann root\n"), "");  // "root" removes by user root
    EXPECT_EQ(numbers(), "13 ");
}

TEST_F(CommandTable, CommandLineSplitOverTwoSendsIsAssembled) {
    LoopbackClient client(daemon_.Port());
    client.Send("\003l");
    std::this_thread::sleep_for(milliseconds(100));  // two separate segments on purpose
    client.Send("p\n");
    EXPECT_EQ(client.ReceiveUntilClose(seconds(5)), "lp: \n    No jobs queued\n");
}

TEST(CommandTableLimits, QueueNamesAreCutTo255Characters) {
    const std::string name(255, 'q');
    TestDaemon daemon(TestConfig().AddQueue(name, "nowhere,,,long"));
    const std::string header = name + ": \n    No jobs queued\n";
    EXPECT_EQ(Exchange(daemon.Port(), "\003" + std::string(300, 'q') + "\n"), header);
    EXPECT_EQ(Exchange(daemon.Port(), "\003" + std::string(256, 'Q') + "\n"), header);
    EXPECT_EQ(Exchange(daemon.Port(), "\003" + std::string(254, 'q') + "\n"), "\001");
}

TEST(CommandTableSettings, StatusCommandsGetNoReplyWhenDisabled) {
    TestDaemon daemon(
        TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "EnablePrintStatusControl", "N"));
    daemon.Spooler().FindPrinter("lp")->Stop();
    for (const char* request : {"\001lp\n", "\003lp\n", "\004lp\n", "\005lp root 1\n"}) {
        bool closed = false;
        EXPECT_EQ(Exchange(daemon.Port(), request, &closed), "") << int(request[0]);
        EXPECT_TRUE(closed);
    }
    EXPECT_EQ(daemon.Spooler().FindPrinter("lp")->State(), QueueState::Stop);
    daemon.Spooler().FindPrinter("lp")->Activate();
    LoopbackClient client(daemon.Port());
    client.Send("\002lp\n");
    EXPECT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
}

TEST(DestinationTest, MissingLocalPrinterRefusesTheJobOnlyWhenTested) {
    for (const char* tested : {"Y", "N"}) {
        SCOPED_TRACE(tested);
        TestConfig config;
        config.AddQueue("lp", "no-such-printer,,,x")
            .Set("GENERAL CONFIGURE", "TestPrintManager", tested);
        TestDaemon daemon(config);
        LoopbackClient client(daemon.Port());
        client.Send("\002lp\n");
        EXPECT_EQ(client.ReceiveExactly(1), std::string(1, tested[0] == 'Y' ? '\001' : '\0'));
        EXPECT_EQ(
            daemon.Spooler().FindPrinter("lp")->StatusText() == "Destination printer not ready",
            tested[0] == 'Y');
        EXPECT_EQ(daemon.ScreenHas("RunRecvRequest() :  error return in testing print manager for "
                                   "print queue lp"),
                  tested[0] == 'Y');
    }
}

TEST(DestinationTest, RemoteHostMustAcceptAConnection) {
    // A port that listens, and one that does not.
    UniqueFd listening(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listening.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening.Get(), 5), 0);
    socklen_t length = sizeof address;
    ::getsockname(listening.Get(), reinterpret_cast<sockaddr*>(&address), &length);
    const uint16_t open = ntohs(address.sin_port);
    const uint16_t closed = FreePort();

    TestConfig config;
    config.AddQueue("up", "store,127.0.0.1," + std::to_string(open) + ",remote");
    config.AddQueue("down", "store,127.0.0.1," + std::to_string(closed) + ",remote");
    TestDaemon daemon(config);

    LoopbackClient client(daemon.Port());
    client.Send("\002up\n");
    EXPECT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));

    EXPECT_EQ(Exchange(daemon.Port(), "\002down\n"), "\001");
    EXPECT_EQ(daemon.Spooler().FindPrinter("down")->StatusText(), "Destination printer not ready");
    EXPECT_TRUE(
        daemon.ScreenHas("Error : Test remote print queue. - failed in connect()  last error 111"));
}

TEST(DestinationTest, UnresolvableRemoteHostIsReportedToTheOperator) {
    std::vector<std::string> messages;
    Mutex mutex;
    OperatorMessage::SetSink([&](void*, const std::string& title, const std::string& text) {
        MutexLock lock(mutex);
        messages.push_back(title + "|" + text);
    });
    {
        TestDaemon daemon(TestConfig().AddQueue("far", "store,no-such-host.invalid,515,remote"));
        // A dotted second field makes the queue remote; this one has dots but no address.
        EXPECT_EQ(Exchange(daemon.Port(), "\002far\n"), "\001");
        EXPECT_TRUE(daemon.ScreenHas(
            "Error : Test remote queue - failed in gethostbyname(no-such-host.invalid)"));
    }
    OperatorMessage::SetSink(nullptr);
    MutexLock lock(mutex);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].substr(0, messages[0].find('|')), "gethostbyname() failed.");
    EXPECT_NE(messages[0].find("Make sure 'no-such-host.invalid' is listed in the hosts file."),
              std::string::npos);
}

TEST(ConnectionClose, EveryConnectionStaysOpenForTheCloseDelay) {
    TestDaemon daemon(
        TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "CloseDelayMs", "3000"));
    LoopbackClient client(daemon.Port());
    const auto start = std::chrono::steady_clock::now();
    client.Send("\003lp\n");
    bool closed = false;
    EXPECT_EQ(client.ReceiveUntilClose(seconds(10), &closed), "lp: \n    No jobs queued\n");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(closed);
    EXPECT_GE(waited, milliseconds(2900));
    // An unknown command waits just as long.
    LoopbackClient other(daemon.Port());
    const auto again = std::chrono::steady_clock::now();
    other.Send("\007lp\n");
    EXPECT_TRUE(other.WaitForClose(seconds(10)));
    EXPECT_GE(std::chrono::steady_clock::now() - again, milliseconds(2900));
}

TEST(ConnectionClose, SilentClientIsTreatedAsClosedAfterTheTimeout) {
    TestDaemon daemon(
        TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "LocalCmdTimeout", "1"));
    LoopbackClient client(daemon.Port());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.WaitForClose(seconds(10)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(900));
}

}  // namespace
}  // namespace pg::test
