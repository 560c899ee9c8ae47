#include "platform/PrintSystem.h"

#include <string_view>

#include "platform/CupsPrintSystem.h"
#include "platform/DevicesPrintSystem.h"

namespace pg {

std::unique_ptr<PrintSystem> PrintSystem::Create(const std::string& spec, std::string* error) {
    static constexpr std::string_view kDevices = "devices:";
    if (spec == "cups") {
        return std::make_unique<CupsPrintSystem>();
    }
    if (spec.starts_with(kDevices)) {
        const std::string directory = spec.substr(kDevices.size());
        if (!directory.empty()) {
            return std::make_unique<DevicesPrintSystem>(directory);
        }
        if (error != nullptr) {
            *error = "\"devices:\" needs a directory (devices:DIR)";
        }
        return nullptr;
    }
    if (error != nullptr) {
        *error = "unknown print system \"" + spec + "\" (expected \"cups\" or \"devices:DIR\")";
    }
    return nullptr;
}

}  // namespace pg
