// Receiving a print job: the receive-job subcommands over real loopback connections to an
// in-process daemon, exact bytes in, exact bytes and spool files out, and the job entries and
// log lines that result.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <regex>
#include <string>

#include "engine/JobEntry.h"
#include "engine/JobReceiver.h"
#include "engine/PrintQueue.h"
#include "platform/FreeSpace.h"
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
std::string Subcommand(char code, size_t count, const std::string& name) {
    return Subcommand(code, std::to_string(count), name);
}

// A control file as LPRng writes it, one data file, with or without its U line.
std::string ControlText(const std::string& dataName, bool unlink = false) {
    return "Hhost\nPann\nJreport.txt\nLann\nl" + dataName + "\n" +
           (unlink ? "U" + dataName + "\n" : "") + "Nreport.txt\n";
}

class ReceiveJob : public ::testing::Test {
  protected:
    ReceiveJob() : daemon_(TestConfig().AddLocalQueue("lp")) {}

    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueueIgnoringCase("lp"); }
    std::string Spool(const std::string& name) const {
        return daemon_.SpoolDirectory("lp") + "/" + name;
    }

    // The printing thread only looks at the head of the queue and delivers nothing while the
    // head job is spooling: every job behind it keeps the state reception gave it.
    void HoldDelivery() {
        auto plug = std::make_shared<JobEntry>();
        plug->jobNo = 999;
        Queue()->AddJob(plug);
    }

    // A connection whose receive-job command has been acknowledged.
    std::unique_ptr<LoopbackClient> Connect() {
        auto client = std::make_unique<LoopbackClient>(daemon_.Port());
        client->Send("\002lp\n");
        EXPECT_EQ(client->Receive(1), kAck) << "receive-job command";
        return client;
    }

    // Sends bytes and expects exactly reply back.
    static void Step(LoopbackClient& client, const std::string& bytes, const std::string& reply) {
        client.Send(bytes);
        EXPECT_EQ(client.ReceiveExactly(reply.size()), reply)
            << testing::PrintToString(bytes.substr(0, 30));
    }
    // Subcommand line, ACK, content and terminating zero, ACK.
    static void SendFile(LoopbackClient& client, char code, const std::string& name,
                         const std::string& content) {
        Step(client, Subcommand(code, content.size(), name), kAck);
        Step(client, content + kZero, kAck);
    }

    std::shared_ptr<JobEntry> FindJob(int32_t jobNo) { return Queue()->FindJob(jobNo, "ann", ""); }
    bool WaitForJob(int32_t jobNo, JobState state) {
        return WaitUntil([&] {
            auto job = FindJob(jobNo);
            return job && job->State() == state;
        });
    }
    bool WaitForSize(const std::string& name, size_t size) {
        return WaitUntil([&] { return ReadFile(Spool(name)).size() == size; });
    }

    bool LocalLogHas(const std::string& text) {
        return ReadFile(daemon_.TracePath("local.log")).find(text) != std::string::npos;
    }

    TestDaemon daemon_;
};

TEST_F(ReceiveJob, ControlFileFirstMakesASpoolingJobThatWaitsOnceItsDataAreIn) {
    HoldDelivery();
    auto client = Connect();
    const std::string control = ControlText("dfA123host");
    const std::string data = Bytes(100000);
    SendFile(*client, '\2', "cfA123host", control);
    ASSERT_TRUE(WaitForJob(123, JobState::Spooling));
    auto job = FindJob(123);
    EXPECT_EQ(job->FilePattern(), "???123host");  // the name's analysis
    EXPECT_EQ(job->listValue, 5);
    EXPECT_TRUE(job->printBanner);
    EXPECT_TRUE(std::regex_match(job->timeDate, std::regex(R"(\d\d:\d\d:\d\d \d\d/\d\d/\d\d)")))
        << job->timeDate;

    SendFile(*client, '\3', "dfA123host", data);
    EXPECT_TRUE(WaitForJob(123, JobState::Waiting));
    EXPECT_EQ(ReadFile(Spool("cfA123host")), control);
    EXPECT_EQ(ReadFile(Spool("dfA123host")), data);  // the terminating zero is not written

    EXPECT_TRUE(daemon_.ScreenHas("INFO: Createing job with state = spooling"));
    EXPECT_TRUE(daemon_.ScreenHas("INFO: Change job state from spooling to ready"));
    EXPECT_TRUE(
        daemon_.ScreenHas("INFO: Data file received successfully (" + Spool("dfA123host") + ")"));
    EXPECT_TRUE(LocalLogHas(") : Receive new print job for print queue (lp)"));
    EXPECT_TRUE(LocalLogHas(") : Receive control file cfA123host for print queue (lp)"));
    EXPECT_TRUE(LocalLogHas(") : Receive data file dfA123host for print queue (lp)"));
    EXPECT_TRUE(LocalLogHas("Received Data"));
}

// A whole job in one send, data file first: the job is waiting at once. (Lines split over reads
// are the reader's tests.)
TEST_F(ReceiveJob, WholeJobInOneSendIsFramedByLineFeedsAndCounts) {
    HoldDelivery();
    LoopbackClient client(daemon_.Port());
    const std::string data = Bytes(3000, 3);
    const std::string control = ControlText("dfA301host");
    Step(client,
         "\002lp\n" + Subcommand('\3', data.size(), "dfA301host") + data + kZero +
             Subcommand('\2', control.size(), "cfA301host") + control + kZero,
         std::string(5, '\0'));
    EXPECT_TRUE(WaitForJob(301, JobState::Waiting));
    EXPECT_TRUE(daemon_.ScreenHas("INFO: Createing job with state = ready"));
    EXPECT_EQ(ReadFile(Spool("dfA301host")), data);
    EXPECT_EQ(ReadFile(Spool("cfA301host")), control);
}

// A lone zero completes a control file before its count; a data file's pieces are written as
// they come, and only the piece that completes the count is acknowledged.
TEST_F(ReceiveJob, ContentInPiecesIsWrittenWholeAndAcknowledgedOnceComplete) {
    HoldDelivery();
    auto client = Connect();
    const std::string control = ControlText("dfA302host");
    Step(*client, Subcommand('\2', control.size() + 50, "cfA302host"), kAck);
    client->Send(control);
    ASSERT_TRUE(WaitForSize("cfA302host", control.size()));
    Step(*client, kZero, kAck);
    EXPECT_TRUE(daemon_.WaitForScreenLine("INFO: a complete control file received."));
    ASSERT_TRUE(WaitForJob(302, JobState::Spooling));

    const std::string data = Bytes(3000, 4);
    Step(*client, Subcommand('\3', data.size(), "dfA302host"), kAck);
    for (size_t piece = 0; piece < 2; ++piece) {
        client->Send(data.substr(piece * 1000, 1000));
        ASSERT_TRUE(WaitForSize("dfA302host", (piece + 1) * 1000));
        EXPECT_EQ(client->Receive(1, milliseconds(100)), "") << "no ACK before the count";
        EXPECT_EQ(FindJob(302)->State(), JobState::Spooling);
    }
    Step(*client, data.substr(2000) + kZero, kAck);
    EXPECT_EQ(ReadFile(Spool("dfA302host")), data);
    EXPECT_EQ(ReadFile(Spool("cfA302host")), control);
    EXPECT_TRUE(WaitForJob(302, JobState::Waiting));
}

// The client waits for the ACK that follows the count before it sends the terminating zero;
// the zero then arrives on its own in front of the next subcommand and is not taken as one. A
// data file announced with count 0 is complete (a second ACK) as soon as it exists.
TEST_F(ReceiveJob, TerminatingZeroSentOnItsOwnIsNeitherWrittenNorASubcommand) {
    HoldDelivery();
    auto client = Connect();
    const std::string data = Bytes(2048, 5);
    SendFile(*client, '\2', "cfA303host", ControlText("dfA303host"));
    Step(*client, Subcommand('\3', 0, "dfA303host"), kAck + kAck);
    EXPECT_TRUE(WaitForJob(303, JobState::Waiting));
    EXPECT_TRUE(FileExists(Spool("dfA303host")));
    client->Send(kZero);
    Step(*client, Subcommand('\3', data.size(), "dfB303host"), kAck);
    Step(*client, data, kAck);
    client->Send(kZero);
    EXPECT_EQ(ReadFile(Spool("dfA303host")), "");
    EXPECT_EQ(ReadFile(Spool("dfB303host")), data);
    Step(*client, "\001\n", kAck);  // a subcommand after the zero is still served
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(Spool("dfB303host")); }));
}

// 01 after the control file, or an abort byte in a data file's content, deletes every file with
// the job's digits and suffix, without a reply to the byte; the entry stays in its queue.
TEST_F(ReceiveJob, AbortsDeleteTheJobsFilesAndKeepTheEntry) {
    WriteFile(Spool("dfA402host"), "another job");
    WriteFile(Spool("xyz401host"), "same digits and suffix");
    auto client = Connect();
    SendFile(*client, '\2', "cfA401host", ControlText("dfA401host"));
    ASSERT_TRUE(WaitForJob(401, JobState::Spooling));
    Step(*client, "\001\n", kAck);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_FALSE(FileExists(Spool("cfA401host")));
    EXPECT_FALSE(FileExists(Spool("xyz401host")));
    EXPECT_TRUE(FileExists(Spool("dfA402host")));
    EXPECT_TRUE(WaitForJob(401, JobState::Spooling));

    client = Connect();
    SendFile(*client, '\2', "cfA403host", ControlText("dfA403host"));
    Step(*client, Subcommand('\3', 1000, "dfA403host"), kAck);
    client->Send(Bytes(500, 7));
    ASSERT_TRUE(WaitForSize("dfA403host", 500));
    client->Send("\001");
    EXPECT_TRUE(client->WaitForClose(seconds(5))) << "no reply to the abort byte";
    EXPECT_FALSE(FileExists(Spool("dfA403host")));
    EXPECT_FALSE(FileExists(Spool("cfA403host")));
    EXPECT_TRUE(WaitForJob(403, JobState::Spooling));
    EXPECT_TRUE(
        LocalLogHas("Warning : LPDPrinter::RecvJob : client abort the job during spooling."));

    // An abort byte as a control file's content deletes the job's files, so reading the control
    // file back fails; the reception ends failed and removes the job it had made before.
    client = Connect();
    SendFile(*client, '\2', "cfA404host", ControlText("dfA404host"));
    ASSERT_TRUE(WaitForJob(404, JobState::Spooling));
    Step(*client, Subcommand('\2', 100, "cfA405host"), kAck);
    client->Send("\001");
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(daemon_.WaitForScreenLine("fails in opening file " + Spool("cfA405host")));
    EXPECT_TRUE(daemon_.WaitForScreenLine("Remove failed job (report.txt) filename(" +
                                          Spool("cfA405host") + ")"));
    EXPECT_TRUE(WaitUntil([&] { return !FindJob(404); }));
    EXPECT_TRUE(FileExists(Spool("cfA404host"))) << "no U line: its files stay";
}

// Other codes and 02 without count or name get no reply and no log; 03 without them is logged
// (with a blank for the job name while there is no job). A negative count reads as a size above
// 2 GB and gets NACK. The loop goes on after each; a close then clears the failure, so the job
// made earlier on the connection stays.
TEST_F(ReceiveJob, IgnoredAndRefusedSubcommandsLeaveTheLoopGoing) {
    HoldDelivery();
    auto client = Connect();
    Step(*client,
         std::string("\000zero\n", 6) + "\004four\n\377\n\002 cfA500host\n" +
             "\00212  cfA500host\n\003\n\00312\n" + Subcommand('\3', 3, "dfA500host"),
         kAck);  // the data file's
    Step(*client, "abc" + kZero, kAck);
    EXPECT_EQ(ReadFile(Spool("dfA500host")), "abc");
    EXPECT_FALSE(FileExists(Spool("cfA500host")));
    EXPECT_FALSE(LocalLogHas("Receive control file"));
    EXPECT_TRUE(
        daemon_.ScreenHas("Expect file name, but null string read.  Therefore, job ( ) rejected."));
    EXPECT_TRUE(daemon_.ScreenHas(
        "Expect file name, but null string read.  Therefore, job ( ) rejected.(case 2)"));

    client = Connect();
    SendFile(*client, '\2', "cfA502host", ControlText("dfA502host"));
    Step(*client, Subcommand('\3', "-5", "dfA502host"), kNack);
    EXPECT_TRUE(daemon_.ScreenHas("No free spaces available for print file " + Spool("dfA502host") +
                                  " with size -5"));
    SendFile(*client, '\3', "dfA503host", "ok");
    client->ShutdownWrite();
    EXPECT_TRUE(client->WaitForClose(seconds(5)));  // the reception has ended
    EXPECT_TRUE(FindJob(502));
    EXPECT_FALSE(FileExists(Spool("dfA502host")));
    EXPECT_EQ(ReadFile(Spool("dfA503host")), "ok");
}

TEST_F(ReceiveJob, NamesThatLeaveTheSpoolDirectoryAreRefusedAndEndTheReception) {
    for (const std::string name : {"../escape", "sub/x", ".", "..", "/tmp/pg-escape"}) {
        for (char code : {'\2', '\3'}) {
            SCOPED_TRACE(std::to_string(code) + " " + name);
            auto client = Connect();
            Step(*client, Subcommand(code, 5, name), kNack);
            EXPECT_TRUE(client->WaitForClose(seconds(5))) << "the reception has ended";
            EXPECT_TRUE(daemon_.ScreenHas(
                "LPDPrinter::RecvJob() - print queue(lp) refuses file name " + name));
        }
    }
    EXPECT_FALSE(FileExists(daemon_.Root() + "/spool/escape"));
    EXPECT_FALSE(FileExists("/tmp/pg-escape"));
}

TEST_F(ReceiveJob, CountBeyond32BitsReceivesUntilTheClientCloses) {
    HoldDelivery();
    auto client = Connect();
    SendFile(*client, '\2', "cfA601host", ControlText("dfA601host"));
    Step(*client, Subcommand('\3', "999999999999", "dfA601host"), kAck);
    const std::string data = Bytes(300000, 8);
    for (size_t at = 0; at < data.size(); at += 65536) {
        client->Send(data.substr(at, 65536));
    }
    client->ShutdownWrite();
    EXPECT_TRUE(client->WaitForClose(seconds(5))) << "nothing is sent after the content";
    EXPECT_TRUE(WaitForJob(601, JobState::Waiting));
    EXPECT_EQ(ReadFile(Spool("dfA601host")), data);
}

// A file that cannot be written ends the reception: a control file with NACK, a data file
// without reply. One that cannot be created gets NACK; for a data file what the client sends
// anyway is taken up to its close, then ACK.
TEST_F(ReceiveJob, FileSystemFailuresEndTheReception) {
    ::symlink("/dev/full", Spool("cfA701host").c_str());
    ::symlink("/dev/full", Spool("dfA702host").c_str());
    auto client = Connect();
    Step(*client, Subcommand('\2', 10, "cfA701host"), kAck);
    Step(*client, "0123456789" + kZero, kNack);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(daemon_.ScreenHas("printer(lp) fails in WriteFile() for file " +
                                  Spool("cfA701host") + " - last error(28)"));
    client = Connect();
    Step(*client, Subcommand('\3', 10, "dfA702host"), kAck);
    client->Send("0123456789" + kZero);
    EXPECT_TRUE(client->WaitForClose(seconds(5))) << "no reply after a failed write";
    EXPECT_TRUE(daemon_.ScreenHas("print queue (lp) fails in WriteFile() for file " +
                                  Spool("dfA702host") + " - last error(28)"));

    // The queue's spool directory becomes a plain file: nothing can be created in it.
    ::unlink(Spool("cfA701host").c_str());
    ::unlink(Spool("dfA702host").c_str());
    ::rmdir(daemon_.SpoolDirectory("lp").c_str());
    WriteFile(daemon_.SpoolDirectory("lp"), "");
    client = Connect();
    Step(*client, Subcommand('\2', 10, "cfA700host"), kNack);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(
        daemon_.ScreenHas("LPDPrinter::RecvJob() - printer(lp) fails in CreateFile() for "
                          "file " +
                          Spool("cfA700host") + " - last error(20)"));
    client = Connect();
    Step(*client, Subcommand('\3', 10, "dfA700host"), kNack);
    client->Send(Bytes(10, 9) + kZero);
    client->ShutdownWrite();
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_TRUE(
        daemon_.ScreenHas("print queue(lp) fails in CreateFile() for file " + Spool("dfA700host")));
}

// The whole sequence once, with its real pauses: a client that goes away in the middle of a
// data file is read seven times, 2000 ms apart, then acknowledged; the job its control file made
// is removed, and with it its files, since the control file asked for that.
TEST_F(ReceiveJob, SevenZeroReadsEndTheReceptionAndRemoveTheJobWithItsFiles) {
    auto client = Connect();
    SendFile(*client, '\2', "cfA800host", ControlText("dfA800host", true));
    ASSERT_TRUE(WaitForJob(800, JobState::Spooling));
    Step(*client, Subcommand('\3', 1000, "dfA800host"), kAck);
    client->Send(Bytes(400, 10));
    ASSERT_TRUE(WaitForSize("dfA800host", 400));
    const auto start = std::chrono::steady_clock::now();
    client->ShutdownWrite();
    EXPECT_EQ(client->Receive(1, seconds(30)), kAck);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, milliseconds(13500));
    EXPECT_LT(elapsed, seconds(25));
    EXPECT_TRUE(daemon_.WaitForScreenLine(
        "LPDPrinter::RecvJob() - fail in recv() for Queue lp - read 0 byte"));
    EXPECT_TRUE(daemon_.WaitForScreenLine("Remove failed job (report.txt) filename(" +
                                          Spool("dfA800host") + ")"));
    EXPECT_TRUE(WaitUntil([&] { return !FindJob(800); }));
    // The files go when the entry is destroyed, a moment after it has left the queue.
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(Spool("cfA800host")); }));
    EXPECT_FALSE(FileExists(Spool("dfA800host")));
}

// 512-byte sectors, 8 per cluster: 1,000,000 bytes need 244 clusters, so 345 must be free.
TEST(FreeSpaceRule, KeepsAHundredClustersFree) {
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(1000000, {512, 8, 344}));
    EXPECT_TRUE(JobReceiver::EnoughFreeSpace(1000000, {512, 8, 345}));
    // No 32-bit overflow for the largest size; no room on a volume without geometry.
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(UINT32_MAX, {1, 1, 100}));
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(0, {0, 8, 1000}));
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(0, {512, 0, 1000}));
}

}  // namespace
}  // namespace pg::test
