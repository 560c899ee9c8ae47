#pragma once

#include <cstddef>
#include <memory>

#include "platform/PrintSystem.h"

namespace pg {

// The write buffering both print systems share. Write() copies into a 64 KiB buffer and hands
// it to Send() when it is full (a block at least that large with nothing buffered goes straight
// through), Flush() hands on what is buffered. A failed Send() drops the bytes it was given;
// the failure reaches the caller from the Write() or Flush() that caused it, with the code in
// LastError().
class BufferedPrinterHandle : public PrinterHandle {
  public:
    static constexpr size_t kBufferSize = 64 * 1024;

    ~BufferedPrinterHandle() override;

    bool Write(const void* data, size_t length, size_t& written) override;
    bool Flush() override;
    int LastError() const override { return lastError_; }
    const char* FailedCall() const override { return failedCall_; }

  protected:
    BufferedPrinterHandle();

    // Delivers all of data to the printer, or returns false with the code in error and the
    // name of the call that failed in call.
    virtual bool Send(const char* data, size_t length, int& error, const char*& call) = 0;

    // Records error and the call that failed and returns false, for "return Fail(code, call);".
    bool Fail(int error, const char* call);
    // Forgets buffered bytes that must not be sent (a document being given up).
    void DiscardBuffered() { used_ = 0; }

  private:
    std::unique_ptr<char[]> buffer_;  // allocated by the first buffered write
    size_t used_ = 0;
    int lastError_ = 0;
    const char* failedCall_ = "";
};

}  // namespace pg
