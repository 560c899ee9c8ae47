#include "log/LogFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>

#include "config/LoggingSettings.h"
#include "config/ProfileFile.h"
#include "platform/Mutex.h"

namespace pg {

namespace {

constexpr int32_t kMaxCacheSize = 32767;
// The message window gets what a 256-byte buffer holds of a message: its first 255 characters
// (the rest is dropped, not wrapped).
constexpr size_t kScreenTextMax = 255;
constexpr size_t kDumpRowWidth = 131;
constexpr int kKindCount = 3;

struct KindInfo {
    const char* title;                   // "System LogFile": header and closing line
    bool LoggingSettings::*enable;       // opens the file
    std::string LoggingSettings::*name;  // the file's name
};

constexpr KindInfo kKinds[kKindCount] = {
    {"System LogFile", &LoggingSettings::systemDebugEnable, &LoggingSettings::systemTrace},
    {"Local Print LogFile", &LoggingSettings::localTraceEnable, &LoggingSettings::localPrintTrace},
    {"Remote Print LogFile", &LoggingSettings::remoteTraceEnable,
     &LoggingSettings::remotePrintTrace},
};

int Index(LogKind kind) {
    return static_cast<int>(kind) - 1;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// One kind's open file: the stream and the buffer stdio was given for it, which has to live
// until the stream is closed.
struct OpenFile {
    FilePtr stream;
    std::unique_ptr<char[]> buffer;

    // Flushes and closes the stream before its buffer goes.
    ~OpenFile() { stream.reset(); }
    OpenFile() = default;
    OpenFile(OpenFile&&) = default;
    OpenFile& operator=(OpenFile&& other) noexcept {
        stream = std::move(other.stream);
        buffer = std::move(other.buffer);
        return *this;
    }
};

// Opens the log file name for writing (truncated, or appended to), buffered with cacheSize
// bytes (0: unbuffered). An empty stream when it cannot be opened.
OpenFile OpenStream(const std::string& name, int32_t cacheSize, bool append = false) {
    OpenFile file;
    file.stream.reset(std::fopen(name.c_str(), append ? "a" : "w"));
    if (!file.stream) {
        return file;
    }
    if (cacheSize == 0) {
        std::setvbuf(file.stream.get(), nullptr, _IONBF, 0);
    } else {
        file.buffer = std::make_unique<char[]>(static_cast<size_t>(cacheSize));
        std::setvbuf(file.stream.get(), file.buffer.get(), _IOFBF, static_cast<size_t>(cacheSize));
    }
    return file;
}

// Everything the three log objects share. Writers format outside `mutex` and take it only to
// copy the switches and write the finished text, so a line (time prefix and text) and a whole
// hex dump reach the file in one piece.
//
// The screen sink is called outside `mutex` but under `screenMutex`, which guards the sink
// alone: replacing the sink waits for a running call, and lines reach the sink in the order
// each thread wrote them. The two mutexes are never held together.
struct Facility {
    Mutex mutex;
    OpenFile files[kKindCount] GUARDED_BY(mutex);
    std::string names[kKindCount] GUARDED_BY(mutex);
    bool switches[kKindCount] GUARDED_BY(mutex) = {false, false, false};
    bool screenOn GUARDED_BY(mutex) = false;
    int liveCount GUARDED_BY(mutex) = 0;
    // Whether the last line written to any of the three files ended its line: one flag for all
    // files, so a line left open in one file suppresses the time prefix in the next file too.
    bool atLineStart GUARDED_BY(mutex) = true;
    int32_t levels[kKindCount] GUARDED_BY(mutex) = {0, 0, 0};  // LogLevel of each open kind
    int32_t cacheSizes[kKindCount] GUARDED_BY(mutex) = {0, 0, 0};
    // LogMaxMB in bytes (0: no cap), and what each file holds since it was started.
    uint64_t maxBytes[kKindCount] GUARDED_BY(mutex) = {0, 0, 0};
    uint64_t sizes[kKindCount] GUARDED_BY(mutex) = {0, 0, 0};

    Mutex screenMutex;
    std::function<void(const char*)> screenSink GUARDED_BY(screenMutex);
    // Set with screenSink, under screenMutex; Publish() reads it.
    std::atomic<bool> sinkInstalled{false};

    // What a write of each kind would reach, published under `mutex` by Publish() whenever a
    // level, switch, file, the screen switch or the sink changes, and read without a lock:
    // the highest level written anywhere (0: nothing), and whether dumps reach the file.
    std::atomic<int32_t> writesUpTo[kKindCount] = {0, 0, 0};
    std::atomic<bool> dumpsWritten[kKindCount] = {false, false, false};

    void Publish() REQUIRES(mutex) {
        for (int k = 0; k < kKindCount; ++k) {
            const bool file = switches[k] && files[k].stream != nullptr;
            const bool screen = k == 0 && screenOn && sinkInstalled.load();
            writesUpTo[k].store(file || screen ? levels[k] : 0, std::memory_order_relaxed);
            dumpsWritten[k].store(file && levels[k] > 0, std::memory_order_relaxed);
        }
    }

    // Writes text to kind k's file. A file that text would take past the cap is first renamed
    // to <name>.1 (replacing an older one) and a new one started, so each file stays within
    // the cap unless a single write is larger. Errors of single writes are ignored: the log
    // has nowhere to report them.
    void WriteTo(int k, const std::string& text) REQUIRES(mutex) {
        if (maxBytes[k] > 0 && sizes[k] > 0 && sizes[k] + text.size() > maxBytes[k]) {
            files[k] = OpenFile();  // flushed and closed
            (void)std::rename(names[k].c_str(), (names[k] + ".1").c_str());
            files[k] = OpenStream(names[k], cacheSizes[k]);
            sizes[k] = 0;
            Publish();  // silent from now on if the new file could not be made
        }
        if (files[k].stream) {
            (void)std::fwrite(text.data(), 1, text.size(), files[k].stream.get());
            sizes[k] += text.size();
        }
    }
};

// Defined before the three log objects so that it is built before them and destroyed after
// them: the objects close their files from their destructors at process end.
Facility facility;

// Set while this thread runs the screen sink: a sink that logs anyway gets its line into the
// file but not back into itself (which would deadlock on screenMutex).
thread_local bool insideScreenSink = false;

// The local date and time in asctime's fixed layout, "Fri Dec  4 08:07:09 2026\n", spelled
// out here because strftime's names follow the locale the window may have set.
std::string AscTimeNow() {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays[tm.tm_wday % 7],
                  kMonths[tm.tm_mon % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  1900 + tm.tm_year);
    return text;
}

// "HH:MM:SS": the eight characters of the asctime text from its twelfth on.
std::string TimeOfDay() {
    return AscTimeNow().substr(11, 8);
}

std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) {
        return {};
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        return std::string(small, static_cast<size_t>(needed));
    }
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

char HexDigit(unsigned value) {
    return "0123456789ABCDEF"[value & 0x0F];
}

// The dump text of HexDump, from the header on. Rows are 131 characters: hex at 3 + 3 * col,
// the character at 53 + col ('.' outside 0x20..0x7E). The first flush writes the still blank
// row after the header, so the header line carries 131 blanks.
std::string FormatDump(const std::string& time, const char* label, const void* data,
                       int32_t length) {
    std::string out = time.substr(0, 8) + "  " + (label ? label : "") + "  length(" +
                      std::to_string(length) + ")";
    if (data == nullptr) {
        out += "Data = NULL\n\n";
        return out;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    const size_t rows = length > 0 ? (static_cast<size_t>(length) + 15) / 16 : 0;
    out.reserve(out.size() + (rows + 1) * (kDumpRowWidth + 1) + 2);
    std::string row(kDumpRowWidth, ' ');
    for (int32_t i = 0; i < length; ++i) {
        const size_t col = static_cast<size_t>(i % 16);
        if (col == 0) {
            out += row;
            out += '\n';
            row.assign(kDumpRowWidth, ' ');
        }
        const unsigned char byte = bytes[i];
        row[3 + 3 * col] = HexDigit(byte >> 4);
        row[4 + 3 * col] = HexDigit(byte);
        row[53 + col] = (byte >= 0x20 && byte <= 0x7E) ? static_cast<char>(byte) : '.';
    }
    out += row;
    out += "\n\n";
    return out;
}

}  // namespace

LogFile systemLog(LogKind::System);
LogFile localPrintLog(LogKind::LocalPrint);
LogFile remotePrintLog(LogKind::RemotePrint);

LogFile::LogFile(LogKind kind) : kind_(kind) {}

LogFile::~LogFile() {
    if (open_) {
        Close();
    }
}

void LogFile::Open(const std::string& iniPath) {
    if (open_) {
        return;
    }
    open_ = true;
    const int k = Index(kind_);
    const KindInfo& info = kKinds[k];
    const LoggingSettings settings = ReadLoggingSettings(ProfileFile(iniPath));

    const int32_t level = settings.logLevel;
    const int32_t cacheSize = std::clamp<int32_t>(settings.logFileCache, 0, kMaxCacheSize);
    {
        MutexLock lock(facility.mutex);
        ++facility.liveCount;
        facility.levels[k] = level;
        facility.Publish();
    }
    level_.store(level, std::memory_order_relaxed);
    cacheSize_.store(cacheSize, std::memory_order_relaxed);
    enabled_.store(true, std::memory_order_relaxed);
    if (level == 0) {
        // LogLevel 0: no file is touched, the screen stays off.
        enabled_.store(false, std::memory_order_relaxed);
        return;
    }

    if (settings.*info.enable) {
        const std::string& name = settings.*info.name;
        OpenFile file = OpenStream(name, cacheSize);
        if (file.stream) {
            OpenFile previous;
            {
                MutexLock lock(facility.mutex);
                previous = std::move(facility.files[k]);
                facility.files[k] = std::move(file);
                facility.names[k] = name;
                facility.switches[k] = true;
                facility.cacheSizes[k] = cacheSize;
                facility.maxBytes[k] = static_cast<uint64_t>(settings.logMaxMB) << 20;
                facility.sizes[k] = 0;
                facility.Publish();
            }
            // The first header format leaves its line open (the date text brings the line
            // feed), so the line after it gets no time prefix.
            Print("*** %s '%s' created %s", info.title, name.c_str(), AscTimeNow().c_str());
            if (kind_ == LogKind::System) {
                Print("[Logging]\\LogLevel=%d\n", level);
            }
            Print("[Logging]\\LogFileCache=%d\n", cacheSize);
        }
        // A file that cannot be opened leaves its kind silent for the run, unreported.
    } else {
        MutexLock lock(facility.mutex);
        facility.switches[k] = false;
        facility.Publish();
    }

    if (kind_ == LogKind::System) {
        MutexLock lock(facility.mutex);
        facility.screenOn = settings.logToScreen;
        facility.Publish();
    }
}

void LogFile::Close() {
    if (!open_) {
        return;
    }
    {
        MutexLock lock(facility.mutex);
        --facility.liveCount;
    }
    Log(3, "Executing the cLogFile::~cLogFile\n");
    Print("*** %s closed ***\n", kKinds[Index(kind_)].title);

    // The last object closes every stream and puts the facility back in its first state.
    OpenFile closing[kKindCount];
    {
        MutexLock lock(facility.mutex);
        facility.levels[Index(kind_)] = 0;
        if (facility.liveCount == 0) {
            for (int i = 0; i < kKindCount; ++i) {
                closing[i] = std::move(facility.files[i]);
                facility.names[i].clear();
                facility.switches[i] = false;
            }
            facility.screenOn = false;
            facility.atLineStart = true;
        }
        facility.Publish();
    }
    for (OpenFile& file : closing) {
        file.stream.reset();  // flush and close outside the lock
    }

    level_.store(0, std::memory_order_relaxed);
    cacheSize_.store(0, std::memory_order_relaxed);
    enabled_.store(false, std::memory_order_relaxed);
    open_ = false;
}

bool LogFile::Writes(int level) const {
    const int32_t upTo = facility.writesUpTo[Index(kind_)].load(std::memory_order_relaxed);
    return upTo > 0 && level <= upTo;
}

void LogFile::Log(int level, const char* format, ...) {
    if (!Writes(level)) {
        return;
    }
    va_list args;
    va_start(args, format);
    Write(format, args);
    va_end(args);
}

void LogFile::Print(const char* format, ...) {
    if (!Writes(1)) {
        return;  // no file open and no screen: nothing to format for
    }
    va_list args;
    va_start(args, format);
    Write(format, args);
    va_end(args);
}

void LogFile::Write(const char* format, va_list args) {
    if (format == nullptr) {
        return;
    }
    const std::string text = FormatV(format, args);
    const std::string time = TimeOfDay();
    const size_t formatLength = std::char_traits<char>::length(format);
    const bool endsLine = formatLength > 0 && format[formatLength - 1] == '\n';
    const int k = Index(kind_);

    bool screen = false;
    {
        MutexLock lock(facility.mutex);
        const bool enabled = facility.switches[k];
        enabled_.store(enabled, std::memory_order_relaxed);
        std::FILE* stream = facility.files[k].stream.get();
        if (enabled && stream != nullptr && formatLength > 0) {
            // Prefix and text in one write, so an unbuffered file never shows half a line.
            facility.WriteTo(k, facility.atLineStart ? time + " " + text : text);
            // The format decides, not the text: "%s" with an argument ending in a line feed
            // leaves the line open.
            facility.atLineStart = endsLine;
        }
        // LogLevel 0 keeps the message window silent for the run even when the switch is
        // turned on later.
        screen = kind_ == LogKind::System && facility.screenOn && Level() != 0;
    }

    if (!screen || insideScreenSink) {
        return;
    }
    // Of a longer message the first 255 characters reach the window, then one trailing line
    // feed goes.
    std::string shown = text.substr(0, kScreenTextMax);
    if (!shown.empty() && shown.back() == '\n') {
        shown.pop_back();
    }
    MutexLock lock(facility.screenMutex);
    if (facility.screenSink) {
        insideScreenSink = true;
        facility.screenSink(shown.c_str());
        insideScreenSink = false;
    }
}

void LogFile::HexDump(const char* label, const void* data, int32_t length) {
    if (!facility.dumpsWritten[Index(kind_)].load(std::memory_order_relaxed)) {
        return;  // some 17 bytes of text per byte dumped: never made for nobody
    }
    const std::string dump = FormatDump(TimeOfDay(), label, data, length);
    const int k = Index(kind_);
    MutexLock lock(facility.mutex);
    const bool enabled = facility.switches[k];
    enabled_.store(enabled, std::memory_order_relaxed);
    std::FILE* stream = facility.files[k].stream.get();
    if (enabled && stream != nullptr) {
        // The line-start flag is neither read nor changed by a dump.
        facility.WriteTo(k, dump);
    }
}

void LogFile::SetEnabled(bool on) {
    MutexLock lock(facility.mutex);
    enabled_.store(on, std::memory_order_relaxed);
    facility.switches[Index(kind_)] = on;
    facility.Publish();
}

void LogFile::Reconfigure(const LoggingSettings& settings) {
    if (!open_) {
        return;
    }
    const int k = Index(kind_);
    const KindInfo& info = kKinds[k];
    const int32_t level = settings.logLevel;
    const int32_t cacheSize = std::clamp<int32_t>(settings.logFileCache, 0, kMaxCacheSize);
    const bool wanted = level != 0 && settings.*info.enable;
    const std::string& name = settings.*info.name;
    bool reopen;
    {
        MutexLock lock(facility.mutex);
        reopen = wanted && (!facility.files[k].stream || facility.names[k] != name ||
                            facility.cacheSizes[k] != cacheSize);
    }
    OpenFile opened;
    uint64_t size = 0;
    if (reopen) {
        opened = OpenStream(name, cacheSize, true);
        struct stat st {};
        if (opened.stream && ::fstat(::fileno(opened.stream.get()), &st) == 0) {
            size = static_cast<uint64_t>(st.st_size);
        }
    }
    OpenFile closing;
    {
        MutexLock lock(facility.mutex);
        facility.levels[k] = level;
        if (!wanted || (reopen && opened.stream)) {
            closing = std::move(facility.files[k]);
            facility.switches[k] = false;
        }
        if (wanted && opened.stream) {
            facility.files[k] = std::move(opened);
            facility.names[k] = name;
            facility.cacheSizes[k] = cacheSize;
            facility.sizes[k] = size;
        }
        facility.switches[k] = wanted && facility.files[k].stream != nullptr;
        facility.maxBytes[k] = static_cast<uint64_t>(settings.logMaxMB) << 20;
        if (kind_ == LogKind::System) {
            facility.screenOn = settings.logToScreen;
        }
        facility.Publish();
    }
    level_.store(level, std::memory_order_relaxed);
    cacheSize_.store(cacheSize, std::memory_order_relaxed);
    enabled_.store(wanted, std::memory_order_relaxed);
    if (reopen) {
        Print("*** %s '%s' reopened %s", info.title, name.c_str(), AscTimeNow().c_str());
    }
    // closing is flushed and closed here, outside the lock.
}

void LogFile::SetScreenOutput(std::function<void(const char* text)> sink) {
    {
        // Taking screenMutex waits for a sink call that is running now.
        MutexLock lock(facility.screenMutex);
        std::swap(facility.screenSink, sink);
        facility.sinkInstalled.store(static_cast<bool>(facility.screenSink));
    }
    {
        MutexLock lock(facility.mutex);
        facility.Publish();
    }
    // The old sink is destroyed here, outside the locks.
}

void LogFile::SetScreenEnabled(bool on) {
    MutexLock lock(facility.mutex);
    facility.screenOn = on;
    facility.Publish();
}

bool LogFile::ScreenEnabled() {
    MutexLock lock(facility.mutex);
    return facility.screenOn;
}

void ReloadLogSettings(const std::string& iniPath) {
    const LoggingSettings settings = ReadLoggingSettings(ProfileFile(iniPath));
    for (LogFile* log : {&systemLog, &localPrintLog, &remotePrintLog}) {
        log->Reconfigure(settings);
    }
}

LogSession::LogSession(const std::string& iniPath) {
    systemLog.Open(iniPath);
    localPrintLog.Open(iniPath);
    remotePrintLog.Open(iniPath);
}

LogSession::~LogSession() {
    remotePrintLog.Close();
    localPrintLog.Close();
    systemLog.Close();
}

}  // namespace pg
