#include "platform/PrintSystem.h"

#include <cups/ipp.h>

#include <cstdio>

#include <string_view>

#include "log/ErrorText.h"
#include "platform/CupsPrintSystem.h"
#include "platform/DevicesPrintSystem.h"

namespace pg {

std::unique_ptr<PrintSystem> PrintSystem::Create(const std::string& choice, std::string* error) {
    static constexpr std::string_view kDevices = "devices:";
    if (choice == "cups") {
        return std::make_unique<CupsPrintSystem>();
    }
    if (choice.starts_with(kDevices)) {
        const std::string directory = choice.substr(kDevices.size());
        if (!directory.empty()) {
            return std::make_unique<DevicesPrintSystem>(directory);
        }
        if (error != nullptr) {
            *error = "\"devices:\" needs a directory (devices:DIR)";
        }
        return nullptr;
    }
    if (error != nullptr) {
        *error = "unknown print system \"" + choice + "\" (expected \"cups\" or \"devices:DIR\")";
    }
    return nullptr;
}

std::string PrintErrorText(int code) {
    if (code < IPP_STATUS_ERROR_BAD_REQUEST) {
        return ErrorText(code);
    }
    char number[16];
    std::snprintf(number, sizeof number, "0x%04x: ", static_cast<unsigned>(code));
    return number + std::string(ippErrorString(static_cast<ipp_status_t>(code)));
}

}  // namespace pg
