#include "tests/support/TestDaemon.h"

#include <sys/stat.h>

#include <algorithm>

#include "tests/support/Loopback.h"

namespace pg::test {

TestConfig::TestConfig() {
    Set("GENERAL CONFIGURE", "SpoolBaseDirectory", "@ROOT@/spool");
    Set("GENERAL CONFIGURE", "LocalCmdTimeout", "10");
    Set("GENERAL CONFIGURE", "RemoteCmdTimeout", "10");
    Set("GENERAL CONFIGURE", "LPDServerPort", "0");
    Set("GENERAL CONFIGURE", "ClearSpoolDirectory", "N");
    Set("GENERAL CONFIGURE", "PrintSystem", "devices:@ROOT@/printers");
    Set("GENERAL CONFIGURE", "CloseDelayMs", "50");
    Set("Print Queues", "", "");
    Set("Logging", "LogLevel", "3");
    Set("Logging", "LogFileCache", "0");
    Set("Logging", "LogToScreen", "Y");
    Set("Logging", "SystemDebugEnable", "Y");
    Set("Logging", "LocalTraceEnable", "Y");
    Set("Logging", "RemoteTraceEnable", "Y");
    Set("Logging", "SystemTrace", "@ROOT@/trace/system.log");
    Set("Logging", "LocalPrintTrace", "@ROOT@/trace/local.log");
    Set("Logging", "RemotePrintTrace", "@ROOT@/trace/remote.log");
}

TestConfig& TestConfig::Set(const std::string& section, const std::string& key,
                            const std::string& value) {
    auto& keys = sections_[section];
    auto same = std::find_if(keys.begin(), keys.end(), [&](auto& k) { return k.first == key; });
    if (same != keys.end()) {
        same->second = value;
    } else if (!key.empty()) {
        keys.emplace_back(key, value);
    }
    return *this;
}

TestConfig& TestConfig::AddQueue(const std::string& name, const std::string& value,
                                 const std::string& formFeed) {
    Set("Print Queues", name, value);
    if (!formFeed.empty()) {
        Set(name, "FormFeedAtEndOfJob", formFeed);
    }
    return *this;
}

TestConfig& TestConfig::AddLocalQueue(const std::string& name) {
    printers_.push_back(name);
    return AddQueue(name, name + ",,,Print in local/LAN printer - " + name, "yes");
}

std::string TestConfig::Render(const std::string& root) const {
    std::string text;
    for (const auto& [section, keys] : sections_) {
        text += "[" + section + "]\r\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\r\n";
        }
        text += "\r\n";
    }
    for (size_t at; (at = text.find("@ROOT@")) != std::string::npos;) {
        text.replace(at, 6, root);
    }
    return text;
}

TestDaemon::TestDaemon(const TestConfig& config, bool activate) : dir_("pgdaemon") {
    for (const char* sub : {"home", "spool", "trace", "printers"}) {
        ::mkdir((dir_ / sub).c_str(), 0755);
    }
    for (const auto& printer : config.printers_) {
        ::mkdir(PrinterPath(printer).c_str(), 0755);
    }
    WriteFile(IniPath(), config.Render(dir_.Path()));

    ConfigLocation location;
    location.home = Home();
    location.currentDirectory = dir_.Path();
    location.searchPath = dir_ / "no-such-dir";

    logs_ = std::make_unique<LogSession>(IniPath());
    LogFile::SetScreenOutput([this](const char* text) {
        MutexLock lock(screenMutex_);
        screen_.emplace_back(text);
    });
    spooler_ = std::make_unique<LPDSpooler>(location);
    spooler_->StartSpooling(nullptr, false);
    if (activate) {
        spooler_->ActivateLPD(true);
    }
    // Bound, or ended without binding.
    WaitUntil(
        [this] {
            return spooler_->BoundPort() != 0 || ScreenHas("ExitThread - RunLPDSpoolingServer()");
        },
        std::chrono::seconds(5));
}

TestDaemon::~TestDaemon() {
    Shutdown();
}

void TestDaemon::Shutdown() {
    spooler_.reset();
    LogFile::SetScreenOutput(nullptr);
    logs_.reset();
}

uint16_t TestDaemon::Port() const {
    return spooler_ ? spooler_->BoundPort() : 0;
}

std::vector<std::string> TestDaemon::ScreenLines() const {
    MutexLock lock(screenMutex_);
    return screen_;
}

bool TestDaemon::ScreenHas(const std::string& text) const {
    MutexLock lock(screenMutex_);
    return std::any_of(screen_.begin(), screen_.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

bool TestDaemon::WaitForScreenLine(const std::string& text,
                                   std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return ScreenHas(text); }, timeout);
}

}  // namespace pg::test
