#pragma once

#include <cups/http.h>

#include <string>

#include "platform/BufferedPrinterHandle.h"

namespace pg {

// An open CUPS destination with its own connection to the scheduler, so that handles used by
// different threads never share one. A document is one raw job: StartDocument creates the job
// and opens its only document, the writes stream into it, EndDocument closes it. Error codes
// are libcups's IPP status values (0x0400 and above), or CupsPrintSystem::kNoScheduler when
// the scheduler cannot be reached again.
class CupsPrinterHandle : public BufferedPrinterHandle {
  public:
    // Takes over connection (open, to the scheduler that knows printer).
    CupsPrinterHandle(http_t* connection, std::string printer);
    // Cancels a job whose document was started and not ended.
    ~CupsPrinterHandle() override;

    bool StartDocument(const std::string& documentName,
                       const std::string& requestingUser = std::string(),
                       const std::string& fileName = std::string()) override;
    bool StartPage() override;
    bool EndPage() override;
    bool EndDocument() override;

    // The job of the current (or last) document, 0 before the first.
    int JobId() const { return jobId_; }

  private:
    bool Send(const char* data, size_t length, int& error, const char*& call) override;
    // Gives up the current document: drops the upload and cancels its job on a new connection.
    void CancelDocument();

    http_t* connection_;
    const std::string printer_;
    std::string requestingUser_;  // of the current (or last) document
    int jobId_ = 0;
    bool inDocument_ = false;
    bool sendFailed_ = false;  // a write of the current document failed
};

}  // namespace pg
