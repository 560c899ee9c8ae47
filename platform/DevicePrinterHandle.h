#pragma once

#include <atomic>
#include <string>

#include "platform/BufferedPrinterHandle.h"
#include "platform/UniqueFd.h"

namespace pg {

// An open printer of the devices print system. A directory printer receives each document as
// a new file "NNNNNN-<document name>" in that directory; any other printer (a file, a FIFO, a
// character device, or a symlink to one) has each document's bytes appended to it.
//
// A document that is started and never ended stays as far as it was written: there is nothing
// to cancel in a plain file, so destroying the handle only closes it.
class DevicePrinterHandle : public BufferedPrinterHandle {
  public:
    // path: the printer's entry; isDirectory: what it resolved to when it was opened.
    DevicePrinterHandle(std::string path, bool isDirectory);
    ~DevicePrinterHandle() override;

    bool StartDocument(const std::string& documentName,
                       const std::string& requestingUser = std::string(),
                       const std::string& fileName = std::string()) override;
    bool StartPage() override;
    bool EndPage() override;
    bool EndDocument() override;
    void Cancel() override;

    // The file the current (or last) document of a directory printer went to.
    const std::string& DocumentPath() const { return documentPath_; }

  private:
    bool Send(const char* data, size_t length, int& error, const char*& call) override;
    bool CreateDocumentFile(const std::string& documentName);
    bool OpenDevice();

    const std::string path_;
    const bool isDirectory_;
    UniqueFd document_;
    bool isPipe_ = false;  // a FIFO or socket: a vanished reader gives EPIPE, not SIGPIPE
    std::string documentPath_;
    std::atomic<bool> cancelled_{false};
    UniqueFd cancelRead_;  // Cancel() writes a byte to wake a waiting write
    UniqueFd cancelWrite_;
};

}  // namespace pg
