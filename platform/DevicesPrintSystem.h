#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/PrintSystem.h"

namespace pg {

// The print system of a plain directory: every entry not starting with '.' is a printer. A
// subdirectory collects documents as numbered files; anything else (a file, a FIFO, a device
// such as /dev/usb/lp0, or a symlink to one) gets the bytes written to it. DIR/.default names
// the default printer.
class DevicesPrintSystem : public PrintSystem {
  public:
    static constexpr const char* kDefaultFile = ".default";

    // directory: absolute, or relative to the working directory at the time of the call.
    explicit DevicesPrintSystem(const std::string& directory);

    std::unique_ptr<PrinterHandle> Open(const std::string& printerName, int& error) override;
    const char* OpenCall(int error) const override;
    std::vector<std::string> Printers() override;
    // The trimmed first line of DIR/.default when it names a printer, else the first printer.
    std::string DefaultPrinter() override;
    bool Usable(std::string& reason) override;

    const std::string& Directory() const { return directory_; }

  private:
    const std::string directory_;  // absolute
};

}  // namespace pg
