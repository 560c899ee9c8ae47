#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/ProfileFile.h"

namespace pg {

// The settings of [Logging]. One table in LoggingSettings.cpp (key, value when the key is
// absent, default-file value, field) is read by the log facility, written into the default file
// and edited by the Logging options dialog, so the three agree on every key. A default-made
// object is empty: the absent-key values come from reading (a missing file gives all of them).
struct LoggingSettings {
    int32_t logLevel = 0;      // highest message level written; 0 silences everything
    int32_t logFileCache = 0;  // stream buffer in bytes (the facility clamps it to 0..32767)
    bool logToScreen = false;  // systemLog lines to the message window
    bool systemDebugEnable = false;
    bool localTraceEnable = false;
    bool remoteTraceEnable = false;
    std::string systemTrace;  // file names, used as written (relative: working directory)
    std::string localPrintTrace;
    std::string remotePrintTrace;
    int32_t logMaxMB = 0;  // a log file reaching this size moves to <name>.1; 0: no cap

    bool operator==(const LoggingSettings&) const = default;
};

// Reads every key of [Logging]. A value the configuration check rejects (LogLevel=high, a
// yes/no that is neither) reads as if the key were absent; otherwise yes/no values are yes when
// they start with Y or y, integers take their leading digits, and a negative LogMaxMB counts
// as 0.
LoggingSettings ReadLoggingSettings(const ProfileFile& file);

// Writes every key of [Logging] on its own, in table order (yes/no as "Y" or "N"); other keys
// and sections stay as they are.
void SaveLoggingSettings(const ProfileFile& file, const LoggingSettings& settings);

// Writes only the keys whose value differs between before and after, in the same forms; the
// other keys keep their text, or stay absent (the Logging options dialog's OK).
void SaveChangedLoggingSettings(const ProfileFile& file, const LoggingSettings& before,
                                const LoggingSettings& after);

// What a [Logging] key's value is, for the configuration check.
enum class LoggingKeyForm { kNumber, kYesNo, kText };
struct LoggingKeyInfo {
    const char* key;
    LoggingKeyForm form;
};
// Every key of [Logging], in table order.
std::vector<LoggingKeyInfo> LoggingKeys();

// The default file's [Logging] lines, "Key=value" without line ends, the trace files named
// under traceDirectory.
std::vector<std::string> DefaultLoggingLines(const std::string& traceDirectory);

}  // namespace pg
