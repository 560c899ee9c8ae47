// The headless daemon as a user runs it: a real pressgated process with a private home and
// lock directory, driven by signals and loopback connections; started as root, it gives root up
// before it accepts anything (its credentials read from /proc, its spool files from the disk).

#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "platform/ReservedPort.h"
#include "platform/UniqueFd.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/engine/FakeLpdHost.h"
#include "tests/support/DaemonHome.h"

namespace pg::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Started paused, the daemon leaves connections waiting until SIGUSR1 activates it and again
// after SIGUSR2; a second instance is refused; SIGINT ends it cleanly.
TEST(Pressgated, SignalsSwitchItASecondInstanceIsRefusedAndItEndsCleanly) {
    DaemonHome site;
    Process daemon(site.Daemon({"--paused"}));
    ASSERT_TRUE(daemon.WaitForStdout("LPDSpooler state changed to runningState"));
    LoopbackClient waiting(site.port);
    waiting.Send("\003lp\n");
    EXPECT_EQ(waiting.Receive(1, milliseconds(500)), "");
    daemon.Signal(SIGUSR1);
    EXPECT_EQ(waiting.ReceiveUntilClose(seconds(5)), kEmptyList);

    std::string err;
    EXPECT_EQ(RunCommand(site.Daemon(), seconds(10), nullptr, &err), 1);
    EXPECT_NE(err.find("Pressgate.: Sorry, only 1 Instance of Pressgate can run (process " +
                       std::to_string(daemon.Pid()) + " holds "),
              std::string::npos)
        << err;
    EXPECT_EQ(Exchange(site.port, "\003lp\n"), kEmptyList);  // the first one is untouched

    daemon.Signal(SIGUSR2);
    ASSERT_TRUE(
        daemon.WaitForStdout("LPD Daemon is paused.  No more print request will be accepted."));
    LoopbackClient again(site.port);
    again.Send("\003lp\n");
    EXPECT_EQ(again.Receive(1, milliseconds(300)), "");
    daemon.Signal(SIGINT);
    ASSERT_EQ(daemon.Wait(seconds(10)), 0);
    daemon.CollectOutput();
    // stdout is no terminal: every line for the journal, with its priority and no stamp.
    std::istringstream lines(daemon.Stdout());
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, std::regex("<[346]>[^<].*"))) << line;
    }
    EXPECT_NE(daemon.Stdout().find("\n<6>LPDServerPort is "), std::string::npos);

    EXPECT_EQ(RunCommand(site.Daemon({"--bogus"}), seconds(10), nullptr, &err), 2);
    EXPECT_NE(err.find("unknown argument '--bogus'"), std::string::npos);
}

// Under a service manager: the listening socket handed over is served (the configured port,
// held here, is never bound), and readiness is reported on the notification socket.
TEST(PressgatedService, TakesTheHandedOverSocketAndReportsReadiness) {
    DaemonHome site;
    FakeLpdHost configured;  // another program
    site.Write("LPDServerPort=" + std::to_string(configured.Port()) + "\r\n");

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
    Process::Options options = site.Daemon();
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

// SIGHUP puts a changed pgate.ini in force with the daemon running: a queue changed, one added,
// one removed while it holds a job, a connection in the middle of a job, and a setting.
TEST(PressgatedReload, SighupFollowsTheFileWithoutDroppingJobsOrConnections) {
    DaemonHome site;
    const std::string printers = site / "printers/";
    for (const char* printer : {"paper2", "paper3"}) {
        ::mkdir((printers + printer).c_str(), 0777);
        ::chmod((printers + printer).c_str(), 0777);
    }
    // "old" prints on a printer that is not there yet: its job waits for its next try.
    const std::string general = "TestPrintManager=N\r\nRetryDelayMs=100\r\nRetryMaxSeconds=1\r\n";
    site.Write(general, "lp=paper,,,x\r\nold=later,,,x\r\n");
    Process daemon(site.Daemon());
    ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready to accept print request."))
        << daemon.Stderr();
    EXPECT_TRUE(SendJob(site.port, "old", "001host", "held\n"));
    ASSERT_TRUE(daemon.WaitForStdout("Print queue old : delivery of job"));
    // This job's connection is open, its control file in, while the file changes.
    auto inFlight = ReceiveJobConnection(site.port, "lp");
    const std::vector<std::string> steps = JobSteps("002host", "in flight\n");
    Step(*inFlight, steps[0], kAck);
    Step(*inFlight, steps[1], kAck);

    site.Write(general, "lp=paper2,,,x\r\nadded=paper3,,,x\r\n");
    daemon.Signal(SIGHUP);
    ASSERT_TRUE(daemon.WaitForStdout(" reloaded: 3 print queues")) << daemon.Stdout();
    EXPECT_TRUE(daemon.WaitForStdout("Warning - print queue old is no longer in "));

    // The connection goes on; its job, delivered after the change, prints on lp's new printer.
    Step(*inFlight, steps[2], kAck);
    Step(*inFlight, steps[3], kAck);
    inFlight->ShutdownWrite();
    EXPECT_TRUE(inFlight->WaitForClose(seconds(5)));
    EXPECT_TRUE(WaitUntil([&] { return Listing(printers + "paper2").size() == 1; }));
    // The added queue prints.
    EXPECT_TRUE(SendJob(site.port, "added", "003host", "added\n"));
    EXPECT_TRUE(WaitUntil([&] { return Listing(printers + "paper3").size() == 1; }));
    // The removed queue keeps its job, shown to lpq, takes no new one, and goes once the job is
    // delivered.
    const std::string listed = Exchange(site.port, "\003old\n");
    EXPECT_NE(listed.find("#001 job from ann@host"), std::string::npos) << listed;
    EXPECT_EQ(FirstReply(site.port, "\002old\n"), kNack);
    ::mkdir((printers + "later").c_str(), 0777);
    ::chmod((printers + "later").c_str(), 0777);
    EXPECT_TRUE(WaitUntil([&] { return Listing(printers + "later").size() == 1; }));
    EXPECT_TRUE(daemon.WaitForStdout("Remove Print Queue : old"));
    EXPECT_EQ(Listing(printers + "paper").size(), 0u);

    // A setting: lpq is not served any more; and the queue's own section: a job over its
    // MaxJobMB is refused at the data file's announcement.
    site.Write(general + "EnablePrintStatusControl=N\r\n", "lp=paper2,,,x\r\n",
               "[lp]\r\nMaxJobMB=1\r\n");
    daemon.Signal(SIGHUP);
    EXPECT_TRUE(daemon.WaitForStdout(" reloaded: 1 print queues")) << daemon.Stdout();
    EXPECT_EQ(Exchange(site.port, "\003lp\n"), "");
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
        DaemonHome site;
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

// What keeps the daemon from running ends it at once with status 1 and what to do. Run as
// nobody, so that a privileged port is refused, except where it is to give root up.
TEST(PressgatedStart, FailuresEndItWithStatusOneAndWhatToDo) {
    const struct {
        std::string general, says;  // busy: a port another program listens on
        bool asRoot;
    } rows[] = {
        {"LPDServerPort=busy\r\n", "(98: Address already in use). Another program listens there",
         false},
        {"PrintSystem=devices:/nonexistent/printers\r\n",
         "the printer folder /nonexistent/printers does not exist", false},
        {"LPDServerPort=-1\r\n", "LPDServerPort=-1 is out of range", false},
        {"LPDServerPort=1\r\n", "(13: Permission denied). Ports below 1024 need privilege", false},
        {"RunAsUser=no-such-user-here\r\n", "there is no user no-such-user-here", true},
        // closed: a directory only root may enter
        {"SpoolBaseDirectory=closed/spool\r\n", "user lp cannot reach the spool", true},
    };
    FakeLpdHost busy;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.says);
        if (::geteuid() != 0 && row.asRoot) {
            continue;
        }
        DaemonHome site;
        ::mkdir((site / "closed").c_str(), 0700);
        const std::string general =
            std::regex_replace(row.general, std::regex("=closed"), "=" + site / "closed");
        site.Write(
            std::regex_replace(general, std::regex("=busy"), "=" + std::to_string(busy.Port())));
        Process::Options options = site.Daemon();
        if (::geteuid() == 0 && !row.asRoot) {
            options.argv.insert(options.argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534",
                                                       "--clear-groups", "--"});
        }
        std::string err;
        EXPECT_EQ(RunCommand(options, seconds(30), nullptr, &err), 1);
        EXPECT_NE(err.find(row.says), std::string::npos) << err;
    }
}

// The value of a "Name:\tvalue" line of /proc/PID/status.
std::string StatusField(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            return line.substr(line.find_first_not_of(" \t", name.size() + 1));
        }
    }
    return "";
}

// Started as root, the daemon serves as lp, and only its helper may bind reserved ports, for a
// queue forwarding to a host on ::1 that does not answer; RunAsUser=root keeps root.
TEST(PrivilegeDrop, TheDaemonServesAsLpAndOnlyItsHelperMayBindReservedPorts) {
    const passwd* account = ::getpwnam("lp");
    if (::geteuid() != 0 || account == nullptr) {
        GTEST_SKIP() << "the daemon gives root up to user lp only when it has root";
    }
    FakeLpdHost remote(/*ipv6=*/true);
    DaemonHome site;
    const std::string queues = "lp=store,::1," + std::to_string(remote.Port()) + ",forwarded\r\n";
    site.Write("TestPrintManager=N\r\n", queues);
    Process daemon(site.Daemon());
    ASSERT_TRUE(daemon.WaitForStdout("Running as user lp")) << daemon.Stdout();
    const std::string lp = std::to_string(account->pw_uid);
    EXPECT_EQ(StatusField(daemon.Pid(), "Uid"), lp + "\t" + lp + "\t" + lp + "\t" + lp);
    EXPECT_EQ(StatusField(daemon.Pid(), "CapEff"), "0000000000000000");
    EXPECT_EQ(StatusField(daemon.Pid(), "CapPrm"), "0000000000000000");
    // The helper: a child serving as lp with the one capability to bind low ports.
    std::ifstream children("/proc/" + std::to_string(daemon.Pid()) + "/task/" +
                           std::to_string(daemon.Pid()) + "/children");
    pid_t helper = 0;
    children >> helper;
    ASSERT_NE(helper, 0);
    EXPECT_EQ(StatusField(helper, "Uid").substr(0, lp.size() + 1), lp + "\t");
    EXPECT_EQ(StatusField(helper, "CapEff"), "0000000000000400");  // CAP_NET_BIND_SERVICE

    // A job's files belong to lp, in a directory only lp may enter, and only lp may read them.
    EXPECT_TRUE(SendJob(site.port, "lp", "001host", "data"));
    // Forwarded from a reserved port, which the helper bound; the host does not answer yet, so
    // the job stays in the spool.
    FakeLpdHost::Connection forwarded;
    ASSERT_TRUE(remote.Accept(forwarded)) << "nothing was forwarded";
    EXPECT_GE(forwarded.sourcePort, kFirstReservedPort);
    EXPECT_LE(forwarded.sourcePort, kLastReservedPort);
    remote.Serve(forwarded, {FakeLpdHost::Reply::Hold});
    EXPECT_EQ(forwarded.steps.at(0), "\002store\n");
    std::vector<std::string> paths = {site / "spool", site / "spool/lp"};
    for (const auto& entry : std::filesystem::directory_iterator(site / "spool/lp")) {
        paths.push_back(entry.path());
    }
    EXPECT_GT(paths.size(), 4u);  // the control file, the data file and the manifest
    for (const std::string& path : paths) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_uid, account->pw_uid) << path;
        EXPECT_EQ(st.st_mode & 0777, S_ISDIR(st.st_mode) ? 0700u : 0600u) << path;
    }
    EXPECT_NE(Exchange(site.port, "\003lp\n").find("from ann@host"), std::string::npos);

    daemon.Signal(SIGTERM);
    ASSERT_EQ(daemon.Wait(seconds(10)), 0);
    site.Write("TestPrintManager=N\r\nRunAsUser=root\r\n", queues);
    Process asRoot(site.Daemon());
    ASSERT_TRUE(asRoot.WaitForStdout("LPD Daemon is ready"));
    EXPECT_EQ(StatusField(asRoot.Pid(), "Uid").substr(0, 2), "0\t");
}

}  // namespace
}  // namespace pg::test
