// Local delivery: what a local queue's printer gets for a job (text treatment, banner page,
// form feeds), the queue's texts on each failure, and how delivery meets removal and Stop. The
// printers are devices printers in the daemon's printers folder: directories (one file per
// document), /dev/full, and FIFOs whose reading end the test holds.

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kStars(80, '*');
const std::string kX80(80, 'x');

std::string Repeat(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// The reading end of a FIFO printer. It is open before the printer is: the print system does
// not open a FIFO nobody reads.
class FifoReader {
  public:
    explicit FifoReader(const std::string& path) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        fd_.Reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    }
    // One read's worth once bytes come within wait (so a writer that keeps up is not followed
    // to its end). False when nothing came, or the writer has closed the FIFO.
    bool ReadSome(milliseconds wait) {
        pollfd p{fd_.Get(), POLLIN, 0};
        char buffer[65536];
        const ssize_t n = ::poll(&p, 1, static_cast<int>(wait.count())) > 0
                              ? ::read(fd_.Get(), buffer, sizeof buffer)
                              : -1;
        data_.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        ended_ = ended_ || (n == 0 && !data_.empty());  // 0 bytes: the writer has gone
        return n > 0;
    }
    // Reads until the writer has closed the FIFO or nothing came for quiet.
    bool ReadAll(milliseconds quiet = seconds(10)) {
        while (ReadSome(quiet)) {
        }
        return ended_;
    }
    const std::string& Data() const { return data_; }
    // True once the pipe has stopped filling for a while: the writer waits for room.
    bool Full() const {
        int before = 0, after = 0;
        ::ioctl(fd_.Get(), FIONREAD, &before);
        std::this_thread::sleep_for(milliseconds(50));
        ::ioctl(fd_.Get(), FIONREAD, &after);
        return before > 0 && before == after;
    }

  private:
    UniqueFd fd_;
    std::string data_;
    bool ended_ = false;
};

class LocalPrint : public ::testing::Test {
  protected:
    // Queues "lp" (printer directory lp, form feeds), "plain" (printer directory plain, no
    // form feeds), "full" (/dev/full), "missing" (no such printer), "fifo" (a FIFO the test
    // makes). A failed job waits ten minutes for its next try.
    LocalPrint()
        : daemon_(TestConfig()
                      .AddLocalQueue("lp")
                      .AddLocalQueue("plain")
                      .Set("plain", "FormFeedAtEndOfJob", "no")
                      .AddQueue("full", "full,,,Print in local/LAN printer - full", "yes")
                      .AddQueue("missing", "nosuch,,,Print in local/LAN printer - nosuch", "yes")
                      .AddQueue("fifo", "fifo,,,Print in local/LAN printer - fifo", "yes")
                      .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                      .Set("GENERAL CONFIGURE", "RetryDelayMs", "600000")) {
        EXPECT_EQ(::symlink("/dev/full", daemon_.PrinterPath("full").c_str()), 0);
    }

    std::shared_ptr<PrintQueue> Queue(const std::string& name) {
        return daemon_.Spooler().FindQueue(name);
    }

    // A job as reception leaves it, waiting in the queue: job jobNo of user ann from pc1 with
    // these data files dfA, dfB, ... and a banner page for bannerUser if given.
    std::shared_ptr<JobEntry> SpoolJob(const std::string& queueName, int jobNo,
                                       const std::vector<std::string>& data,
                                       const std::string& bannerUser = "") {
        return StoreJob(*Queue(queueName), jobNo, "ann", "pc1", data,
                        bannerUser.empty() ? "" : "L" + bannerUser + "\n");
    }
    bool WaitForEmptyQueue(const std::string& name) {
        return WaitUntil([&] { return Queue(name)->JobCount() == 0; }, seconds(10));
    }

    TestDaemon daemon_;
};

TEST_F(LocalPrint, EachDataFileGetsItsTextTreatmentAndFormFeed) {
    std::string lines;  // LF text across three blocks
    for (int i = 0; lines.size() < 10000; ++i) {
        lines += "line " + std::to_string(i) + (i > 100 && i % 7 == 0 ? "\r\n" : "\n");
    }
    lines = "lf first\n" + lines;  // the first CR LF comes after the first 512 bytes
    const std::string linesOut = std::regex_replace(lines, std::regex("\n"), "\r\n");
    const std::string banner =
        kStars +
        "\r\n\r\n\tJob name: \treport.txt\r\n\tUsername:\tbob\r\n\tHostname:\tpc1\r\n"
        "\tSubmit time:\t12:00:00 12/05/26\r\n\r\n\r\n\r\n" +
        kStars + "\r\n\f";
    int jobNo = 0;
    auto expectPrinted = [&](const char* queue, const std::vector<std::string>& files,
                             const std::string& printed, const std::string& bannerUser = "") {
        SCOPED_TRACE("job " + std::to_string(jobNo + 1) + " on " + queue);
        SpoolJob(queue, ++jobNo, files, bannerUser);
        ASSERT_TRUE(WaitUntil([&] { return Queue(queue)->JobCount() == 0; }));
        const std::vector<std::string> documents = Listing(daemon_.PrinterPath(queue));
        ASSERT_FALSE(documents.empty());
        EXPECT_EQ(ReadFile(daemon_.PrinterPath(queue) + "/" + documents.back()), printed);
    };
    expectPrinted("lp", {"one\ntwo\n"}, "one\r\ntwo\r\n\r\f");
    expectPrinted("plain", {"one\ntwo\n"}, "one\r\ntwo\r\n");
    expectPrinted("lp", {lines}, linesOut + "\r\f");
    // Binary: unchanged and no form feed, for every later file of the job too.
    expectPrinted("lp", {"\033Ebin\n", "later text\n"}, "\033Ebin\nlater text\n");
    const std::string binary("\0\x90\n", 3);
    expectPrinted("lp", {"text\n", binary, "more\n"}, "text\r\n\r\f" + binary + "more\n");
    // No line end: 80-byte pieces while more than 80 bytes remain, afresh in each block.
    expectPrinted("lp", {std::string(100, 'x')}, kX80 + "\r\n" + std::string(20, 'x') + "\r\f");
    expectPrinted("lp", {std::string(4096 + 100, 'x')},
                  Repeat(kX80 + "\r\n", 51) + std::string(16, 'x') + kX80 + "\r\n" +
                      std::string(20, 'x') + "\r\f");
    expectPrinted("lp", {""}, "\r\f");
    expectPrinted("plain", {""}, "");
    expectPrinted("lp", {"hi\n"}, banner + "hi\r\n\r\f", "bob");
}

// Each failure is logged with its text; the queue shows it while the job waits for its next try.
// A data file that is gone gives the job up; anything else is retried.
TEST_F(LocalPrint, FailuresAreLoggedWithTheirTexts) {
    ASSERT_EQ(::mkfifo(daemon_.PrinterPath("fifo").c_str(), 0600), 0);  // nobody reads it
    const struct {
        const char* queue;
        std::vector<std::string> files;
        std::string bannerUser;
        bool retried;
        std::string text;
    } rows[] = {
        {"missing", {""}, "", true, "Failed to open printernosuch"},
        {"fifo", {"text\n"}, "", true, "Fail to print dfA002pc1"},
        {"full", {"text\n"}, "bob", true, "Error in printing the banner pagedfA003pc1"},
        {"full", {"text\n"}, "", true, "Error in printing dfA004pc1"},
        {"lp", {"text\n"}, "", false, "Error in finding print data file -  dfA005pc1"},
    };
    int jobNo = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::shared_ptr<PrintQueue> queue = Queue(row.queue);
        queue->Pause();
        auto job = SpoolJob(row.queue, ++jobNo, row.files, row.bannerUser);
        if (!row.retried) {
            ::unlink(queue->Store()->PathOf(job->record.data[0].storeName).c_str());
        }
        queue->Activate();
        EXPECT_TRUE(daemon_.WaitForScreenLine(row.text));
        if (row.retried) {
            EXPECT_TRUE(WaitUntil([&] { return job->Failures() == 1; }));
            EXPECT_EQ(queue->StatusText(), row.text);
            queue->RemoveJob(job.get());
        }
        EXPECT_TRUE(WaitForEmptyQueue(row.queue));
    }
}

// A FIFO printer holds the delivery in a write until the test reads: job 9, 1 MB without line
// ends, is far from done when the test steps in.
class FifoDelivery : public LocalPrint {
  protected:
    FifoDelivery()
        : fifo_(daemon_.PrinterPath("fifo")),
          printed_(Repeat(Repeat(kX80 + "\r\n", 51) + std::string(16, 'x'), 256)) {
        job_ = SpoolJob("fifo", 9, {std::string(1 << 20, 'x')});
        EXPECT_TRUE(fifo_.ReadSome(seconds(10)));  // the first bytes are out
    }

    FifoReader fifo_;      // after the daemon: closed first, so no write is left hanging
    std::string printed_;  // what the printer gets for the job, without the form feed
    std::shared_ptr<JobEntry> job_;
};

TEST_F(FifoDelivery, RemovalDuringDeliveryEndsItEarlyAndRemovesTheJob) {
    EXPECT_TRUE(Queue("fifo")->RemoveJob(9, "ann", ""));
    EXPECT_EQ(job_->State(), JobState::Stop);
    EXPECT_EQ(Queue("fifo")->JobCount(), 1u);  // the printing thread removes it

    ASSERT_TRUE(fifo_.ReadAll());
    const std::string& got = fifo_.Data();
    ASSERT_GE(got.size(), 2u);
    EXPECT_LT(got.size(), printed_.size() / 2);
    // The page and the document are closed as usual: the form feed follows the last block.
    EXPECT_EQ(got.substr(got.size() - 2), "\r\f");
    EXPECT_EQ(got.substr(0, got.size() - 2), printed_.substr(0, got.size() - 2));
    ASSERT_TRUE(WaitForEmptyQueue("fifo"));
    EXPECT_TRUE(WaitUntil([&] { return JobFileCount(*Queue("fifo"), *job_) == 0; }));
    EXPECT_EQ(Queue("fifo")->State(), QueueState::Running);
}

TEST_F(FifoDelivery, StopEndsTheDeliveryAndTheJobWaitsToBeDeliveredAgain) {
    std::shared_ptr<PrintQueue> queue = Queue("fifo");
    // Nobody reads any more: the pipe fills up and the printing thread's write waits.
    ASSERT_TRUE(WaitUntil([&] { return fifo_.Full(); }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(queue->Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(5));
    EXPECT_FALSE(queue->HasPrintingThread());
    EXPECT_EQ(queue->State(), QueueState::Stop);
    EXPECT_EQ(job_->State(), JobState::Waiting);
    EXPECT_EQ(job_->Failures(), 0u);  // so it goes again at once, not after a retry pause
    ASSERT_TRUE(fifo_.ReadAll());
    EXPECT_LT(fifo_.Data().size(), printed_.size() / 2);
    EXPECT_EQ(fifo_.Data().find('\f'), std::string::npos);  // dropped, not finished
}

}  // namespace
}  // namespace pg::test
