#include "platform/CupsPrinterHandle.h"

#include <cups/cups.h>

#include <utility>

#include "platform/CupsPrintSystem.h"

namespace pg {

namespace {

// libcups's status of the call that just failed on this thread.
int FailedStatus() {
    const ipp_status_t status = cupsLastError();
    return status > IPP_STATUS_OK_CONFLICTING ? status : IPP_STATUS_ERROR_INTERNAL;
}

// libcups names the requesting user of every request after cupsUser(), which belongs to the
// calling thread: for the scope of the object it is the job's owner, then what it was.
class AsUser {
  public:
    explicit AsUser(const std::string& user) : previous_(cupsUser()) {
        if (!user.empty()) {
            cupsSetUser(user.c_str());
        }
    }
    ~AsUser() { cupsSetUser(previous_.c_str()); }
    AsUser(const AsUser&) = delete;
    AsUser& operator=(const AsUser&) = delete;

  private:
    const std::string previous_;
};

}  // namespace

CupsPrinterHandle::CupsPrinterHandle(http_t* connection, std::string printer)
    : connection_(connection), printer_(std::move(printer)) {}

CupsPrinterHandle::~CupsPrinterHandle() {
    if (inDocument_) {
        CancelDocument();
    }
    if (connection_ != nullptr) {
        httpClose(connection_);
    }
}

bool CupsPrinterHandle::StartDocument(const std::string& documentName,
                                      const std::string& requestingUser,
                                      [[maybe_unused]] const std::string& fileName) {
    if (inDocument_) {
        return Fail(IPP_STATUS_ERROR_NOT_POSSIBLE, "StartDocument()");
    }
    DiscardBuffered();
    if (connection_ == nullptr && (connection_ = CupsPrintSystem::Connect()) == nullptr) {
        return Fail(CupsPrintSystem::kNoScheduler, "httpConnect2()");
    }
    requestingUser_ = requestingUser;
    const AsUser user(requestingUser_);
    const int job = cupsCreateJob(connection_, printer_.c_str(), documentName.c_str(), 0, nullptr);
    if (job == 0) {
        return Fail(FailedStatus(), "cupsCreateJob()");
    }
    jobId_ = job;
    inDocument_ = true;
    if (cupsStartDocument(connection_, printer_.c_str(), job, documentName.c_str(), CUPS_FORMAT_RAW,
                          1) != HTTP_STATUS_CONTINUE) {
        const int error = FailedStatus();
        CancelDocument();
        return Fail(error, "cupsStartDocument()");
    }
    return true;
}

bool CupsPrinterHandle::StartPage() {
    return Flush();
}

bool CupsPrinterHandle::EndPage() {
    return Flush();
}

bool CupsPrinterHandle::EndDocument() {
    if (!inDocument_) {
        DiscardBuffered();
        return Fail(IPP_STATUS_ERROR_NOT_POSSIBLE, "EndDocument()");
    }
    // A document with a failed write has a hole: it is not printed.
    if (!Flush() || sendFailed_) {
        const int error = LastError();
        const char* call = FailedCall();
        CancelDocument();
        return Fail(error, call);
    }
    inDocument_ = false;
    const ipp_status_t status = cupsFinishDocument(connection_, printer_.c_str());
    if (status > IPP_STATUS_OK_CONFLICTING) {
        const AsUser user(requestingUser_);
        cupsCancelJob2(connection_, printer_.c_str(), jobId_, 0);
        return Fail(status, "cupsFinishDocument()");
    }
    return true;
}

bool CupsPrinterHandle::Send(const char* data, size_t length, int& error, const char*& call) {
    call = "cupsWriteRequestData()";
    if (!inDocument_) {
        error = IPP_STATUS_ERROR_NOT_POSSIBLE;
        return false;
    }
    if (cupsWriteRequestData(connection_, data, length) != HTTP_STATUS_CONTINUE) {
        error = FailedStatus();
        sendFailed_ = true;
        return false;
    }
    return true;
}

void CupsPrinterHandle::CancelDocument() {
    DiscardBuffered();
    inDocument_ = false;
    sendFailed_ = false;
    // The document upload is in the middle of its request: dropping the connection is the only
    // way to end it. The job is then cancelled on a fresh one.
    httpClose(connection_);
    connection_ = CupsPrintSystem::Connect();
    if (connection_ != nullptr) {
        const AsUser user(requestingUser_);
        cupsCancelJob2(connection_, printer_.c_str(), jobId_, 0);
    }
}

}  // namespace pg
