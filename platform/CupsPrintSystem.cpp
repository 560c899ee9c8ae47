#include "platform/CupsPrintSystem.h"

#include <cups/cups.h>

#include <algorithm>

#include "platform/CupsPrinterHandle.h"

namespace pg {

namespace {

using Connection = std::unique_ptr<http_t, decltype(&httpClose)>;

// The scheduler's destinations on a connection of our own; owns the list it fetched.
class Destinations {
  public:
    Destinations() : connection_(CupsPrintSystem::Connect(), &httpClose) {
        if (connection_) {
            count_ = cupsGetDests2(connection_.get(), &dests_);
        }
    }
    ~Destinations() { cupsFreeDests(count_, dests_); }
    Destinations(const Destinations&) = delete;
    Destinations& operator=(const Destinations&) = delete;

    const cups_dest_t* begin() const { return dests_; }
    const cups_dest_t* end() const { return dests_ + count_; }

  private:
    Connection connection_;
    cups_dest_t* dests_ = nullptr;
    int count_ = 0;
};

}  // namespace

CupsPrintSystem::CupsPrintSystem() = default;

http_t* CupsPrintSystem::Connect() {
    return httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000,
                        nullptr);
}

std::unique_ptr<PrinterHandle> CupsPrintSystem::Open(const std::string& printerName, int& error) {
    // An unknown printer and a missing scheduler both end as 0x0500 in libcups; asking for a
    // connection first tells them apart.
    Connection connection(Connect(), &httpClose);
    if (!connection) {
        error = kNoScheduler;
        return nullptr;
    }
    // An empty name would select the default destination.
    cups_dest_t* dest = printerName.empty()
                            ? nullptr
                            : cupsGetNamedDest(connection.get(), printerName.c_str(), nullptr);
    if (dest == nullptr) {
        const ipp_status_t status = cupsLastError();
        error = status > IPP_STATUS_OK_CONFLICTING ? status : IPP_STATUS_ERROR_NOT_FOUND;
        return nullptr;
    }
    cupsFreeDests(1, dest);
    error = 0;
    return std::make_unique<CupsPrinterHandle>(connection.release(), printerName);
}

const char* CupsPrintSystem::OpenCall(int error) const {
    return error == kNoScheduler ? "httpConnect2()" : "cupsGetNamedDest()";
}

bool CupsPrintSystem::Usable(std::string& reason) {
    Connection connection(Connect(), &httpClose);
    if (connection) {
        return true;
    }
    reason = std::string("no CUPS scheduler answers at ") + cupsServer() +
             ": start cupsd (systemctl start cups), or set PrintSystem=devices:DIR";
    return false;
}

std::vector<std::string> CupsPrintSystem::Printers() {
    std::vector<std::string> names;
    for (const cups_dest_t& dest : Destinations()) {
        // Instances (lpoptions' "name/instance") are option sets of a queue, not queues.
        if (dest.instance == nullptr) {
            names.emplace_back(dest.name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CupsPrintSystem::DefaultPrinter() {
    for (const cups_dest_t& dest : Destinations()) {
        if (dest.is_default) {
            return dest.instance == nullptr ? std::string(dest.name)
                                            : std::string(dest.name) + "/" + dest.instance;
        }
    }
    return {};
}

}  // namespace pg
