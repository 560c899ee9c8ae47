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

  protected:
    BufferedPrinterHandle();

    // Delivers all of data to the printer, or returns false with the code in error.
    virtual bool Send(const char* data, size_t length, int& error) = 0;

    // Records error as the last error and returns false, for "return Fail(code);".
    bool Fail(int error);
    // Forgets buffered bytes that must not be sent (a document being given up).
    void DiscardBuffered() { used_ = 0; }

  private:
    std::unique_ptr<char[]> buffer_;  // allocated by the first buffered write
    size_t used_ = 0;
    int lastError_ = 0;
};

}  // namespace pg
