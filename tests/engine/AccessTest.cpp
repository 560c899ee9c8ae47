// The [Access] rules at work: each command from a source the rules refuse and from one they
// let through, over IPv4 and IPv6 loopback connections to an in-process daemon.

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

const std::string kAck(1, '\0');
const std::string kNack = "\001";
const std::string kEmptyList = "lp: \n    No jobs queued\n";

std::string ExchangeFrom(uint16_t port, const std::string& from, const std::string& request,
                         uint16_t sourcePort = 0) {
    LoopbackClient client(port, from, sourcePort);
    client.Send(request);
    client.ShutdownWrite();
    return client.ReceiveUntilClose(std::chrono::seconds(10));
}

class Access : public ::testing::Test {
  protected:
    Access()
        : daemon_(TestConfig()
                      .AddLocalQueue("lp")
                      .Set("Access", "Rule1", "deny submit 127.0.0.2")
                      .Set("Access", "Rule2", "deny status ::1/128")
                      .Set("Access", "Rule3", "deny print-waiting 127.0.0.3 LP")
                      .Set("Access", "Rule4", "deny remove ::1")
                      .Set("Access", "Rule5", "allow all any")) {}
    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueueIgnoringCase("lp"); }
    TestDaemon daemon_;
};

TEST_F(Access, EachCommandIsServedOrRefusedByItsSource) {
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
        SCOPED_TRACE(testing::PrintToString(row.request) + " from " + row.from);
        const std::string logged = "refused to " + row.from + " by the access rules";
        const size_t before = CountScreenLines(daemon_, logged);
        const std::string reply = ExchangeFrom(daemon_.Port(), row.from, row.request);
        EXPECT_EQ(row.reply == kAck ? reply.substr(0, 1) : reply, row.reply);
        EXPECT_EQ(CountScreenLines(daemon_, logged) - before,
                  reply == kNack || reply.rfind("Host ", 0) == 0 ? 1u : 0u);
    }

    auto queue = Queue();
    queue->Stop();  // nothing delivers meanwhile
    StoreJob(*queue, 12, "ann", "pc1", {}, "", 0, "127.0.0.3");
    EXPECT_EQ(ExchangeFrom(daemon_.Port(), "::1", "\005lp root 12\n"), "");
    EXPECT_EQ(Numbers(*queue), "12 ");
    EXPECT_TRUE(daemon_.ScreenHas("remove on print queue lp refused to ::1 by the access rules"));
    EXPECT_EQ(ExchangeFrom(daemon_.Port(), "127.0.0.3", "\005lp root 12\n"), "");
    EXPECT_EQ(Numbers(*queue), "");
}

// A job received, listed and removed over IPv6, on the dual-stack socket that also serves the
// IPv4 clients of the other tests.
TEST_F(Access, IPv6ClientsPrintListAndRemove) {
    const std::string control = "Hv6host\nPann\nJv6job\nldfA001v6host\nUdfA001v6host\n";
    const std::string data = "printed over IPv6";
    Queue()->Stop();
    Queue()->Activate();
    {
        LoopbackClient client(daemon_.Port(), "::1");
        client.Send("\002lp\n");
        ASSERT_EQ(client.ReceiveExactly(1), kAck);
        client.Send("\002" + std::to_string(control.size()) + " cfA001v6host\n");
        ASSERT_EQ(client.ReceiveExactly(1), kAck);
        client.Send(control + std::string(1, '\0'));
        ASSERT_EQ(client.ReceiveExactly(1), kAck);
        client.Send("\003" + std::to_string(data.size()) + " dfA001v6host\n");
        ASSERT_EQ(client.ReceiveExactly(1), kAck);
        client.Send(data + std::string(1, '\0'));
        ASSERT_EQ(client.ReceiveExactly(1), kAck);
    }
    ASSERT_TRUE(WaitUntil([&] { return Queue()->Jobs().empty(); }));  // printed and gone
    std::string printed;
    for (const auto& document : std::filesystem::directory_iterator(daemon_.PrinterPath("lp"))) {
        printed += ReadFile(document.path());
    }
    EXPECT_EQ(printed.rfind("printed over IPv6", 0), 0u) << printed;

    Queue()->Stop();
    StoreJob(*Queue(), 7, "ann", "v6host");
    const std::string list = ExchangeFrom(daemon_.Port(), "127.0.0.1", "\003lp\n");
    EXPECT_NE(list.find("#007 report.txt from ann@v6host"), std::string::npos) << list;
    EXPECT_EQ(ExchangeFrom(daemon_.Port(), "::1", "\005lp ann 7\n"), "");  // remove: refused
    EXPECT_EQ(Numbers(*Queue()), "7 ");
    EXPECT_EQ(ExchangeFrom(daemon_.Port(), "127.0.0.1", "\005lp ann 7\n"), "");
    EXPECT_EQ(Numbers(*Queue()), "");
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
        size_t refusals;
    } rows[] = {
        {"\005lp ann 12\n", "127.0.0.1", "13 14 15 ", 0},           // owner from the origin
        {"\005lp ann 12\n", "127.0.0.2", all, 1},                   // owner from elsewhere
        {"\005lp ann 14\n", "127.0.0.2", all, 1},                   // bob's job, from its origin
        {"\005lp root 14\n", "127.0.0.2", "12 13 15 ", 0},          // root from the origin
        {"\005lp root 14\n", "127.0.0.1", all, 1},                  // root from elsewhere
        {"\005lp root 12 14 15\n", "127.0.0.3", "13 ", 0},          // root from an operator host
        {"\005lp ann 14\n", "127.0.0.3", all, 1},                   // but only root
        {"\005lp ann 12 13  bob 15x\n", "127.0.0.1", "14 15 ", 2},  // every item
        {"\005lp ann 15\n", "::1", "12 13 14 ", 0},                 // an IPv6 origin
        {"\005lp ann 15\n", "127.0.0.1", all, 1},
        {"\005lp ann\n", "127.0.0.1", "13 14 15 ", 0},  // no item: ann's first job from here
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.request) + " from " + row.from);
        StoreJob(*queue, 12, "ann");
        StoreJob(*queue, 13, "ann");
        StoreJob(*queue, 14, "bob", "pc1", {}, "", 0, "127.0.0.2");
        StoreJob(*queue, 15, "ann", "pc1", {}, "", 0, "::1");
        const std::string logged = "on print queue lp refused to ";
        const size_t before = CountScreenLines(daemon, logged);
        EXPECT_EQ(ExchangeFrom(daemon.Port(), row.from, row.request), "");
        EXPECT_EQ(Numbers(*queue), row.left);
        EXPECT_EQ(CountScreenLines(daemon, logged) - before, row.refusals);
        queue->RemoveJob();
    }
    EXPECT_TRUE(daemon.ScreenHas(
        "removal of job 15 of ann from ::1 on print queue lp refused to ann at 127.0.0.1"));
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
    EXPECT_TRUE(daemon.ScreenHas("is not privileged"));
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
