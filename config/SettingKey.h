#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "config/ConfigLocation.h"
#include "config/GeneralSettings.h"

namespace pg {

// One key of [GENERAL CONFIGURE]. The table of them (GeneralSettingKeys) drives the reading,
// the default file and the saving, and the round-trip test walks it.
struct SettingKey {
    // How the key's text is read and written.
    enum class Form {
        kPath,     // text; the word "unknown" (exact case) counts as absent
        kText,     // text
        kInteger,  // leading digits
        kDelay,    // leading digits, a negative value counts as 0
        kPort,     // leading digits kept in 16 signed bits
        kYesNo,    // text, yes when "yes" or "y" in any case; written as "Y" or "N"
    };

    // A default that is a fixed text or made from where the program runs.
    enum class Computed { kFixed, kCurrentDirectory, kHostsFile, kSpoolDirectory };

    struct DefaultValue {
        Computed computed = Computed::kFixed;
        const char* text = nullptr;  // kFixed only; nullptr: none
    };

    // What a yes/no key's log line shows.
    enum class YesNoLog { kTrueFalse, kTextAsRead };

    // What the reader does right after the key is known, before its log line.
    enum class SideEffect { kNone, kSpoolBaseKnown, kClearSpoolWhenYes };

    using Field = std::variant<std::string GeneralSettings::*, int32_t GeneralSettings::*,
                               int16_t GeneralSettings::*, bool GeneralSettings::*>;

    const char* key;          // the name read and saved
    const char* defaultName;  // the default file's spelling ("Hostfile"); nullptr: not there
    Form form;
    DefaultValue absent;       // the value when the key is missing
    DefaultValue defaultFile;  // the value in the default file
    Field field;
    const char* logLine;  // one "%s" or "%d" filled with the value; nullptr: no line
    YesNoLog yesNoLog;
    SideEffect sideEffect;
    int saveRank;  // position in SaveGeneralSettings' order; 0: never saved
};

// The keys in reading order.
std::span<const SettingKey> GeneralSettingKeys();

// The value a default made from location stands for ("" for none).
std::string ResolveDefault(const SettingKey::DefaultValue& value, const ConfigLocation& location);

// The text SaveGeneralSettings writes for the key ("Y"/"N", the text, or decimal).
std::string SavedText(const SettingKey& key, const GeneralSettings& settings);

}  // namespace pg
