// Forwarding to a real remote LPD host: LPRng's lpd, private to the test. A job received by a
// Pressgate remote queue over the protocol is forwarded to lpd and arrives there complete: its
// data bytes in the output of lpd's queue store, its control lines in the job kept by lpd's
// queue hold, sent (as root) from one of the reserved ports.

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/PrintQueue.h"
#include "platform/ReservedPort.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/support/Process.h"

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
        const uint16_t port = FreePort();
        Process::Options options;
        options.argv = {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                        "mount --bind " + d + "/etc /etc/lprng && exec /usr/sbin/lpd -F -p " +
                            std::to_string(port) + " -P off"};
        lpd_ = std::make_unique<Process>(options);
        LoopbackClient waitsUntilLpdAnswers(port, seconds(10));

        const std::string lpdAt = "127.0.0.1," + std::to_string(port) + ",remote";
        daemon_ = std::make_unique<TestDaemon>(
            TestConfig().AddQueue("tostore", "store," + lpdAt).AddQueue("tohold", "hold," + lpdAt));
    }

    bool QueueEmpty(const std::string& queue) {
        auto printer = daemon_->Spooler().FindQueue(queue);
        return printer && WaitUntil([&] { return printer->JobCount() == 0; }, seconds(20));
    }

    // SIGTERM: lpd ends the children it made sessions of their own, which SIGKILL would leave.
    void TearDown() override {
        if (lpd_) {
            lpd_->Signal(SIGTERM);
            lpd_->Wait(seconds(10));
        }
    }
    std::string LpdOutput() const { return lpd_->Stdout() + lpd_->Stderr(); }

    TempDir dir_;
    std::unique_ptr<Process> lpd_;
    std::unique_ptr<TestDaemon> daemon_;
};

// Jobs beyond the ten reserved ports still go through (each ends with our side closing first,
// which keeps its local port in TIME_WAIT for a minute) and arrive with every data byte; a held
// job keeps the control file's lines and came from a reserved port.
TEST_F(LprngLpd, JobsArriveWholeFromReservedPorts) {
    std::string expected;
    for (int i = 0; i < 11; ++i) {
        const std::string data = i == 0 ? Bytes(300 * 1024 + 17, 1) : Bytes(100, i) + "\n";
        EXPECT_TRUE(
            SendJob(daemon_->Port(), "tostore", std::to_string(100 + i) + "localhost", data));
        expected += data;
    }
    const std::string data = Bytes(5000, 2);
    EXPECT_TRUE(SendJob(daemon_->Port(), "tohold", "142localhost", data));
    const std::string output = dir_ / "out/store.out";
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(output).size() >= expected.size(); }, seconds(60)))
        << LpdOutput();
    EXPECT_TRUE(ReadFile(output) == expected) << "store.out differs from the jobs' data";
    EXPECT_TRUE(QueueEmpty("tostore"));

    // lpd writes its job file ("key=value" lines) while it receives the job and rewrites it
    // afterwards: wait for a complete one, with the data file in full.
    const std::string spool = dir_ / "spool/hold";
    std::string jobFile, held;
    ASSERT_TRUE(WaitUntil(
        [&] {
            jobFile = "\n" + ReadFile(spool + "/hfA142");
            held = ReadFile(spool + "/dfA142localhost");
            return jobFile.find("\nremoteport=") != std::string::npos && held.size() == data.size();
        },
        seconds(20)))
        << LpdOutput();
    for (const char* line : {"\nH=localhost\n", "\nP=ann\n", "\nJ=job\n"}) {
        EXPECT_NE(jobFile.find(line), std::string::npos) << line << " in " << jobFile;
    }
    EXPECT_TRUE(held == data);
    const long port = std::strtol(jobFile.c_str() + jobFile.find("\nremoteport=") + 12, nullptr, 0);
    EXPECT_GE(port, kFirstReservedPort);
    EXPECT_LE(port, kLastReservedPort);
    EXPECT_TRUE(QueueEmpty("tohold"));
}

}  // namespace
}  // namespace pg::test
