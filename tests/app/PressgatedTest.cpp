// The headless daemon as a user runs it: a real pressgated process with a private home and
// lock directory, driven by signals and loopback connections.

#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "platform/UniqueFd.h"
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
        ::chmod(dir_.Path().c_str(), 0777);  // an unprivileged daemon makes its spool here
        for (const char* sub : {"home", "run", "printers", "printers/paper", "work"}) {
            ::mkdir((dir_ / sub).c_str(), 0777);
            ::chmod((dir_ / sub).c_str(), 0777);
        }
        Write("");
    }
    // pgate.ini with general keys first (from line 2 on, so they are the ones read), then the
    // file's own (5 lines), the queues (after [Print Queues]), [Logging] and more text last.
    void Write(const std::string& general,
               const std::string& queues = "lp=paper,,,Print in local/LAN printer - paper\r\n",
               const std::string& more = "") const {
        WriteFile(dir_ / "home/pgate.ini",
                  "[GENERAL CONFIGURE]\r\n" + general + "SpoolBaseDirectory=" + dir_ / "spool" +
                      "\r\nLPDServerPort=" + std::to_string(port) +
                      "\r\nClearSpoolDirectory=N\r\nCloseDelayMs=50\r\nPrintSystem=devices:" +
                      dir_ / "printers" + "\r\n[Print Queues]\r\n" + queues +
                      "[Logging]\r\nLogToScreen=Y\r\n" + more);
    }
    Process::Options Daemon(std::vector<std::string> args) const {
        Process::Options options;
        options.argv = {kDaemon, "--home", Home()};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env = {"XDG_RUNTIME_DIR=" + dir_ / "run", "CUPS_SERVER=" + dir_ / "no-cupsd"};
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
    Process daemon(site.Daemon({}));
    ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready to accept print request."))
        << daemon.Stderr();
    EXPECT_EQ(site.Query(), kEmptyList);

    std::string err;
    EXPECT_EQ(RunCommand(site.Daemon({}), seconds(10), nullptr, &err), 1);
    EXPECT_NE(err.find("Pressgate.: Sorry, only 1 Instance of Pressgate can run (process " +
                       std::to_string(daemon.Pid()) + " holds "),
              std::string::npos)
        << err;
    EXPECT_EQ(site.Query(), kEmptyList);  // the first one is untouched

    daemon.Signal(SIGINT);
    ASSERT_EQ(daemon.Wait(seconds(10)), 0);
    daemon.CollectOutput();
    // stdout is no terminal: every line for the journal, with its priority and no stamp.
    std::istringstream lines(daemon.Stdout());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_TRUE(std::regex_match(line, std::regex("<[346]>[^<].*"))) << line;
    }
    EXPECT_GT(count, 5);
    EXPECT_NE(daemon.Stdout().find("\n<6>LPDServerPort is "), std::string::npos);

    EXPECT_EQ(RunCommand(site.Daemon({"--bogus"}), seconds(10), nullptr, &err), 2);
    EXPECT_NE(err.find("unknown argument '--bogus'"), std::string::npos);
}

TEST(Pressgated, PausedStartAndSignalsSwitchTheDaemon) {
    Installation site;
    const uint16_t port = site.port;
    Process daemon(site.Daemon({"--paused"}));
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

// Under a service manager: the listening socket handed over is served (the configured port,
// held here, is never bound), and readiness is reported on the notification socket.
TEST(PressgatedService, TakesTheHandedOverSocketAndReportsReadiness) {
    Installation site;
    UniqueFd configured(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(site.port);
    ASSERT_EQ(::bind(configured.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(configured.Get(), 1), 0);

    TempDir notifyDir;
    UniqueFd notify(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un notifyAddress{};
    notifyAddress.sun_family = AF_UNIX;
    const std::string notifyPath = notifyDir / "notify";
    notifyPath.copy(notifyAddress.sun_path, sizeof notifyAddress.sun_path - 1);
    ASSERT_EQ(
        ::bind(notify.Get(), reinterpret_cast<sockaddr*>(&notifyAddress), sizeof notifyAddress), 0);
    // Open to all, as the service manager's own is: the daemon started as root tells it as lp.
    ::chmod(notifyPath.c_str(), 0777);

    const uint16_t handed = FreePort();
    Process::Options options = site.Daemon({});
    options.argv.insert(options.argv.begin(),
                        {"systemd-socket-activate", "-l", "127.0.0.1:" + std::to_string(handed),
                         "-E", "NOTIFY_SOCKET=" + notifyPath});  // it passes no NOTIFY_SOCKET on
    Process daemon(options);
    LoopbackClient client(handed, seconds(10));  // the first connection starts the daemon
    client.Send("\003lp\n");
    EXPECT_EQ(client.ReceiveUntilClose(seconds(10)), kEmptyList) << daemon.Stderr();

    pollfd ready{notify.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 10000), 1);
    char message[512] = {};
    ASSERT_GT(::recv(notify.Get(), message, sizeof message - 1, 0), 0);
    EXPECT_NE(std::string(message).find("READY=1\nSTATUS=Accepting print jobs on port " +
                                        std::to_string(handed) + " (socket activation)"),
              std::string::npos)
        << message;
}

// One job of one data file, sent step by step over a connection of its own; each step returns
// the daemon's one-byte reply ("" when it closed instead).
class JobClient {
  public:
    JobClient(uint16_t port, const std::string& queue) : client_(port) {
        client_.Send("\002" + queue + "\n");
        replies_ = client_.Receive(1);
    }
    // The control file: 2 more replies.
    std::string Control(int number) {
        number_ = number;
        const std::string text = "Hhost\nPuser\nldfA" + std::to_string(number) + "host\n";
        return Step(
            "\002" + std::to_string(text.size()) + " cfA" + std::to_string(number) + "host\n",
            text);
    }
    // The data file: 2 more replies.
    std::string Data(const std::string& content) {
        return Step(
            "\003" + std::to_string(content.size()) + " dfA" + std::to_string(number_) + "host\n",
            content);
    }
    // The end of the connection, which completes the job.
    bool Close() {
        client_.ShutdownWrite();
        return client_.WaitForClose(seconds(5));
    }
    const std::string& Replies() const { return replies_; }

  private:
    std::string Step(const std::string& line, const std::string& content) {
        client_.Send(line);
        std::string got = client_.Receive(1);
        client_.Send(content + std::string(1, '\0'));
        got += client_.Receive(1);
        replies_ += got;
        return got;
    }
    LoopbackClient client_;
    std::string replies_;
    int number_ = 0;
};

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

size_t Entries(const std::string& directory) {
    size_t n = 0;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            n += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(dir);
    }
    return n;
}

// SIGHUP puts a changed pgate.ini in force with the daemon running: a queue changed, one added,
// one removed while it holds a job, a connection in the middle of a job, and a setting.
TEST(PressgatedReload, SighupFollowsTheFileWithoutDroppingJobsOrConnections) {
    Installation site;
    const std::string printers = site.Home() + "/../printers/";
    for (const char* printer : {"paper2", "paper3"}) {
        ::mkdir((printers + printer).c_str(), 0777);
        ::chmod((printers + printer).c_str(), 0777);
    }
    // "old" prints on a printer that is not there yet: its job waits for its next try.
    const std::string general = "TestPrintManager=N\r\nRetryDelayMs=100\r\nRetryMaxSeconds=1\r\n";
    site.Write(general, "lp=paper,,,x\r\nold=later,,,x\r\n");
    Process daemon(site.Daemon({}));
    ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready to accept print request."))
        << daemon.Stderr();
    const std::string acks(5, '\0');
    JobClient held(site.port, "old");
    held.Control(1);
    ASSERT_EQ(held.Data("held\n"), std::string(2, '\0'));
    ASSERT_TRUE(held.Close());
    ASSERT_TRUE(daemon.WaitForStdout("Print queue old : delivery of job"));
    // This job's connection is open, its control file in, while the file changes.
    JobClient inFlight(site.port, "lp");
    ASSERT_EQ(inFlight.Control(2), std::string(2, '\0'));

    site.Write(general, "lp=paper2,,,x\r\nadded=paper3,,,x\r\n");
    daemon.Signal(SIGHUP);
    ASSERT_TRUE(daemon.WaitForStdout(" reloaded: 3 print queues")) << daemon.Stdout();
    EXPECT_TRUE(daemon.WaitForStdout("Warning - print queue old is no longer in "));

    // The connection goes on; its job, delivered after the change, prints on lp's new printer.
    inFlight.Data("in flight\n");
    EXPECT_TRUE(inFlight.Close());
    EXPECT_EQ(inFlight.Replies(), acks);
    EXPECT_TRUE(WaitUntil([&] { return Entries(printers + "paper2") == 1; }));
    // The added queue prints.
    JobClient added(site.port, "added");
    added.Control(3);
    added.Data("added\n");
    EXPECT_TRUE(added.Close());
    EXPECT_EQ(added.Replies(), acks);
    EXPECT_TRUE(WaitUntil([&] { return Entries(printers + "paper3") == 1; }));
    // The removed queue keeps its job, shown to lpq, takes no new one, and goes once the job is
    // delivered.
    LoopbackClient status(site.port);
    status.Send("\003old\n");
    const std::string listed = status.ReceiveUntilClose(seconds(5));
    EXPECT_NE(listed.find("#001  from user@host"), std::string::npos) << listed;
    EXPECT_EQ(JobClient(site.port, "old").Replies(), std::string(1, '\1'));
    ::mkdir((printers + "later").c_str(), 0777);
    ::chmod((printers + "later").c_str(), 0777);
    EXPECT_TRUE(WaitUntil([&] { return Entries(printers + "later") == 1; }));
    EXPECT_TRUE(daemon.WaitForStdout("Remove Print Queue : old"));
    EXPECT_EQ(Entries(printers + "paper"), 0u);

    // A setting: lpq is not served any more; and the queue's own section: a job over its
    // MaxJobMB is refused at the data file's announcement.
    site.Write(general + "EnablePrintStatusControl=N\r\n", "lp=paper2,,,x\r\n",
               "[lp]\r\nMaxJobMB=1\r\n");
    daemon.Signal(SIGHUP);
    EXPECT_TRUE(WaitUntil([&] { return Count(daemon.Stdout(), " reloaded: ") == 2; }));
    EXPECT_TRUE(daemon.WaitForStdout("Reload : EnablePrintStatusControl=N"));
    EXPECT_EQ(site.Query(), "");
    LoopbackClient big(site.port);
    big.Send(std::string("\002lp\n\0032097152 dfA5host\n"));
    EXPECT_EQ(big.ReceiveExactly(2), std::string("\0\1", 2));
    daemon.Signal(SIGTERM);
    EXPECT_EQ(daemon.Wait(seconds(10)), 0);
}

// pgate.ini in, each problem with its line and the exit status out.
TEST(PressgatedCheckConfig, ReportsEveryProblemWithItsLine) {
    const std::string lp = "lp=paper,,,Print in local/LAN printer - paper\r\n";
    const struct {
        std::string general, queues, more;
        std::vector<std::string> problems;  // each found in the output, in this order
        int status;
    } rows[] = {
        {"", lp, "", {"no problems"}, 0},
        {"LPDServerPort=abc\r\n",
         lp,
         "",
         {"line 2: error: LPDServerPort=abc is not a number",
          "line 4: warning: LPDServerPort is given twice"},
         1},
        {"LPDServerPrt=515\r\n", lp, "", {"line 2: warning: unknown key LPDServerPrt"}, 0},
        {"", lp + "short=paper\r\n", "", {"line 9: error: queue line \"short=paper\" has 1 of"}, 1},
        {"",
         "missing=nosuch,,,x\r\nfar=q,no-such-host.invalid,515,x\r\n",
         "",
         {"line 8: error: queue missing: the print system has no printer \"nosuch\"",
          "line 9: error: queue far: remote host \"no-such-host.invalid\" does not resolve"},
         1},
        {"",
         lp,
         "[Access]\r\nRule1=allow print any\r\n",
         {"line 12: error: [Access] unknown operation 'print'"},
         1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.general + row.queues + row.more);
        Installation site;
        site.Write(row.general, row.queues, row.more);
        std::string out;
        EXPECT_EQ(RunCommand(site.Daemon({"--check-config"}), seconds(30), &out), row.status);
        size_t at = 0;
        for (const std::string& problem : row.problems) {
            at = out.find(problem, at);
            EXPECT_NE(at, std::string::npos) << problem << " in\n" << out;
        }
    }
}

// What keeps the daemon from running ends it at once with status 1 and what to do.
TEST(PressgatedStart, FailuresEndItWithStatusOneAndWhatToDo) {
    Installation busy;
    UniqueFd holder(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(busy.port);
    ASSERT_EQ(::bind(holder.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder.Get(), 1), 0);
    std::string err;
    EXPECT_EQ(RunCommand(busy.Daemon({}), seconds(30), nullptr, &err), 1);
    EXPECT_NE(err.find("(98: Address already in use). Another program listens there"),
              std::string::npos)
        << err;

    Installation badPrintSystem;
    badPrintSystem.Write("PrintSystem=devices:/nonexistent/printers\r\n");
    EXPECT_EQ(RunCommand(badPrintSystem.Daemon({}), seconds(30), nullptr, &err), 1);
    EXPECT_NE(err.find("the printer folder /nonexistent/printers does not exist"),
              std::string::npos)
        << err;

    Installation badPort;
    badPort.Write("LPDServerPort=-1\r\n");
    EXPECT_EQ(RunCommand(badPort.Daemon({}), seconds(30), nullptr, &err), 1);
    EXPECT_NE(err.find("LPDServerPort=-1 is out of range"), std::string::npos) << err;

    // A privileged port without root: the daemon runs as nobody.
    Installation privileged;
    privileged.Write("LPDServerPort=1\r\n");
    Process::Options asNobody = privileged.Daemon({});
    if (::geteuid() == 0) {
        asNobody.argv.insert(asNobody.argv.begin(),
                             {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    }
    EXPECT_EQ(RunCommand(asNobody, seconds(30), nullptr, &err), 1);
    EXPECT_NE(err.find("(13: Permission denied). Ports below 1024 need privilege"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("setcap cap_net_bind_service=+ep " + kDaemon), std::string::npos);
}

}  // namespace
}  // namespace pg::test
