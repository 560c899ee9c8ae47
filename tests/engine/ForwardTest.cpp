// Forwarding a remote queue's jobs to another LPD host, against a scripted fake host on
// 127.0.0.1: the exact bytes on the wire and their chunking (seen in the remote trace), the ten
// connection attempts from ports 731 down to 722, the replies that fail a job, the bound on a
// silent host, pacing, and how removal, Pause, Stop and destruction meet a job in flight.
//
// Most cases call the sender directly on a queue whose printing thread is not running, to see
// its result; the others let the printing thread deliver.

#include "engine/RemoteJobSender.h"

#include <grp.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"
#include "tests/engine/EngineTestJobs.h"
#include "tests/engine/FakeLpdHost.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using Reply = FakeLpdHost::Reply;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kControl = "Hpc1\nPalice\nJreport.txt\nldfA123pc1\nUdfA123pc1\n";

// n bytes that run through every byte value, zero and line feed included.
std::string Bytes(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    return bytes;
}

std::string Zero() {
    return std::string(1, '\0');
}

// The lengths of the dumps with this label in a trace, in order.
std::vector<int> DumpLengths(const std::string& trace, const std::string& label) {
    std::vector<int> lengths;
    const std::string key = label + "  length(";
    for (size_t at = trace.find(key); at != std::string::npos; at = trace.find(key, at + 1)) {
        lengths.push_back(std::atoi(trace.c_str() + at + key.size()));
    }
    return lengths;
}

size_t Count(const std::vector<std::string>& lines, const std::string& text) {
    size_t n = 0;
    for (const std::string& line : lines) {
        n += line.find(text) != std::string::npos ? 1 : 0;
    }
    return n;
}

TestConfig ForwardingConfig(uint16_t hostPort) {
    return TestConfig().AddQueue("far", "store,127.0.0.1," + std::to_string(hostPort) + ",remote");
}

// Job 123 of user alice from pc1 with exactly these files in the queue's spool directory.
std::shared_ptr<JobEntry> JobWithFiles(LPDPrinter& queue, const Files& files,
                                       JobState state = JobState::Waiting) {
    auto job = MakeJob(queue, 123, "alice", "pc1", state);
    const std::string directory = queue.SpoolDirectory();
    ::unlink((directory + "/cfA123pc1").c_str());
    ::unlink((directory + "/dfA123pc1").c_str());
    for (const auto& [name, content] : files) {
        WriteFile(directory + "/" + name, content);
    }
    return job;
}

class Forward : public ::testing::Test {
  protected:
    // activate: the printing thread delivers; otherwise the test calls the sender itself.
    void Start(bool activate, TestConfig config) {
        daemon_ = std::make_unique<TestDaemon>(config, activate);
        queue_ = daemon_->Spooler().FindPrinter("far");
        ASSERT_TRUE(queue_);
        ASSERT_TRUE(queue_->IsRemote());
        ::mkdir(queue_->SpoolDirectory().c_str(), 0755);
    }
    void Start(bool activate) { Start(activate, ForwardingConfig(host_.Port())); }

    // The sender as the printing thread calls it, on a job it has set printing.
    bool Send(const Files& files) {
        job_.reset();  // a job before, with the same names, takes its files along
        job_ = JobWithFiles(*queue_, files, JobState::Printing);
        queue_->AddJob(job_);
        return RemoteJobSender(*queue_, *job_).Run();
    }

    // A job for the printing thread.
    void Deliver(const Files& files) {
        job_.reset();
        job_ = JobWithFiles(*queue_, files);
        queue_->AddJob(job_);
    }

    // Connection attempts that failed in bind() or connect() so far.
    size_t LostAttempts() const {
        const auto lines = daemon_->ScreenLines();
        return Count(lines, "SendJob() : bind() failed") +
               Count(lines, "Error : LPDPrinter::SendJob - failed in connect()");
    }

    std::string RemoteTrace() const { return ReadFile(daemon_->TracePath("remote.log")); }
    std::string SystemTrace() const { return ReadFile(daemon_->TracePath("system.log")); }

    FakeLpdHost host_;
    std::unique_ptr<TestDaemon> daemon_;
    std::shared_ptr<LPDPrinter> queue_;
    std::shared_ptr<JobEntry> job_;
};

// --- the bytes on the wire ---------------------------------------------------------------------

TEST_F(Forward, JobOfControlFileAndFifteenHundredBytesArrivesStepByStep) {
    Start(false);
    const std::string data = Bytes(1500);
    ASSERT_TRUE(Send({{"dfA123pc1", data}, {"cfA123pc1", kControl}}));
    const auto returned = steady_clock::now();

    ASSERT_TRUE(host_.WaitForClosed(0));
    const auto connections = host_.Connections();
    // The sending side is shut down at once; the socket is closed a second later.
    EXPECT_GE(returned - connections[0].closedAt, milliseconds(900));
    ASSERT_EQ(connections.size(), 1u);
    const std::vector<std::string> expected = {
        "\002store\n",     "\002" + std::to_string(kControl.size()) + " cfA123pc1\n",
        kControl + Zero(), "\0031500 dfA123pc1\n",
        data + Zero(),
    };
    EXPECT_EQ(connections[0].steps, expected);
    std::string all;
    for (const std::string& step : expected) {
        all += step;
    }
    EXPECT_EQ(connections[0].bytes, all);  // nothing after the last file

    const std::string trace = RemoteTrace();
    EXPECT_EQ(DumpLengths(trace, "Send Request to Remote Host "), std::vector<int>{7});
    EXPECT_EQ(DumpLengths(trace, "Send filename to Remote Host "),
              (std::vector<int>{static_cast<int>(expected[1].size()), 16}));
    EXPECT_EQ(DumpLengths(trace, "Send file data  to Remote Host "),
              (std::vector<int>{static_cast<int>(kControl.size()) + 1, 1024, 477}));
    size_t acks = 0;
    for (size_t at = trace.find("Receive ACK from Remote Host \n"); at != std::string::npos;
         at = trace.find("Receive ACK from Remote Host \n", at + 1)) {
        ++acks;
    }
    EXPECT_EQ(acks, 5u);
}

TEST_F(Forward, ContentsGoInChunksOf1024WithTheZeroByteAfterTheLastRead) {
    Start(false);
    ASSERT_TRUE(Send({{"cfA123pc1", kControl},
                      {"dfA123pc1", Bytes(1024)},
                      {"dfB123pc1", ""},
                      {"dfC123pc1", Bytes(1023)},
                      {"dfD123pc1", Bytes(1025)}}));
    // A full read is sent whole and reading goes on; the zero goes with the first short read.
    EXPECT_EQ(DumpLengths(RemoteTrace(), "Send file data  to Remote Host "),
              (std::vector<int>{static_cast<int>(kControl.size()) + 1, 1024, 1, 1, 1024, 1024, 2}));

    ASSERT_TRUE(host_.WaitForClosed(0));
    const auto steps = host_.Connections()[0].steps;
    ASSERT_EQ(steps.size(), 11u);
    EXPECT_EQ(steps[3], "\0031024 dfA123pc1\n");
    EXPECT_EQ(steps[4], Bytes(1024) + Zero());
    EXPECT_EQ(steps[5], "\0030 dfB123pc1\n");
    EXPECT_EQ(steps[6], Zero());
    EXPECT_EQ(steps[7], "\0031023 dfC123pc1\n");
    EXPECT_EQ(steps[9], "\0031025 dfD123pc1\n");
    EXPECT_EQ(steps[10], Bytes(1025) + Zero());
}

TEST_F(Forward, UpperCaseControlFileIsSentFirstAsAControlFile) {
    Start(false);
    ASSERT_TRUE(Send({{"dfA123pc1", "x"}, {"CfA123pc1", kControl}}));
    ASSERT_TRUE(host_.WaitForClosed(0));
    const auto steps = host_.Connections()[0].steps;
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps[1], "\002" + std::to_string(kControl.size()) + " CfA123pc1\n");
    EXPECT_EQ(steps[3], "\0031 dfA123pc1\n");
}

// --- replies that fail the job -----------------------------------------------------------------

TEST_F(Forward, NackOfASubcommandOrOfContentsFailsTheJobAndLeavesTheQueueAsItWas) {
    Start(false);
    host_.SetReplies({Reply::Ack, Reply::Nack});
    EXPECT_FALSE(Send({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}}));
    ASSERT_TRUE(host_.WaitForClosed(0));
    auto connection = host_.Connections()[0];
    EXPECT_EQ(connection.steps.size(), 2u);  // no contents after the NACK
    EXPECT_EQ(connection.bytes, connection.steps[0] + connection.steps[1]);

    queue_->RemoveJob();
    host_.SetReplies({Reply::Ack, Reply::Ack, Reply::Nack});
    EXPECT_FALSE(Send({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}}));
    ASSERT_TRUE(host_.WaitForClosed(1));
    connection = host_.Connections()[1];
    EXPECT_EQ(connection.steps.size(), 3u);  // no data file after the NACK of the control file

    EXPECT_EQ(host_.ConnectionCount(), 2u);           // a made connection is not tried again
    EXPECT_EQ(queue_->State(), QueueState::Initial);  // a NACK leaves the queue's state
    // The subcommand's NACK is dumped; the contents' NACK is a line of its own.
    const std::string trace = RemoteTrace();
    EXPECT_EQ(DumpLengths(trace, "Receive NACK from Remote Host"), std::vector<int>{1});
    size_t nacks = 0;
    for (size_t at = trace.find("Receive NACK from Remote Host"); at != std::string::npos;
         at = trace.find("Receive NACK from Remote Host", at + 1)) {
        ++nacks;
    }
    EXPECT_EQ(nacks, 2u);
}

TEST_F(Forward, HostGoneWhileContentsAreSentSetsTheQueueToError) {
    Start(false);
    host_.SetReplies({Reply::Ack, Reply::Ack, Reply::Ack, Reply::AckAndReset});
    EXPECT_FALSE(Send({{"cfA123pc1", kControl}, {"dfA123pc1", Bytes(4 << 20)}}));
    EXPECT_EQ(queue_->State(), QueueState::Error);
    EXPECT_EQ(queue_->StatusText(),
              "Error in sending print job file to remote printer - dfA123pc1");
    EXPECT_TRUE(
        daemon_->ScreenHas("Error - SendJob() : print queue store : send() fails with error("));
}

TEST_F(Forward, SilentHostIsGivenUpAfterRemoteCmdTimeout) {
    Start(false, ForwardingConfig(host_.Port()).Set("GENERAL CONFIGURE", "RemoteCmdTimeout", "1"));
    host_.SetReplies({Reply::Ack, Reply::Ack, Reply::Silence});
    const auto start = steady_clock::now();
    EXPECT_FALSE(Send({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}}));
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, milliseconds(1000));
    EXPECT_LT(took, seconds(8));
    ASSERT_TRUE(host_.WaitForClosed(0));
    EXPECT_EQ(host_.Connections()[0].steps.size(), 3u);
}

TEST_F(Forward, RefusedConnectionIsTriedTenTimes) {
    const uint16_t closedPort = FreePort();
    Start(false, ForwardingConfig(closedPort));
    EXPECT_FALSE(Send({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}}));
    EXPECT_EQ(Count(daemon_->ScreenLines(),
                    "Error : LPDPrinter::SendJob - failed in connect()  last error 111"),
              10u);
}

TEST_F(Forward, MissingFilesFailTheJobAfterConnecting) {
    Start(false);
    EXPECT_FALSE(Send({}));
    const std::string searchPath = queue_->SpoolDirectory() + "/???123pc1";
    EXPECT_EQ(queue_->StatusText(), "Error in finding print data file -  " + searchPath);
    EXPECT_EQ(job_->State(), JobState::Error);
    EXPECT_TRUE(
        daemon_->ScreenHas("Error - LPDPrinter::PrintFile() - printer(store) fails in "
                           "finding print data file " +
                           searchPath + " - last error(2)"));
    ASSERT_TRUE(host_.WaitForClosed(0));
    EXPECT_EQ(host_.Connections()[0].bytes, "\002store\n");
}

// The printing thread: ten attempts, then the job waits for its retry about four seconds on.
// Another program of the machine may hold one of the ports 722..731: that attempt then fails
// in bind() or connect() (logged) and the next one takes the next lower port, so the ports seen
// are checked against the attempts that failed before reaching the host.
TEST_F(Forward, RefusedJobRequestIsTriedTenTimesFromPorts731DownTo722ThenRetried) {
    host_.SetReplies({Reply::Nack});
    Start(true);
    Deliver({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}});
    ASSERT_TRUE(WaitUntil(
        [&] {
            return job_->StatusText() == "Error in printing the job.  Wait for next retry." &&
                   job_->State() == JobState::Waiting;
        },
        seconds(20)));
    EXPECT_EQ(queue_->JobCount(), 1u);
    const size_t lostAttempts = LostAttempts();
    auto connections = host_.Connections();
    ASSERT_EQ(connections.size() + lostAttempts, 10u);
    for (size_t i = 0; i < connections.size(); ++i) {
        // A failed attempt sends a single zero byte before it closes.
        EXPECT_EQ(connections[i].bytes, "\002store\n" + Zero()) << "attempt " << i;
        if (::geteuid() != 0) {
            continue;
        }
        if (lostAttempts == 0) {
            EXPECT_EQ(connections[i].sourcePort, 731 - i) << "attempt " << i;
        } else {
            EXPECT_LE(connections[i].sourcePort, i == 0 ? 731 : connections[i - 1].sourcePort - 1);
            EXPECT_GE(connections[i].sourcePort, 722);
        }
    }
    EXPECT_NE(RemoteTrace().find("Receive NACK from Remote Host   length(1)"), std::string::npos);

    // The retry: three seconds after the failure plus the printing thread's one-second pass.
    const size_t first = connections.size();
    ASSERT_TRUE(host_.WaitForConnections(first + 1, seconds(15)));
    connections = host_.Connections();
    const auto gap = connections[first].acceptedAt - connections[first - 1].acceptedAt;
    EXPECT_GE(gap, milliseconds(3500));
    EXPECT_LT(gap, seconds(10));
    if (::geteuid() == 0 && LostAttempts() == 0) {
        EXPECT_EQ(connections[first].sourcePort, 731);  // each call starts again at 731
    }
}

// --- delivered jobs, pacing --------------------------------------------------------------------

TEST_F(Forward, DeliveredJobLeavesTheQueueWithItsFiles) {
    Start(true);
    Deliver({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}});
    ASSERT_TRUE(host_.WaitForClosed(0));
    ASSERT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
    job_.reset();
    // The control file's U line takes the files along with the entry.
    EXPECT_TRUE(WaitUntil([&] {
        return !FileExists(queue_->SpoolDirectory() + "/cfA123pc1") &&
               !FileExists(queue_->SpoolDirectory() + "/dfA123pc1");
    }));
    EXPECT_EQ(host_.Connections()[0].steps.size(), 5u);
    EXPECT_EQ(host_.ConnectionCount(), 1u);
}

TEST_F(Forward, ChunkDelayPausesAfterEveryChunk) {
    Start(false,
          ForwardingConfig(host_.Port()).Set("GENERAL CONFIGURE", "ForwardChunkDelayMs", "200"));
    // One chunk of control file, then 1024, 1024 and the zero byte of the data file.
    ASSERT_TRUE(Send({{"cfA123pc1", kControl}, {"dfA123pc1", Bytes(2048)}}));
    ASSERT_TRUE(host_.WaitForClosed(0));
    const auto connection = host_.Connections()[0];
    ASSERT_EQ(connection.stepTimes.size(), 5u);
    EXPECT_GE(connection.stepTimes[4] - connection.stepTimes[2], milliseconds(600));
}

// --- a job in flight ---------------------------------------------------------------------------

TEST_F(Forward, RemovingTheJobInFlightEndsItAfterTheCurrentFile) {
    host_.SetReplies({Reply::Ack, Reply::Ack, Reply::Hold});  // holds the control file's ACK
    Start(true);
    Deliver({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}});
    ASSERT_TRUE(host_.WaitForHold());
    queue_->RemoveJob(123, "root", "");
    EXPECT_EQ(job_->State(), JobState::Stop);  // marked; the printing thread removes it
    EXPECT_EQ(queue_->JobCount(), 1u);
    host_.Release();

    ASSERT_TRUE(host_.WaitForClosed(0));
    ASSERT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
    EXPECT_EQ(host_.Connections()[0].steps.size(), 3u);  // no data file
    job_.reset();
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(queue_->SpoolDirectory() + "/dfA123pc1"); }));
    EXPECT_EQ(host_.ConnectionCount(), 1u);
}

TEST_F(Forward, PausedQueueSendsNoMoreChunksUntilActivated) {
    host_.SetReplies({Reply::Ack, Reply::Ack, Reply::Ack, Reply::Hold});  // the data subcommand
    Start(true);
    Deliver({{"cfA123pc1", kControl}, {"dfA123pc1", Bytes(3000)}});
    ASSERT_TRUE(host_.WaitForHold());
    queue_->Pause();
    host_.Release();
    // Holding still: nothing of the contents comes while the queue is paused.
    EXPECT_FALSE(
        WaitUntil([&] { return host_.Connections()[0].steps.size() > 4; }, milliseconds(400)));
    EXPECT_EQ(host_.Connections()[0].steps.size(), 4u);
    EXPECT_TRUE(queue_->Activate());
    ASSERT_TRUE(host_.WaitForClosed(0));
    EXPECT_EQ(host_.Connections()[0].steps.back(), Bytes(3000) + Zero());
    ASSERT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
}

TEST_F(Forward, StopDuringForwardingReturnsPromptlyAndLeavesTheJobPrinting) {
    host_.SetReplies({Reply::Ack, Reply::Hold});  // holds the control file subcommand's ACK
    Start(true);
    Deliver({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}});
    ASSERT_TRUE(host_.WaitForHold());
    const auto start = steady_clock::now();
    EXPECT_TRUE(queue_->Stop());
    EXPECT_LT(steady_clock::now() - start, seconds(1));  // the host would keep it 10 s
    EXPECT_FALSE(queue_->HasPrintingThread());
    EXPECT_EQ(job_->State(), JobState::Printing);
    EXPECT_EQ(queue_->JobCount(), 1u);
    EXPECT_EQ(queue_->State(), QueueState::Stop);
    EXPECT_EQ(queue_->StatusText(), "This print queue is stopped");
    host_.Release();
    ASSERT_TRUE(host_.WaitForClosed(0));
    EXPECT_EQ(host_.Connections()[0].steps.size(), 2u);
}

TEST_F(Forward, DaemonEndsPromptlyWhileAHostIsSilent) {
    host_.SetReplies({Reply::Ack, Reply::Ack, Reply::Silence});
    Start(true);
    Deliver({{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}});
    ASSERT_TRUE(WaitUntil([&] {
        auto connections = host_.Connections();
        return !connections.empty() && connections[0].steps.size() == 3;
    }));
    const auto start = steady_clock::now();
    daemon_->Shutdown();
    EXPECT_LT(steady_clock::now() - start, seconds(2));  // the host would keep it 10 s
    EXPECT_TRUE(host_.WaitForClosed(0));
}

// --- without the privilege to bind reserved ports ----------------------------------------------

const char kNoPrivilege[] = "no privilege to bind a reserved port";

// Two jobs through a daemon of a process that may not bind reserved ports.
void ForwardTwoJobsWithoutPrivilege() {
    FakeLpdHost host;
    TestDaemon daemon(ForwardingConfig(host.Port()));
    auto queue = daemon.Spooler().FindPrinter("far");
    ASSERT_TRUE(queue);
    for (int i = 0; i < 2; ++i) {
        queue->AddJob(JobWithFiles(*queue, {{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}}));
        ASSERT_TRUE(host.WaitForClosed(static_cast<size_t>(i)));
        ASSERT_TRUE(WaitUntil([&] { return queue->JobCount() == 0; }));
    }
    const auto connections = host.Connections();
    ASSERT_EQ(connections.size(), 2u);
    for (const auto& connection : connections) {
        EXPECT_GE(connection.sourcePort, 1024);
        EXPECT_EQ(connection.steps.size(), 5u);
    }
    EXPECT_EQ(Count(daemon.ScreenLines(), kNoPrivilege), 1u);  // once per process
}

int UnprivilegedPortStart() {
    return std::atoi(ReadFile("/proc/sys/net/ipv4/ip_unprivileged_port_start").c_str());
}

TEST(ForwardWithoutPrivilege, ConnectsFromAnUnprivilegedPortAndSaysSoOnce) {
    if (UnprivilegedPortStart() <= 731) {
        GTEST_SKIP() << "every process may bind port 731 here";
    }
    if (::geteuid() != 0) {
        ForwardTwoJobsWithoutPrivilege();
        return;
    }
    // As root: the same in a child process of this program that gives up root first.
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    Process::Options options;
    options.argv = {self, "--gtest_also_run_disabled_tests",
                    "--gtest_filter=ForwardWithoutPrivilege.DISABLED_AsNobody"};
    Process child(options);
    const auto status = child.Wait(seconds(60));
    child.CollectOutput();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0) << child.Stdout() << child.Stderr();
    EXPECT_NE(child.Stdout().find("[  PASSED  ] 1 test"), std::string::npos) << child.Stdout();
}

// Run by the test above as root, in a child process.
TEST(ForwardWithoutPrivilege, DISABLED_AsNobody) {
    const gid_t nogroup = 65534;
    const uid_t nobody = 65534;
    ASSERT_EQ(::setgroups(0, nullptr), 0);
    ASSERT_EQ(::setresgid(nogroup, nogroup, nogroup), 0);
    ASSERT_EQ(::setresuid(nobody, nobody, nobody), 0);
    ::prctl(PR_SET_DUMPABLE, 1);  // the leak checker needs to look at its own process
    ForwardTwoJobsWithoutPrivilege();
}

}  // namespace
}  // namespace pg::test
