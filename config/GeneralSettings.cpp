#include "config/GeneralSettings.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/AccessRules.h"
#include "config/LoggingSettings.h"
#include "config/ProfileText.h"
#include "config/SettingKey.h"

namespace pg {

namespace {

constexpr const char* kGeneralSection = "GENERAL CONFIGURE";

using S = GeneralSettings;
using Form = SettingKey::Form;
using Computed = SettingKey::Computed;
using DefaultValue = SettingKey::DefaultValue;
using YesNoLog = SettingKey::YesNoLog;
using SideEffect = SettingKey::SideEffect;

constexpr DefaultValue Fixed(const char* text) {
    return DefaultValue{Computed::kFixed, text};
}
constexpr DefaultValue Made(Computed computed) {
    return DefaultValue{computed, nullptr};
}
constexpr DefaultValue kNotInDefaultFile{};

// [GENERAL CONFIGURE] in reading order: the keys of the classic daemon (they are also the
// default file's lines 2 to 13), the spool's keys (lines 14 to 16), then this program's own
// extension keys, which the default file leaves out and which are never saved.
const std::array<SettingKey, 26> kSettingKeys{{
    {"LPDInstallDirectory", "LPDInstallDirectory", Form::kPath, Made(Computed::kCurrentDirectory),
     Made(Computed::kCurrentDirectory), &S::lpdInstallDirectory, "LPDInstallDirectory  is %s\n",
     YesNoLog::kTrueFalse, SideEffect::kNone, 7},
    {"HostFile", "Hostfile", Form::kPath, Made(Computed::kHostsFile), Made(Computed::kHostsFile),
     &S::hostFile, "Hostfile is %s\n", YesNoLog::kTrueFalse, SideEffect::kNone, 9},
    {"SpoolBaseDirectory", "SpoolBaseDirectory", Form::kPath, Made(Computed::kSpoolDirectory),
     Made(Computed::kSpoolDirectory), &S::spoolBaseDirectory, "SpoolBaseDirectory  is %s\n",
     YesNoLog::kTrueFalse, SideEffect::kSpoolBaseKnown, 8},
    {"LocalCmdTimeout", "LocalCmdTimeout", Form::kInteger, Fixed("20"), Fixed("100"),
     &S::localCmdTimeout, "LocalCmdTimeout is %d seconds\n", YesNoLog::kTrueFalse,
     SideEffect::kNone, 10},
    {"RemoteCmdTimeout", "RemoteCmdTimeout", Form::kInteger, Fixed("20"), Fixed("100"),
     &S::remoteCmdTimeout, "RemoteCmdTimeout is %d seconds\n", YesNoLog::kTrueFalse,
     SideEffect::kNone, 11},
    {"LPDServerPort", "LPDServerPort", Form::kPort, Fixed("515"), Fixed("515"), &S::lpdServerPort,
     "LPDServerPort is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone, 12},
    {"ClearSpoolDirectory", "ClearSpoolDirectory", Form::kYesNo, Fixed("Yes"), Fixed("N"),
     &S::clearSpoolOnStart, nullptr, YesNoLog::kTrueFalse, SideEffect::kClearSpoolWhenYes, 1},
    {"TestPrintManager", "TestPrintManager", Form::kYesNo, Fixed("Yes"), Fixed("Y"),
     &S::testPrintManager, "TestPrintManager before accepting jobs : %s\n", YesNoLog::kTrueFalse,
     SideEffect::kNone, 2},
    {"EnablePrintStatusControl", "EnablePrintStatusControl", Form::kYesNo, Fixed("Yes"), Fixed("Y"),
     &S::enablePrintStatusControl, "EnablePrintStatusControl = %s\n", YesNoLog::kTextAsRead,
     SideEffect::kNone, 3},
    {"SuppressBanner", "SuppressBanner", Form::kYesNo, Fixed("No"), Fixed("N"), &S::suppressBanner,
     "suppressBanner = %s\n", YesNoLog::kTextAsRead, SideEffect::kNone, 4},
    {"MinimizeOnStartup", "MinimizeOnStartup", Form::kYesNo, Fixed("No"), Fixed("N"),
     &S::minimizeOnStartup, "minimizeOnStartup : %s\n", YesNoLog::kTrueFalse, SideEffect::kNone, 5},
    {"ActivateLPDOnStart", "ActivateLPDOnStart", Form::kYesNo, Fixed("No"), Fixed("N"),
     &S::activateLPDOnStart, "activateLPDOnStart : %s\n", YesNoLog::kTrueFalse, SideEffect::kNone,
     6},
    // The spool's own keys: in the default file, so a user finds them, and saved back.
    {"SyncSpool", "SyncSpool", Form::kYesNo, Fixed("Yes"), Fixed("Y"), &S::syncSpool,
     "SyncSpool = %s\n", YesNoLog::kTrueFalse, SideEffect::kNone, 13},
    {"RetryMaxSeconds", "RetryMaxSeconds", Form::kInteger, Fixed("300"), Fixed("300"),
     &S::retryMaxSeconds, "RetryMaxSeconds is %d seconds\n", YesNoLog::kTrueFalse,
     SideEffect::kNone, 14},
    {"JobMaxAgeHours", "JobMaxAgeHours", Form::kInteger, Fixed("0"), Fixed("0"), &S::jobMaxAgeHours,
     "JobMaxAgeHours is %d hours\n", YesNoLog::kTrueFalse, SideEffect::kNone, 15},
    {"PrintSystem", nullptr, Form::kText, Fixed("cups"), kNotInDefaultFile, &S::printSystem,
     "PrintSystem is %s\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"CloseDelayMs", nullptr, Form::kDelay, Fixed("3000"), kNotInDefaultFile, &S::closeDelayMs,
     "CloseDelayMs is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"AcceptDelayMs", nullptr, Form::kDelay, Fixed("0"), kNotInDefaultFile, &S::acceptDelayMs,
     "AcceptDelayMs is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"ForwardChunkDelayMs", nullptr, Form::kDelay, Fixed("0"), kNotInDefaultFile,
     &S::forwardChunkDelayMs, "ForwardChunkDelayMs is %d\n", YesNoLog::kTrueFalse,
     SideEffect::kNone, 0},
    {"ListenAddress", nullptr, Form::kText, Fixed(""), kNotInDefaultFile, &S::listenAddress,
     "ListenAddress is %s\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"RunAsUser", nullptr, Form::kText, Fixed(""), kNotInDefaultFile, &S::runAsUser,
     "RunAsUser is %s\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"MaxConnections", nullptr, Form::kDelay, Fixed("256"), kNotInDefaultFile, &S::maxConnections,
     "MaxConnections is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"MinBytesPerSecond", nullptr, Form::kDelay, Fixed("0"), kNotInDefaultFile,
     &S::minBytesPerSecond, "MinBytesPerSecond is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone,
     0},
    {"RetryDelayMs", nullptr, Form::kDelay, Fixed("4000"), kNotInDefaultFile, &S::retryDelayMs,
     "RetryDelayMs is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"MaxJobMB", nullptr, Form::kDelay, Fixed("0"), kNotInDefaultFile, &S::maxJobMB,
     "MaxJobMB is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
    {"MinFreeMB", nullptr, Form::kDelay, Fixed("100"), kNotInDefaultFile, &S::minFreeMB,
     "MinFreeMB is %d\n", YesNoLog::kTrueFalse, SideEffect::kNone, 0},
}};

// The Windows directory's hosts file becomes the system's own. Nothing acts on HostFile; it is
// carried between the file and the settings dialog.
constexpr const char* kHostsFile = "/etc/hosts";

// The log line with its one "%s" or "%d" replaced by text.
std::string FillIn(std::string_view format, const std::string& text) {
    std::string line(format);
    const size_t at = line.find('%');
    if (at != std::string::npos && at + 1 < line.size()) {
        line.replace(at, 2, text);
    }
    return line;
}

// Reads one key into its field; returns the text its log line shows.
std::string ReadKey(const SettingKey& entry, const ProfileFile& file,
                    const ConfigLocation& location, GeneralSettings& settings) {
    switch (entry.form) {
        case Form::kPath: {
            std::string text = file.GetString(kGeneralSection, entry.key, "unknown");
            if (text == "unknown") {
                text = ResolveDefault(entry.absent, location);
            }
            settings.*std::get<std::string S::*>(entry.field) = text;
            return text;
        }
        case Form::kText: {
            std::string text = file.GetString(kGeneralSection, entry.key, entry.absent.text);
            settings.*std::get<std::string S::*>(entry.field) = text;
            return text;
        }
        case Form::kInteger:
        case Form::kDelay: {
            int value = file.GetInt(kGeneralSection, entry.key, ParseLeadingInt(entry.absent.text));
            if (entry.form == Form::kDelay && value < 0) {
                value = 0;
            }
            settings.*std::get<int32_t S::*>(entry.field) = value;
            return std::to_string(value);
        }
        case Form::kPort: {
            // Only the low 16 bits are kept, read as signed: 40000 becomes -25536.
            const auto port = static_cast<int16_t>(
                file.GetInt(kGeneralSection, entry.key, ParseLeadingInt(entry.absent.text)));
            settings.*std::get<int16_t S::*>(entry.field) = port;
            return std::to_string(port);
        }
        case Form::kYesNo: {
            std::string text = file.GetString(kGeneralSection, entry.key, entry.absent.text);
            const bool yes = IsYes(text);
            settings.*std::get<bool S::*>(entry.field) = yes;
            if (entry.yesNoLog == YesNoLog::kTextAsRead) {
                return text;
            }
            return yes ? "True" : "False";
        }
    }
    return std::string();
}

}  // namespace

std::span<const SettingKey> GeneralSettingKeys() {
    return kSettingKeys;
}

std::string ResolveDefault(const SettingKey::DefaultValue& value, const ConfigLocation& location) {
    switch (value.computed) {
        case Computed::kCurrentDirectory:
            // As getcwd returns it: no '/' added. (The home, which takes the Windows
            // directory's place, holds pgate.ini and is no default of any key.)
            return location.currentDirectory;
        case Computed::kHostsFile:
            return kHostsFile;
        case Computed::kSpoolDirectory:
            return location.spoolDirectory.empty() ? JoinPath(location.currentDirectory, "spool")
                                                   : location.spoolDirectory;
        case Computed::kFixed:
            break;
    }
    return value.text == nullptr ? std::string() : std::string(value.text);
}

std::string SavedText(const SettingKey& key, const GeneralSettings& settings) {
    return std::visit([&settings](auto member) { return ValueText(settings.*member); }, key.field);
}

std::vector<std::string> ChangedSettings(const GeneralSettings& before,
                                         const GeneralSettings& after) {
    std::vector<std::string> changed;
    for (const SettingKey& entry : kSettingKeys) {
        const std::string now = SavedText(entry, after);
        if (now != SavedText(entry, before)) {
            changed.push_back(std::string(entry.key) + "=" + now);
        }
    }
    return changed;
}

bool IsYes(const std::string& text) {
    return EqualsNoCase(text, "yes") || EqualsNoCase(text, "y");
}

GeneralSettings ReadGeneralSettings(const ProfileFile& file, const ConfigLocation& location,
                                    const SettingsReadHooks& hooks) {
    GeneralSettings settings;
    const ProfileFile noFile{std::string()};  // every key absent
    for (const SettingKey& entry : kSettingKeys) {
        const bool rejected = hooks.rejected && hooks.rejected(entry.key);
        const std::string shown = ReadKey(entry, rejected ? noFile : file, location, settings);
        // The side effects come as soon as the value is known, before the key's own log line
        // and before any later key is read, so the spool area is created and cleared before
        // anything else can use it.
        if (entry.sideEffect == SideEffect::kSpoolBaseKnown && hooks.spoolBaseKnown) {
            hooks.spoolBaseKnown(settings.spoolBaseDirectory);
        }
        if (entry.sideEffect == SideEffect::kClearSpoolWhenYes && settings.clearSpoolOnStart &&
            hooks.clearSpool) {
            hooks.clearSpool();
        }
        if (entry.logLine != nullptr && hooks.logLine) {
            hooks.logLine(FillIn(entry.logLine, shown));
        }
    }
    return settings;
}

void SaveGeneralSettings(const ProfileFile& file, const GeneralSettings& settings) {
    std::vector<const SettingKey*> saved;
    for (const SettingKey& entry : kSettingKeys) {
        if (entry.saveRank > 0) {
            saved.push_back(&entry);
        }
    }
    std::sort(saved.begin(), saved.end(),
              [](const SettingKey* a, const SettingKey* b) { return a->saveRank < b->saveRank; });
    // Each key on its own, as the classic writer does: other keys and sections stay as they
    // are. A failed write is not reported, there is nobody to tell who could act on it.
    for (const SettingKey* entry : saved) {
        (void)file.WriteString(kGeneralSection, entry->key, SavedText(*entry, settings));
    }
}

void SaveChangedExtensionKeys(const ProfileFile& file, const GeneralSettings& before,
                              const GeneralSettings& after) {
    for (const SettingKey& entry : kSettingKeys) {
        const std::string now = SavedText(entry, after);
        if (entry.saveRank == 0 && now != SavedText(entry, before)) {
            (void)file.WriteString(kGeneralSection, entry.key, now);
        }
    }
}

bool CreateDefaultConfiguration(const ConfigLocation& location) {
    const std::string crlf = "\r\n";
    std::string content = std::string("[") + kGeneralSection + "]" + crlf;
    for (const SettingKey& entry : kSettingKeys) {
        if (entry.defaultName != nullptr) {
            content += std::string(entry.defaultName) + "=" +
                       ResolveDefault(entry.defaultFile, location) + crlf;
        }
    }
    content += crlf + "[Print Queues]" + crlf + crlf + "[Logging]" + crlf;
    const std::string traceDirectory = location.traceDirectory.empty()
                                           ? JoinPath(location.currentDirectory, "trace")
                                           : location.traceDirectory;
    const std::string spoolDirectory = ResolveDefault(Made(Computed::kSpoolDirectory), location);
    for (const std::string& line : DefaultLoggingLines(traceDirectory)) {
        content += line + crlf;
    }
    // Who may use the daemon: a new installation serves its own network, not the world.
    content += crlf + AccessRules::DefaultSectionText();
    // The file goes in whole (no half-written default file after a crash); the spool and log
    // directories it names are made (with their parents) once the file is in place. When the
    // file cannot be created they are not made. Their failures (they exist, say) are ignored.
    if (!ProfileFile(location.IniPath()).WriteAll(content)) {
        return false;
    }
    MakeDirectories(spoolDirectory, 0755);
    MakeDirectories(traceDirectory, 0755);
    return true;
}

}  // namespace pg
