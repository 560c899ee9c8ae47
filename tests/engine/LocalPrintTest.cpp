// Local delivery: what a local queue's printer gets for a job (text treatment, banner page,
// form feeds, one page per data file), the queue's state and texts on each failure, and how
// delivery meets removal, Stop and Pause. The printers are devices printers in the daemon's
// printers folder: directories (one file per document), /dev/full, and FIFOs whose reading
// end the test holds.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"
#include "engine/TextTreatment.h"
#include "platform/UniqueFd.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kStars(80, '*');

std::string Repeat(const std::string& piece, size_t times) {
    std::string text;
    for (size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// --- the text treatment on its own ----------------------------------------------------------

std::string Rendered(const TextTreatment& treatment, const std::string& block) {
    std::string out;
    treatment.Render(block, out);
    return out;
}

TEST(TextTreatment, ClassificationLooksAtTheFirst512BytesOnly) {
    struct Case {
        std::string block;
        bool binary, crLf, lf;
    };
    const std::string pad511(511, 'a');
    const Case cases[] = {
        {pad511 + "~", false, false, false},      // 126 is text
        {pad511 + "\x7f", true, false, false},    // 127 at the last byte looked at
        {pad511 + "a\x7f", false, false, false},  // ... and one byte later
        {"\x1b"
         "E\n",
         true, false, false},  // ESC ends the look: the LF is never seen
        {"\xff\r\n", true, false, false},
        {pad511 + "\n", false, false, true},
        {pad511 + "a\n", false, false, false},
        {std::string(510, 'a') + "\r\n", false, true, false},
        {pad511 + "\r\n", false, true, false},  // the CR is looked at, its LF one past
        {"a\rb\r", false, false, false},        // CR without LF: nothing
        {"a\r\nb\nc", false, true, true},
        {"", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            testing::PrintToString(c.block.substr(c.block.size() > 12 ? c.block.size() - 12 : 0)));
        TextTreatment treatment;
        treatment.Classify(c.block);
        EXPECT_EQ(treatment.Binary(), c.binary);
        EXPECT_EQ(treatment.CrLf(), c.crLf);
        EXPECT_EQ(treatment.Lf(), c.lf);
    }
}

TEST(TextTreatment, IndicatorsStayForLaterFilesAndDecideInOrderBinaryCrLfLf) {
    TextTreatment treatment;
    treatment.Classify("x");
    EXPECT_EQ(treatment.Choice(), TextTreatment::Rendering::Wrapped);
    treatment.Classify("a\n");
    EXPECT_EQ(treatment.Choice(), TextTreatment::Rendering::LfToCrLf);
    treatment.Classify("no line end");
    EXPECT_EQ(treatment.Choice(), TextTreatment::Rendering::LfToCrLf);
    treatment.Classify("a\r\n");
    EXPECT_EQ(treatment.Choice(), TextTreatment::Rendering::Unchanged);
    EXPECT_TRUE(treatment.FormFeedAllowed());
    treatment.Classify("\x80");
    EXPECT_FALSE(treatment.FormFeedAllowed());
    treatment.Classify("plain\n");
    EXPECT_TRUE(treatment.Binary());
    EXPECT_FALSE(treatment.FormFeedAllowed());
}

TEST(TextTreatment, RenderingOfEachKind) {
    TextTreatment wrapped;
    const std::string x80(80, 'x');
    EXPECT_EQ(Rendered(wrapped, std::string(79, 'x')), std::string(79, 'x'));
    EXPECT_EQ(Rendered(wrapped, x80), x80);
    EXPECT_EQ(Rendered(wrapped, x80 + "y"), x80 + "\r\ny");
    EXPECT_EQ(Rendered(wrapped, x80 + x80), x80 + "\r\n" + x80);
    EXPECT_EQ(Rendered(wrapped, std::string(100, 'x')), x80 + "\r\n" + std::string(20, 'x'));
    EXPECT_EQ(Rendered(wrapped, std::string(4096, 'x')),
              Repeat(x80 + "\r\n", 51) + std::string(16, 'x'));
    EXPECT_EQ(Rendered(wrapped, ""), "");

    TextTreatment lf;
    lf.Classify("\n");
    EXPECT_EQ(Rendered(lf, "\n\nab\r\ncd"), "\r\n\r\nab\r\r\ncd");
    EXPECT_EQ(Rendered(lf, std::string(200, 'x')), std::string(200, 'x'));  // no wrapping

    TextTreatment binary;
    binary.Classify("\x1b");
    const std::string bytes("\0\n\r\x1b\xff\n", 6);
    EXPECT_EQ(Rendered(binary, bytes), bytes);
}

// --- delivery to devices printers ---------------------------------------------------------

// The contents of a printer directory's documents, in their sequence.
std::vector<std::string> Documents(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The reading end of a FIFO printer. It is open before the printer is: the print system does
// not open a FIFO nobody reads.
class FifoReader {
  public:
    explicit FifoReader(const std::string& path) {
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        fd_.Reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        EXPECT_TRUE(fd_.Valid());
    }

    // Waits up to wait for bytes, then takes one read's worth (at most what the FIFO holds,
    // so a writer that keeps up is not followed to its end). False when nothing came.
    bool ReadSome(milliseconds wait) {
        pollfd p{fd_.Get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) {
            return false;
        }
        char buffer[65536];
        const ssize_t n = ::read(fd_.Get(), buffer, sizeof buffer);
        if (n > 0) {
            data_.append(buffer, static_cast<size_t>(n));
            return true;
        }
        // A FIFO reads 0 bytes once its writer has gone (and before it came, which the tests
        // never look at: they wait for bytes first).
        ended_ = n == 0 && !data_.empty();
        return false;
    }
    bool WaitForBytes(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + seconds(10);
        while (data_.size() < count && !ended_ && std::chrono::steady_clock::now() < deadline) {
            ReadSome(milliseconds(100));
        }
        return data_.size() >= count;
    }
    // Reads until the writer closes the FIFO.
    bool ReadToEnd() {
        const auto deadline = std::chrono::steady_clock::now() + seconds(20);
        while (!ended_ && std::chrono::steady_clock::now() < deadline) {
            ReadSome(milliseconds(100));
        }
        return ended_;
    }
    // Reads until nothing comes for quiet.
    void ReadUntilQuiet(milliseconds quiet) {
        while (ReadSome(quiet) && !ended_) {
        }
    }
    const std::string& Data() const { return data_; }
    bool Ended() const { return ended_; }

  private:
    UniqueFd fd_;
    std::string data_;
    bool ended_ = false;
};

// Queues: "lp" (printer directory lp, form feeds), "plain" (printer directory plain, no form
// feeds), "full" (/dev/full), "missing" (no such printer), "fifo" (a FIFO the test makes).
TestConfig PrintConfig() {
    TestConfig config;
    config.AddLocalQueue("lp").AddLocalQueue("plain").Set("plain", "FormFeedAtEndOfJob", "no");
    config.AddQueue("full", "full,,,Print in local/LAN printer - full", "yes");
    config.AddQueue("missing", "nosuch,,,Print in local/LAN printer - nosuch", "yes");
    config.AddQueue("fifo", "fifo,,,Print in local/LAN printer - fifo", "yes");
    return config;
}

class LocalPrint : public ::testing::Test {
  protected:
    // Without activation no printing thread runs: the tests call PrintFile themselves.
    explicit LocalPrint(bool activate = false) : daemon_(PrintConfig(), activate) {
        EXPECT_EQ(::symlink("/dev/full", daemon_.PrinterPath("full").c_str()), 0);
    }

    std::shared_ptr<LPDPrinter> Queue(const std::string& name) {
        return daemon_.Spooler().FindPrinter(name);
    }

    // A job as reception leaves it: control file and data files dfA, dfB, ... in the queue's
    // spool directory, the entry waiting in the queue. Host pc1, user ann, job name report.
    std::shared_ptr<JobEntry> SpoolJob(const std::string& queueName, int jobNo,
                                       const std::vector<std::string>& data,
                                       const std::string& moreControl = "", bool unlink = true) {
        std::shared_ptr<LPDPrinter> queue = Queue(queueName);
        const std::string directory = queue->SpoolDirectory();
        ::mkdir(directory.c_str(), 0755);
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", jobNo);
        std::string control = "Hpc1\nPann\nJreport\n" + moreControl;
        for (size_t i = 0; i < data.size(); ++i) {
            const std::string name = std::string("df") + char('A' + i) + digits + "pc1";
            WriteFile(directory + "/" + name, data[i]);
            control += "l" + name + "\n" + (unlink ? "U" + name + "\n" : "");
        }
        WriteFile(directory + "/cfA" + digits + "pc1", control);
        auto job = std::make_shared<JobEntry>();
        job->ReadControlFile(control, false);
        job->jobNo = jobNo;
        job->prefixLength = 3;
        job->digitCount = 3;
        job->nameSuffix = "pc1";
        job->listValue = 5;
        job->timeDate = "12:00:00 12/05/26";
        job->SetState(JobState::Waiting);
        queue->AddJob(job);
        return job;
    }

    // What the printing thread does with the job at the head of a queue.
    bool Deliver(const std::string& queueName, JobEntry& job) {
        job.SetState(JobState::Printing);
        return Queue(queueName)->PrintFile(job);
    }

    std::vector<std::string> DocumentNames(const std::string& printer) {
        return Documents(daemon_.PrinterPath(printer));
    }
    std::string Document(const std::string& printer, const std::string& name) {
        return ReadFile(daemon_.PrinterPath(printer) + "/" + name);
    }

    TestDaemon daemon_;
};

TEST_F(LocalPrint, EachDataFileGetsItsTextTreatmentAndFormFeed) {
    const std::string x80(80, 'x');
    std::string lines;  // LF text across three blocks
    for (int i = 0; lines.size() < 10000; ++i) {
        lines += "line " + std::to_string(i) + (i > 100 && i % 7 == 0 ? "\r\n" : "\n");
    }
    lines = "lf first\n" + lines;  // the first CR LF comes after the first 512 bytes
    std::string linesOut;
    for (char c : lines) {
        linesOut += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    struct Case {
        const char* queue;
        std::vector<std::string> files;
        std::string printed;
    };
    const Case cases[] = {
        {"lp", {"one\ntwo\n"}, "one\r\ntwo\r\n\r\f"},
        {"plain", {"one\ntwo\n"}, "one\r\ntwo\r\n"},
        {"lp", {"one\r\ntwo\nthree\r\n"}, "one\r\ntwo\nthree\r\n\r\f"},
        {"lp",
         {"\x1b"
          "Ebin\n",
          "later text\n"},
         "\x1b"
         "Ebin\nlater text\n"},
        {"lp",
         {"text\n", std::string("\0\x90\n", 3), "more\n"},
         "text\r\n\r\f" + std::string("\0\x90\n", 3) + "more\n"},
        {"lp", {std::string(100, 'x')}, x80 + "\r\n" + std::string(20, 'x') + "\r\f"},
        {"lp", {std::string(4096, 'x')}, Repeat(x80 + "\r\n", 51) + std::string(16, 'x') + "\r\f"},
        {"lp",
         {std::string(4096 + 100, 'x')},
         Repeat(x80 + "\r\n", 51) + std::string(16, 'x') + x80 + "\r\n" + std::string(20, 'x') +
             "\r\f"},
        {"lp", {lines}, linesOut + "\r\f"},
        {"lp", {""}, "\r\f"},
        {"plain", {""}, ""},
        {"lp", {"a\n", "b\n"}, "a\r\n\r\fb\r\n\r\f"},
    };
    int jobNo = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE("job " + std::to_string(jobNo + 1) + " on " + c.queue);
        auto job = SpoolJob(c.queue, ++jobNo, c.files);
        const std::vector<std::string> before = DocumentNames(c.queue);
        EXPECT_TRUE(Deliver(c.queue, *job));
        const std::vector<std::string> after = DocumentNames(c.queue);
        ASSERT_EQ(after.size(), before.size() + 1);
        char name[32];
        std::snprintf(name, sizeof name, "%06zu-dfA%03dpc1", after.size(), jobNo);
        EXPECT_EQ(after.back(), name);  // the document is named after the first data file
        EXPECT_EQ(Document(c.queue, after.back()), c.printed);
    }
    for (const char* line :
         {"debugging - calling StartDocPrinter", "debugging - open data file for reading",
          "debugging - calling EndDocPrinter", "LPDPrinter::PrinterClose() - close printer lp",
          "debugging - closing FindClose handle"}) {
        EXPECT_TRUE(daemon_.ScreenHas(line)) << line;
    }
    EXPECT_FALSE(daemon_.ScreenHas("Error"));
}

TEST_F(LocalPrint, BannerPageComesFirstWhenTheControlFileAsksForIt) {
    auto job = SpoolJob("lp", 7, {"hi\n"}, "Lbob\n");
    ASSERT_TRUE(job->printBanner);
    EXPECT_TRUE(Deliver("lp", *job));
    EXPECT_EQ(Document("lp", "000001-dfA007pc1"),
              kStars +
                  "\r\n\r\n\tJob name: \treport\r\n\tUsername:\tbob\r\n\tHostname:\tpc1\r\n"
                  "\tSubmit time:\t12:00:00 12/05/26\r\n\r\n\r\n\r\n" +
                  kStars + "\r\n\fhi\r\n\r\f");
    EXPECT_TRUE(daemon_.ScreenHas("debugging - printing banner page"));
}

TEST_F(LocalPrint, NoDataFileFailsWithoutOpeningThePrinter) {
    auto job = SpoolJob("lp", 3, {});
    EXPECT_FALSE(Deliver("lp", *job));
    const std::string path = daemon_.SpoolDirectory("lp") + "/d??003pc1";
    EXPECT_EQ(Queue("lp")->StatusText(), "Error in finding print data file -  " + path);
    EXPECT_TRUE(
        daemon_.ScreenHas("Error - LPDPrinter::PrintFile() - printer(lp) fails in finding "
                          "print data file " +
                          path + " - last error(2)"));
    EXPECT_FALSE(daemon_.ScreenHas("debugging - calling StartDocPrinter"));
    EXPECT_TRUE(DocumentNames("lp").empty());
    EXPECT_EQ(Queue("lp")->State(), QueueState::Initial);  // unchanged
}

TEST_F(LocalPrint, MissingPrinterFailsEveryFileWithContent) {
    auto job = SpoolJob("missing", 1, {"", "text\n"});
    EXPECT_FALSE(Deliver("missing", *job));
    EXPECT_TRUE(
        daemon_.ScreenHas("Error - LPDPrinter::PrinterInitialisation() - fail in "
                          "OpenPrinter nosuch - last error(2)"));
    EXPECT_EQ(Queue("missing")->StatusText(), "Error in printing dfB001pc1");
    EXPECT_EQ(Queue("missing")->State(), QueueState::Error);
    EXPECT_TRUE(
        daemon_.ScreenHas("Error - LPDPrinter::PrintFile() - printer(nosuch) fails in "
                          "WritePrinter() for file dfB001pc1 - last error(9)"));
    EXPECT_TRUE(
        daemon_.ScreenHas("Error - LPDPrinter::PrintFile() - printer(nosuch) fails in "
                          "StartPagePrinter() - last error(9)"));
    EXPECT_FALSE(daemon_.ScreenHas("debugging - calling StartDocPrinter"));

    // Nothing to write: the job goes through, the text of the failed open stays.
    Queue("missing")->SetState(QueueState::Running);
    auto empty = SpoolJob("missing", 2, {""});
    EXPECT_TRUE(Deliver("missing", *empty));
    EXPECT_EQ(Queue("missing")->StatusText(), "Failed to open printernosuch");
    EXPECT_EQ(Queue("missing")->State(), QueueState::Running);
}

TEST_F(LocalPrint, DocumentThatCannotStartPausesTheQueue) {
    ASSERT_EQ(::mkfifo(daemon_.PrinterPath("fifo").c_str(), 0600), 0);  // nobody reads it
    auto job = SpoolJob("fifo", 4, {"text\n"});
    EXPECT_FALSE(Deliver("fifo", *job));
    EXPECT_EQ(Queue("fifo")->StatusText(), "Fail to print dfA004pc1");
    EXPECT_EQ(Queue("fifo")->State(), QueueState::Pause);
    EXPECT_TRUE(
        daemon_.ScreenHas("Error - LPDPrinter::PrintFile() - printer(fifo) fails in "
                          "StartDocPrinter() for file dfA004pc1 - last error(6)"));
    EXPECT_FALSE(daemon_.ScreenHas("debugging - open data file for reading"));
}

TEST_F(LocalPrint, BannerPageThatCannotBeWrittenPausesTheQueue) {
    auto job = SpoolJob("full", 5, {"text\n"}, "Lbob\n");
    EXPECT_FALSE(Deliver("full", *job));
    EXPECT_EQ(Queue("full")->StatusText(), "Error in printing the banner pagedfA005pc1");
    EXPECT_EQ(Queue("full")->State(), QueueState::Pause);
    EXPECT_TRUE(
        daemon_.ScreenHas("Error - LPDPrinter::PrintFile() - printer(full) fails in "
                          "WritePrinter() for file dfA005pc1 - last error(28)"));
    EXPECT_FALSE(daemon_.ScreenHas("debugging - open data file for reading"));
}

// --- with the printing thread -----------------------------------------------------------------

class LocalDelivery : public LocalPrint {
  protected:
    LocalDelivery() : LocalPrint(/*activate=*/true) {}

    bool WaitForEmptyQueue(const std::string& name) {
        return WaitUntil([&] { return Queue(name)->JobCount() == 0; }, seconds(10));
    }
};

TEST_F(LocalDelivery, DeliveredJobLeavesTheQueueWithItsFilesOnlyWhenTheyAreUnlinked) {
    SpoolJob("lp", 1, {"kept\n"}, "", /*unlink=*/false);
    SpoolJob("lp", 2, {"gone\n"}, "", /*unlink=*/true);
    ASSERT_TRUE(WaitForEmptyQueue("lp"));
    EXPECT_EQ(DocumentNames("lp"),
              (std::vector<std::string>{"000001-dfA001pc1", "000002-dfA002pc1"}));
    const std::string spool = daemon_.SpoolDirectory("lp");
    EXPECT_TRUE(FileExists(spool + "/cfA001pc1"));
    EXPECT_TRUE(FileExists(spool + "/dfA001pc1"));
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(spool + "/cfA002pc1"); }));
    EXPECT_FALSE(FileExists(spool + "/dfA002pc1"));
    EXPECT_TRUE(
        daemon_.ScreenHas(": RunLPDPrinting() : Removing job (jobNo-2, userName-ann, "
                          "hostName-pc1) on print queue lp"));
}

TEST_F(LocalDelivery, JobSentOverTheProtocolIsPrinted) {
    const std::string data = "Hello\nworld\n";
    const std::string control = "Hpc9\nPann\nJgreeting\nldfA042pc9\nUdfA042pc9\nNgreeting\n";
    LoopbackClient client(daemon_.Port());
    const std::string ack(1, '\0');
    client.Send("\002lp\n");
    ASSERT_EQ(client.Receive(1), ack);
    client.Send("\003" + std::to_string(data.size()) + " dfA042pc9\n");
    ASSERT_EQ(client.Receive(1), ack);
    client.Send(data + std::string(1, '\0'));
    ASSERT_EQ(client.Receive(1), ack);
    client.Send("\002" + std::to_string(control.size()) + " cfA042pc9\n");
    ASSERT_EQ(client.Receive(1), ack);
    client.Send(control + std::string(1, '\0'));
    ASSERT_EQ(client.Receive(1), ack);
    client.ShutdownWrite();  // the job ends when the client closes

    ASSERT_TRUE(WaitUntil([&] { return DocumentNames("lp").size() == 1; }, seconds(10)));
    ASSERT_TRUE(WaitForEmptyQueue("lp"));
    EXPECT_EQ(Document("lp", "000001-dfA042pc9"), "Hello\r\nworld\r\n\r\f");
    EXPECT_TRUE(
        WaitUntil([&] { return !FileExists(daemon_.SpoolDirectory("lp") + "/dfA042pc9"); }));
}

TEST_F(LocalDelivery, ControlFileFirstJobIsPrintedOnlyWithAllItsDataFiles) {
    // LPRng's order: control file, then the data files. The job is waiting once dfA is in,
    // but it must not be printed before dfB has arrived and the client has closed.
    const std::string control = "Hpc9\nPann\nJtwo\nldfA043pc9\nldfB043pc9\n";
    LoopbackClient client(daemon_.Port());
    const std::string ack(1, '\0');
    auto send = [&](const std::string& line, const std::string& content) {
        client.Send(line);
        ASSERT_EQ(client.Receive(1), ack);
        client.Send(content + std::string(1, '\0'));
        ASSERT_EQ(client.Receive(1), ack);
    };
    client.Send("\002lp\n");
    ASSERT_EQ(client.Receive(1), ack);
    send("\002" + std::to_string(control.size()) + " cfA043pc9\n", control);
    send("\0033 dfA043pc9\n", "one");
    ASSERT_TRUE(
        WaitUntil([&] { return Queue("lp")->Jobs().front()->State() == JobState::Waiting; }));
    EXPECT_FALSE(WaitUntil([&] { return !DocumentNames("lp").empty(); }, milliseconds(1500)));
    send("\0033 dfB043pc9\n", "two");
    client.ShutdownWrite();
    ASSERT_TRUE(WaitForEmptyQueue("lp"));
    EXPECT_EQ(Document("lp", "000001-dfA043pc9"), "one\r\ftwo\r\f");
}

TEST_F(LocalDelivery, FailedWriteSetsQueueErrorAndTheJobIsRetriedAfterActivate) {
    auto job = SpoolJob("full", 6, {"text\n"});
    std::shared_ptr<LPDPrinter> queue = Queue("full");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return job->StatusText() == "Error in printing the job.  Wait for next retry." &&
                   job->State() == JobState::Waiting;
        },
        seconds(10)));
    EXPECT_EQ(queue->State(), QueueState::Error);
    EXPECT_EQ(queue->StatusText(), "Error in printing dfA006pc1");
    EXPECT_TRUE(
        daemon_.ScreenHas("Error - LPDPrinter::PrintFile() - printer(full) fails in "
                          "WritePrinter() for file dfA006pc1 - last error(28)"));
    EXPECT_EQ(queue->JobCount(), 1u);

    // The printer comes back as a directory; the operator starts the queue again.
    ASSERT_EQ(::unlink(daemon_.PrinterPath("full").c_str()), 0);
    ASSERT_EQ(::mkdir(daemon_.PrinterPath("full").c_str(), 0755), 0);
    EXPECT_TRUE(queue->Activate());
    ASSERT_TRUE(WaitForEmptyQueue("full"));
    EXPECT_EQ(Document("full", "000001-dfA006pc1"), "text\r\n\r\f");
}

// A FIFO printer holds the delivery in a write until the test reads: the job is big enough
// (1 MB without line ends) to be far from done when the test steps in.
class FifoDelivery : public LocalDelivery {
  protected:
    FifoDelivery() : fifo_(daemon_.PrinterPath("fifo")), full_(std::string(1 << 20, 'x')) {
        std::string x80(80, 'x');
        for (size_t at = 0; at < full_.size(); at += 4096) {
            const size_t block = std::min<size_t>(4096, full_.size() - at);
            printed_ +=
                Repeat(x80 + "\r\n", (block - 1) / 80) + std::string((block - 1) % 80 + 1, 'x');
        }
    }

    // Starts job 9 and waits until its first bytes are out.
    std::shared_ptr<JobEntry> StartJob() {
        auto job = SpoolJob("fifo", 9, {full_});
        EXPECT_TRUE(fifo_.WaitForBytes(1));
        return job;
    }

    FifoReader fifo_;  // after the daemon: closed first, so no write is left hanging
    std::string full_;
    std::string printed_;  // what the printer gets for it, without the form feed
};

TEST_F(FifoDelivery, WholeJobArrivesWhenTheReaderKeepsUp) {
    StartJob();
    ASSERT_TRUE(fifo_.ReadToEnd());
    EXPECT_EQ(fifo_.Data(), printed_ + "\r\f");
    EXPECT_TRUE(WaitForEmptyQueue("fifo"));
}

TEST_F(FifoDelivery, RemovalDuringDeliveryEndsItEarlyAndRemovesTheJob) {
    std::shared_ptr<JobEntry> job = StartJob();
    const std::string spool = daemon_.SpoolDirectory("fifo");
    EXPECT_TRUE(Queue("fifo")->RemoveJob(9, "ann", ""));
    EXPECT_EQ(job->State(), JobState::Stop);
    EXPECT_EQ(Queue("fifo")->JobCount(), 1u);  // the printing thread removes it
    job.reset();

    ASSERT_TRUE(fifo_.ReadToEnd());
    const std::string& got = fifo_.Data();
    ASSERT_GE(got.size(), 2u);
    EXPECT_LT(got.size(), printed_.size() / 2);
    // The page and the document are closed as usual: the form feed follows the last block.
    EXPECT_EQ(got.substr(got.size() - 2), "\r\f");
    EXPECT_EQ(got.substr(0, got.size() - 2), printed_.substr(0, got.size() - 2));
    ASSERT_TRUE(WaitForEmptyQueue("fifo"));
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(spool + "/dfA009pc1"); }));
    EXPECT_EQ(Queue("fifo")->State(), QueueState::Running);
}

TEST_F(FifoDelivery, StopEndsTheDeliveryAndLeavesTheJobPrintingAtTheHead) {
    std::shared_ptr<JobEntry> job = StartJob();
    std::shared_ptr<LPDPrinter> queue = Queue("fifo");
    bool printerClosedFirst = false;
    std::thread stopper([&] {
        queue->Stop();
        printerClosedFirst = daemon_.ScreenHas("LPDPrinter::PrinterClose() - close printer fifo");
    });
    ASSERT_TRUE(WaitUntil([&] { return queue->StopRequested(); }));
    const bool ended = fifo_.ReadToEnd();
    stopper.join();
    ASSERT_TRUE(ended);
    EXPECT_TRUE(printerClosedFirst) << "Stop returned before the printing thread let go";
    EXPECT_FALSE(queue->HasPrintingThread());
    EXPECT_LT(fifo_.Data().size(), printed_.size() / 2);
    EXPECT_EQ(fifo_.Data().find('\f'), std::string::npos);  // dropped, not finished
    EXPECT_EQ(job->State(), JobState::Printing);
    ASSERT_EQ(queue->JobCount(), 1u);
    EXPECT_EQ(queue->Jobs().front(), job);

    // A new thread leaves a printing head alone until the job is removed.
    EXPECT_TRUE(queue->Activate());
    EXPECT_TRUE(queue->RemoveJob(9, "root", ""));
    EXPECT_TRUE(WaitForEmptyQueue("fifo"));
}

TEST_F(FifoDelivery, StopDoesNotWaitForAPrinterThatTakesNothing) {
    std::shared_ptr<JobEntry> job = StartJob();
    std::shared_ptr<LPDPrinter> queue = Queue("fifo");
    // Nobody reads any more: the pipe fills up and the printing thread's write waits.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(queue->Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(5));
    EXPECT_FALSE(queue->HasPrintingThread());
    EXPECT_EQ(job->State(), JobState::Printing);
    EXPECT_EQ(queue->State(), QueueState::Stop);
}

TEST_F(FifoDelivery, PauseHoldsTheDeliveryUntilActivate) {
    std::shared_ptr<JobEntry> job = StartJob();
    std::shared_ptr<LPDPrinter> queue = Queue("fifo");
    EXPECT_TRUE(queue->Pause());
    // The block being written goes out; then nothing more until Activate.
    fifo_.ReadUntilQuiet(milliseconds(500));
    const size_t held = fifo_.Data().size();
    EXPECT_LT(held, printed_.size() / 2);
    EXPECT_FALSE(fifo_.ReadSome(milliseconds(500)));
    EXPECT_EQ(job->State(), JobState::Printing);

    EXPECT_TRUE(queue->Activate());
    ASSERT_TRUE(fifo_.ReadToEnd());
    EXPECT_EQ(fifo_.Data(), printed_ + "\r\f");
    EXPECT_TRUE(WaitForEmptyQueue("fifo"));
}

}  // namespace
}  // namespace pg::test
