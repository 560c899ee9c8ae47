#pragma once

#include <cups/http.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/PrintSystem.h"

namespace pg {

// Raw printing through the CUPS scheduler that CUPS_SERVER (or the client configuration)
// names. Every call uses a connection of its own, so threads never share libcups state.
//
// Error codes: libcups's IPP status (cupsLastError(): 0x0406 or 0x0500 for an unknown printer,
// 0x0506 for a queue that rejects jobs, ...), except kNoScheduler when no scheduler answers at
// all, which libcups would report as 0x0500 as well.
class CupsPrintSystem : public PrintSystem {
  public:
    static constexpr int kNoScheduler = ECONNREFUSED;

    CupsPrintSystem();

    // A new connection to the scheduler, null when none answers. The caller closes it
    // (httpClose).
    static http_t* Connect();

    std::unique_ptr<PrinterHandle> Open(const std::string& printerName, int& error) override;
    const char* OpenCall(int error) const override;
    // The scheduler's queues, sorted; empty when there is no scheduler.
    std::vector<std::string> Printers() override;
    std::string DefaultPrinter() override;
    bool Usable(std::string& reason) override;
};

}  // namespace pg
