// pressgated started as root gives root up before it accepts anything: a real daemon process,
// its credentials read from /proc, its spool files from the disk.

#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/ReservedPort.h"
#include "platform/UniqueFd.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

const std::string kDaemon = PG_BINARY_DIR "/bin/pressgated";

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

class PrivilegeDrop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the daemon gives root up only when it has it";
        }
        passwd* lp = ::getpwnam("lp");
        if (lp == nullptr) {
            GTEST_SKIP() << "no user lp";
        }
        lpUid_ = lp->pw_uid;
        for (const char* sub : {"home", "run", "work"}) {
            ::mkdir((dir_ / sub).c_str(), 0755);
        }
        // The remote LPD host queue lp forwards to, on ::1.
        remote_.Reset(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        socklen_t length = sizeof address;
        ASSERT_TRUE(
            remote_ &&
            ::bind(remote_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(remote_.Get(), 4) == 0 &&
            ::getsockname(remote_.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0);
        remotePort_ = ntohs(address.sin6_port);
    }
    Process::Options Daemon(const std::string& general, const std::string& spool = "spool") {
        WriteFile(dir_ / "home/pgate.ini",
                  "[GENERAL CONFIGURE]\r\nSpoolBaseDirectory=" + dir_ / spool +
                      "\r\nLPDServerPort=" + std::to_string(port_) +
                      "\r\nClearSpoolDirectory=N\r\nTestPrintManager=N\r\nCloseDelayMs=0\r\n"
                      "PrintSystem=devices:" +
                      dir_ / "work" + "\r\n" + general + "[Print Queues]\r\nlp=store,::1," +
                      std::to_string(remotePort_) +
                      ",forwarded\r\n"
                      "[Logging]\r\nLogLevel=1\r\nLogToScreen=Y\r\n");
        Process::Options options;
        options.argv = {kDaemon, "--home", dir_ / "home"};
        options.env = {"XDG_RUNTIME_DIR=" + dir_ / "run"};
        options.cwd = dir_ / "work";
        return options;
    }
    std::string Status() const {
        LoopbackClient client(port_, "127.0.0.1");
        client.Send("\003lp\n");
        return client.ReceiveUntilClose(seconds(5));
    }

    TempDir dir_;
    uint16_t port_ = FreePort();
    uid_t lpUid_ = 0;
    UniqueFd remote_;
    uint16_t remotePort_ = 0;
};

TEST_F(PrivilegeDrop, TheDaemonServesAsLpAndOnlyItsHelperMayBindReservedPorts) {
    Process daemon(Daemon(""));
    ASSERT_TRUE(daemon.WaitForStdout("Running as user lp")) << daemon.Stdout();
    const std::string lp = std::to_string(lpUid_);
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
    {
        LoopbackClient client(port_, "127.0.0.1");
        const std::string control = "Hhost\nPann\nldfA001host\n";
        client.Send("\002lp\n\002" + std::to_string(control.size()) + " cfA001host\n");
        ASSERT_EQ(client.ReceiveExactly(2), std::string(2, '\0'));
        client.Send(control + std::string(1, '\0') + "\0034 dfA001host\n");
        ASSERT_EQ(client.ReceiveExactly(2), std::string(2, '\0'));
        client.Send(std::string("data") + '\0');
        ASSERT_EQ(client.ReceiveExactly(1), std::string(1, '\0'));
    }
    // Forwarded from a reserved port, which the helper bound; the host does not answer yet, so
    // the job stays in the spool.
    pollfd incoming{remote_.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&incoming, 1, 10000), 1) << "nothing was forwarded";
    sockaddr_in6 sender{};
    socklen_t length = sizeof sender;
    UniqueFd forwarded(::accept(remote_.Get(), reinterpret_cast<sockaddr*>(&sender), &length));
    EXPECT_GE(ntohs(sender.sin6_port), kFirstReservedPort);
    EXPECT_LE(ntohs(sender.sin6_port), kLastReservedPort);
    char request[7] = {};
    EXPECT_EQ(::recv(forwarded.Get(), request, sizeof request, MSG_WAITALL), 7);
    EXPECT_EQ(std::string(request, sizeof request), "\002store\n");
    std::vector<std::string> paths = {dir_ / "spool", dir_ / "spool/lp"};
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / "spool/lp")) {
        paths.push_back(entry.path());
    }
    EXPECT_GT(paths.size(), 4u);  // the control file, the data file and the manifest
    for (const std::string& path : paths) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_uid, lpUid_) << path;
        EXPECT_EQ(st.st_mode & 0777, S_ISDIR(st.st_mode) ? 0700u : 0600u) << path;
    }
    EXPECT_NE(Status().find("from ann@host"), std::string::npos);
}

// When the account is missing or cannot reach the spool area, the daemon ends instead of
// serving as root, and says why.
TEST_F(PrivilegeDrop, WithoutAUsableAccountNothingIsAccepted) {
    ::mkdir((dir_ / "closed").c_str(), 0700);
    const struct {
        std::string general, spool, logged;
    } rows[] = {
        {"RunAsUser=no-such-user-here\r\n", "spool", "there is no user no-such-user-here"},
        {"", "closed/spool", "cannot reach the spool"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        Process daemon(Daemon(row.general, row.spool));
        EXPECT_EQ(daemon.Wait(seconds(10)), 1);
        daemon.CollectOutput();
        EXPECT_NE(daemon.Stderr().find("cannot serve as RunAsUser: "), std::string::npos);
        EXPECT_NE(daemon.Stderr().find(row.logged), std::string::npos) << daemon.Stderr();
        EXPECT_THROW(Status(), std::runtime_error);  // nothing listens
    }
    // RunAsUser=root keeps root.
    Process daemon(Daemon("RunAsUser=root\r\n"));
    ASSERT_TRUE(daemon.WaitForStdout("LPD Daemon is ready"));
    EXPECT_EQ(Status(), "lp: \n    No jobs queued\n");
    EXPECT_EQ(StatusField(daemon.Pid(), "Uid").substr(0, 2), "0\t");
}

}  // namespace
}  // namespace pg::test
