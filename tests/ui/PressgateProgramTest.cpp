// The pressgate program as a user starts it: a real process on the offscreen platform with a
// private home and lock directory.

#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/InstanceLock.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

const std::string kProgram = PG_BINARY_DIR "/bin/pressgate";

// A home whose pgate.ini writes the system log to a file, with one local queue.
struct Site {
    explicit Site(const std::string& extraGeneral = "") {
        for (const char* sub : {"home", "run", "printers", "printers/paper", "work"}) {
            ::mkdir((dir / sub).c_str(), 0700);
        }
        WriteFile(dir / "home/pgate.ini",
                  "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" + dir / "spool" +
                      "\r\nLPDServerPort=" + std::to_string(FreePort()) +
                      "\r\nCloseDelayMs=50\r\nAcceptDelayMs=0\r\nPrintSystem=devices:" +
                      dir / "printers" + "\r\n" + extraGeneral +
                      "[Print Queues]\r\nlp=paper,,,local "
                      "paper\r\n[Logging]\r\nLogLevel=3\r\nLogFileCache=0\r\n"
                      "SystemDebugEnable=Y\r\nSystemTrace=" +
                      dir / "system.log" + "\r\n");
    }
    Process::Options Program(std::vector<std::string> extraArgs = {}) const {
        Process::Options options;
        options.argv = {kProgram, "--home", dir / "home"};
        options.argv.insert(options.argv.end(), extraArgs.begin(), extraArgs.end());
        options.env = {"XDG_RUNTIME_DIR=" + dir / "run", "QT_QPA_PLATFORM=offscreen"};
        options.cwd = dir / "work";
        return options;
    }
    std::string Log() const {
        return FileExists(dir / "system.log") ? ReadFile(dir / "system.log") : "";
    }
    bool WaitForLog(const std::string& text) const {
        return WaitUntil([&] { return Log().find(text) != std::string::npos; }, seconds(20));
    }

    TempDir dir;
};

TEST(PressgateProgram, StartsItsWindowPausedAndEndsCleanlyOnSigterm) {
    Site site;
    Process program(site.Program());
    // The main window's creation starts spooling with the daemon paused.
    ASSERT_TRUE(site.WaitForLog("LPDSpooler state changed to runningState")) << site.Log();
    EXPECT_EQ(site.Log().find("LPD Daemon is ready to accept print request."), std::string::npos);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(seconds(20)), 0);
    // The spooler went before the logs closed.
    EXPECT_NE(site.Log().find("Exiting LPDSpooler"), std::string::npos);
}

TEST(PressgateProgram, PausedKeepsTheDaemonPausedDespiteActivateOnStart) {
    Site site("ActivateLPDOnStart=Y\r\n");
    Process program(site.Program({"--paused"}));
    ASSERT_TRUE(site.WaitForLog("LPD Daemon is paused.")) << site.Log();
    program.Signal(SIGINT);
    EXPECT_EQ(program.Wait(seconds(20)), 0);
}

TEST(PressgateProgram, ASecondCopyIsRefusedAndLeavesTheFirstAlone) {
    Site site;
    InstanceLock first(site.dir / "run");
    ASSERT_TRUE(first.Acquired());
    std::string err;
    EXPECT_EQ(RunCommand(site.Program(), seconds(20), nullptr, &err), 1);
    EXPECT_NE(err.find("Pressgate.: Sorry, only 1 Instance of Pressgate can run"),
              std::string::npos)
        << err;
    // Refused before the logs: the first copy's files are untouched.
    EXPECT_FALSE(FileExists(site.dir / "system.log"));
}

TEST(PressgateProgram, WithoutADisplaySaysSoAndTouchesNoFile) {
    Site site;
    Process::Options options = site.Program();
    options.argv[2] = site.dir / "new-home";
    options.env = {"XDG_RUNTIME_DIR=" + site.dir / "run"};
    options.unsetEnv = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    std::string err;
    EXPECT_EQ(RunCommand(options, seconds(20), nullptr, &err), 1);
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    EXPECT_FALSE(FileExists(site.dir / "new-home"));
    EXPECT_FALSE(FileExists(site.dir / (std::string("run/") + InstanceLock::kName)));
}

}  // namespace
}  // namespace pg::test
