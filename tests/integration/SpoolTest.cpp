// What happens to jobs on their way through the spool: no client can forge or steal another's
// job, block the queue, or make bytes of a file count as anything but content by how it
// cuts them into segments; receptions run at once without mixing anything up (in-process daemons
// over loopback). And jobs outlive the daemon: a real pressgated process, ended by SIGTERM or
// killed with SIGKILL at every step of a reception and of a forwarding, then started again on the
// same spool. What is printed lands in a devices printer directory.

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/JobStore.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"
#include "tests/support/DaemonHome.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Binary content (its first byte above 126): printed exactly as it is.
std::string Document(const std::string& tag) {
    return "\x90" + tag + Bytes(20000, static_cast<uint32_t>(tag.size()));
}

// The documents in a printer directory, in the order they were printed.
std::vector<std::string> Printed(const std::string& printer) {
    std::vector<std::string> documents;
    for (const std::string& name : Listing(printer)) {
        documents.push_back(ReadFile(printer + "/" + name));
    }
    return documents;
}

class SpoolIntegrity : public ::testing::Test {
  protected:
    SpoolIntegrity()
        : daemon_(TestConfig()
                      .AddLocalQueue("lp")
                      .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                      .Set("GENERAL CONFIGURE", "LocalCmdTimeout", "1")
                      .Set("GENERAL CONFIGURE", "RetryDelayMs", "600000")) {}

    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueue("lp"); }

    std::unique_ptr<LoopbackClient> Connect() { return ReceiveJobConnection(daemon_.Port(), "lp"); }
    void SendJob(const std::string& id, const std::string& data) {
        EXPECT_TRUE(test::SendJob(daemon_.Port(), "lp", id, data));
    }
    bool PrintedSoon(const std::vector<std::string>& documents, milliseconds within = seconds(5)) {
        return WaitUntil([&] { return Printed(daemon_.PrinterPath("lp")) == documents; }, within);
    }

    TestDaemon daemon_;
};

// Whatever a client does to its own job, or to the names the next job will have, the next job
// is printed at once with its own bytes: the bad one is removed, or waits without holding
// anyone up, and nothing of it is printed or left behind.
TEST_F(SpoolIntegrity, NoJobBlocksTheQueueAndNoneTakesAnothersNames) {
    const std::string control = "Hbad\nPeve\nJbad\nldfA001bad\n";
    auto afterControl = [&](std::vector<std::string> steps) {
        steps.insert(steps.begin(),
                     {Subcommand('\2', control.size(), "cfA001bad"), control + kAck});
        return steps;
    };
    const std::string forged = Document("forged");
    const std::string theft = "Hevil\nPeve\nldfA108good\nldAAAAAAAAA\n";  // one name a pattern
    const struct {
        std::string what;
        std::vector<std::string> steps;  // each acknowledged but the last
        std::string reply;               // to the last step
        bool close;                      // the bad client closes (else stays silent)
    } rows[] = {
        {"gone in the middle of a file",
         afterControl({Subcommand('\3', "1000", "dfA001bad"), Bytes(400)}), "", true},
        {"silent in the middle of a file",
         afterControl({Subcommand('\3', "1000", "dfA001bad"), Bytes(400)}), "", false},
        {"aborted", afterControl({"\001\n"}), kAck, false},
        {"refused data file", afterControl({Subcommand('\3', "-5", "dfA001bad")}), kNack, false},
        {"second control file", afterControl({Subcommand('\2', "4", "cfA002bad"), "Hb\n\n" + kAck}),
         kAck, true},
        {"files that never came", afterControl({}), kAck, true},
        // The next job is 107good: its data file's name with other bytes, and no control file.
        {"forged data file",
         {Subcommand('\3', forged.size(), "dfA107good"), forged + kAck},
         kAck,
         false},
        {"control file naming the next job's data file",
         {Subcommand('\2', theft.size(), "cfA999evil"), theft + kAck},
         kAck,
         false},
    };
    std::vector<std::string> printed;
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto bad = Connect();
        for (size_t i = 0; i < row.steps.size(); ++i) {
            bad->Send(row.steps[i]);
            if (i + 1 < row.steps.size()) {
                EXPECT_EQ(bad->Receive(1), kAck);
            }
        }
        EXPECT_EQ(bad->ReceiveExactly(row.reply.size()), row.reply);
        if (row.close) {
            bad->ShutdownWrite();
        }
        printed.push_back(Document("good" + std::to_string(++n)));
        SendJob(std::to_string(100 + n) + "good", printed.back());
        EXPECT_TRUE(PrintedSoon(printed, milliseconds(900)));
        EXPECT_TRUE(bad->WaitForClose(seconds(5)));
        EXPECT_TRUE(WaitUntil([&] { return Listing(daemon_.SpoolDirectory("lp")).empty(); }));
    }

    // A job whose files vanished from under the daemon is given up, not tried for ever. Paused
    // meanwhile, or the printing thread could deliver the job before its file goes.
    ASSERT_TRUE(Queue()->Pause());
    auto job = StoreJob(*Queue(), 7, "eve", "bad");
    ::unlink(Queue()->Store()->PathOf(job->record.data[0].storeName).c_str());
    ASSERT_TRUE(Queue()->Activate());
    printed.push_back(Document("last"));
    SendJob("199good", printed.back());
    EXPECT_TRUE(PrintedSoon(printed));
    EXPECT_TRUE(WaitUntil([&] { return Listing(daemon_.SpoolDirectory("lp")).empty(); }));
}

// Bytes inside an announced count are content, whatever reads they arrive in: a lone 0x01 in a data
// file is no abort, a lone 0x00 in a control file does not end it.
TEST_F(SpoolIntegrity, ContentIsFramedByItsCountNotBySegments) {
    auto client = Connect();
    // Each piece is sent once the previous one is in, so each arrives as a read of its own.
    auto sendPieces = [&](const std::vector<std::string>& pieces, uint64_t before) {
        for (const std::string& piece : pieces) {
            client->Send(piece);
            before += piece.size();
            ASSERT_TRUE(WaitUntil([&] {
                auto jobs = Queue()->Jobs();
                return !jobs.empty() && jobs[0]->progress.bytesDone.load() >= before;
            }));
        }
    };
    const std::string control = "Hseg\nPann\n";
    const std::string rest = "\nldfA001seg\n";
    Step(*client, Subcommand('\2', std::to_string(control.size() + 1 + rest.size()), "cfA001seg"),
         kAck);
    sendPieces({control, kAck}, 0);
    Step(*client, rest + kAck, kAck);
    Step(*client, Subcommand('\3', "6", "dfA001seg"), kAck);
    sendPieces({"\x90"
                "ab",
                "\x01"},
               control.size() + 1 + rest.size());
    Step(*client, "cd" + kAck, kAck);
    client->ShutdownWrite();
    EXPECT_TRUE(
        PrintedSoon({"\x90"
                     "ab\x01"
                     "cd"}));
}

// One job under the names cfA001host, dfA001host, dfB001host, ..., control file first, all of it
// sent at once; true when every step was acknowledged.
bool SendAtOnce(uint16_t port, const std::string& jobName, const std::vector<std::string>& data) {
    LoopbackClient client(port);
    std::string control = "Hhost\nPuser\nJ" + jobName + "\n";
    std::string files;
    for (size_t i = 0; i < data.size(); ++i) {
        const std::string name = std::string("df") + static_cast<char>('A' + i) + "001host";
        control += "l" + name + "\n";
        files += Subcommand('\3', std::to_string(data[i].size()), name) + data[i] + kAck;
    }
    client.Send("\002lp\n" + Subcommand('\2', std::to_string(control.size()), "cfA001host") +
                control + kAck + files);
    const size_t acks = 3 + 2 * data.size();
    return client.ReceiveExactly(acks, seconds(30)) == std::string(acks, '\0');
}

// Two clients that give their jobs the same names at the same time get two documents, each with its
// own bytes (binary, so printed unchanged), while job lists are asked for all along. Then a
// remove-jobs request takes a job away while its data file is still arriving: the reception goes on
// to the end of the file without its job and leaves nothing behind.
TEST(ConcurrentReceive, SameNamesAtOnceAndARemovalWhileTheDataArrive) {
    TestDaemon daemon(TestConfig().AddLocalQueue("lp"));
    const std::vector<std::string> first = {Bytes(2 << 20, 1), Bytes(700000, 2)};
    const std::vector<std::string> second = {Bytes(3 << 20, 4), Bytes(65536, 5)};
    bool firstSent = false, secondSent = false;
    std::atomic<bool> sending{true};
    std::atomic<int> lists{0}, badLists{0};
    std::thread lister([&] {
        while (sending.load()) {
            LoopbackClient client(daemon.Port());
            client.Send(lists.load() % 2 ? "\003lp\n" : "\004lp\n");
            badLists += client.ReceiveUntilClose(seconds(10)).rfind("lp: \n", 0) != 0 ? 1 : 0;
            ++lists;
        }
    });
    std::thread a([&] { firstSent = SendAtOnce(daemon.Port(), "first", first); });
    std::thread b([&] { secondSent = SendAtOnce(daemon.Port(), "second", second); });
    a.join();
    b.join();
    sending.store(false);
    lister.join();

    EXPECT_TRUE(firstSent && secondSent);
    EXPECT_GT(lists.load(), 0);
    EXPECT_EQ(badLists.load(), 0);
    auto queue = daemon.Spooler().FindQueue("lp");
    ASSERT_TRUE(WaitUntil([&] { return queue->JobCount() == 0; }, seconds(20)));
    std::vector<std::string> printed = Printed(daemon.PrinterPath("lp"));
    std::sort(printed.begin(), printed.end());
    std::vector<std::string> expected = {first[0] + first[1], second[0] + second[1]};
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(printed == expected) << printed.size() << " documents";

    LoopbackClient client(daemon.Port());
    const std::string data = Bytes(1 << 20, 6);
    const std::vector<std::string> steps = JobSteps("303host", data);
    client.Send("\002lp\n" + steps[0] + steps[1] + steps[2] + data.substr(0, 500000));
    ASSERT_EQ(client.ReceiveExactly(4), std::string(4, '\0'));
    ASSERT_TRUE(WaitUntil([&] {
        auto jobs = queue->Jobs();
        return jobs.size() == 1 && jobs[0]->progress.bytesDone.load() >= 500000;
    }));
    EXPECT_EQ(Exchange(daemon.Port(), "\005lp root 303\n"), "");
    EXPECT_EQ(queue->JobCount(), 0u);
    client.Send(data.substr(500000) + kAck);
    EXPECT_EQ(client.Receive(1), kAck);
    client.ShutdownWrite();
    EXPECT_TRUE(client.WaitForClose(seconds(5)));
    EXPECT_TRUE(daemon.WaitForScreenLine("filename(cfA303host).  removed while it was received"));
    EXPECT_TRUE(Listing(daemon.SpoolDirectory("lp")).empty());
    EXPECT_EQ(Listing(daemon.PrinterPath("lp")).size(), 2u);
}

// A home whose queue "lp" prints into printers/paper and whose queue "far" forwards to remotePort;
// each Start() runs a new daemon process on the same spool.
class Site {
  public:
    explicit Site(uint16_t remotePort = 1) {
        home_.Write(
            "TestPrintManager=N\r\nAcceptDelayMs=0\r\nForwardChunkDelayMs=0\r\n"
            "RetryDelayMs=600000\r\nRunAsUser=root\r\n",
            "lp=paper,,,x\r\nfar=store,127.0.0.1," + std::to_string(remotePort) + ",x\r\n",
            "LogLevel=3\r\n");
    }
    void Start() {
        daemon_ = std::make_unique<Process>(home_.Daemon());
        // The last queue activated: from here on both queues take jobs.
        ASSERT_TRUE(
            daemon_->WaitForStdout("Activate Print Queue far - RunLPDPrinting thread created."))
            << daemon_->Stderr();
    }
    void End(int signal) {
        daemon_->Signal(signal);
        EXPECT_TRUE(daemon_->Wait(seconds(10)).has_value());
        daemon_.reset();
    }
    std::vector<std::string> Printed() const { return test::Printed(home_ / "printers/paper"); }
    std::vector<std::string> Spool(const std::string& queue) const {
        return Listing(home_ / ("spool/" + queue));
    }
    std::unique_ptr<LoopbackClient> Connect(const std::string& queue) const {
        auto client = std::make_unique<LoopbackClient>(home_.port);
        client->Send("\002" + queue + "\n");
        return client;
    }

  private:
    DaemonHome home_;
    std::unique_ptr<Process> daemon_;
};

// Killed with SIGKILL after each acknowledgement a client can see, in both orders of the files, or
// ended by SIGTERM in the middle of a file: after the restart only the jobs whose last file was
// acknowledged are printed, once, and nothing else is left in the spool.
TEST(SpoolRestart, EndedAfterAnyAcknowledgementOfAReception) {
    Site site;
    std::vector<std::string> expected;
    int jobNo = 100;
    for (bool controlFirst : {true, false}) {
        for (size_t acks = 0; acks <= 5; ++acks) {
            SCOPED_TRACE(std::to_string(acks) + (controlFirst ? " control first" : " data first"));
            site.Start();
            const std::string data = Document(std::to_string(++jobNo));
            const std::vector<std::string> steps =
                JobSteps(std::to_string(jobNo) + "host", data, controlFirst);
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
            if (acks == 4) {
                client->Send(steps[3].substr(0, steps[3].size() / 2));  // the last file's half
            }
            site.End(acks == 4 ? SIGTERM : SIGKILL);
            site.Start();
            EXPECT_TRUE(WaitUntil([&] { return site.Printed() == expected; }));
            EXPECT_TRUE(WaitUntil([&] { return site.Spool("lp").empty(); }));
            site.End(SIGTERM);
            EXPECT_TRUE(site.Printed() == expected);
        }
    }
}

// Killed while the remote host has each step of a forwarded job unanswered, the daemon forwards the
// job again from its start after the restart; killed once the job has left its queue, it does not
// forward it again.
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
        for (const std::string& step : JobSteps(std::to_string(100 + held) + "host", "data")) {
            client->Send(step);
            ASSERT_EQ(client->ReceiveExactly(1), kAck);
        }
        client->ShutdownWrite();
        if (held <= 5) {
            std::vector<FakeLpdHost::Reply> replies(held - 1, FakeLpdHost::Reply::Ack);
            replies.push_back(FakeLpdHost::Reply::Hold);
            serve(replies);   // the daemon waits for the reply to step `held`
            if (held == 5) {  // the last file unanswered: the job is still the daemon's
                EXPECT_FALSE(
                    WaitUntil([&] { return site.Spool("far").empty(); }, milliseconds(300)));
            }
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
