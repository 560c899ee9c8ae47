// The [Access] rules at work: each command from a source the rules refuse and from one they
// let through, over IPv4 and IPv6 loopback connections to an in-process daemon.

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

std::string ExchangeFrom(uint16_t port, const std::string& from, const std::string& request,
                         uint16_t sourcePort = 0) {
    LoopbackClient client(port, from, sourcePort);
    client.Send(request);
    client.ShutdownWrite();
    return client.ReceiveUntilClose(std::chrono::seconds(10));
}

TEST(Access, EachCommandIsServedOrRefusedByItsSource) {
    TestDaemon daemon(TestConfig()
                          .AddLocalQueue("lp")
                          .Set("Access", "Rule1", "deny submit 127.0.0.2")
                          .Set("Access", "Rule2", "deny status ::1/128")
                          .Set("Access", "Rule3", "deny print-waiting 127.0.0.3 LP")
                          .Set("Access", "Rule4", "deny remove ::1")
                          .Set("Access", "Rule5", "allow all any"));
    const struct {
        std::string request, from, reply;
    } rows[] = {
        {"\002lp\n", "127.0.0.2", kNack},
        {"\002lp\n", "::1", kAck},
        {"\003lp\n", "::1", "Host ::1 is not allowed to see this queue\n"},
        {"\004lp\n", "127.0.0.2", kEmptyList},
        {"\001lp\n", "127.0.0.3", kNack},
        {"\001other\n", "127.0.0.3", kAck},  // the rule names queue lp only
        {"\001lp\n", "::1", kAck},
    };
    for (const auto& row : rows) {
        const std::string reply = ExchangeFrom(daemon.Port(), row.from, row.request);
        EXPECT_EQ(row.reply == kAck ? reply.substr(0, 1) : reply, row.reply)
            << testing::PrintToString(row.request) << " from " << row.from;
    }

    auto queue = daemon.Spooler().FindQueue("lp");
    queue->Stop();  // nothing delivers meanwhile
    StoreJob(*queue, 12, "ann", "pc1", {}, "", 0, "127.0.0.3");
    EXPECT_EQ(ExchangeFrom(daemon.Port(), "::1", "\005lp root 12\n"), "");
    EXPECT_EQ(Numbers(*queue), "12 ");
    EXPECT_EQ(ExchangeFrom(daemon.Port(), "127.0.0.3", "\005lp root 12\n"), "");
    EXPECT_EQ(Numbers(*queue), "");
}

// Who may remove which job: the job's own user from the address the job came from, root from
// there or from an operator host; every number and user of a request counts.
TEST(Removal, OwnerAndRootFromTheJobsOriginOperatorFromAnywhere) {
    TestDaemon daemon(TestConfig()
                          .AddLocalQueue("lp")
                          .Set("Access", "Rule1", "allow operator 127.0.0.3")
                          .Set("Access", "Rule2", "allow all any"));
    auto queue = daemon.Spooler().FindQueueIgnoringCase("lp");
    queue->Stop();  // nothing delivers meanwhile
    const std::string all = "12 13 14 15 ";
    const struct {
        std::string request, from, left;
    } rows[] = {
        {"\005lp ann 12\n", "127.0.0.1", "13 14 15 "},           // owner from the origin
        {"\005lp ann 12\n", "127.0.0.2", all},                   // owner from elsewhere
        {"\005lp ann 14\n", "127.0.0.2", all},                   // bob's job, from its origin
        {"\005lp root 14\n", "127.0.0.2", "12 13 15 "},          // root from the origin
        {"\005lp root 14\n", "127.0.0.1", all},                  // root from elsewhere
        {"\005lp root 12 14 15\n", "127.0.0.3", "13 "},          // root from an operator host
        {"\005lp ann 14\n", "127.0.0.3", all},                   // but only root
        {"\005lp ann 12 13  bob 15x\n", "127.0.0.1", "14 15 "},  // every item
        {"\005lp ann 15\n", "::1", "12 13 14 "},                 // an IPv6 origin
        {"\005lp ann 15\n", "127.0.0.1", all},
        {"\005lp ann\n", "127.0.0.1", "13 14 15 "},  // no item: ann's first job from here
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.request) + " from " + row.from);
        StoreJob(*queue, 12, "ann");
        StoreJob(*queue, 13, "ann");
        StoreJob(*queue, 14, "bob", "pc1", {}, "", 0, "127.0.0.2");
        StoreJob(*queue, 15, "ann", "pc1", {}, "", 0, "::1");
        EXPECT_EQ(ExchangeFrom(daemon.Port(), row.from, row.request), "");
        EXPECT_EQ(Numbers(*queue), row.left);
        queue->RemoveJob();
    }
}

// RemoveNeedsPrivilegedPort: only a client that could bind a port below 1024 may remove.
TEST(AccessOptions, RemovalFromAnUnprivilegedPortIsRefusedWhenRequired) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "binding a source port below 1024 needs root";
    }
    TestDaemon daemon(
        TestConfig().AddLocalQueue("lp").Set("Access", "RemoveNeedsPrivilegedPort", "Y"));
    auto queue = daemon.Spooler().FindQueueIgnoringCase("lp");
    queue->Stop();
    StoreJob(*queue, 3, "ann");
    EXPECT_EQ(ExchangeFrom(daemon.Port(), "127.0.0.1", "\005lp ann 3\n"), "");
    EXPECT_EQ(Numbers(*queue), "3 ");
    for (uint16_t port = 1023; port > 900 && !queue->Jobs().empty(); --port) {
        try {
            ExchangeFrom(daemon.Port(), "127.0.0.1", "\005lp ann 3\n", port);
        } catch (const std::runtime_error&) {
            // that port is taken: the next
        }
    }
    EXPECT_EQ(Numbers(*queue), "");
}

}  // namespace
}  // namespace pg::test
