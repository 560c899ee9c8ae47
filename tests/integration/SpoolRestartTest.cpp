// Jobs outlive the daemon: a real pressgated process, ended by SIGTERM or killed with SIGKILL at
// every step of a reception and of a delivery, then started again on the same spool. Whatever
// the moment, every job whose last acknowledgement its client saw is printed exactly once, no
// other job is printed, and nothing is left in the spool.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"
#include "tests/support/Process.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kDaemon = PG_BINARY_DIR "/bin/pressgated";
const std::string kAck(1, '\0');
// The last queue activated: from here on both queues take jobs.
const std::string kReady = "Activate Print Queue far - RunLPDPrinting thread created.";

// Binary content (its first byte above 126): printed exactly as it is.
std::string Document(uint32_t seed, size_t size = 20000) {
    return "\x90" + Bytes(size, seed);
}

// A home whose queue "lp" prints into printers/paper (once the test makes it) and whose queue
// "far" forwards to remotePort; each Start() runs a new daemon process on the same spool.
class Site {
  public:
    explicit Site(uint16_t remotePort = 1) {
        for (const char* sub : {"home", "run", "printers", "work"}) {
            ::mkdir((dir_ / sub).c_str(), 0755);
        }
        WriteFile(
            dir_ / "home/pgate.ini",
            "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" + dir_ / "spool" +
                "\r\nLPDServerPort=" + std::to_string(port) +
                "\r\nClearSpoolDirectory=N\r\nTestPrintManager=N\r\nCloseDelayMs=50\r\n"
                "AcceptDelayMs=0\r\nForwardChunkDelayMs=0\r\nRetryDelayMs=600000\r\nRunAsUser="
                "root\r\n"
                "PrintSystem=devices:" +
                dir_ / "printers" + "\r\n[Print Queues]\r\nlp=paper,,,x\r\nfar=store,127.0.0.1," +
                std::to_string(remotePort) + ",x\r\n[Logging]\r\nLogLevel=3\r\nLogToScreen=Y\r\n");
    }
    void Start() {
        Process::Options options;
        options.argv = {kDaemon, "--home", dir_ / "home"};
        options.env = {"XDG_RUNTIME_DIR=" + dir_ / "run"};
        options.cwd = dir_ / "work";
        daemon_ = std::make_unique<Process>(options);
        ASSERT_TRUE(daemon_->WaitForStdout(kReady)) << daemon_->Stderr();
    }
    // Ends the daemon with signal; returns what it wrote.
    std::string End(int signal) {
        daemon_->Signal(signal);
        EXPECT_TRUE(daemon_->Wait(seconds(10)).has_value());
        daemon_->CollectOutput();
        const std::string out = daemon_->Stdout();
        daemon_.reset();
        return out;
    }
    void MakePrinter() { ::mkdir(Printers().c_str(), 0755); }
    std::string Printers() const { return dir_ / "printers/paper"; }
    std::vector<std::string> Printed() const {
        std::vector<std::string> documents;
        for (const std::string& name : Listing(Printers())) {
            documents.push_back(ReadFile(Printers() + "/" + name));
        }
        return documents;
    }
    std::vector<std::string> Spool(const std::string& queue) const {
        return Listing(dir_ / ("spool/" + queue));
    }
    std::unique_ptr<LoopbackClient> Connect(const std::string& queue) const {
        auto client = std::make_unique<LoopbackClient>(port);
        client->Send("\002" + queue + "\n");
        return client;
    }

    const uint16_t port = FreePort();

  private:
    TempDir dir_;
    std::unique_ptr<Process> daemon_;
};

// The steps of one job, each acknowledged: the command, and per file its line and its contents.
std::vector<std::string> JobSteps(int jobNo, const std::string& data, bool controlFirst) {
    const std::string id = std::to_string(100 + jobNo) + "host";
    const std::string control = "Hhost\nPann\nJjob\nldfA" + id + "\n";
    std::vector<std::string> cf = {"\002" + std::to_string(control.size()) + " cfA" + id + "\n",
                                   control + '\0'};
    std::vector<std::string> df = {"\003" + std::to_string(data.size()) + " dfA" + id + "\n",
                                   data + '\0'};
    std::vector<std::string> steps = controlFirst ? cf : df;
    steps.insert(steps.end(), controlFirst ? df.begin() : cf.begin(),
                 controlFirst ? df.end() : cf.end());
    return steps;
}

// Sends a whole job and closes; true when every step was acknowledged.
bool SendJob(const Site& site, int jobNo, const std::string& data) {
    auto client = site.Connect("lp");
    bool acked = client->ReceiveExactly(1) == kAck;
    for (const std::string& step : JobSteps(jobNo, data, true)) {
        client->Send(step);
        acked = acked && client->ReceiveExactly(1) == kAck;
    }
    client->ShutdownWrite();
    return acked && client->WaitForClose(seconds(5));
}

// Complete jobs print after a restart, once and in their order; a job still arriving when the
// daemon ended is gone. SIGTERM ends the reception; after SIGKILL its files are found and removed
// at the start.
TEST(SpoolRestart, CompleteJobsPrintOnceAfterTheRestartInOrder) {
    for (int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        Site site;
        site.Start();
        std::vector<std::string> documents;
        for (int n = 1; n <= 3; ++n) {
            documents.push_back(Document(static_cast<uint32_t>(n)));
            ASSERT_TRUE(SendJob(site, n, documents.back()));
        }
        auto arriving = site.Connect("lp");
        for (const std::string& step :
             {JobSteps(9, Document(9), true)[0], JobSteps(9, Document(9), true)[1]}) {
            arriving->Send(step);
        }
        arriving->Send("\003999 dfA109host\n" + Bytes(500));
        ASSERT_EQ(arriving->ReceiveExactly(4), std::string(4, '\0'));
        ASSERT_TRUE(WaitUntil([&] { return site.Spool("lp").size() == 3 * 3 + 2; }));
        const std::string ended = site.End(signal);
        EXPECT_EQ(site.Spool("lp").size(), signal == SIGTERM ? 9u : 11u) << ended;

        site.MakePrinter();
        site.Start();
        EXPECT_TRUE(WaitUntil([&] { return site.Printed() == documents; }));
        EXPECT_TRUE(WaitUntil([&] { return site.Spool("lp").empty(); }));
        const std::string restarted = site.End(SIGTERM);
        EXPECT_EQ(site.Printed().size(), 3u);
        EXPECT_EQ(restarted.find("removed incomplete job") != std::string::npos, signal == SIGKILL)
            << restarted;
    }
}

// Killed after each acknowledgement a client can see, in both orders of the files: only the job
// whose last file was acknowledged is printed after the restart, once.
TEST(SpoolRestart, KillAfterAnyAcknowledgementOfAReception) {
    Site site;
    site.MakePrinter();
    std::vector<std::string> expected;
    uint32_t seed = 0;
    for (bool controlFirst : {true, false}) {
        for (size_t acks = 0; acks <= 5; ++acks) {
            SCOPED_TRACE(std::to_string(acks) + (controlFirst ? " control first" : " data first"));
            site.Start();
            const std::string data = Document(++seed);
            const std::vector<std::string> steps =
                JobSteps(static_cast<int>(seed), data, controlFirst);
            auto client = site.Connect("lp");
            // The command's acknowledgement, then one per step.
            for (size_t seen = 0; seen < acks; ++seen) {
                if (seen > 0) {
                    client->Send(steps[seen - 1]);
                }
                ASSERT_EQ(client->ReceiveExactly(1), kAck);
            }
            if (acks == 5) {
                expected.push_back(data);  // the client saw its last file acknowledged
            }
            site.End(SIGKILL);
            site.Start();
            EXPECT_TRUE(WaitUntil([&] { return site.Printed() == expected; }));
            EXPECT_TRUE(WaitUntil([&] { return site.Spool("lp").empty(); }));
            site.End(SIGTERM);
            EXPECT_TRUE(site.Printed() == expected);
        }
    }
}

// Killed while the remote host has each step of a forwarded job unanswered, the daemon forwards
// the job again from its start after the restart; killed once the job has left its queue, it
// does not forward it again.
TEST(SpoolRestart, KillAtAnyStepOfAForwardedJob) {
    FakeLpdHost host;
    Site site(host.Port());
    int whole = 0;  // jobs the host received completely
    // The connection stays open until the daemon is killed: a host that let go would make the
    // daemon try again before it dies.
    FakeLpdHost::Connection c;
    auto serve = [&](const std::vector<FakeLpdHost::Reply>& replies) {
        EXPECT_TRUE(host.Accept(c));
        host.Serve(c, replies);
        whole += c.steps.size() == 5 && c.closedAt != FakeLpdHost::Clock::time_point() ? 1 : 0;
    };
    for (size_t held = 1; held <= 6; ++held) {
        SCOPED_TRACE(held);
        site.Start();
        auto client = site.Connect("far");
        ASSERT_EQ(client->ReceiveExactly(1), kAck);
        for (const std::string& step : JobSteps(static_cast<int>(held), Document(7), true)) {
            client->Send(step);
            ASSERT_EQ(client->ReceiveExactly(1), kAck);
        }
        client->ShutdownWrite();
        if (held <= 5) {
            std::vector<FakeLpdHost::Reply> replies(held - 1, FakeLpdHost::Reply::Ack);
            replies.push_back(FakeLpdHost::Reply::Hold);
            serve(replies);  // the daemon waits for the reply to step `held`
        } else {
            serve({});
            ASSERT_TRUE(WaitUntil([&] { return site.Spool("far").empty(); }));
        }
        site.End(SIGKILL);
        site.Start();
        if (held <= 5) {
            serve({});
        }
        EXPECT_TRUE(WaitUntil([&] { return site.Spool("far").empty(); }));
        site.End(SIGTERM);
        EXPECT_EQ(whole, static_cast<int>(held));
        FakeLpdHost::Connection another;
        EXPECT_FALSE(host.Accept(another, milliseconds(0)));
    }
}

}  // namespace
}  // namespace pg::test
