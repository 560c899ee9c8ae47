// The pressgate program as a user starts it: a real process on the offscreen platform with a
// private home and lock directory.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

// A home whose pgate.ini writes the system log to a file, with one local queue.
struct Site {
    Site() {
        for (const char* sub : {"home", "run", "printers", "printers/paper"}) {
            ::mkdir((dir / sub).c_str(), 0700);
        }
        WriteFile(dir / "home/pgate.ini",
                  "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" + dir / "spool" +
                      "\r\nLPDServerPort=" + std::to_string(FreePort()) +
                      "\r\nActivateLPDOnStart=Y\r\nPrintSystem=devices:" + dir / "printers" +
                      "\r\n[Print Queues]\r\nlp=paper,,,\r\n[Logging]\r\nLogLevel=3\r\n"
                      "LogFileCache=0\r\nSystemDebugEnable=Y\r\nSystemTrace=" +
                      dir / "system.log" + "\r\n");
    }
    Process::Options Program() const {
        Process::Options options;
        options.argv = {PG_BINARY_DIR "/bin/pressgate", "--home", dir / "home", "--paused"};
        options.env = {"XDG_RUNTIME_DIR=" + dir / "run", "QT_QPA_PLATFORM=offscreen"};
        return options;
    }
    std::string Log() const {
        return FileExists(dir / "system.log") ? ReadFile(dir / "system.log") : "";
    }

    TempDir dir;
};

// --paused keeps the daemon paused despite ActivateLPDOnStart; a second copy is refused and
// says why; SIGTERM ends the first cleanly, the spooler going before the logs close.
TEST(PressgateProgram, StartsPausedRefusesASecondCopyAndEndsCleanlyOnSigterm) {
    Site site;
    Process program(site.Program());
    ASSERT_TRUE(WaitUntil(
        [&] { return site.Log().find("LPD Daemon is paused.") != std::string::npos; }, seconds(20)))
        << site.Log();
    std::string err;
    EXPECT_EQ(RunCommand(site.Program(), seconds(20), nullptr, &err), 1);
    EXPECT_NE(err.find("only 1 Instance of Pressgate can run"), std::string::npos) << err;
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(seconds(20)), 0);
    EXPECT_NE(site.Log().find("Exiting LPDSpooler"), std::string::npos);
}

}  // namespace
}  // namespace pg::test
