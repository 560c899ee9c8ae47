// Forwarding to a real remote LPD host: LPRng's lpd, private to the test. A job received by a
// Pressgate remote queue over the protocol is forwarded to lpd and arrives there complete: its
// data bytes in the output of lpd's queue store, its control lines in the job kept by lpd's
// queue hold, sent (as root) from one of the reserved ports 722..731.

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

// Debian's LPRng reads only /etc/lprng/lpd.conf, so lpd runs in a private mount namespace in
// which DIR/etc is bind-mounted over /etc/lprng (the machine's own files are never touched).
// lpd runs as user daemon: DIR is traversable and its spool and output belong to daemon.
// Queue store appends every job's data bytes to DIR/out/store.out; queue hold keeps each job
// in DIR/spool/hold with the job file hfA<number> lpd makes of it.
class LprngLpd : public ::testing::Test {
  protected:
    LprngLpd() : dir_("pglprnglpd") {}

    void SetUp() override {
        if (::access("/usr/sbin/lpd", X_OK) != 0) {
            GTEST_SKIP() << "/usr/sbin/lpd is missing (package lprng)";
        }
        const passwd* daemon = ::getpwnam("daemon");
        ASSERT_NE(daemon, nullptr) << "there is no user daemon for lpd to run as";
        const std::string& d = dir_.Path();
        for (const char* sub : {"etc", "spool", "spool/store", "spool/hold", "out"}) {
            ::mkdir((dir_ / sub).c_str(), 0755);
        }
        WriteFile(dir_ / "out/store.out", "");
        WriteFile(dir_ / "etc/lpd.conf", "printcap_path=" + d + "/etc/printcap\nperms_path=" + d +
                                             "/etc/lpd.perms\nlockfile=" + d +
                                             "/lpd.lock\nunix_socket_path=off\n");
        WriteFile(dir_ / "etc/lpd.perms", "DEFAULT ACCEPT\n");
        WriteFile(dir_ / "etc/printcap", "store:sd=" + d + "/spool/store:lp=" + d +
                                             "/out/store.out:sh:mx=0\nhold:sd=" + d +
                                             "/spool/hold:ah:sh:mx=0\n");
        for (const char* owned : {"spool", "spool/store", "spool/hold", "out", "out/store.out"}) {
            ASSERT_EQ(::chown((dir_ / owned).c_str(), daemon->pw_uid, daemon->pw_gid), 0)
                << "cannot hand " << owned << " to user daemon (not root?)";
        }
        // lpd runs in a session of its own, ended through its process group.
        const uint16_t port = FreePort();
        std::string script = "mount --bind " + d + "/etc /etc/lprng && exec /usr/sbin/lpd -F -p " +
                             std::to_string(port) + " -P off >" + d + "/lpd.out 2>&1";
        char* argv[] = {const_cast<char*>("/usr/bin/unshare"),
                        const_cast<char*>("-m"),
                        const_cast<char*>("/bin/sh"),
                        const_cast<char*>("-c"),
                        script.data(),
                        nullptr};
        lpd_ = ::fork();
        if (lpd_ == 0) {
            ::setsid();
            ::execv(argv[0], argv);
            ::_exit(127);
        }
        ASSERT_GT(lpd_, 0);
        LoopbackClient waitsUntilLpdAnswers(port, seconds(10));

        const std::string lpdAt = "127.0.0.1," + std::to_string(port) + ",remote";
        daemon_ = std::make_unique<TestDaemon>(
            TestConfig().AddQueue("tostore", "store," + lpdAt).AddQueue("tohold", "hold," + lpdAt));
    }

    // Sends job jobNo of user from host localhost (which lpd resolves at once) to queue over
    // the protocol, every step acknowledged.
    void SendJob(const std::string& queue, int jobNo, const std::string& user,
                 const std::string& data) {
        char name[32];
        std::snprintf(name, sizeof name, "%03dlocalhost", jobNo);
        const std::string control = "Hlocalhost\nP" + user + "\nJjob" + std::to_string(jobNo) +
                                    "\nldfA" + name + "\nUdfA" + name + "\n";
        LoopbackClient client(daemon_->Port());
        const std::string ack(1, '\0');
        for (const std::string& step :
             {"\002" + queue + "\n", "\002" + std::to_string(control.size()) + " cfA" + name + "\n",
              control + '\0', "\003" + std::to_string(data.size()) + " dfA" + name + "\n",
              data + '\0'}) {
            client.Send(step);
            ASSERT_EQ(client.Receive(1), ack);
        }
    }

    bool QueueEmpty(const std::string& queue) {
        auto printer = daemon_->Spooler().FindQueue(queue);
        return printer && WaitUntil([&] { return printer->JobCount() == 0; }, seconds(20));
    }

    // SIGTERM: lpd ends the children it made sessions of their own, which SIGKILL would leave.
    void TearDown() override {
        if (lpd_ > 0) {
            ::kill(-lpd_, SIGTERM);
            if (!WaitUntil([&] { return ::waitpid(lpd_, nullptr, WNOHANG) == lpd_; })) {
                ::kill(-lpd_, SIGKILL);
                ::waitpid(lpd_, nullptr, 0);
            }
        }
    }
    std::string LpdOutput() const { return ReadFile(dir_ / "lpd.out"); }

    TempDir dir_;
    pid_t lpd_ = -1;
    std::unique_ptr<TestDaemon> daemon_;
};

// Each job ends with our side closing first, which keeps its local port in TIME_WAIT for a
// minute: jobs beyond the ten reserved ports must still go through.
TEST_F(LprngLpd, MoreJobsThanReservedPortsArriveWithEveryDataByte) {
    std::string expected;
    for (int i = 0; i < 11; ++i) {
        const std::string data = i == 0 ? Bytes(300 * 1024 + 17, 1) : Bytes(100, i) + "\n";
        SendJob("tostore", 100 + i, "carol", data);
        expected += data;
    }
    const std::string output = dir_ / "out/store.out";
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(output).size() >= expected.size(); }, seconds(60)))
        << LpdOutput();
    EXPECT_TRUE(ReadFile(output) == expected) << "store.out differs from the jobs' data";
    EXPECT_TRUE(QueueEmpty("tostore"));
}

TEST_F(LprngLpd, HeldJobKeepsTheControlFileLinesAndComesFromAReservedPort) {
    const std::string data = Bytes(5000, 2);
    SendJob("tohold", 42, "bob", data);
    // lpd writes its job file ("key=value" lines) while it receives the job and rewrites it
    // afterwards: wait for a complete one, with the data file in full.
    const std::string spool = dir_ / "spool/hold";
    std::string jobFile, held;
    ASSERT_TRUE(WaitUntil(
        [&] {
            jobFile = "\n" + ReadFile(spool + "/hfA042");
            held = ReadFile(spool + "/dfA042localhost");
            return jobFile.find("\nremoteport=") != std::string::npos && held.size() == data.size();
        },
        seconds(20)))
        << LpdOutput();
    for (const char* line : {"\nH=localhost\n", "\nP=bob\n", "\nJ=job42\n"}) {
        EXPECT_NE(jobFile.find(line), std::string::npos) << line << " in " << jobFile;
    }
    EXPECT_TRUE(held == data);
    if (::geteuid() == 0) {
        const size_t at = jobFile.find("\nremoteport=") + 12;
        const long port = std::strtol(jobFile.c_str() + at, nullptr, 0);
        EXPECT_GE(port, 722);
        EXPECT_LE(port, 731);
    }
    EXPECT_TRUE(QueueEmpty("tohold"));
}

}  // namespace
}  // namespace pg::test
