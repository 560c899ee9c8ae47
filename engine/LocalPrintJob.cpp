#include "engine/LocalPrintJob.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/DeliveryControl.h"
#include "engine/DeliveryRequest.h"
#include "engine/JobEntry.h"
#include "log/ErrorText.h"
#include "log/EscapeControls.h"
#include "log/LogFile.h"
#include "platform/PrintSystem.h"
#include "platform/UniqueFd.h"

namespace pg {

namespace {

// Up to block.size() bytes of the file, fewer only at its end; -1 when reading fails.
ssize_t ReadBlock(int fd, std::string& block) {
    size_t have = 0;
    while (have < block.size()) {
        const ssize_t got = ::read(fd, block.data() + have, block.size() - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(have);
}

// A write whose outcome nobody looks at (the frame of the banner page, the form feed).
void WriteUnchecked(PrinterHandle& printer, std::string_view bytes) {
    size_t written = 0;
    printer.Write(bytes.data(), bytes.size(), written);
}

}  // namespace

LocalPrintJob::LocalPrintJob(const DeliveryRequest& request, DeliveryControl& control)
    : request_(request), control_(control), destination_(request.target.destination) {}

LocalPrintJob::~LocalPrintJob() {
    control_.SetPrinter(nullptr);
}

DeliveryOutcome LocalPrintJob::Run() {
    if (request_.data.empty()) {
        return DeliveryOutcome::GiveUp(ENOENT, "Error in finding print data file -  ");
    }
    const std::string firstFile = EscapeControls(request_.data.front().clientName);
    if (const DeliveryFile* missing = request_.MissingFile(false)) {
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in open() for file %s - "
                      "last error(%s)\n",
                      destination_.c_str(), missing->path.c_str(), ErrorText(ENOENT).c_str());
        return DeliveryOutcome::GiveUp(
            ENOENT, "Error in finding print data file -  " + EscapeControls(missing->clientName));
    }
    int error = ENODEV;
    if (request_.printSystem == nullptr) {
        systemLog.Log(1,
                      "Error - LPDPrinter::PrinterInitialisation() - no print system to open "
                      "printer %s - last error(%s)\n",
                      destination_.c_str(), ErrorText(error).c_str());
        return DeliveryOutcome::Hold(
            error, "No print system to print on: Failed to open printer" + destination_);
    }
    printer_ = request_.printSystem->Open(destination_, error);
    if (!printer_) {
        systemLog.Log(1,
                      "Error - LPDPrinter::PrinterInitialisation() - fail in %s for printer %s - "
                      "last error(%s)\n",
                      request_.printSystem->OpenCall(error), destination_.c_str(),
                      PrintErrorText(error).c_str());
        return DeliveryOutcome::Retry(error, "Failed to open printer" + destination_);
    }
    control_.SetPrinter(printer_.get());
    uint64_t total = 0;
    for (const DeliveryFile& file : request_.data) {
        total += file.size;
    }
    request_.job->progress.Start(total);

    // CUPS shows the job's name (J, else the printed file's name N, else the data file's);
    // a devices folder names the document's file after N, else after the data file.
    const JobEntry& job = *request_.job;
    const std::string& spoolName = request_.data.front().clientName;
    const std::string& fileName = job.sourceFileName.empty() ? spoolName : job.sourceFileName;
    const std::string title =
        EscapeControls(job.wholeJobName.empty() ? fileName : job.wholeJobName);
    systemLog.Log(3, "debugging - calling StartDocument()\n");
    if (!printer_->StartDocument(title, EscapeControls(job.userName), fileName)) {
        error = printer_->LastError();
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in %s for file %s - "
                      "last error(%s)\n",
                      destination_.c_str(), printer_->FailedCall(), firstFile.c_str(),
                      PrintErrorText(error).c_str());
        return Finish(DeliveryOutcome::Retry(error, "Fail to print " + firstFile));
    }
    if (request_.job->printBanner && !PrintBanner(firstFile)) {
        return Finish(DeliveryOutcome::Retry(printer_->LastError(),
                                             "Error in printing the banner page" + firstFile));
    }
    block_.assign(kBlockSize, '\0');
    rendered_.reserve(2 * kBlockSize);
    for (const DeliveryFile& file : request_.data) {
        if (!control_.Checkpoint()) {
            return Finish(DeliveryOutcome::Stopped());
        }
        if (control_.JobRemoved()) {
            break;
        }
        DeliveryOutcome outcome = PrintDataFile(file);
        if (outcome.kind != DeliveryOutcome::Kind::Done) {
            return Finish(std::move(outcome));
        }
    }
    return Finish(DeliveryOutcome::Done());
}

// Only the text is checked; flushing it makes its failure show here and not later.
bool LocalPrintJob::PrintBanner(const std::string& firstFile) {
    systemLog.Log(3, "debugging - printing banner page\n");
    const JobEntry& job = *request_.job;
    const std::string stars(80, '*');
    const std::string text = "\r\n\r\n\tJob name: \t" + job.jobName + "\r\n\tUsername:\t" +
                             job.bannerUser + "\r\n\tHostname:\t" + job.hostName +
                             "\r\n\tSubmit time:\t" + job.timeDate + "\r\n\r\n\r\n\r\n";
    WriteUnchecked(*printer_, stars);
    size_t written = 0;
    const bool wrote = printer_->Write(text.data(), text.size(), written) &&
                       written == text.size() && printer_->Flush();
    if (!wrote) {
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in %s for file %s - "
                      "last error(%s)\n",
                      destination_.c_str(), printer_->FailedCall(), firstFile.c_str(),
                      PrintErrorText(printer_->LastError()).c_str());
        return false;
    }
    WriteUnchecked(*printer_, stars);
    WriteUnchecked(*printer_, "\r\n\f");
    return true;
}

// A data file that is gone can never be printed: the job is given up rather than retried for
// ever (one that vanished after the check at the start leaves the document unfinished). Any
// other failure to open or read it may pass, and is retried.
DeliveryOutcome LocalPrintJob::PrintDataFile(const DeliveryFile& file) {
    systemLog.Log(3, "debugging - open data file for reading\n");
    const std::string name = EscapeControls(file.clientName);
    UniqueFd input(::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!input) {
        const int error = errno;
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in open() for file %s - "
                      "last error(%s)\n",
                      destination_.c_str(), file.path.c_str(), ErrorText(error).c_str());
        const std::string text = "Error in finding print data file -  " + name;
        return error == ENOENT ? DeliveryOutcome::GiveUp(error, text)
                               : DeliveryOutcome::Retry(error, text);
    }
    ssize_t length = ReadBlock(input.Get(), block_);
    if (length > 0) {
        treatment_.Classify(std::string_view(block_.data(), static_cast<size_t>(length)));
    }
    if (!printer_->StartPage()) {
        systemLog.Log(
            1, "Error - LPDPrinter::PrintFile() - printer(%s) fails in %s - last error(%s)\n",
            destination_.c_str(), printer_->FailedCall(),
            PrintErrorText(printer_->LastError()).c_str());
    }
    while (length != 0) {
        if (!control_.Checkpoint()) {
            return DeliveryOutcome::Stopped();
        }
        if (control_.JobRemoved()) {
            break;
        }
        if (length < 0) {
            const int error = errno;
            return DeliveryOutcome::Retry(error, "Error in reading " + name);
        }
        if (!WriteBlock(std::string_view(block_.data(), static_cast<size_t>(length)))) {
            if (control_.StopRequested()) {
                return DeliveryOutcome::Stopped();  // the write was cancelled: no failure
            }
            const int error = printer_->LastError();
            systemLog.Log(1,
                          "Error - LPDPrinter::PrintFile() - printer(%s) fails in %s for file %s - "
                          "last error(%s)\n",
                          destination_.c_str(), printer_->FailedCall(), name.c_str(),
                          PrintErrorText(error).c_str());
            return DeliveryOutcome::Retry(error, "Error in printing " + name);
        }
        request_.job->progress.Add(static_cast<uint64_t>(length));
        length = ReadBlock(input.Get(), block_);
    }
    if (treatment_.FormFeedAllowed() && request_.target.formFeedAtEndOfJob) {
        WriteUnchecked(*printer_, "\r\f");
    }
    if (!printer_->EndPage()) {
        systemLog.Log(
            1, "Error - LPDPrinter::PrintFile() - printer(%s) fails in %s - last error(%s)\n",
            destination_.c_str(), printer_->FailedCall(),
            PrintErrorText(printer_->LastError()).c_str());
    }
    return DeliveryOutcome::Done();
}

// True when all of the block's own bytes were written (added CRs and CR LFs do not count).
//
// The block is rendered into one buffer and handed over in one Write call. The print layer
// buffers, so this sends the printer exactly the bytes, in the same pieces, that one call per
// byte would, and fails at the same place. Every block is flushed before it counts: a byte the
// layer accepted into its buffer is not yet on the printer, and a failure to send it would
// otherwise come out of some later call and be charged to the wrong block, or to none.
bool LocalPrintJob::WriteBlock(std::string_view block) {
    rendered_.clear();
    treatment_.Render(block, rendered_);
    size_t written = 0;
    return printer_->Write(rendered_.data(), rendered_.size(), written) &&
           written == rendered_.size() && printer_->Flush();
}

// A document that was not delivered whole is dropped unfinished (a CUPS job is cancelled, a
// device keeps what it got), so that no half of a job counts as printed.
DeliveryOutcome LocalPrintJob::Finish(DeliveryOutcome outcome) {
    if (outcome.kind == DeliveryOutcome::Kind::Done) {
        systemLog.Log(3, "debugging - calling EndDocument()\n");
        if (!printer_->EndDocument()) {
            const int error = printer_->LastError();
            outcome = DeliveryOutcome::Retry(
                error, "Fail to print " + EscapeControls(request_.data.front().clientName));
        }
    }
    control_.SetPrinter(nullptr);
    printer_.reset();
    systemLog.Log(3, "LPDPrinter::PrinterClose() - close printer %s\n", destination_.c_str());
    return outcome;
}

}  // namespace pg
