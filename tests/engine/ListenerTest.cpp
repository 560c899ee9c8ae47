// The listener and the daemon switch: pausing, the listen queue, bind failures, restarts and
// the accept pacing.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/PrintQueue.h"
#include "log/ErrorText.h"
#include "platform/UniqueFd.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kEmptyList = "lp: \n    No jobs queued\n";

// A paused daemon leaves connections waiting (completed by the system, not taken) and serves
// them once activated; deactivation stops the queues too.
TEST(Listener, PausedDaemonKeepsConnectionsWaitingAndServesThemAfterActivation) {
    TestDaemon daemon(TestConfig().AddLocalQueue("lp"), /*activate=*/false);
    auto waitingList = [&] {
        auto client = std::make_unique<LoopbackClient>(daemon.Port());
        client->Send("\003lp\n");
        EXPECT_EQ(client->Receive(1, milliseconds(400)), "");
        return client;
    };
    ASSERT_EQ(daemon.Spooler().State(), SpoolerState::Pause);
    auto client = waitingList();
    daemon.Spooler().ActivateLPD(true);
    EXPECT_EQ(client->ReceiveUntilClose(seconds(5)), kEmptyList);
    // Activating twice logs ready once but activates the queues twice.
    daemon.Spooler().ActivateLPD(true);
    EXPECT_EQ(CountScreenLines(daemon, "LPD Daemon is ready to accept print request."), 1u);
    EXPECT_EQ(CountScreenLines(daemon, "Activate print queue lp"), 2u);

    daemon.Spooler().ActivateLPD(false);
    EXPECT_EQ(daemon.Spooler().State(), SpoolerState::Pause);
    EXPECT_EQ(daemon.Spooler().FindQueueIgnoringCase("lp")->State(), QueueState::Stop);
    EXPECT_TRUE(daemon.ScreenHas("LPD Daemon is paused.  No more print request will be accepted."));
    client = waitingList();
    daemon.Spooler().ActivateLPD(true);
    EXPECT_EQ(client->ReceiveUntilClose(seconds(5)), kEmptyList);
    EXPECT_EQ(daemon.Spooler().FindQueueIgnoringCase("lp")->State(), QueueState::Running);
}

TEST(Listener, PortInUseIsABindFailure) {
    FakeLpdHost busy;  // listening on 127.0.0.1, which the daemon's bind to any address meets
    MessageCapture messages;
    TestDaemon daemon(TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "LPDServerPort",
                                                           std::to_string(busy.Port())));
    ASSERT_TRUE(daemon.WaitForScreenLine("ExitThread - RunLPDSpoolingServer()"));
    EXPECT_TRUE(daemon.ScreenHas("Error - RunLPDSpoolingServer() : bind() failed - socket error (" +
                                 ErrorText(EADDRINUSE) + ")"));
    EXPECT_EQ(messages.Take(), std::vector<std::string>{"Socket Error: bind(sock) failed"});
    EXPECT_EQ(daemon.Spooler().State(), SpoolerState::Running);  // the state stays
}

// The restarted daemon activates itself, as told, before any window exists.
TEST(Listener, RestartBindsTheSamePortAtOnce) {
    const std::string port = std::to_string(FreePort());
    TestConfig config;
    config.AddLocalQueue("lp").Set("GENERAL CONFIGURE", "LPDServerPort", port);
    {
        TestDaemon daemon(config);
        // The daemon closes first, so its side of the connection lingers in TIME_WAIT.
        ASSERT_EQ(Exchange(daemon.Port(), "\003lp\n"), kEmptyList);
    }
    TestDaemon again(config.Set("GENERAL CONFIGURE", "ActivateLPDOnStart", "Y"),
                     /*activate=*/false);
    EXPECT_EQ(again.Spooler().State(), SpoolerState::Running);
    EXPECT_EQ(again.Spooler().FindQueueIgnoringCase("lp")->State(), QueueState::Running);
    EXPECT_EQ(std::to_string(again.Port()), port);
    EXPECT_EQ(Exchange(again.Port(), "\003lp\n"), kEmptyList);
}

TEST(Listener, PortAbove32767IsKeptIn16SignedBitsAndStillListens) {
    UniqueFd probe(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(40000);
    if (::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        GTEST_SKIP() << "port 40000 is in use on this machine";
    }
    probe.Reset();
    TestDaemon daemon(
        TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "LPDServerPort", "40000"));
    EXPECT_TRUE(daemon.ScreenHas("LPDServerPort is -25536"));
    EXPECT_EQ(daemon.Port(), 40000);
    EXPECT_EQ(Exchange(40000, "\003lp\n"), kEmptyList);
}

TEST(Listener, AcceptPacingSpacesConnections) {
    TestDaemon daemon(
        TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "AcceptDelayMs", "300"));
    std::vector<std::unique_ptr<LoopbackClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(std::make_unique<LoopbackClient>(daemon.Port()));
        clients.back()->Send("\003lp\n");
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto& client : clients) {
        EXPECT_EQ(client->ReceiveExactly(kEmptyList.size(), seconds(5)), kEmptyList);
    }
    // The first is taken at once; the third only after two pauses.
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(550));
}

TEST(Listener, ManyConnectionsAtOnceAreAllServed) {
    TestDaemon daemon(TestConfig().AddLocalQueue("lp"));
    std::vector<std::unique_ptr<LoopbackClient>> clients;
    for (int i = 0; i < 40; ++i) {
        clients.push_back(std::make_unique<LoopbackClient>(daemon.Port()));
        clients.back()->Send(i % 2 ? "\003lp\n" : "\004lp\n");
    }
    for (auto& client : clients) {
        EXPECT_EQ(client->ReceiveUntilClose(seconds(10)), kEmptyList);
    }
}

TEST(Listener, ShutdownEndsConnectionsThatAreStillWaiting) {
    auto daemon = std::make_unique<TestDaemon>(
        TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "LocalCmdTimeout", "0"));
    LoopbackClient silent(daemon->Port());  // never sends: would wait for ever
    ASSERT_TRUE(daemon->WaitForScreenLine("Enter RunRecvRequest Thread"));
    const auto start = std::chrono::steady_clock::now();
    daemon->Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(3));
    EXPECT_TRUE(silent.WaitForClose(seconds(2)));
}

}  // namespace
}  // namespace pg::test
