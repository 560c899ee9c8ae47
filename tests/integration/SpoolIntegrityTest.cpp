// What no client can do to another's job or to the queue: forge, steal or delete another job's
// files through the names it sends, block the queue with a job that never completes, or make
// bytes of a file count as anything but content by how it cuts them into segments. An
// in-process daemon over loopback; what is printed lands in a devices printer directory.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/JobStore.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kAck(1, '\0');
const std::string kNack(1, '\1');
const std::string kZero(1, '\0');

std::string Subcommand(char code, const std::string& count, const std::string& name) {
    return std::string(1, code) + count + " " + name + "\n";
}

// Binary content (its first byte above 126): printed exactly as it is.
std::string Document(const std::string& tag, size_t size = 50000) {
    return "\x90" + tag + Bytes(size, static_cast<uint32_t>(tag.size()));
}

class SpoolIntegrity : public ::testing::Test {
  protected:
    explicit SpoolIntegrity(const std::string& printer = "lp")
        : daemon_(TestConfig()
                      .AddLocalQueue("lp")
                      .AddQueue("lp", printer + ",,,x", "yes")
                      .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                      .Set("GENERAL CONFIGURE", "LocalCmdTimeout", "1")
                      .Set("GENERAL CONFIGURE", "RetryDelayMs", "600000")) {}

    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueue("lp"); }

    std::unique_ptr<LoopbackClient> Connect() {
        auto client = std::make_unique<LoopbackClient>(daemon_.Port());
        client->Send("\002lp\n");
        EXPECT_EQ(client->Receive(1), kAck);
        return client;
    }
    static void Step(LoopbackClient& client, const std::string& bytes, const std::string& reply) {
        client.Send(bytes);
        EXPECT_EQ(client.ReceiveExactly(reply.size()), reply)
            << testing::PrintToString(bytes.substr(0, 30));
    }
    static void SendFile(LoopbackClient& client, char code, const std::string& name,
                         const std::string& content) {
        Step(client, Subcommand(code, std::to_string(content.size()), name), kAck);
        Step(client, content + kZero, kAck);
    }
    // A whole job, control file first, ended by the client's close.
    void SendJob(const std::string& id, const std::string& host, const std::string& data) {
        auto client = Connect();
        SendFile(*client, '\2', "cfA" + id + host,
                 "H" + host + "\nPann\nJjob" + id + "\nldfA" + id + host + "\n");
        SendFile(*client, '\3', "dfA" + id + host, data);
        client->ShutdownWrite();
        EXPECT_TRUE(client->WaitForClose(seconds(5)));
    }
    // The documents printed so far, in order.
    std::vector<std::string> Printed() {
        std::vector<std::string> documents;
        for (const std::string& name : Listing(daemon_.PrinterPath("lp"))) {
            documents.push_back(ReadFile(daemon_.PrinterPath("lp") + "/" + name));
        }
        return documents;
    }
    bool PrintedSoon(const std::vector<std::string>& documents, milliseconds within = seconds(5)) {
        return WaitUntil([&] { return Printed() == documents; }, within);
    }

    TestDaemon daemon_;
};

// The queue's printer is missing while the attacks are made, so the victim's job waits in the
// store; once the printer is there, the victim's job is printed once, byte-exact.
class Attacks : public SpoolIntegrity {
  protected:
    Attacks() : SpoolIntegrity("absent") {}
};

TEST_F(Attacks, NoClientCanForgeStealOrDeleteAnotherJob) {
    const std::string victim = Document("victim");
    SendJob("124", "vhost", victim);
    ASSERT_TRUE(WaitUntil([&] {
        auto jobs = Queue()->Jobs();
        return jobs.size() == 1 && jobs[0]->Failures() == 1;
    }));
    std::shared_ptr<JobEntry> job = Queue()->Jobs()[0];

    // Forgery: the victim's data file name with other bytes, and no control file.
    auto client = Connect();
    SendFile(*client, '\3', "dfA124vhost", Document("forged"));
    client->ShutdownWrite();
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    // Theft: a control file naming the victim's file, and a name that was once a pattern.
    client = Connect();
    SendFile(*client, '\2', "cfA999evil", "Hevil\nPeve\nldfA124vhost\nldAAAAAAAAA\n");
    client->ShutdownWrite();
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    // Deletion: a control file with the victim's digits and host, then an abort.
    client = Connect();
    SendFile(*client, '\2', "zzz124vhost", "Hvhost\nPeve\nldfA124vhost\n");
    Step(*client, "\001\n", kAck);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));

    EXPECT_TRUE(daemon_.WaitForScreenLine("filename(zzz124vhost).  aborted by the client"));
    EXPECT_TRUE(WaitUntil([&] { return Listing(daemon_.SpoolDirectory("lp")).size() == 3; }));
    EXPECT_EQ(Queue()->Jobs(), std::vector<std::shared_ptr<JobEntry>>{job});

    ::mkdir(daemon_.PrinterPath("absent").c_str(), 0755);
    EXPECT_TRUE(Queue()->ReleaseJob(*job));
    ASSERT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 0; }));
    const std::vector<std::string> printed = Listing(daemon_.PrinterPath("absent"));
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_TRUE(ReadFile(daemon_.PrinterPath("absent") + "/" + printed[0]) == victim);
}

// Whatever a client does to its own job, the next job is printed at once: the bad one is
// removed, or waits without holding anyone up, and nothing of it is printed or left behind.
TEST_F(SpoolIntegrity, NoJobBlocksTheQueue) {
    const struct {
        std::string what;
        std::vector<std::string> steps;  // after the control file naming dfA001bad
        std::string reply;               // to the last step
        bool close;                      // the bad client closes (else stays silent)
    } rows[] = {
        {"gone in the middle of a file",
         {Subcommand('\3', "1000", "dfA001bad"), Bytes(400)},
         "",
         true},
        {"silent in the middle of a file",
         {Subcommand('\3', "1000", "dfA001bad"), Bytes(400)},
         "",
         false},
        {"aborted", {"\001\n"}, kAck, false},
        {"refused data file", {Subcommand('\3', "-5", "dfA001bad")}, kNack, false},
        {"second control file", {Subcommand('\2', "4", "cfA002bad"), "Hb\n\n" + kZero}, kAck, true},
        {"files that never came", {}, "", true},
    };
    std::vector<std::string> printed;
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto bad = Connect();
        SendFile(*bad, '\2', "cfA001bad", "Hbad\nPeve\nJbad\nldfA001bad\n");
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
        SendJob(std::to_string(100 + n), "good", printed.back());
        EXPECT_TRUE(PrintedSoon(printed, milliseconds(900)));
        EXPECT_TRUE(bad->WaitForClose(seconds(5)));
        EXPECT_TRUE(WaitUntil([&] { return Listing(daemon_.SpoolDirectory("lp")).empty(); }));
    }

    // A job whose files vanished from under the daemon is given up, not tried for ever.
    // Paused meanwhile, or the printing thread could deliver the job before its file goes.
    ASSERT_TRUE(Queue()->Pause());
    auto job = StoreJob(*Queue(), 7, "eve", "bad");
    ::unlink(Queue()->Store()->PathOf(job->record.data[0].storeName).c_str());
    ASSERT_TRUE(Queue()->Activate());
    printed.push_back(Document("last"));
    SendJob("199", "good", printed.back());
    EXPECT_TRUE(PrintedSoon(printed));
    EXPECT_TRUE(WaitUntil([&] { return Listing(daemon_.SpoolDirectory("lp")).empty(); }));
}

// Bytes inside an announced count are content, whatever reads they arrive in: a lone 0x01 in
// a data file is no abort, a lone 0x00 in a control file does not end it.
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
    sendPieces({control, kZero}, 0);
    Step(*client, rest + kZero, kAck);
    Step(*client, Subcommand('\3', "6", "dfA001seg"), kAck);
    sendPieces({"\x90"
                "ab",
                "\x01"},
               control.size() + 1 + rest.size());
    Step(*client, "cd" + kZero, kAck);
    client->ShutdownWrite();
    EXPECT_TRUE(
        PrintedSoon({"\x90"
                     "ab\x01"
                     "cd"}));
}

}  // namespace
}  // namespace pg::test
