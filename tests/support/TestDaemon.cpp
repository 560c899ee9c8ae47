#include "tests/support/TestDaemon.h"

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/Loopback.h"

namespace pg::test {

namespace {

std::string Crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

TestConfig::TestConfig() {
    Set("GENERAL CONFIGURE", "LPDInstallDirectory", "@ROOT@");
    Set("GENERAL CONFIGURE", "Hostfile", "/etc/hosts");
    Set("GENERAL CONFIGURE", "SpoolBaseDirectory", "@ROOT@/spool");
    Set("GENERAL CONFIGURE", "LocalCmdTimeout", "10");
    Set("GENERAL CONFIGURE", "RemoteCmdTimeout", "10");
    Set("GENERAL CONFIGURE", "LPDServerPort", "0");
    Set("GENERAL CONFIGURE", "ClearSpoolDirectory", "N");
    Set("GENERAL CONFIGURE", "TestPrintManager", "Y");
    Set("GENERAL CONFIGURE", "EnablePrintStatusControl", "Y");
    Set("GENERAL CONFIGURE", "SuppressBanner", "N");
    Set("GENERAL CONFIGURE", "MinimizeOnStartup", "N");
    Set("GENERAL CONFIGURE", "ActivateLPDOnStart", "N");
    Set("GENERAL CONFIGURE", "PrintSystem", "devices:@ROOT@/printers");
    Set("GENERAL CONFIGURE", "CloseDelayMs", "50");
    Set("GENERAL CONFIGURE", "AcceptDelayMs", "0");
    Set("GENERAL CONFIGURE", "ForwardChunkDelayMs", "0");
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
    for (auto& [name, keys] : sections_) {
        if (name == section) {
            if (key.empty()) {
                return *this;
            }
            for (auto& [k, v] : keys) {
                if (k == key) {
                    v = value;
                    return *this;
                }
            }
            keys.emplace_back(key, value);
            return *this;
        }
    }
    sections_.push_back({section, {}});
    if (!key.empty()) {
        sections_.back().second.emplace_back(key, value);
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

TestConfig& TestConfig::Append(const std::string& text) {
    extra_ += text;
    return *this;
}

std::string TestConfig::Render(const std::string& root) const {
    std::string text;
    for (const auto& [section, keys] : sections_) {
        text += "[" + section + "]\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\n";
        }
        text += "\n";
    }
    text += extra_;
    std::string out;
    size_t start = 0;
    for (size_t at; (at = text.find("@ROOT@", start)) != std::string::npos; start = at + 6) {
        out += text.substr(start, at - start) + root;
    }
    out += text.substr(start);
    return Crlf(out);
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
    for (const auto& line : screen_) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool TestDaemon::WaitForScreenLine(const std::string& text,
                                   std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return ScreenHas(text); }, timeout);
}

}  // namespace pg::test
