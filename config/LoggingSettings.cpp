#include "config/LoggingSettings.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <type_traits>
#include <variant>

#include "config/ConfigChecker.h"
#include "config/ConfigLocation.h"
#include "config/ProfileText.h"

namespace pg {

namespace {

constexpr const char* kSection = "Logging";

using L = LoggingSettings;

struct LoggingKey {
    const char* key;
    const char* absent;       // the value when the key is missing
    const char* defaultFile;  // the value in the default file; nullptr: not written there
    bool underTrace;          // the default file names it under <current directory>/trace
    std::variant<int32_t L::*, bool L::*, std::string L::*> field;
};

// [Logging] in the default file's order; LogMaxMB is this program's own key, which the default
// file leaves out.
const std::array<LoggingKey, 10> kLoggingKeys{{
    {"LogLevel", "1", "1", false, &L::logLevel},
    {"LogFileCache", "1024", "0", false, &L::logFileCache},
    {"LogToScreen", "Y", "Y", false, &L::logToScreen},
    {"SystemDebugEnable", "N", "N", false, &L::systemDebugEnable},
    {"LocalTraceEnable", "N", "N", false, &L::localTraceEnable},
    {"RemoteTraceEnable", "N", "N", false, &L::remoteTraceEnable},
    {"SystemTrace", "system.log", "system.log", true, &L::systemTrace},
    {"LocalPrintTrace", "local.log", "local.log", true, &L::localPrintTrace},
    {"RemotePrintTrace", "remote.log", "remote.log", true, &L::remotePrintTrace},
    {"LogMaxMB", "100", nullptr, false, &L::logMaxMB},
}};

// A yes/no value of [Logging] is yes when its first character is Y or y.
bool StartsWithYes(std::string_view text) {
    return !text.empty() && (text[0] == 'Y' || text[0] == 'y');
}

// Writes the keys of settings in table order; with before, only those whose value differs.
void WriteKeys(const ProfileFile& file, const LoggingSettings& settings,
               const LoggingSettings* before) {
    for (const LoggingKey& entry : kLoggingKeys) {
        const bool same = std::visit(
            [&](auto member) { return before != nullptr && before->*member == settings.*member; },
            entry.field);
        if (same) {
            continue;
        }
        const std::string text =
            std::visit([&](auto member) { return ValueText(settings.*member); }, entry.field);
        // A failed write is not reported: the dialog that saves has no better answer.
        (void)file.WriteString(kSection, entry.key, text);
    }
}

}  // namespace

LoggingSettings ReadLoggingSettings(const ProfileFile& file) {
    std::string text;
    const ConfigChecker check(file.ReadText(text) ? text : std::string());
    LoggingSettings settings;
    for (const LoggingKey& entry : kLoggingKeys) {
        const bool rejected = check.Rejected(kSection, entry.key);
        std::visit(
            [&](auto member) {
                auto& value = settings.*member;
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, int32_t>) {
                    value = rejected
                                ? ParseLeadingInt(entry.absent)
                                : file.GetInt(kSection, entry.key, ParseLeadingInt(entry.absent));
                } else if constexpr (std::is_same_v<T, bool>) {
                    value =
                        StartsWithYes(rejected ? std::string(entry.absent)
                                               : file.GetString(kSection, entry.key, entry.absent));
                } else {
                    value = file.GetString(kSection, entry.key, entry.absent);
                }
            },
            entry.field);
    }
    settings.logMaxMB = std::max(settings.logMaxMB, 0);
    return settings;
}

void SaveLoggingSettings(const ProfileFile& file, const LoggingSettings& settings) {
    WriteKeys(file, settings, nullptr);
}

void SaveChangedLoggingSettings(const ProfileFile& file, const LoggingSettings& before,
                                const LoggingSettings& after) {
    WriteKeys(file, after, &before);
}

std::vector<LoggingKeyInfo> LoggingKeys() {
    std::vector<LoggingKeyInfo> keys;
    for (const LoggingKey& entry : kLoggingKeys) {
        const LoggingKeyForm form =
            std::holds_alternative<int32_t L::*>(entry.field) ? LoggingKeyForm::kNumber
            : std::holds_alternative<bool L::*>(entry.field)  ? LoggingKeyForm::kYesNo
                                                              : LoggingKeyForm::kText;
        keys.push_back({entry.key, form});
    }
    return keys;
}

std::vector<std::string> DefaultLoggingLines(const std::string& traceDirectory) {
    std::vector<std::string> lines;
    for (const LoggingKey& entry : kLoggingKeys) {
        if (entry.defaultFile != nullptr) {
            lines.push_back(std::string(entry.key) + "=" +
                            (entry.underTrace ? JoinPath(traceDirectory, entry.defaultFile)
                                              : std::string(entry.defaultFile)));
        }
    }
    return lines;
}

}  // namespace pg
