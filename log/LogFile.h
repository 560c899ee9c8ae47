#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

namespace pg {

struct LoggingSettings;

enum class LogKind : int32_t { System = 1, LocalPrint = 2, RemotePrint = 3 };

// One of the three log files: systemLog (engine events), localPrintLog (traffic with LPR
// clients) and remotePrintLog (traffic with remote LPD hosts).
//
// The three objects exist for the whole process, inert until Open(): Open() does what building
// the object does in the classic daemon (read [Logging], open and truncate the file, write the
// header) and Close() what tearing it down does (closing line; the last one closes the
// streams). Open the three in the order system, local, remote, and close them in reverse.
//
// Every write is formatted outside the facility's lock and written under it, so a line (time
// prefix and text) and a hex dump are each written whole, whatever other threads write.
class LogFile {
  public:
    explicit LogFile(LogKind kind);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Reads LogLevel, LogFileCache and this kind's keys from [Logging] of the INI file at
    // iniPath (a missing file gives every default) and opens the kind's file when enabled.
    void Open(const std::string& iniPath);
    // Writes the level-3 destructor line and the closing line; the last open object closes
    // every stream. Back to the inert state.
    void Close();

    // Whether a message of this level would be written anywhere: level <= Level() and this
    // kind's file is on and open, or (systemLog) the screen switch is on and a sink installed.
    // One atomic read: callers ask it before they build any text for the log.
    bool Writes(int level) const;

    // Written when level <= Level(). Returns before formatting when Writes(level) is false.
    void Log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // The same write without the level test (header and closing lines).
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The hex dump (131-character rows), written to this kind's file only; returns at once
    // when that file is off or not open. No level test of its own: callers ask Writes(level).
    void HexDump(const char* label, const void* data, int32_t length);
    // Switches this kind's writes on or off at once (the Logging options dialog).
    void SetEnabled(bool on);
    // Puts changed [Logging] settings in force on an open log: its level, its file (one newly
    // switched on or renamed is opened for appending, one switched off is closed), the size
    // cap and, for systemLog, the screen switch. Nothing for a log that is not open.
    void Reconfigure(const LoggingSettings& settings);

    int32_t Level() const { return level_.load(std::memory_order_relaxed); }
    LogKind Kind() const { return kind_; }
    int32_t CacheSize() const { return cacheSize_.load(std::memory_order_relaxed); }
    bool Enabled() const { return enabled_.load(std::memory_order_relaxed); }

    // The message window's sink: gets each systemLog message that passes the level test,
    // without its trailing line feed, cut to 255 characters, while LogToScreen is on. Called on
    // the writing thread; it must not log. Installing null removes it; the call returns only
    // when no call of the old sink is still running.
    static void SetScreenOutput(std::function<void(const char* text)> sink);
    // LogToScreen at run time (the Logging options dialog).
    static void SetScreenEnabled(bool on);
    static bool ScreenEnabled();

  private:
    void Write(const char* format, va_list args);

    const LogKind kind_;
    std::atomic<int32_t> level_{0};
    std::atomic<int32_t> cacheSize_{0};
    std::atomic<bool> enabled_{false};
    bool open_ = false;  // between Open() and Close(); only the starting thread touches it
};

extern LogFile systemLog;
extern LogFile localPrintLog;
extern LogFile remotePrintLog;

// Reads [Logging] of iniPath again and puts it in force on the three logs (Reconfigure).
void ReloadLogSettings(const std::string& iniPath);

// Opens the three logs from iniPath for the scope of the object and closes them at its end.
class LogSession {
  public:
    explicit LogSession(const std::string& iniPath);
    ~LogSession();
    LogSession(const LogSession&) = delete;
    LogSession& operator=(const LogSession&) = delete;
};

}  // namespace pg
