// LPRng's lpr, lpq and lprm against the daemon. Jobs land byte-exact in the job store with the
// names lpr gives them kept as data, lpq shows them as the daemon's report formats them, lprm
// takes them away again (the queue's printer does not exist and a failed delivery is tried again
// only after ten minutes, so the jobs stay in the store). Local queues print through a real CUPS
// scheduler: a private cupsd whose raw queues write into device files; what comes out is what the
// text treatment makes of the job, byte for byte, and a queue that rejects jobs and a printer CUPS
// does not know take the failure paths with CUPS's own status codes.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/JobStore.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/platform/PrivateCupsd.h"
#include "tests/support/Process.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

// LPRng's clients find the daemon through a private $HOME/.printcap, which also sets
// lpr_send_try=1 so that a refused job fails at once; no system file is touched.
class LprngClients : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* program : {"/usr/bin/lpr", "/usr/bin/lpq", "/usr/bin/lprm"}) {
            if (::access(program, X_OK) != 0) {
                GTEST_SKIP() << program << " is missing (package lprng)";
            }
        }
        ASSERT_TRUE(FileExists("/etc/printcap"))
            << "LPRng's clients exit 33 without /etc/printcap (make deps creates it)";
    }
    // Printer pg<queue> for each queue of the daemon on port.
    void WritePrintcap(uint16_t port, const std::vector<std::string>& queues,
                       const std::string& options = "") {
        std::string text;
        for (const std::string& queue : queues) {
            text += "pg" + queue + ":lp=" + queue + "@127.0.0.1%" + std::to_string(port) +
                    ":force_localhost@:lpr_send_try=1" + options + "\n";
        }
        WriteFile(home_ / ".printcap", text);
    }
    // Runs an LPRng client, expects it to succeed and returns its output.
    std::string Run(const std::string& program, const std::string& printer,
                    std::vector<std::string> args) {
        Process::Options options;
        options.argv = runAs_;
        options.argv.insert(options.argv.end(), {"/usr/bin/" + program, "-P", printer});
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env = {"HOME=" + home_.Path(), "USER=root", "LOGNAME=root"};
        options.unsetEnv = {"PRINTER", "LPDEST"};
        std::string out, err;
        EXPECT_EQ(RunCommand(options, seconds(30), &out, &err), 0) << out << err;
        return out + err;
    }

    TempDir home_{"pglprng"};
    std::vector<std::string> runAs_;  // a command that runs the client as another user
};

class LprClient : public LprngClients {
  protected:
    LprClient()
        : daemon_(TestConfig()
                      .AddQueue("lp", "nowhere,,,never prints")
                      .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                      .Set("GENERAL CONFIGURE", "RetryDelayMs", "600000")
                      .Set("GENERAL CONFIGURE", "SyncSpool", "N")) {}

    void SetUp() override {
        LprngClients::SetUp();
        WritePrintcap(daemon_.Port(), {"lp"});
    }

    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueueIgnoringCase("lp"); }
    std::string Stored(const StoredFile& file) {
        return ReadFile(Queue()->Store()->PathOf(file.storeName));
    }
    std::string Run(const std::string& program, std::vector<std::string> args) {
        return LprngClients::Run(program, "pglp", std::move(args));
    }

    // Sends files with lpr and returns the job the daemon made of them (null on failure).
    std::shared_ptr<JobEntry> Print(std::vector<std::string> args) {
        const size_t before = Queue()->JobCount();
        Run("lpr", std::move(args));
        std::shared_ptr<JobEntry> job;
        WaitUntil([&] {
            auto jobs = Queue()->Jobs();
            job = jobs.size() > before && jobs.back()->State() == JobState::Waiting ? jobs.back()
                                                                                    : nullptr;
            return job != nullptr;
        });
        return job;
    }

    TestDaemon daemon_;
};

TEST_F(LprClient, JobLandsByteExactAndLpqListsIt) {
    const std::string text = "first page\r\nsecond line\f\n";
    const std::string binary = Bytes(70000);
    WriteFile(home_ / "letter.txt", text);
    WriteFile(home_ / "image.bin", binary);
    auto job = Print({"-l", "-J", "quarterly", home_ / "letter.txt", home_ / "image.bin"});
    ASSERT_TRUE(job);

    const std::string& control = job->record.control.clientName;
    ASSERT_EQ(control.substr(0, 3), "cfA");
    const std::string rest = control.substr(3);
    const std::string controlText = Stored(job->record.control);
    for (const std::string& line : {"ldfA" + rest, "ldfB" + rest, "UdfA" + rest}) {
        EXPECT_NE(controlText.find(line + "\n"), std::string::npos)
            << line << " in " << controlText;
    }
    ASSERT_EQ(job->record.data.size(), 2u);
    EXPECT_EQ(job->record.data[0].clientName, "dfA" + rest);
    EXPECT_EQ(Stored(job->record.data[0]), text);
    EXPECT_EQ(Stored(job->record.data[1]), binary);
    EXPECT_EQ(job->jobNo, std::stoi(rest.substr(0, 3)));
    EXPECT_EQ(job->userName, "root");
    EXPECT_EQ(job->jobName, "quarterly");
    EXPECT_NE(controlText.find("H" + job->hostName + "\n"), std::string::npos) << controlText;

    char number[16];
    std::snprintf(number, sizeof number, "%03d", job->jobNo);
    const std::string line = std::string("    #") + number + " quarterly from root@" +
                             job->hostName + " waiting " + job->timeDate;
    // lpq (as lpq -l) asks for the long list: a table row with the owner, the number, the title
    // and the size of all three files.
    const std::regex row(
        "\n\\S+ +root@" + job->hostName + " +" + std::to_string(job->jobNo) + " +quarterly +" +
        std::to_string(controlText.size() + text.size() + binary.size()) + " bytes\n");
    EXPECT_TRUE(std::regex_search(Run("lpq", {}), row)) << Run("lpq", {});
    EXPECT_NE(Run("lpq", {"-s"}).find(line), std::string::npos);
}

// lpr reads the reply to the data file's last byte at once: an ACK sent before the terminating
// zero has arrived showed up now and then as "pending input" after the transfer.
// The runs are nobody's: lpr run by root binds a reserved source port and leaves it in
// TIME_WAIT, and two hundred of those would crowd out the tests that need reserved ports.
TEST_F(LprClient, TwoHundredJobsInARowEndWithoutAProtocolError) {
    WriteFile(home_ / "note.txt", "note\n");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(home_.Path().c_str(), 0755), 0);
        runAs_ = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    }
    for (int i = 0; i < 200; ++i) {
        const std::string output = Run("lpr", {home_ / "note.txt"});
        ASSERT_EQ(output, "") << "job " << i;
    }
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 200; }));
}

// The jobs are made here, not sent with lpr: lpr numbers a job by its process id modulo 1000,
// and two jobs with one number would both go.
TEST_F(LprClient, LprmRemovesByNumberAndByUser) {
    auto first = StoreJob(*Queue(), 101, "root");
    auto kept = StoreJob(*Queue(), 102, "root");
    auto bobs = StoreJob(*Queue(), 103, "bob");
    Run("lprm", {"101"});
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 2; }));
    // lprm -U bob bob sends "bob" as the agent and as the user: bob's jobs go, no one else's.
    Run("lprm", {"-U", "bob", "bob"});
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 1; }));
    EXPECT_EQ(Queue()->Jobs().at(0), kept);
    EXPECT_EQ(JobFileCount(*Queue(), *first) + JobFileCount(*Queue(), *bobs), 0u);
    EXPECT_EQ(JobFileCount(*Queue(), *kept), 3u);
}

class LocalPrintCups : public LprngClients {
  protected:
    void SetUp() override {
        LprngClients::SetUp();
        if (IsSkipped()) {
            return;
        }
        std::string error;
        // "raw" prints, "closed" rejects jobs; the scheduler knows no "nosuch".
        if (!cupsd_.Start(
                {{.name = "raw", .isDefault = true}, {.name = "closed", .accepting = false}},
                &error)) {
            if (::geteuid() != 0) {
                GTEST_SKIP() << error;
            }
            FAIL() << error;
        }
        // After Start(): the printing threads read CUPS_SERVER when they first use libcups.
        daemon_ = std::make_unique<TestDaemon>(
            TestConfig()
                .Set("GENERAL CONFIGURE", "PrintSystem", "cups")
                .Set("GENERAL CONFIGURE", "RetryDelayMs", "300")
                .AddQueue("lp", "raw,,,Print in local/LAN printer - raw", "yes")
                .AddQueue("rejecting", "closed,,,Print in local/LAN printer - closed", "yes")
                .AddQueue("gone", "nosuch,,,Print in local/LAN printer - nosuch", "yes"));
        WritePrintcap(daemon_->Port(), {"lp", "rejecting"}, ":send_data_first");
    }

    std::shared_ptr<PrintQueue> Queue(const std::string& name) {
        return daemon_->Spooler().FindQueue(name);
    }
    void Lpr(const std::string& printer, std::vector<std::string> args) {
        Run("lpr", printer, std::move(args));
    }

    PrivateCupsd cupsd_;
    std::unique_ptr<TestDaemon> daemon_;  // after cupsd_: gone before the scheduler
};

TEST_F(LocalPrintCups, LprJobComesOutOfTheDeviceFileAsTheTextTreatmentMakesIt) {
    std::string letter;
    for (int i = 0; i < 400; ++i) {
        letter += "line " + std::to_string(i) + " of the letter\n";  // LF only, several blocks
    }
    std::string image;
    for (int i = 0; i < 5000; ++i) {
        image += static_cast<char>(0x80 + i % 128);  // binary from its first byte
    }
    image += std::string("\n\f\0 end", 7);
    WriteFile(home_ / "letter.txt", letter);
    WriteFile(home_ / "image.bin", image);

    // -h: no banner page (lpr asks for one by default); -l: send the binary file as it is.
    Lpr("pglp", {"-h", "-l", "-J", "Budget 2027", "-U", "alice", home_ / "letter.txt",
                 home_ / "image.bin"});
    ASSERT_TRUE(WaitUntil([&] { return daemon_->ScreenHas("Removing job"); }, seconds(20)));
    ASSERT_TRUE(cupsd_.WaitUntilIdle()) << cupsd_.ErrorLog();

    std::string expected;
    for (char c : letter) {
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    expected += "\r\f" + image;  // the binary file: unchanged, no form feed
    const std::string printed = cupsd_.Output("raw");
    EXPECT_TRUE(printed == expected) << "printed " << printed.size() << " bytes, expected "
                                     << expected.size() << "; " << cupsd_.ErrorLog();
    EXPECT_EQ(Queue("lp")->JobCount(), 0u);
    EXPECT_EQ(Queue("lp")->State(), QueueState::Running);
    // CUPS names the job after the whole J line and its owner after P, not this process.
    EXPECT_EQ(cupsd_.Jobs("raw", false), std::vector<std::string>{"Budget 2027 by alice"});
}

// A queue that rejects jobs fails each try of a job at its creation, and the job is tried again;
// a printer CUPS does not know is refused at reception (the destination test opens it), and a
// job in its queue all the same fails at the open and waits. Each failure carries CUPS's code.
TEST_F(LocalPrintCups, FailuresCarryCupsCodesAndTheJobsWait) {
    WriteFile(home_ / "memo.txt", "memo\n");
    Lpr("pgrejecting", {home_ / "memo.txt"});  // CUPS knows the printer: the job is taken
    const std::string rejected = "server-error-not-accepting-jobs";
    ASSERT_TRUE(daemon_->WaitForScreenLine(rejected));
    EXPECT_TRUE(WaitUntil([&] { return CountScreenLines(*daemon_, rejected) >= 2; }, seconds(15)));
    EXPECT_EQ(Queue("rejecting")->State(), QueueState::Running);
    EXPECT_EQ(Queue("rejecting")->JobCount(), 1u);
    EXPECT_TRUE(cupsd_.Jobs("", true).empty());
    EXPECT_EQ(cupsd_.Output("closed"), "");

    LoopbackClient client(daemon_->Port());
    client.Send("\002gone\n");
    EXPECT_EQ(client.Receive(1), std::string(1, '\1'));
    auto job = StoreJob(*Queue("gone"), 5, "ann");
    ASSERT_TRUE(daemon_->WaitForScreenLine("client-error-not-found"));
    EXPECT_TRUE(WaitUntil([&] { return job->Failures() >= 1; }));
    EXPECT_EQ(Queue("gone")->JobCount(), 1u);
}

}  // namespace
}  // namespace pg::test
