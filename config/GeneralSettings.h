#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/ConfigLocation.h"
#include "config/ProfileFile.h"

namespace pg {

// The settings of [GENERAL CONFIGURE]. One table in GeneralSettings.cpp (section, key, form,
// absent-key default, default-file value, field, log line) drives reading, the default file and
// saving, so the three cannot drift apart.
struct GeneralSettings {
    std::string lpdInstallDirectory;
    std::string hostFile;
    std::string spoolBaseDirectory;
    int32_t localCmdTimeout = 20;   // seconds a client's read may wait; 0 = no bound
    int32_t remoteCmdTimeout = 20;  // seconds a remote host's reply may take; 0 = no bound
    int16_t lpdServerPort = 515;    // kept in 16 signed bits: 40000 reads as -25536
    bool clearSpoolOnStart = true;  // absent key: yes; a new default file says no
    bool testPrintManager = true;
    bool enablePrintStatusControl = true;
    bool activateLPDOnStart = false;
    bool suppressBanner = false;
    bool minimizeOnStartup = false;
    bool syncSpool = true;          // a job is on the disk before its last file is acknowledged
    int32_t retryMaxSeconds = 300;  // longest pause between two tries of a failing delivery
    int32_t jobMaxAgeHours = 0;     // a job undeliverable this long is given up; 0 = never

    // Extension keys (not in the default file; absent means the default).
    std::string printSystem = "cups";  // "cups" or "devices:DIR"
    int32_t closeDelayMs = 3000;       // longest wait for the client's close after the last reply
    int32_t acceptDelayMs = 0;         // pause after handing a connection to its thread
    int32_t forwardChunkDelayMs = 0;   // pause after each chunk forwarded to a remote host
    std::string listenAddress{};       // numeric addresses, comma-separated; "" = all (IPv6+IPv4)
    std::string runAsUser{};           // started as root: the account to serve as; "" = lp/daemon
    int32_t maxConnections = 256;      // connections served at once; more wait unaccepted; 0 = any
    int32_t minBytesPerSecond = 0;     // a client sending slower is cut off; 0 = no bound
    int32_t retryDelayMs = 4000;       // first pause before a failed delivery is tried again
    int32_t maxJobMB = 0;              // a queue's largest job unless its section says; 0 = any
    int32_t minFreeMB = 100;  // the spool volume keeps this free; files that would not, are refused

    // The port as the listener binds it: the same 16 bits, unsigned.
    uint16_t ListenPort() const { return static_cast<uint16_t>(lpdServerPort); }
};

// What the reading of [GENERAL CONFIGURE] reports while it goes, in key order. spoolBaseKnown
// and clearSpool run as soon as their key is read, before that key's log line and before the
// next key is read; hooks left empty are skipped.
struct SettingsReadHooks {
    std::function<void(const std::string& line)> logLine;  // each key's level-1 log line
    std::function<void(const std::string& spoolBaseDirectory)> spoolBaseKnown;  // create it
    std::function<void()> clearSpool;  // ClearSpoolDirectory read as yes
    // Keys whose value the configuration check rejected: read as if they were absent.
    std::function<bool(const char* key)> rejected;
};

// Reads [GENERAL CONFIGURE] in the spooler's order with every reading rule: the word "unknown"
// as absent for the three path keys, integers by leading digits, yes/y in any case as yes.
GeneralSettings ReadGeneralSettings(const ProfileFile& file, const ConfigLocation& location,
                                    const SettingsReadHooks& hooks);

// Writes every design key of [GENERAL CONFIGURE] back, one key at a time, in the save order.
void SaveGeneralSettings(const ProfileFile& file, const GeneralSettings& settings);

// Writes the keys SaveGeneralSettings leaves out (this program's own: limits, addresses,
// delays) whose value differs between before and after; the others keep their text or absence.
void SaveChangedExtensionKeys(const ProfileFile& file, const GeneralSettings& before,
                              const GeneralSettings& after);

// Writes the complete default pgate.ini (the classic lines with the spool's keys, then [Access];
// CR LF) into the home, creating "spool" and "trace" on the way. False when the file cannot be
// created.
bool CreateDefaultConfiguration(const ConfigLocation& location);

// "Key=value" (as saved) for every [GENERAL CONFIGURE] key whose value differs, in reading order.
std::vector<std::string> ChangedSettings(const GeneralSettings& before,
                                         const GeneralSettings& after);

// "yes" or "y" in any letter case.
bool IsYes(const std::string& text);

}  // namespace pg
