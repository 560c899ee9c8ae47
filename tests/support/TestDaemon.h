#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/LPDSpooler.h"
#include "log/LogFile.h"
#include "platform/Mutex.h"
#include "tests/support/TempDir.h"

namespace pg::test {

// A pgate.ini for tests: every key a test does not set has a test-friendly value or the
// default (port 0 so the listener binds a free port, short close delay, all traces on at level
// 3, a devices: print system in the temp directory, no queues).
class TestConfig {
  public:
    TestConfig();
    TestConfig& Set(const std::string& section, const std::string& key, const std::string& value);
    // [Print Queues] name=value, and FormFeedAtEndOfJob in the queue's section when given.
    TestConfig& AddQueue(const std::string& name, const std::string& value,
                         const std::string& formFeed = "");
    // A local queue on the devices printer of the same name (a printer directory is made).
    TestConfig& AddLocalQueue(const std::string& name);
    // The file text for a daemon whose temporary directory is root.
    std::string Render(const std::string& root) const;

  private:
    // Sections by name, each with its keys in the order they were set.
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> sections_;
    std::vector<std::string> printers_;
    friend class TestDaemon;
};

// A daemon in the test's process on 127.0.0.1 and a free port, with a private home, spool area,
// printers folder and traces under one temporary directory. Starts the way pressgated does
// (spooling with the daemon paused, then activated unless told not to). The screen sink
// records the system log's lines.
class TestDaemon {
  public:
    explicit TestDaemon(const TestConfig& config = TestConfig(), bool activate = true);
    ~TestDaemon();
    TestDaemon(const TestDaemon&) = delete;
    TestDaemon& operator=(const TestDaemon&) = delete;

    LPDSpooler& Spooler() { return *spooler_; }
    uint16_t Port() const;
    const std::string& Root() const { return dir_.Path(); }
    std::string Home() const { return dir_ / "home"; }
    std::string IniPath() const { return dir_ / "home/pgate.ini"; }
    std::string SpoolDirectory(const std::string& queue) const { return dir_ / ("spool/" + queue); }
    std::string PrinterPath(const std::string& printer) const {
        return dir_ / ("printers/" + printer);
    }
    std::string TracePath(const std::string& file) const { return dir_ / ("trace/" + file); }

    // The system-log lines the screen sink got so far.
    std::vector<std::string> ScreenLines() const;
    bool ScreenHas(const std::string& text) const;
    bool WaitForScreenLine(const std::string& text,
                           std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Ends the daemon now (destroys the spooler and closes the logs); idempotent.
    void Shutdown();

  private:
    TempDir dir_;
    std::unique_ptr<LogSession> logs_;
    std::unique_ptr<LPDSpooler> spooler_;
    mutable Mutex screenMutex_;
    std::vector<std::string> screen_ GUARDED_BY(screenMutex_);
};

}  // namespace pg::test
