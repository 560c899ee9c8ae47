// LPRng's lpr, lpq and lprm against the daemon: jobs land byte-exact in the job store with the
// names lpr gives them kept as data, lpq shows them as the daemon's report formats them, lprm
// takes them away again. LPRng finds the daemon through a private $HOME/.printcap, which also
// sets lpr_send_try=1 so that a refused job fails at once; no system file is touched. The queue's
// printer does not exist and a failed delivery is tried again only after ten minutes, so the
// jobs stay in the store.

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
#include "tests/support/Process.h"

namespace pg::test {
namespace {

class LprClient : public ::testing::Test {
  protected:
    LprClient()
        : daemon_(TestConfig()
                      .AddQueue("lp", "nowhere,,,never prints")
                      .Set("GENERAL CONFIGURE", "TestPrintManager", "N")
                      .Set("GENERAL CONFIGURE", "RetryDelayMs", "600000")
                      .Set("GENERAL CONFIGURE", "SyncSpool", "N")),
          home_("pglprng") {}

    void SetUp() override {
        for (const char* program : {"/usr/bin/lpr", "/usr/bin/lpq", "/usr/bin/lprm"}) {
            if (::access(program, X_OK) != 0) {
                GTEST_SKIP() << program << " is missing (package lprng)";
            }
        }
        ASSERT_TRUE(FileExists("/etc/printcap"))
            << "LPRng's clients exit 33 without /etc/printcap (make deps creates it)";
        WriteFile(home_ / ".printcap", "pgtest:lp=lp@127.0.0.1%" + std::to_string(daemon_.Port()) +
                                           ":force_localhost@:lpr_send_try=1\n");
    }

    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueueIgnoringCase("lp"); }
    std::string Stored(const StoredFile& file) {
        return ReadFile(Queue()->Store()->PathOf(file.storeName));
    }

    // Runs an LPRng client, expects it to succeed and returns its output.
    std::string Run(const std::string& program, std::vector<std::string> args) {
        Process::Options options;
        options.argv = {"/usr/bin/" + program, "-P", "pgtest"};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env = {"HOME=" + home_.Path(), "USER=root", "LOGNAME=root"};
        options.unsetEnv = {"PRINTER", "LPDEST"};
        std::string out, err;
        EXPECT_EQ(RunCommand(options, std::chrono::seconds(30), &out, &err), 0) << out << err;
        return out + err;
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
    TempDir home_;
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
    // lpq and lpq -l ask for the long list: a table row with the owner, the number, the title
    // and the size of all three files.
    const std::regex row(
        "\n\\S+ +root@" + job->hostName + " +" + std::to_string(job->jobNo) + " +quarterly +" +
        std::to_string(controlText.size() + text.size() + binary.size()) + " bytes\n");
    EXPECT_TRUE(std::regex_search(Run("lpq", {}), row)) << Run("lpq", {});
    EXPECT_TRUE(std::regex_search(Run("lpq", {"-l"}), row));
    EXPECT_NE(Run("lpq", {"-s"}).find(line), std::string::npos);
}

// lpr reads the reply to the data file's last byte at once: an ACK sent before the terminating
// zero has arrived showed up now and then as "pending input" after the transfer.
TEST_F(LprClient, TwoHundredJobsInARowEndWithoutAProtocolError) {
    WriteFile(home_ / "note.txt", "note\n");
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

}  // namespace
}  // namespace pg::test
