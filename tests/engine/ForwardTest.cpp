// Forwarding a remote queue's jobs to another LPD host, against a fake host on ::1 that the
// test plays (IPv4 hosts: the LPRng lpd test): the bytes on the wire, the ten connection attempts
// from ports 731 down to 722, the replies that fail a job, and how removal, Pause and Stop meet a
// job in flight.

#include "engine/RemoteJobSender.h"

#include <poll.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

#include "engine/DeliveryRequest.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"

namespace pg::test {
namespace {

using Reply = FakeLpdHost::Reply;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;
using Kind = DeliveryOutcome::Kind;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kControl = "Hpc1\nPalice\nJreport.txt\nldfA123pc1\nUdfA123pc1\n";
const std::string kZero(1, '\0');
const Files kSmallJob = {{"cfA123pc1", kControl}, {"dfA123pc1", "data\n"}};

class Forward : public ::testing::Test {
  protected:
    using Connection = FakeLpdHost::Connection;

    // Queue "far" forwards to the host. activate: the printing thread delivers; otherwise the
    // test runs the sender itself.
    void Start(bool activate, TestConfig config = TestConfig()) {
        config.AddQueue("far", "store,::1," + std::to_string(host_.Port()) + ",remote");
        daemon_ = std::make_unique<TestDaemon>(
            config.Set("GENERAL CONFIGURE", "TestPrintManager", "N"), activate);
        queue_ = daemon_->Spooler().FindQueue("far");
    }

    // The sender as the printing thread runs it, on a thread of its own while the test plays
    // the host: the first file is the control file, the others its data files.
    std::future<DeliveryOutcome> Send(const Files& files, bool lastMissing = false) {
        request_ = DeliveryRequest();
        request_.job = std::make_shared<JobEntry>();
        request_.queueName = "far";
        request_.target = queue_->Target();
        request_.remoteCmdTimeout = daemon_->Spooler().Settings().remoteCmdTimeout;
        request_.forwardChunkDelayMs = daemon_->Spooler().Settings().forwardChunkDelayMs;
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string path = work_ / std::to_string(i);
            WriteFile(path, files[i].second);
            if (lastMissing && i + 1 == files.size()) {
                ::unlink(path.c_str());
            }
            (i == 0 ? request_.control : request_.data.emplace_back()) =
                DeliveryFile{path, files[i].first, files[i].second.size()};
        }
        return std::async(std::launch::async, [this] {
            FreeRunning control;
            return RemoteJobSender(request_, control).Run();
        });
    }

    // A job for the printing thread: job 123 of alice from pc1 with these data files.
    void Deliver(const std::vector<std::string>& contents = {"data\n"}) {
        job_ = StoreJob(*queue_, 123, "alice", "pc1", contents);
    }

    // The next connection, served with these replies (and ACKs after them).
    Connection Serve(const std::vector<Reply>& replies = {}) {
        Connection connection;
        EXPECT_TRUE(host_.Accept(connection));
        host_.Serve(connection, replies);
        return connection;
    }

    FakeLpdHost host_{true};
    TempDir work_;
    std::unique_ptr<TestDaemon> daemon_;
    std::shared_ptr<PrintQueue> queue_;
    std::shared_ptr<JobEntry> job_;
    DeliveryRequest request_;
};

// --- the bytes on the wire ---------------------------------------------------------------------

// The control file first, then the data files, each with its terminating zero, nothing more.
TEST_F(Forward, FilesGoControlFirstEachWithATrailingZero) {
    Start(false);
    const Files files = {{"cfA123pc1", kControl}, {"dfA123pc1", Bytes(1500)}, {"dfB123pc1", ""}};
    std::future<DeliveryOutcome> sent = Send(files);
    const Connection got = Serve();
    const DeliveryOutcome outcome = sent.get();
    ASSERT_EQ(outcome.kind, Kind::Done);
    std::string expected = "\002store\n";
    for (const auto& [name, content] : files) {
        expected += (name[0] == 'c' ? "\002" : "\003") + std::to_string(content.size()) + " " +
                    name + "\n" + content + kZero;
    }
    EXPECT_EQ(got.bytes, expected);
}

// --- replies that fail the job -----------------------------------------------------------------

// Each is worth a retry; a job file that is gone gives the job up. The sender touches no queue
// state.
TEST_F(Forward, FailuresOnAMadeConnectionAreOutcomes) {
    Start(false, TestConfig().Set("GENERAL CONFIGURE", "RemoteCmdTimeout", "1"));
    const std::string refused = "The remote host refused print job file - cfA123pc1";
    const struct {
        std::vector<Reply> replies;
        Files files;
        std::string text;
    } rows[] = {
        {{Reply::Ack, Reply::Nack}, kSmallJob, refused},
        {{Reply::Ack, Reply::Ack, Reply::Silence}, kSmallJob, refused},
        // A host gone while contents are sent.
        {{Reply::Ack, Reply::Ack, Reply::Ack, Reply::AckAndReset},
         {{"cfA123pc1", kControl}, {"dfA123pc1", Bytes(4 << 20)}},
         "Error in sending print job file to remote printer - dfA123pc1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto start = steady_clock::now();
        std::future<DeliveryOutcome> sent = Send(row.files);
        Serve(row.replies);
        const DeliveryOutcome outcome = sent.get();
        EXPECT_LT(steady_clock::now() - start, seconds(8));  // RemoteCmdTimeout bounds silence
        EXPECT_EQ(outcome.kind, Kind::RetryLater);
        EXPECT_EQ(outcome.text, row.text);
        Connection another;
        EXPECT_FALSE(host_.Accept(another, milliseconds(0)));  // no second connection
    }
    // A data file gone once the job has begun: given up too, not retried for ever.
    std::future<DeliveryOutcome> begun = Send(kSmallJob);
    Connection held = Serve({Reply::Ack, Reply::Ack, Reply::Hold});  // the control file's contents
    ::unlink((work_ / "1").c_str());
    FakeLpdHost::Send(held, 0);
    host_.Serve(held);
    EXPECT_EQ(begun.get().kind, Kind::GiveUp);
    // A job whose file is gone is given up before anything is sent.
    const DeliveryOutcome outcome = Send(kSmallJob, /*lastMissing=*/true).get();
    EXPECT_EQ(outcome.kind, Kind::GiveUp);
    EXPECT_EQ(outcome.text, "Error in finding print data file -  dfA123pc1");
    Connection none;
    EXPECT_FALSE(host_.Accept(none, milliseconds(0)));
    EXPECT_EQ(queue_->State(), QueueState::Initial);
}

// The printing thread: ten attempts, then the job waits for its next try (RetryDelayMs).
// Another program of the machine may hold one of the ports 722..731: that attempt then fails
// in bind() or connect() (logged) and the next one takes the next lower port.
TEST_F(Forward, RefusedJobRequestIsTriedTenTimesFromPorts731DownTo722ThenRetried) {
    // The pause leaves the test time to read the job's status before the next try.
    Start(true, TestConfig().Set("GENERAL CONFIGURE", "RetryDelayMs", "1000"));
    Deliver();
    auto lost = [&] {
        return CountScreenLines(*daemon_, "SendJob() : bind() failed") +
               CountScreenLines(*daemon_, "Error : LPDPrinter::SendJob - failed in connect()");
    };
    // The attempts follow one another; the job has failed once when the last is over.
    std::vector<Connection> attempts;
    const auto deadline = steady_clock::now() + seconds(15);
    while (job_->Failures() == 0 && steady_clock::now() < deadline) {
        if (Connection c; host_.Accept(c, milliseconds(50))) {
            host_.Serve(c, {Reply::Nack});
            attempts.push_back(std::move(c));
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return job_->StatusText().rfind("retry at ", 0) == 0; }))
        << job_->StatusText();
    ASSERT_EQ(attempts.size() + lost(), 10u);
    const bool reservedPorts = ::geteuid() == 0 && lost() == 0;
    for (size_t i = 0; i < attempts.size(); ++i) {
        SCOPED_TRACE("attempt " + std::to_string(i));
        // A failed attempt sends a single zero byte before it closes.
        EXPECT_EQ(attempts[i].bytes, "\002store\n" + kZero);
        if (reservedPorts) {
            EXPECT_EQ(attempts[i].sourcePort, 731 - i);
        }
    }

    Connection retry;
    ASSERT_TRUE(host_.Accept(retry, seconds(15)));
    const auto gap = retry.acceptedAt - attempts.back().acceptedAt;
    EXPECT_GE(gap, milliseconds(950));
    EXPECT_LT(gap, seconds(5));
    if (reservedPorts) {
        EXPECT_EQ(retry.sourcePort, 731);  // each call starts again at 731
    }
    host_.Serve(retry);
    EXPECT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
}

// --- a job in flight ---------------------------------------------------------------------------

TEST_F(Forward, RemovingTheJobInFlightEndsItAfterTheCurrentFile) {
    Start(true);
    Deliver();
    Connection c = Serve({Reply::Ack, Reply::Ack, Reply::Hold});  // the control file's contents
    queue_->RemoveJob(job_.get());
    EXPECT_EQ(job_->State(), JobState::Stop);  // marked; the printing thread removes it
    EXPECT_EQ(queue_->JobCount(), 1u);
    FakeLpdHost::Send(c, 0);
    host_.Serve(c);
    EXPECT_EQ(c.steps.size(), 3u);  // no data file
    ASSERT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return JobFileCount(*queue_, *job_) == 0; }));
    Connection another;
    EXPECT_FALSE(host_.Accept(another, milliseconds(0)));
}

TEST_F(Forward, PausedQueueSendsNoMoreChunksUntilActivated) {
    Start(true);
    Deliver({Bytes(3000)});
    Connection c = Serve({Reply::Ack, Reply::Ack, Reply::Ack, Reply::Hold});  // data subcommand
    queue_->Pause();
    FakeLpdHost::Send(c, 0);
    pollfd p{c.fd.Get(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 200), 0) << "contents sent while the queue is paused";
    EXPECT_TRUE(queue_->Activate());
    host_.Serve(c);
    EXPECT_EQ(c.steps.back(), Bytes(3000) + kZero);
    ASSERT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
}

TEST_F(Forward, StopDuringForwardingReturnsPromptlyAndTheJobWaitsAgain) {
    Start(true);
    Deliver();
    Connection c = Serve({Reply::Ack, Reply::Hold});  // the control file's subcommand
    const auto start = steady_clock::now();
    EXPECT_TRUE(queue_->Stop());
    EXPECT_LT(steady_clock::now() - start, seconds(1));  // the host would keep it 10 s
    EXPECT_FALSE(queue_->HasPrintingThread());
    EXPECT_EQ(job_->State(), JobState::Waiting);
    EXPECT_EQ(queue_->JobCount(), 1u);
    EXPECT_EQ(queue_->State(), QueueState::Stop);
    host_.Serve(c);
    EXPECT_EQ(c.steps.size(), 2u);
}

}  // namespace
}  // namespace pg::test
