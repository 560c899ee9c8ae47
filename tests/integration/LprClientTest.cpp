// LPRng's lpr, lpq and lprm against the daemon: jobs land byte-exact in the spool directory
// under the names lpr gives them, lpq shows them as the daemon's report formats them, lprm
// takes them away again. LPRng finds the daemon through a private $HOME/.printcap, which also
// sets lpr_send_try=1 so that a refused job fails at once; no system file is touched.

#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "tests/engine/EngineTestJobs.h"
#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

std::vector<std::string> SpoolNames(const std::string& directory, char first) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == first) {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

class LprClient : public ::testing::Test {
  protected:
    LprClient() : daemon_(TestConfig().AddLocalQueue("lp")), home_("pglprng") {}

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
        // Nothing is delivered while a spooling job is at the head of the queue, so the jobs
        // stay in the spool directory as they were received.
        auto plug = std::make_shared<JobEntry>();
        plug->jobNo = 999;
        Queue()->AddJob(plug);
    }

    std::shared_ptr<PrintQueue> Queue() { return daemon_.Spooler().FindQueueIgnoringCase("lp"); }
    std::string Spool() const { return daemon_.SpoolDirectory("lp"); }

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
    std::string binary;
    for (int i = 0; i < 70000; ++i) {
        binary += static_cast<char>((i * 7 + i / 256) & 0xff);
    }
    WriteFile(home_ / "letter.txt", text);
    WriteFile(home_ / "image.bin", binary);
    auto job = Print({"-l", "-J", "quarterly", home_ / "letter.txt", home_ / "image.bin"});
    ASSERT_TRUE(job);

    const std::vector<std::string> controls = SpoolNames(Spool(), 'c');
    ASSERT_EQ(controls.size(), 1u);
    ASSERT_EQ(controls[0].substr(0, 3), "cfA");
    const std::string control = ReadFile(Spool() + "/" + controls[0]);
    const std::string rest = controls[0].substr(3);
    for (const std::string& line : {"ldfA" + rest, "ldfB" + rest, "UdfA" + rest}) {
        EXPECT_NE(control.find(line + "\n"), std::string::npos) << line << " in " << control;
    }
    EXPECT_EQ(ReadFile(Spool() + "/dfA" + rest), text);
    EXPECT_EQ(ReadFile(Spool() + "/dfB" + rest), binary);
    EXPECT_EQ(SpoolNames(Spool(), 'd').size(), 2u);
    EXPECT_EQ(job->jobNo, std::stoi(rest.substr(0, 3)));
    EXPECT_EQ(job->userName, "root");
    EXPECT_EQ(job->jobName, "quarterly");
    EXPECT_NE(control.find("H" + job->hostName + "\n"), std::string::npos) << control;
    EXPECT_TRUE(job->unlinkFiles);

    char number[16];
    std::snprintf(number, sizeof number, "%03d", job->jobNo);
    const std::string line = std::string("    #") + number + " quarterly from root@" +
                             job->hostName + " waiting " + job->timeDate;
    // lpq and lpq -l ask for the long list: a table row with the owner, the number, the title
    // and the size of all three files.
    const std::regex row("\n\\S+ +root@" + job->hostName + " +" + std::to_string(job->jobNo) +
                         " +quarterly +" +
                         std::to_string(control.size() + text.size() + binary.size()) +
                         " bytes\n");
    EXPECT_TRUE(std::regex_search(Run("lpq", {}), row)) << Run("lpq", {});
    EXPECT_TRUE(std::regex_search(Run("lpq", {"-l"}), row));
    EXPECT_NE(Run("lpq", {"-s"}).find(line), std::string::npos);
}

// The jobs are made here, not sent with lpr: lpr numbers a job by its process id modulo 1000,
// and two jobs with one number would both go.
TEST_F(LprClient, LprmRemovesByNumberAndByUser) {
    Queue()->AddJob(MakeJob(*Queue(), 101, "root"));
    Queue()->AddJob(MakeJob(*Queue(), 102, "root"));
    Queue()->AddJob(MakeJob(*Queue(), 103, "bob"));
    Run("lprm", {"101"});
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 3; }));
    // lprm -U bob bob sends "bob" as the agent and as the user: bob's jobs go, no one else's.
    Run("lprm", {"-U", "bob", "bob"});
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 2; }));  // the plug and 102
    // The control files' U lines: the files went with the jobs.
    EXPECT_TRUE(WaitUntil([&] {
        return SpoolNames(Spool(), 'c') == std::vector<std::string>{"cfA102pc1"} &&
               SpoolNames(Spool(), 'd') == std::vector<std::string>{"dfA102pc1"};
    }));
}

}  // namespace
}  // namespace pg::test
