// The headless daemon as a user runs it: a real pressgated process with a private home and
// lock directory, driven by signals and loopback connections.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kDaemon = PG_BINARY_DIR "/bin/pressgated";
const std::string kEmptyList = "lp: \n    No jobs queued\n";

// A home with a pgate.ini for queue lp on a devices printer, a lock directory of its own.
class Installation {
  public:
    explicit Installation(uint16_t port, const std::string& extraGeneral = "") : port_(port) {
        for (const char* sub : {"home", "run", "printers", "printers/paper", "work"}) {
            ::mkdir((dir_ / sub).c_str(), 0755);
        }
        std::string ini = "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" + dir_ / "spool" +
                          "\r\nLPDServerPort=" + std::to_string(port) +
                          "\r\nClearSpoolDirectory=N\r\nCloseDelayMs=50\r\nAcceptDelayMs=0\r\n"
                          "PrintSystem=devices:" +
                          dir_ / "printers" + "\r\n" + extraGeneral +
                          "[Print Queues]\r\nlp=paper,,,Print in local/LAN printer - paper\r\n"
                          "[Logging]\r\nLogLevel=3\r\nLogToScreen=Y\r\n";
        WriteFile(dir_ / "home/pgate.ini", ini);
    }
    Process::Options Daemon(std::vector<std::string> extraArgs = {}) const {
        Process::Options options;
        options.argv = {kDaemon, "--home", dir_ / "home"};
        options.argv.insert(options.argv.end(), extraArgs.begin(), extraArgs.end());
        options.env = {"XDG_RUNTIME_DIR=" + dir_ / "run"};
        options.cwd = dir_ / "work";
        return options;
    }
    std::string Query() const {
        LoopbackClient client(port_);
        client.Send("\003lp\n");
        return client.ReceiveUntilClose(seconds(5));
    }
    const TempDir& Dir() const { return dir_; }

  private:
    TempDir dir_;
    uint16_t port_;
};

TEST(Pressgated, ServesAtOnceAndEndsCleanlyOnSigterm) {
    Installation site(FreePort());
    Process daemon(site.Daemon());
    ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready to accept print request."))
        << daemon.Stderr();
    EXPECT_EQ(site.Query(), kEmptyList);
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(seconds(10)), 0);
}

TEST(Pressgated, ScreenLinesCarryTheMessageWindowStamp) {
    Installation site(FreePort());
    Process daemon(site.Daemon());
    ASSERT_TRUE(daemon.WaitForStdout("Activate print queue lp"));
    daemon.Signal(SIGINT);
    ASSERT_EQ(daemon.Wait(seconds(10)), 0);
    daemon.CollectOutput();
    const std::regex stamped(
        "(Sun|Mon|Tue|Wed|Thu|Fri|Sat) [0-3][0-9] "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4}  "
        "(0[1-9]|1[0-2]):[0-5][0-9]:[0-5][0-9] (am|pm) .+");
    std::istringstream lines(daemon.Stdout());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    }
    EXPECT_GT(count, 5);
    EXPECT_NE(daemon.Stdout().find("  Local Hostname: "), std::string::npos);
    EXPECT_NE(daemon.Stdout().find(" LPDServerPort is "), std::string::npos);
}

TEST(Pressgated, SignalsSwitchTheDaemon) {
    const uint16_t port = FreePort();
    Installation site(port);
    Process daemon(site.Daemon({"--paused"}));
    ASSERT_TRUE(daemon.WaitForStdout("LPDSpooler state changed to runningState"));
    // Paused: the connection waits unanswered in the listen queue...
    LoopbackClient waiting(port);
    waiting.Send("\003lp\n");
    EXPECT_EQ(waiting.Receive(1, milliseconds(500)), "");
    // ...and is served once SIGUSR1 activates the daemon.
    daemon.Signal(SIGUSR1);
    EXPECT_EQ(waiting.ReceiveUntilClose(seconds(5)), kEmptyList);
    EXPECT_TRUE(daemon.WaitForStdout("LPD Daemon is ready to accept print request."));

    daemon.Signal(SIGUSR2);
    ASSERT_TRUE(
        daemon.WaitForStdout("LPD Daemon is paused.  No more print request will be accepted."));
    LoopbackClient again(port);
    again.Send("\003lp\n");
    EXPECT_EQ(again.Receive(1, milliseconds(300)), "");
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(seconds(10)), 0);
}

TEST(Pressgated, OnlyOneInstanceRuns) {
    Installation site(FreePort());
    Process first(site.Daemon());
    ASSERT_TRUE(first.WaitForStdout("LPD Daemon is ready"));
    std::string err;
    Process::Options second = site.Daemon();
    EXPECT_EQ(RunCommand(second, seconds(10), nullptr, &err), 1);
    EXPECT_EQ(err, "Pressgate.: Sorry, only 1 Instance of Pressgate can run\n");
    EXPECT_EQ(site.Query(), kEmptyList);  // the first one is untouched
}

TEST(Pressgated, PortInUseIsReportedOnStderrAndInTheLog) {
    const uint16_t port = FreePort();
    Installation site(port);
    Process holder(site.Daemon());
    ASSERT_TRUE(holder.WaitForStdout("LPD Daemon is ready"));
    // A second installation (its own lock) on the same port.
    Installation other(port);
    Process daemon(other.Daemon());
    EXPECT_TRUE(daemon.WaitForStderr("Winsock Error: bind(sock) failed\n"));
    EXPECT_TRUE(daemon.WaitForStdout("RunLPDSpoolingServer() : bind() failed - wsock error (98)"));
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(seconds(10)), 0);
}

TEST(Pressgated, RestartBindsThePortAgainAtOnce) {
    const uint16_t port = FreePort();
    Installation site(port);
    {
        Process daemon(site.Daemon());
        ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready"));
        ASSERT_EQ(site.Query(), kEmptyList);  // leaves a TIME_WAIT on the daemon's side
        daemon.Signal(SIGTERM);
        ASSERT_EQ(daemon.Wait(seconds(10)), 0);
    }
    Process daemon(site.Daemon());
    ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready"));
    EXPECT_EQ(site.Query(), kEmptyList);
    EXPECT_EQ(daemon.Stderr(), "");
}

TEST(Pressgated, BadArgumentsAreRefused) {
    std::string err;
    Process::Options options;
    options.argv = {kDaemon, "--bogus"};
    EXPECT_EQ(RunCommand(options, seconds(10), nullptr, &err), 2);
    EXPECT_NE(err.find("unknown argument '--bogus'"), std::string::npos);
    options.argv = {kDaemon, "--home"};
    EXPECT_EQ(RunCommand(options, seconds(10), nullptr, &err), 2);
    EXPECT_NE(err.find("--home needs a directory"), std::string::npos);
}

TEST(Pressgated, FirstStartWritesTheDefaultConfigurationIntoTheHome) {
    TempDir dir;
    ::mkdir((dir / "run").c_str(), 0755);
    ::mkdir((dir / "work").c_str(), 0755);
    Process::Options options;
    options.argv = {kDaemon, "--paused"};
    options.env = {"PRESSGATE_HOME=" + dir / "home", "XDG_RUNTIME_DIR=" + dir / "run",
                   "PATH=/usr/bin:/bin"};
    options.cwd = dir / "work";
    Process daemon(options);
    ASSERT_TRUE(daemon.WaitForStdout(
        "PGATE.INI not found.  Automatically create one in system directory."));
    ASSERT_TRUE(daemon.WaitForStdout("LPDSpooler state changed to runningState"));
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(seconds(10)), 0);
    const std::string ini = ReadFile(dir / "home/pgate.ini");
    EXPECT_EQ(ini.substr(0, 21), "[GENERAL CONFIGURE]\r\n");
    EXPECT_NE(ini.find("SpoolBaseDirectory=" + dir / "work/spool\r\n"), std::string::npos);
    EXPECT_TRUE(FileExists(dir / "work/spool"));
    EXPECT_TRUE(FileExists(dir / "work/trace"));
}

}  // namespace
}  // namespace pg::test
