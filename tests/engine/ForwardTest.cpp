// Forwarding a remote queue's jobs to another LPD host, against a fake host on ::1 that the
// test plays (IPv4 hosts: the LPRng lpd test): the bytes on the wire, the ten connection attempts
// from ports 731 down to 722, the failures, and how removal, Pause and Stop meet a job in flight.

#include <poll.h>

#include <gtest/gtest.h>

#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"

namespace pg::test {
namespace {

using Reply = FakeLpdHost::Reply;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

class Forward : public ::testing::Test {
  protected:
    using Connection = FakeLpdHost::Connection;

    // Queue "far" forwards to the host; its printing thread runs once activated.
    void Start(TestConfig config = TestConfig()) {
        config.AddQueue("far", "store,::1," + std::to_string(host_.Port()) + ",remote");
        daemon_ =
            std::make_unique<TestDaemon>(config.Set("GENERAL CONFIGURE", "TestPrintManager", "N"));
        queue_ = daemon_->Spooler().FindQueue("far");
    }

    // A job for the printing thread: job 123 of alice from pc1 with these data files.
    void Deliver(const std::vector<std::string>& contents = {"data\n"}) {
        job_ = StoreJob(*queue_, 123, "alice", "pc1", contents);
    }
    std::string PathOf(const StoredFile& file) { return queue_->Store()->PathOf(file.storeName); }

    // The next connection, served with these replies (and ACKs after them).
    Connection Serve(const std::vector<Reply>& replies = {}) {
        Connection connection;
        EXPECT_TRUE(host_.Accept(connection));
        host_.Serve(connection, replies);
        return connection;
    }

    FakeLpdHost host_{true};
    std::unique_ptr<TestDaemon> daemon_;
    std::shared_ptr<PrintQueue> queue_;
    std::shared_ptr<JobEntry> job_;
};

// The control file first, then the data files, each with its terminating zero, nothing more.
TEST_F(Forward, FilesGoControlFirstEachWithATrailingZero) {
    Start();
    Deliver({Bytes(1500), ""});
    std::string expected = "\002store\n";
    for (const StoredFile* file :
         {&job_->record.control, &job_->record.data[0], &job_->record.data[1]}) {
        expected += (file == &job_->record.control ? "\002" : "\003") + std::to_string(file->size) +
                    " " + file->clientName + "\n" + ReadFile(PathOf(*file)) + kZero;
    }
    EXPECT_EQ(Serve().bytes, expected);
    EXPECT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
}

// Each failure on a made connection is worth a retry, which waits (RetryDelayMs); a job file that
// is gone gives the job up, whether it went before or during the job.
TEST_F(Forward, FailuresOnAMadeConnectionWaitForTheRetryAndGoneFilesGiveTheJobUp) {
    Start(TestConfig()
              .Set("GENERAL CONFIGURE", "RemoteCmdTimeout", "1")
              .Set("GENERAL CONFIGURE", "RetryDelayMs", "600000"));
    const std::string refused = "The remote host refused print job file - cfA123pc1";
    const struct {
        std::vector<Reply> replies;
        std::string data;
        std::string text;
    } rows[] = {
        {{Reply::Ack, Reply::Nack}, "data\n", refused},
        {{Reply::Ack, Reply::Ack, Reply::Silence}, "data\n", refused},
        // A host gone while contents are sent.
        {{Reply::Ack, Reply::Ack, Reply::Ack, Reply::AckAndReset},
         Bytes(4 << 20),
         "Error in sending print job file to remote printer - dfA123pc1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto start = steady_clock::now();
        Deliver({row.data});
        Serve(row.replies);
        ASSERT_TRUE(WaitUntil([&] { return job_->Failures() == 1; }));
        EXPECT_LT(steady_clock::now() - start, seconds(8));  // RemoteCmdTimeout bounds silence
        EXPECT_EQ(queue_->StatusText(), row.text);
        Connection another;
        EXPECT_FALSE(host_.Accept(another, milliseconds(0)));  // no second connection
        queue_->RemoveJob(job_.get());
    }
    Deliver();
    Connection held = Serve({Reply::Ack, Reply::Ack, Reply::Hold});  // the control file's contents
    ::unlink(PathOf(job_->record.data[0]).c_str());
    FakeLpdHost::Send(held, 0);
    host_.Serve(held);
    EXPECT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
    queue_->Pause();
    Deliver();
    ::unlink(PathOf(job_->record.data[0]).c_str());
    queue_->Activate();
    EXPECT_TRUE(WaitUntil([&] { return queue_->JobCount() == 0; }));
    Connection none;
    EXPECT_FALSE(host_.Accept(none, milliseconds(0)));
}

// The printing thread: ten attempts, then the job waits for its next try (RetryDelayMs).
// Another program of the machine may hold one of the ports 722..731: that attempt then fails
// in bind() or connect() (logged) and the next one takes the next lower port.
TEST_F(Forward, RefusedJobRequestIsTriedTenTimesFromPorts731DownTo722ThenRetried) {
    // The pause leaves the test time to read the job's status before the next try.
    Start(TestConfig().Set("GENERAL CONFIGURE", "RetryDelayMs", "1000"));
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
    Start();
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
    Start();
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
    Start();
    Deliver();
    Connection c = Serve({Reply::Ack, Reply::Hold});  // the control file's subcommand
    const auto start = steady_clock::now();
    EXPECT_TRUE(queue_->Stop());
    EXPECT_LT(steady_clock::now() - start, seconds(1));  // the host would keep it 10 s
    EXPECT_FALSE(queue_->HasPrintingThread());
    EXPECT_EQ(job_->State(), JobState::Waiting);
    EXPECT_EQ(job_->Failures(), 0u);  // so it goes again at once, not after a retry pause
    EXPECT_EQ(queue_->JobCount(), 1u);
    EXPECT_EQ(queue_->State(), QueueState::Stop);
    host_.Serve(c);
    EXPECT_EQ(c.steps.size(), 2u);
}

}  // namespace
}  // namespace pg::test
