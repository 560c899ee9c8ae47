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
    Installation() {
        for (const char* sub : {"home", "run", "printers", "printers/paper", "work"}) {
            ::mkdir((dir_ / sub).c_str(), 0755);
        }
        WriteFile(dir_ / "home/pgate.ini",
                  "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" + dir_ / "spool" +
                      "\r\nLPDServerPort=" + std::to_string(port) +
                      "\r\nClearSpoolDirectory=N\r\nCloseDelayMs=50\r\nAcceptDelayMs=0\r\n"
                      "PrintSystem=devices:" +
                      dir_ / "printers" +
                      "\r\n[Print Queues]\r\nlp=paper,,,Print in local/LAN printer - paper\r\n"
                      "[Logging]\r\nLogLevel=3\r\nLogToScreen=Y\r\n");
    }
    Process::Options Daemon(std::vector<std::string> args) const {
        Process::Options options;
        options.argv = {kDaemon};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env = {"XDG_RUNTIME_DIR=" + dir_ / "run"};
        options.cwd = dir_ / "work";
        return options;
    }
    std::string Query() const {
        LoopbackClient client(port);
        client.Send("\003lp\n");
        return client.ReceiveUntilClose(seconds(5));
    }
    std::string Home() const { return dir_ / "home"; }

    const uint16_t port = FreePort();

  private:
    TempDir dir_;
};

TEST(Pressgated, ServesAtOnceRefusesASecondInstanceAndBadArgumentsAndEndsCleanly) {
    Installation site;
    Process daemon(site.Daemon({"--home", site.Home()}));
    ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready to accept print request."))
        << daemon.Stderr();
    EXPECT_EQ(site.Query(), kEmptyList);

    std::string err;
    EXPECT_EQ(RunCommand(site.Daemon({"--home", site.Home()}), seconds(10), nullptr, &err), 1);
    EXPECT_EQ(err, "Pressgate.: Sorry, only 1 Instance of Pressgate can run\n");
    EXPECT_EQ(site.Query(), kEmptyList);  // the first one is untouched

    daemon.Signal(SIGINT);
    ASSERT_EQ(daemon.Wait(seconds(10)), 0);
    daemon.CollectOutput();
    // Every screen line in the message window's form.
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
    EXPECT_NE(daemon.Stdout().find(" LPDServerPort is "), std::string::npos);

    EXPECT_EQ(RunCommand(site.Daemon({"--bogus"}), seconds(10), nullptr, &err), 2);
    EXPECT_NE(err.find("unknown argument '--bogus'"), std::string::npos);
}

TEST(Pressgated, PausedStartAndSignalsSwitchTheDaemon) {
    Installation site;
    const uint16_t port = site.port;
    Process daemon(site.Daemon({"--home=" + site.Home(), "--paused"}));
    ASSERT_TRUE(daemon.WaitForStdout("LPDSpooler state changed to runningState"));
    // Paused: the connection waits unanswered in the listen queue, and is served once SIGUSR1
    // activates the daemon.
    LoopbackClient waiting(port);
    waiting.Send("\003lp\n");
    EXPECT_EQ(waiting.Receive(1, milliseconds(500)), "");
    daemon.Signal(SIGUSR1);
    EXPECT_EQ(waiting.ReceiveUntilClose(seconds(5)), kEmptyList);

    daemon.Signal(SIGUSR2);
    ASSERT_TRUE(
        daemon.WaitForStdout("LPD Daemon is paused.  No more print request will be accepted."));
    LoopbackClient again(port);
    again.Send("\003lp\n");
    EXPECT_EQ(again.Receive(1, milliseconds(300)), "");
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(seconds(10)), 0);
}

}  // namespace
}  // namespace pg::test
