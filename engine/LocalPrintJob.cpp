#include "engine/LocalPrintJob.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "log/LogFile.h"
#include "platform/PrintSystem.h"
#include "platform/UniqueFd.h"

namespace pg {

namespace {

// The printer a job is "printed" to when its own could not be opened: every call fails as on a
// handle that is not open, so a data file with content fails at its first write (and sets the
// queue's state to error) while a job of empty files goes through.
class UnopenedPrinter : public PrinterHandle {
  public:
    bool StartDocument(const std::string&, const std::string&) override { return false; }
    bool StartPage() override { return false; }
    bool Write(const void*, size_t, size_t& written) override {
        written = 0;
        return false;
    }
    bool Flush() override { return false; }
    bool EndPage() override { return false; }
    bool EndDocument() override { return false; }
    int LastError() const override { return EBADF; }
};

// Up to block.size() bytes of the file, fewer only at its end. A failed read counts as the end
// of the file.
size_t ReadBlock(int fd, std::string& block) {
    size_t have = 0;
    while (have < block.size()) {
        const ssize_t got = ::read(fd, block.data() + have, block.size() - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        have += static_cast<size_t>(got);
    }
    return have;
}

// A write whose outcome nobody looks at (the frame of the banner page, the form feed).
void WriteUnchecked(PrinterHandle& printer, std::string_view bytes) {
    size_t written = 0;
    printer.Write(bytes.data(), bytes.size(), written);
}

}  // namespace

LocalPrintJob::LocalPrintJob(PrintQueue& queue, JobEntry& job) : queue_(queue), job_(job) {}

bool LocalPrintJob::Run() {
    const QueueTarget target = queue_.Target();
    destination_ = target.destination;
    formFeedAtEndOfJob_ = target.formFeedAtEndOfJob;

    // The job's data files: its file pattern with 'd' first ("d??123host" for cfA123host).
    // Directory order says nothing on Linux, so they go in name order: dfA, dfB, ... as the
    // client numbered them.
    std::vector<SpoolFile> files = job_.SpoolFiles(/*dataOnly=*/true);
    std::sort(files.begin(), files.end(),
              [](const SpoolFile& a, const SpoolFile& b) { return a.name < b.name; });
    if (files.empty()) {
        // No file was found, so there is no file name to show: the status text names what
        // was looked for, the search path.
        const std::string searchPath = job_.spoolDirectory + "/" + job_.FilePattern(true);
        queue_.SetStatusText("Error in finding print data file -  " + searchPath);
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in finding print data "
                      "file %s - last error(%ld)\n",
                      destination_.c_str(), searchPath.c_str(), static_cast<long>(ENOENT));
        error_ = true;
        return Finish();
    }
    const std::string& firstFile = files.front().name;

    UnopenedPrinter unopened;
    PrinterHandle* printer = &unopened;
    if (queue_.PrinterInitialisation()) {
        printer = queue_.OpenPrinter();
        // The printing thread has made it printing already; only a job handed over while
        // waiting changes here. A removal that marked it stop in the meantime stands.
        job_.ChangeState(JobState::Waiting, JobState::Printing);
        systemLog.Log(3, "debugging - calling StartDocPrinter\n");
        if (!printer->StartDocument(firstFile)) {
            queue_.SetStatusText("Fail to print " + firstFile);
            systemLog.Log(
                1,
                "Error - LPDPrinter::PrintFile() - printer(%s) fails in StartDocPrinter() "
                "for file %s - last error(%ld)\n",
                destination_.c_str(), firstFile.c_str(), static_cast<long>(printer->LastError()));
            error_ = true;
            queue_.SetState(QueueState::Pause);
            return Finish();
        }
        if (job_.printBanner) {
            PrintBanner(*printer, firstFile);
        }
    }

    block_.assign(kBlockSize, '\0');
    rendered_.reserve(2 * kBlockSize);
    for (const SpoolFile& file : files) {
        if (!queue_.DeliveryCheckpoint()) {
            return Interrupted();
        }
        if (error_ || job_.State() != JobState::Printing) {
            break;
        }
        if (PrintDataFile(*printer, file.name) == FileOutcome::Interrupted) {
            return Interrupted();
        }
    }
    return Finish();
}

void LocalPrintJob::PrintBanner(PrinterHandle& printer, const std::string& firstFile) {
    systemLog.Log(3, "debugging - printing banner page\n");
    const std::string stars(80, '*');
    const std::string text = "\r\n\r\n\tJob name: \t" + job_.jobName + "\r\n\tUsername:\t" +
                             job_.bannerUser + "\r\n\tHostname:\t" + job_.hostName +
                             "\r\n\tSubmit time:\t" + job_.timeDate + "\r\n\r\n\r\n\r\n";
    WriteUnchecked(printer, stars);
    // Only the text is checked; flushing it makes its failure show here and not later.
    size_t written = 0;
    const bool wrote = printer.Write(text.data(), text.size(), written) && written == text.size() &&
                       printer.Flush();
    if (!wrote) {
        queue_.SetStatusText("Error in printing the banner page" + firstFile);
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in WritePrinter() for "
                      "file %s - last error(%ld)\n",
                      destination_.c_str(), firstFile.c_str(),
                      static_cast<long>(printer.LastError()));
        error_ = true;
        queue_.SetState(QueueState::Pause);
    }
    WriteUnchecked(printer, stars);
    WriteUnchecked(printer, "\r\n\f");
}

LocalPrintJob::FileOutcome LocalPrintJob::PrintDataFile(PrinterHandle& printer,
                                                        const std::string& fileName) {
    systemLog.Log(3, "debugging - open data file for reading\n");
    const std::string path = job_.spoolDirectory + "/" + fileName;
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in opening file %s - "
                      "last error(%ld)\n",
                      destination_.c_str(), fileName.c_str(), static_cast<long>(errno));
        return FileOutcome::Done;  // skipped; the job is not failed for it
    }

    size_t length = ReadBlock(file.Get(), block_);
    treatment_.Classify(std::string_view(block_.data(), length));

    if (!printer.StartPage()) {
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in StartPagePrinter() - "
                      "last error(%ld)\n",
                      destination_.c_str(), static_cast<long>(printer.LastError()));
    }
    while (true) {
        if (!queue_.DeliveryCheckpoint()) {
            return FileOutcome::Interrupted;
        }
        if (length == 0 || job_.State() != JobState::Printing) {
            break;
        }
        if (!WriteBlock(printer, std::string_view(block_.data(), length))) {
            FailWrite(printer, fileName);
            break;
        }
        length = ReadBlock(file.Get(), block_);
    }
    if (treatment_.FormFeedAllowed() && formFeedAtEndOfJob_) {
        WriteUnchecked(printer, "\r\f");
    }
    if (!printer.EndPage()) {
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in EndPagePrinter() - "
                      "last error(%ld)\n",
                      destination_.c_str(), static_cast<long>(printer.LastError()));
    }
    return FileOutcome::Done;
}

// True when all of the block's own bytes were written (added CRs and CR LFs do not count).
//
// The block is rendered into one buffer and handed over in one Write call. The print layer
// buffers, so this sends the printer exactly the bytes, in the same pieces, that one call per
// byte would, and fails at the same place. The rendering always ends with one of the block's
// own bytes, so a short write of the rendering is a short count of the block.
//
// A byte the layer accepted into its buffer is not yet on the printer: a failure to send it
// would come out of some later call and be charged to the wrong block, or to none. So every
// block is flushed before it counts; a failed flush has dropped what was buffered, and the block
// counts as not fully written.
bool LocalPrintJob::WriteBlock(PrinterHandle& printer, std::string_view block) {
    rendered_.clear();
    treatment_.Render(block, rendered_);
    size_t written = 0;
    return printer.Write(rendered_.data(), rendered_.size(), written) &&
           written == rendered_.size() && printer.Flush();
}

void LocalPrintJob::FailWrite(PrinterHandle& printer, const std::string& fileName) {
    queue_.SetStatusText("Error in printing " + fileName);
    error_ = true;
    systemLog.Log(1,
                  "Error - LPDPrinter::PrintFile() - printer(%s) fails in WritePrinter() for file "
                  "%s - last error(%ld)\n",
                  destination_.c_str(), fileName.c_str(), static_cast<long>(printer.LastError()));
    queue_.SetState(QueueState::Error);
}

// The end of every delivery that ran its course: the document is ended, the printer closed.
bool LocalPrintJob::Finish() {
    systemLog.Log(3, "debugging - calling EndDocPrinter\n");
    if (PrinterHandle* printer = queue_.OpenPrinter()) {
        printer->EndDocument();  // harmless when no document was started
    }
    queue_.PrinterClose();
    systemLog.Log(3, "debugging - closing FindClose handle\n");
    return !error_;
}

// The queue is stopped or going away: the document is dropped unfinished (a CUPS job is
// cancelled, a device keeps what it got) and the job stays printing at the head of the queue,
// to be delivered from the start by the next printing thread.
bool LocalPrintJob::Interrupted() {
    queue_.PrinterClose();
    return false;
}

}  // namespace pg
