// Receiving a print job: the receive-job subcommands over real loopback connections to an
// in-process daemon, exact bytes in, exact bytes and spool files out, and the job entries and
// log lines that result.

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine/ClientConnection.h"
#include "engine/JobEntry.h"
#include "engine/JobReceiver.h"
#include "engine/LPDPrinter.h"
#include "platform/FreeSpace.h"
#include "platform/UniqueFd.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kAck(1, '\0');
const std::string kNack(1, '\1');
const std::string kZero(1, '\0');

// Bytes of every value (zeros, abort bytes and line feeds included), different per seed.
std::string Payload(size_t size, uint32_t seed = 1) {
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 7;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

std::string Subcommand(char code, const std::string& count, const std::string& name) {
    return std::string(1, code) + count + " " + name + "\n";
}

std::string Subcommand(char code, size_t count, const std::string& name) {
    return Subcommand(code, std::to_string(count), name);
}

// A control file as LPRng writes it, one data file, with or without its U line.
std::string ControlText(const std::string& dataName, bool unlink = false) {
    std::string text = "Hhost\nPann\nJreport.txt\nLann\nl" + dataName + "\n";
    if (unlink) {
        text += "U" + dataName + "\n";
    }
    return text + "Nreport.txt\n";
}

class ReceiveJob : public ::testing::Test {
  protected:
    ReceiveJob() : ReceiveJob(TestConfig().AddLocalQueue("lp")) {}
    explicit ReceiveJob(const TestConfig& config) : daemon_(config) {}

    std::shared_ptr<LPDPrinter> Queue() { return daemon_.Spooler().FindPrinter("lp"); }
    std::string Spool(const std::string& name) const {
        return daemon_.SpoolDirectory("lp") + "/" + name;
    }

    // The printing thread only looks at the head of the queue and delivers nothing while the
    // head job is spooling: a job that never gets its data keeps every job behind it in the
    // state reception gave it.
    void HoldDelivery() {
        auto plug = std::make_shared<JobEntry>();
        plug->jobNo = 999;
        plug->userName = "plug";
        Queue()->AddJob(plug);
    }

    // A connection whose receive-job command has been acknowledged.
    std::unique_ptr<LoopbackClient> Connect() {
        auto client = std::make_unique<LoopbackClient>(daemon_.Port());
        client->Send("\002lp\n");
        EXPECT_EQ(client->Receive(1), kAck) << "receive-job command";
        return client;
    }

    // Subcommand line, ACK, content and terminating zero, ACK.
    static void SendFile(LoopbackClient& client, char code, const std::string& name,
                         const std::string& content) {
        client.Send(Subcommand(code, content.size(), name));
        EXPECT_EQ(client.Receive(1), kAck) << "subcommand for " << name;
        client.Send(content + kZero);
        EXPECT_EQ(client.Receive(1), kAck) << "content of " << name;
    }

    std::shared_ptr<JobEntry> FindJob(int32_t jobNo) {
        for (const auto& job : Queue()->Jobs()) {
            if (job->jobNo == jobNo) {
                return job;
            }
        }
        return nullptr;
    }

    // The job once it is in the queue in that state; null when that does not happen in time.
    std::shared_ptr<JobEntry> WaitForJob(int32_t jobNo, JobState state) {
        std::shared_ptr<JobEntry> found;
        WaitUntil([&] {
            found = FindJob(jobNo);
            return found && found->State() == state;
        });
        return found && found->State() == state ? found : nullptr;
    }

    bool WaitForSize(const std::string& name, off_t size) {
        return WaitUntil([&] {
            struct stat info {};
            return ::stat(Spool(name).c_str(), &info) == 0 && info.st_size == size;
        });
    }

    bool LocalLogHas(const std::string& text) {
        return ReadFile(daemon_.TracePath("local.log")).find(text) != std::string::npos;
    }
    bool WaitForLocalLog(const std::string& text) {
        return WaitUntil([&] { return LocalLogHas(text); });
    }

    TestDaemon daemon_;
};

// --- the ACK sequence and the resulting jobs ---------------------------------------------------

TEST_F(ReceiveJob, ControlFileFirstMakesASpoolingJobThatWaitsOnceItsDataAreIn) {
    HoldDelivery();
    auto client = Connect();
    const std::string control = ControlText("dfA123host");
    const std::string data = Payload(100000);

    client->Send(Subcommand('\2', control.size(), "cfA123host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(control + kZero);
    EXPECT_EQ(client->Receive(1), kAck);
    auto job = WaitForJob(123, JobState::Spooling);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->userName, "ann");
    EXPECT_EQ(job->hostName, "host");
    EXPECT_EQ(job->jobName, "report.txt");
    EXPECT_EQ(job->nameSuffix, "host");
    EXPECT_EQ(job->prefixLength, 3);
    EXPECT_EQ(job->digitCount, 3);
    EXPECT_EQ(job->listValue, 5);
    EXPECT_TRUE(job->printBanner);
    EXPECT_FALSE(job->unlinkFiles);
    EXPECT_TRUE(std::regex_match(job->timeDate, std::regex(R"(\d\d:\d\d:\d\d \d\d/\d\d/\d\d)")))
        << job->timeDate;

    SendFile(*client, '\3', "dfA123host", data);
    EXPECT_TRUE(WaitForJob(123, JobState::Waiting));
    EXPECT_EQ(ReadFile(Spool("cfA123host")), control);
    EXPECT_EQ(ReadFile(Spool("dfA123host")), data);  // the terminating zero is not written
    EXPECT_EQ(Queue()->JobCount(), 2u);

    EXPECT_TRUE(daemon_.ScreenHas("INFO: Createing job with state = spooling"));
    EXPECT_TRUE(daemon_.ScreenHas("INFO: Change job state from spooling to ready"));
    EXPECT_TRUE(
        daemon_.ScreenHas("INFO: Data file received successfully (" + Spool("dfA123host") + ")"));
    EXPECT_TRUE(daemon_.ScreenHas("LPDPrinter::AddJob() - jobNo(123) user(ann) host(host)"));
    EXPECT_TRUE(LocalLogHas(") : Receive new print job for print queue (lp)"));
    EXPECT_TRUE(LocalLogHas(") : Receive control file cfA123host for print queue (lp)"));
    EXPECT_TRUE(LocalLogHas(") : Receive data file dfA123host for print queue (lp)"));
    EXPECT_TRUE(LocalLogHas("Received Data"));
}

TEST_F(ReceiveJob, DataFileFirstMakesAWaitingJob) {
    HoldDelivery();
    auto client = Connect();
    const std::string data = Payload(5000, 2);
    SendFile(*client, '\3', "dfA007host", data);
    SendFile(*client, '\2', "cfA007host", ControlText("dfA007host"));
    auto job = WaitForJob(7, JobState::Waiting);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->digitCount, 3);
    EXPECT_EQ(job->FilePattern(), "???007host");
    EXPECT_TRUE(daemon_.ScreenHas("INFO: Createing job with state = ready"));
    EXPECT_EQ(ReadFile(Spool("dfA007host")), data);
}

TEST_F(ReceiveJob, ControlFileOnlyStaysSpoolingAfterTheClientCloses) {
    auto client = Connect();
    SendFile(*client, '\2', "cfA200host", ControlText("dfA200host"));
    client.reset();
    ASSERT_TRUE(WaitForJob(200, JobState::Spooling));
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 1; }));
    // The connection's end is not a failure: the job is still there a moment later, when the
    // reception has certainly ended (its thread logs its exit after the close delay).
    EXPECT_TRUE(daemon_.WaitForScreenLine("RunRecvRequest() :  Exit this thread"));
    EXPECT_TRUE(FindJob(200));
}

// --- framing: one read or many -----------------------------------------------------------------

TEST_F(ReceiveJob, WholeJobInOneSendIsReceivedWhole) {
    HoldDelivery();
    LoopbackClient client(daemon_.Port());
    const std::string data = Payload(3000, 3);
    const std::string control = ControlText("dfA301host");
    client.Send("\002lp\n" + Subcommand('\3', data.size(), "dfA301host") + data + kZero +
                Subcommand('\2', control.size(), "cfA301host") + control + kZero);
    EXPECT_EQ(client.ReceiveExactly(5), std::string(5, '\0'));
    EXPECT_TRUE(WaitForJob(301, JobState::Waiting));
    EXPECT_EQ(ReadFile(Spool("dfA301host")), data);
    EXPECT_EQ(ReadFile(Spool("cfA301host")), control);
}

TEST_F(ReceiveJob, ContentInPiecesIsWrittenWholeAndAcknowledgedOnceComplete) {
    HoldDelivery();
    auto client = Connect();
    SendFile(*client, '\2', "cfA302host", ControlText("dfA302host"));
    const std::string data = Payload(3000, 4);
    client->Send(Subcommand('\3', data.size(), "dfA302host"));
    EXPECT_EQ(client->Receive(1), kAck);
    for (size_t piece = 0; piece < 2; ++piece) {
        client->Send(data.substr(piece * 1000, 1000));
        ASSERT_TRUE(WaitForSize("dfA302host", static_cast<off_t>((piece + 1) * 1000)));
        EXPECT_EQ(client->Receive(1, milliseconds(100)), "") << "no ACK before the count";
        EXPECT_EQ(FindJob(302)->State(), JobState::Spooling);
    }
    client->Send(data.substr(2000) + kZero);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_EQ(ReadFile(Spool("dfA302host")), data);
    EXPECT_TRUE(WaitForJob(302, JobState::Waiting));
}

// The client waits for the ACK that follows the count before it sends the terminating zero;
// the zero then arrives on its own in front of the next subcommand and is not taken as one.
TEST_F(ReceiveJob, TerminatingZeroSentOnItsOwnIsNeitherWrittenNorASubcommand) {
    HoldDelivery();
    auto client = Connect();
    const std::string data = Payload(2048, 5);
    client->Send(Subcommand('\3', data.size(), "dfA303host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(data);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_EQ(ReadFile(Spool("dfA303host")), data);
    client->Send(kZero);
    const std::string control = ControlText("dfA303host");
    client->Send(Subcommand('\2', control.size(), "cfA303host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(control);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_EQ(ReadFile(Spool("cfA303host")), control);
    client->Send(kZero);
    client->Send("\001\n");  // a subcommand after the zero is still served
    EXPECT_EQ(client->Receive(1), kAck);
    // The ACK goes out before the files are deleted.
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(Spool("dfA303host")); }));
    EXPECT_TRUE(FindJob(303));
}

TEST_F(ReceiveJob, SubcommandLineSplitOverTwoSendsIsAssembled) {
    HoldDelivery();
    auto client = Connect();
    const std::string data = Payload(100, 6);
    const std::string line = Subcommand('\3', data.size(), "dfA304host");
    client->Send(line.substr(0, 4));
    // A pause as part of the stimulus: the first half arrives and is read on its own.
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(client->Receive(1, milliseconds(0)), "");
    client->Send(line.substr(4));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(data + kZero);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_EQ(ReadFile(Spool("dfA304host")), data);
}

TEST_F(ReceiveJob, LineLongerThan4096BytesIsCutAndTheRestReadAsWhatFollows) {
    auto client = Connect();
    const std::string data = "tail";
    client->Send("\004" + std::string(4095, 'x') + Subcommand('\3', data.size(), "dfA305host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(data + kZero);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_EQ(ReadFile(Spool("dfA305host")), data);
}

TEST_F(ReceiveJob, LoneZeroCompletesAControlFileEarly) {
    auto client = Connect();
    const std::string control = ControlText("dfA306host");
    client->Send(Subcommand('\2', control.size() + 50, "cfA306host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(control);
    ASSERT_TRUE(WaitForSize("cfA306host", static_cast<off_t>(control.size())));
    client->Send(kZero);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_TRUE(WaitForJob(306, JobState::Spooling));
    EXPECT_TRUE(daemon_.ScreenHas("INFO: a complete control file received."));
    EXPECT_EQ(ReadFile(Spool("cfA306host")), control);
}

// --- aborts ------------------------------------------------------------------------------------

TEST_F(ReceiveJob, AbortBeforeAnyFileDeletesNothing) {
    WriteFile(Spool("cfA400host"), "earlier job");
    auto client = Connect();
    client->Send("\001\n");
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(FileExists(Spool("cfA400host")));
    EXPECT_EQ(Queue()->JobCount(), 0u);
}

TEST_F(ReceiveJob, AbortAfterTheControlFileDeletesTheJobsFilesAndLeavesItsEntrySpooling) {
    WriteFile(Spool("dfA402host"), "another job");
    WriteFile(Spool("xyz401host"), "same digits and suffix");
    auto client = Connect();
    SendFile(*client, '\2', "cfA401host", ControlText("dfA401host"));
    ASSERT_TRUE(WaitForJob(401, JobState::Spooling));
    client->Send("\001\n");
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_FALSE(FileExists(Spool("cfA401host")));
    EXPECT_FALSE(FileExists(Spool("xyz401host")));
    EXPECT_TRUE(FileExists(Spool("dfA402host")));
    auto job = FindJob(401);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->State(), JobState::Spooling);
}

TEST_F(ReceiveJob, AbortByteDuringADataFileDeletesTheFilesWithoutReply) {
    auto client = Connect();
    SendFile(*client, '\2', "cfA403host", ControlText("dfA403host"));
    client->Send(Subcommand('\3', 1000, "dfA403host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(Payload(500, 7));
    ASSERT_TRUE(WaitForSize("dfA403host", 500));
    client->Send("\001");
    EXPECT_TRUE(client->WaitForClose(seconds(5))) << "no reply to the abort byte";
    EXPECT_FALSE(FileExists(Spool("dfA403host")));
    EXPECT_FALSE(FileExists(Spool("cfA403host")));
    // The abort is not a failure: the entry stays.
    auto job = FindJob(403);
    ASSERT_TRUE(job);
    EXPECT_EQ(job->State(), JobState::Spooling);
    EXPECT_TRUE(
        LocalLogHas("Warning : LPDPrinter::RecvJob : client abort the job during spooling."));
}

// An abort byte as a control file's content deletes the job's files, so reading the control
// file back fails; the reception ends failed and removes the job it had made before.
TEST_F(ReceiveJob, AbortByteAsControlContentFailsAndRemovesTheConnectionsJob) {
    auto client = Connect();
    SendFile(*client, '\2', "cfA404host", ControlText("dfA404host"));
    ASSERT_TRUE(WaitForJob(404, JobState::Spooling));
    client->Send(Subcommand('\2', 100, "cfA405host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send("\001");
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(daemon_.WaitForScreenLine("fails in opening file " + Spool("cfA405host")));
    EXPECT_TRUE(daemon_.WaitForScreenLine("Remove failed job (report.txt) filename(" +
                                          Spool("cfA405host") + ")"));
    EXPECT_TRUE(WaitUntil([&] { return !FindJob(404); }));
    EXPECT_FALSE(FileExists(Spool("cfA405host")));
    EXPECT_TRUE(FileExists(Spool("cfA404host"))) << "no U line: its files stay";
}

// --- ignored and refused subcommands -----------------------------------------------------------

TEST_F(ReceiveJob, OtherCodesAndControlFilesWithoutCountOrNameAreIgnoredSilently) {
    auto client = Connect();
    client->Send(std::string("\000zero\n", 6) + "\004four\n\377\n\002 cfA500host\n" +
                 "\00212  cfA500host\n" + Subcommand('\3', 3, "dfA500host"));
    EXPECT_EQ(client->Receive(1), kAck) << "the first reply is the data file's";
    client->Send("abc" + kZero);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_EQ(ReadFile(Spool("dfA500host")), "abc");
    EXPECT_FALSE(FileExists(Spool("cfA500host")));
    EXPECT_FALSE(LocalLogHas("Receive control file"));
}

TEST_F(ReceiveJob, DataFileWithoutCountOrNameIsLoggedAndTheLoopGoesOn) {
    auto client = Connect();
    client->Send("\003\n\00312\n" + Subcommand('\3', 3, "dfA501host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send("abc" + kZero);
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_TRUE(
        daemon_.ScreenHas("Expect file name, but null string read.  Therefore, job ( ) rejected."));
    EXPECT_TRUE(daemon_.ScreenHas(
        "Expect file name, but null string read.  Therefore, job ( ) rejected.(case 2)"));
    EXPECT_EQ(ReadFile(Spool("dfA501host")), "abc");
}

TEST_F(ReceiveJob, NegativeCountIsRefusedForWantOfSpace) {
    auto client = Connect();
    client->Send(Subcommand('\3', "-5", "dfA502host"));
    EXPECT_EQ(client->Receive(1), kNack);
    EXPECT_TRUE(daemon_.ScreenHas("No free spaces available for print file " + Spool("dfA502host") +
                                  " with size -5"));
    EXPECT_FALSE(FileExists(Spool("dfA502host")));
    // The loop goes on.
    SendFile(*client, '\3', "dfA503host", "ok");
    EXPECT_EQ(ReadFile(Spool("dfA503host")), "ok");
}

TEST_F(ReceiveJob, NamesThatLeaveTheSpoolDirectoryAreRefusedAndEndTheReception) {
    const std::vector<std::string> names = {
        "../escape", "sub/x", ".", "..", "/tmp/pg-escape", std::string("dfA\0x", 5)};
    for (const std::string& name : names) {
        for (char code : {'\2', '\3'}) {
            SCOPED_TRACE(std::string(1, code == '\2' ? 'c' : 'd') + " " + name);
            auto client = Connect();
            client->Send(Subcommand(code, 5, name));
            EXPECT_EQ(client->Receive(1), kNack);
            EXPECT_TRUE(client->WaitForClose(seconds(5))) << "the reception has ended";
            EXPECT_TRUE(
                daemon_.ScreenHas("LPDPrinter::RecvJob() - print queue(lp) refuses file "
                                  "name " +
                                  name.substr(0, name.find('\0'))));
        }
    }
    EXPECT_FALSE(FileExists(daemon_.Root() + "/spool/escape"));
    EXPECT_FALSE(FileExists("/tmp/pg-escape"));
    EXPECT_FALSE(FileExists(Spool("dfA")));
}

// --- counts at the edges -----------------------------------------------------------------------

TEST_F(ReceiveJob, EmptyDataFileIsCompleteAsSoonAsItIsCreated) {
    HoldDelivery();
    auto client = Connect();
    SendFile(*client, '\2', "cfA600host", ControlText("dfA600host"));
    client->Send(Subcommand('\3', 0, "dfA600host"));
    EXPECT_EQ(client->ReceiveExactly(2), kAck + kAck);
    EXPECT_TRUE(WaitForJob(600, JobState::Waiting));
    EXPECT_TRUE(FileExists(Spool("dfA600host")));
    EXPECT_EQ(ReadFile(Spool("dfA600host")), "");
    // Its terminating zero is taken as such.
    client->Send(kZero);
    SendFile(*client, '\3', "dfB600host", "abc");
    EXPECT_EQ(ReadFile(Spool("dfB600host")), "abc");
}

TEST_F(ReceiveJob, CountBeyond32BitsReceivesUntilTheClientCloses) {
    HoldDelivery();
    auto client = Connect();
    SendFile(*client, '\2', "cfA601host", ControlText("dfA601host"));
    client->Send(Subcommand('\3', "999999999999", "dfA601host"));
    EXPECT_EQ(client->Receive(1), kAck);
    const std::string data = Payload(300000, 8);
    for (size_t at = 0; at < data.size(); at += 65536) {
        client->Send(data.substr(at, 65536));
    }
    client->ShutdownWrite();
    EXPECT_TRUE(client->WaitForClose(seconds(5))) << "nothing is sent after the content";
    EXPECT_TRUE(WaitForJob(601, JobState::Waiting));
    EXPECT_EQ(ReadFile(Spool("dfA601host")), data);
}

// --- file-system failures ----------------------------------------------------------------------

TEST_F(ReceiveJob, FileThatCannotBeCreatedGetsNack) {
    // The queue's spool directory is a plain file: nothing can be created in it.
    ::rmdir(daemon_.SpoolDirectory("lp").c_str());
    WriteFile(daemon_.SpoolDirectory("lp"), "");

    auto client = Connect();
    client->Send(Subcommand('\2', 10, "cfA700host"));
    EXPECT_EQ(client->Receive(1), kNack);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(
        daemon_.ScreenHas("LPDPrinter::RecvJob() - printer(lp) fails in CreateFile() for "
                          "file " +
                          Spool("cfA700host") + " - last error(20)"));

    // A data file: NACK, then what the client sends anyway is taken up to its close, then ACK.
    client = Connect();
    client->Send(Subcommand('\3', 10, "dfA700host"));
    EXPECT_EQ(client->Receive(1), kNack);
    client->Send(Payload(10, 9) + kZero);
    client->ShutdownWrite();
    EXPECT_EQ(client->Receive(1), kAck);
    EXPECT_TRUE(
        daemon_.ScreenHas("print queue(lp) fails in CreateFile() for file " + Spool("dfA700host")));
}

TEST_F(ReceiveJob, WriteFailureEndsTheReception) {
    ::symlink("/dev/full", Spool("cfA701host").c_str());
    ::symlink("/dev/full", Spool("dfA702host").c_str());

    auto client = Connect();
    client->Send(Subcommand('\2', 10, "cfA701host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send("0123456789" + kZero);
    EXPECT_EQ(client->Receive(1), kNack);
    EXPECT_TRUE(client->WaitForClose(seconds(5)));
    EXPECT_TRUE(daemon_.ScreenHas("printer(lp) fails in WriteFile() for file " +
                                  Spool("cfA701host") + " - last error(28)"));

    client = Connect();
    client->Send(Subcommand('\3', 10, "dfA702host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send("0123456789" + kZero);
    EXPECT_TRUE(client->WaitForClose(seconds(5))) << "no reply after a failed write";
    EXPECT_TRUE(daemon_.ScreenHas("print queue (lp) fails in WriteFile() for file " +
                                  Spool("dfA702host") + " - last error(28)"));
}

// --- removal of a failed job -------------------------------------------------------------------

// The whole sequence once, with its real pauses: a client that goes away in the middle of a
// data file is read seven times, 2000 ms apart, then acknowledged; the job its control file made
// is removed, and with it its files, since the control file asked for that.
class ReceiveJobSlow : public ReceiveJob {
  protected:
    ReceiveJobSlow()
        : ReceiveJob(
              TestConfig().AddLocalQueue("lp").Set("GENERAL CONFIGURE", "LocalCmdTimeout", "1")) {}
};

TEST_F(ReceiveJobSlow, SevenZeroReadsEndTheReceptionAndRemoveTheJobWithItsFiles) {
    auto client = Connect();
    SendFile(*client, '\2', "cfA800host", ControlText("dfA800host", true));
    ASSERT_TRUE(WaitForJob(800, JobState::Spooling));
    client->Send(Subcommand('\3', 1000, "dfA800host"));
    EXPECT_EQ(client->Receive(1), kAck);
    client->Send(Payload(400, 10));
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

// --- the reception on its own, over a socket pair, with a short zero-read pause ----------------

class Reception : public ReceiveJob {
  protected:
    Reception() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        server_.Reset(fds[0]);
        client_.Reset(fds[1]);
    }

    // Runs one reception on the server end with LocalCmdTimeout timeoutSeconds.
    std::future<bool> Start(int timeoutSeconds) {
        return std::async(std::launch::async, [this, timeoutSeconds] {
            ClientConnection connection(server_.Get(), timeoutSeconds);
            return JobReceiver(*Queue(), connection, milliseconds(10)).Run();
        });
    }

    void Send(const std::string& bytes) {
        ASSERT_EQ(::send(client_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    std::string Receive(size_t n) {
        std::string bytes(n, '\0');
        size_t have = 0;
        while (have < n) {
            const ssize_t got = ::recv(client_.Get(), bytes.data() + have, n - have, 0);
            if (got <= 0) {
                break;
            }
            have += static_cast<size_t>(got);
        }
        bytes.resize(have);
        return bytes;
    }
    // Receive-job ACK, a whole control file, a data file's subcommand and part of its content.
    void StartDataFile(int32_t jobNo, bool unlink) {
        const std::string number = std::to_string(jobNo);
        const std::string control = ControlText("dfA" + number + "host", unlink);
        Send(Subcommand('\2', control.size(), "cfA" + number + "host") + control + kZero +
             Subcommand('\3', 100, "dfA" + number + "host") + "partial");
        EXPECT_EQ(Receive(4), std::string(4, '\0'));
    }

    UniqueFd server_;
    UniqueFd client_;
};

TEST_F(Reception, ClientThatClosesInTheMiddleOfADataFileFailsAndLosesItsJob) {
    auto result = Start(10);
    StartDataFile(900, true);
    ASSERT_TRUE(WaitForJob(900, JobState::Spooling));
    ::shutdown(client_.Get(), SHUT_WR);
    EXPECT_EQ(Receive(1), kAck);
    EXPECT_FALSE(result.get()) << "the failed job was removed";
    EXPECT_FALSE(FindJob(900));
    EXPECT_FALSE(FileExists(Spool("cfA900host"))) << "U line: the files go with the job";
    EXPECT_FALSE(FileExists(Spool("dfA900host")));
}

// A client that stays silent for the whole time-out reads as one that closed.
TEST_F(Reception, SilentClientCountsAsZeroByteReads) {
    auto result = Start(1);
    const auto start = std::chrono::steady_clock::now();
    StartDataFile(901, false);
    EXPECT_EQ(Receive(1), kAck);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(6500));
    EXPECT_FALSE(result.get());
    EXPECT_FALSE(FindJob(901));
    EXPECT_TRUE(FileExists(Spool("cfA901host"))) << "no U line: the files stay";
    EXPECT_EQ(ReadFile(Spool("dfA901host")), "partial");
}

TEST_F(Reception, ReceptionThatEndsNormallyReturnsTrue) {
    HoldDelivery();
    auto result = Start(10);
    StartDataFile(902, false);
    Send(Payload(93, 11) + kZero);
    EXPECT_EQ(Receive(1), kAck);
    ::shutdown(client_.Get(), SHUT_WR);
    EXPECT_TRUE(result.get());
    EXPECT_TRUE(FindJob(902));
}

// --- free space --------------------------------------------------------------------------------

TEST(FreeSpaceRule, KeepsAHundredClustersFree) {
    // 512-byte sectors, 8 per cluster: 1,000,000 bytes need 244 clusters.
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(1000000, {512, 8, 344}));
    EXPECT_TRUE(JobReceiver::EnoughFreeSpace(1000000, {512, 8, 345}));
    EXPECT_TRUE(JobReceiver::EnoughFreeSpace(1000000, {512, 8, 346}));
    // Divisions round down: 4095 bytes need no cluster of 4096.
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(4095, {4096, 1, 100}));
    EXPECT_TRUE(JobReceiver::EnoughFreeSpace(4095, {4096, 1, 101}));
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(4096, {4096, 1, 101}));
    // The size is unsigned 32-bit: the largest needs 1048575 clusters of 4096 bytes.
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(UINT32_MAX, {4096, 1, 1048675}));
    EXPECT_TRUE(JobReceiver::EnoughFreeSpace(UINT32_MAX, {4096, 1, 1048676}));
    // A volume without geometry has no room.
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(0, {0, 8, 1000}));
    EXPECT_FALSE(JobReceiver::EnoughFreeSpace(0, {512, 0, 1000}));
}

}  // namespace
}  // namespace pg::test
