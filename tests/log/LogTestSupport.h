#pragma once

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "log/cLogFile.h"
#include "tests/support/TempDir.h"

namespace pg::test {

// Each test writes its own pgate.ini into its own directory, opens the three logs from it and
// closes them again, so no test sees another's files or switches.
class LogTest : public ::testing::Test {
  protected:
    void TearDown() override {
        remotePrintLog.Close();
        localPrintLog.Close();
        systemLog.Close();
        cLogFile::SetScreenOutput(nullptr);
    }

    // A [Logging] section with the given keys (absent keys take their defaults).
    void WriteIni(const std::map<std::string, std::string>& keys) {
        std::string text = "[Logging]\r\n";
        for (const auto& [key, value] : keys) {
            text += key + "=" + value + "\r\n";
        }
        WriteFile(ini, text);
    }

    // All three files on, in dir, with the given level and cache.
    void WriteIniAllOn(int level, int cache, const std::map<std::string, std::string>& extra = {}) {
        std::map<std::string, std::string> keys = {
            {"LogLevel", std::to_string(level)}, {"LogFileCache", std::to_string(cache)},
            {"SystemDebugEnable", "Y"},          {"LocalTraceEnable", "Y"},
            {"RemoteTraceEnable", "Y"},          {"SystemTrace", systemPath},
            {"LocalPrintTrace", localPath},      {"RemotePrintTrace", remotePath},
        };
        for (const auto& [key, value] : extra) {
            keys[key] = value;
        }
        WriteIni(keys);
    }

    // Installs a sink that records every screen line, from none.
    void CaptureScreen() {
        {
            std::lock_guard<std::mutex> lock(screenMutex);
            screenLines.clear();
        }
        cLogFile::SetScreenOutput([this](const char* text) {
            std::lock_guard<std::mutex> lock(screenMutex);
            screenLines.emplace_back(text);
        });
    }
    std::vector<std::string> ScreenLines() {
        std::lock_guard<std::mutex> lock(screenMutex);
        return screenLines;
    }

    TempDir dir{"pglog"};
    const std::string ini = dir / "pgate.ini";
    const std::string systemPath = dir / "system.log";
    const std::string localPath = dir / "local.log";
    const std::string remotePath = dir / "remote.log";

  private:
    std::mutex screenMutex;
    std::vector<std::string> screenLines;
};

// The file with its clock readings masked: the asctime date as "<DATE>", every HH:MM:SS as
// "TT:TT:TT". The day of month must be blank-padded ("Dec  4"), as asctime writes it.
inline std::string Masked(const std::string& text) {
    static const std::regex date(
        R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d{2}:\d{2}:\d{2} \d{4}\n)");
    static const std::regex time(R"(\d{2}:\d{2}:\d{2})");
    return std::regex_replace(std::regex_replace(text, date, "<DATE>\n"), time, "TT:TT:TT");
}

}  // namespace pg::test
