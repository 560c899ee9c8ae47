#include "platform/PrintSystem.h"

#include <string_view>

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

}  // namespace pg
