// The listener: the addresses it serves, the listen queue and bind failures.

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>

#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A port in use and an address that is no address end the listener, with one message for the
// operator; the daemon's state stays.
TEST(Listener, BindFailuresEndTheListenerAndTellTheOperator) {
    FakeLpdHost busy;  // listening on 127.0.0.1, which the daemon's bind to any address meets
    const std::string taken = std::to_string(busy.Port());
    for (const auto& [key, value] :
         {std::pair{"LPDServerPort", taken}, {"ListenAddress", "127.0.0.1,lpd.example"}}) {
        MessageCapture messages;
        TestDaemon daemon(TestConfig().Set("GENERAL CONFIGURE", key, value));
        ASSERT_TRUE(daemon.WaitForScreenLine("ExitThread - RunLPDSpoolingServer()")) << key;
        EXPECT_EQ(messages.Take(), 1u);
        EXPECT_EQ(daemon.Spooler().State(), SpoolerState::Running);
    }
}

// By default one dual-stack socket serves both families; a list serves its addresses only.
TEST(Listener, ListenAddressChoosesTheAddressesServed) {
    const struct {
        std::string listen;
        bool ipv4, ipv6;
    } rows[] = {{"", true, true}, {"::1", false, true}, {"127.0.0.1, [::1]", true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.listen);
        TestDaemon daemon(TestConfig().Set("GENERAL CONFIGURE", "ListenAddress", row.listen));
        for (const auto& [from, served] : {std::pair{"127.0.0.1", row.ipv4}, {"::1", row.ipv6}}) {
            bool connected = true;
            try {
                LoopbackClient client(daemon.Port(), from);
            } catch (const std::runtime_error&) {
                connected = false;
            }
            EXPECT_EQ(connected, served) << from;
        }
    }
}

// Beyond MaxConnections nothing more is accepted, so waiting clients cost no thread; the first
// of them is served as soon as a connection ends, the next ones once the idle connections have
// been cut, and the operator is told once.
TEST(Listener, MaxConnectionsLeavesTheRestInTheListenQueue) {
    const int max = 4;
    TestDaemon daemon(TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "MaxConnections",
                                                           std::to_string(max)));
    auto threads = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator());
    };
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int i = 0; i < max; ++i) {
        idle.push_back(std::make_unique<LoopbackClient>(daemon.Port()));
    }
    ASSERT_TRUE(WaitUntil([&] { return CountScreenLines(daemon, "Enter RunRecvRequest") == max; }));
    const auto busy = threads();
    std::vector<std::unique_ptr<LoopbackClient>> waiting;
    for (int i = 0; i < 20; ++i) {
        waiting.push_back(std::make_unique<LoopbackClient>(daemon.Port()));
        waiting.back()->Send("\003lp\n");
    }
    EXPECT_EQ(waiting.front()->Receive(1, milliseconds(300)), "");
    EXPECT_EQ(threads(), busy);
    idle.front().reset();
    EXPECT_EQ(waiting.front()->ReceiveUntilClose(seconds(5)), kEmptyList);
    for (size_t i = 1; i < waiting.size(); ++i) {
        EXPECT_EQ(waiting[i]->ReceiveUntilClose(seconds(10)), kEmptyList) << i;
    }
    EXPECT_TRUE(idle.back()->WaitForClose(seconds(5)));
    EXPECT_TRUE(WaitUntil([&] { return threads() <= busy; }));
}

}  // namespace
}  // namespace pg::test
