// The pressgate program as a user starts it: a real process on the offscreen platform with a
// private home and lock directory.

#include <signal.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/DaemonHome.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

// The pressgate program, paused, on home.
Process::Options Program(const DaemonHome& home) {
    Process::Options options = home.Daemon({"--paused"});
    options.argv[0] = PG_BINARY_DIR "/bin/pressgate";
    options.env.push_back("QT_QPA_PLATFORM=offscreen");
    return options;
}

// --paused keeps the daemon paused despite ActivateLPDOnStart; a second copy is refused and
// says why; SIGTERM ends the first cleanly, the spooler going before the logs close.
TEST(PressgateProgram, StartsPausedRefusesASecondCopyAndEndsCleanlyOnSigterm) {
    DaemonHome home;  // its pgate.ini writes the system log to a file
    home.Write("ActivateLPDOnStart=Y\r\n", "lp=paper,,,\r\n",
               "LogLevel=3\r\nLogFileCache=0\r\nSystemDebugEnable=Y\r\nSystemTrace=" +
                   home / "system.log" + "\r\n");
    auto log = [&] { return FileExists(home / "system.log") ? ReadFile(home / "system.log") : ""; };
    Process program(Program(home));
    ASSERT_TRUE(WaitUntil([&] { return log().find("LPD Daemon is paused.") != std::string::npos; },
                          seconds(20)))
        << log();
    std::string err;
    EXPECT_EQ(RunCommand(Program(home), seconds(20), nullptr, &err), 1);
    EXPECT_NE(err.find("only 1 Instance of Pressgate can run"), std::string::npos) << err;
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(seconds(20)), 0);
    EXPECT_NE(log().find("Exiting LPDSpooler"), std::string::npos);
}

}  // namespace
}  // namespace pg::test
