// LPRng's lpr, lpq and lprm against the daemon: jobs land byte-exact in the spool directory
// under the names lpr gives them, lpq shows them as the daemon's report formats them, lprm
// takes them away again.
//
// LPRng is pointed at the daemon through a private $HOME/.printcap, which also sets
// lpr_send_try=1 so that a refused job fails at once instead of being retried for 20 s; no
// system file is touched.

#include <dirent.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"
#include "tests/integration/ExternalProgram.h"
#include "tests/support/Loopback.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

using std::chrono::seconds;

const std::string kLpr = "/usr/bin/lpr";
const std::string kLpq = "/usr/bin/lpq";
const std::string kLprm = "/usr/bin/lprm";

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

// The operands of a control file's lines that start with letter.
std::vector<std::string> ControlLines(const std::string& control, char letter) {
    std::vector<std::string> operands;
    size_t start = 0;
    while (start < control.size()) {
        size_t end = control.find('\n', start);
        if (end == std::string::npos) {
            end = control.size();
        }
        if (control[start] == letter) {
            operands.push_back(control.substr(start + 1, end - start - 1));
        }
        start = end + 1;
    }
    return operands;
}

class LprClient : public ::testing::Test {
  protected:
    LprClient() : daemon_(TestConfig().AddLocalQueue("lp")), home_("pglprng") {}

    void SetUp() override {
        for (const std::string& program : {kLpr, kLpq, kLprm}) {
            if (!IsExecutable(program)) {
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
        plug->userName = "plug";
        Queue()->AddJob(plug);
    }

    std::shared_ptr<LPDPrinter> Queue() { return daemon_.Spooler().FindPrinter("lp"); }
    std::string Spool() const { return daemon_.SpoolDirectory("lp"); }

    ProgramResult Run(const std::string& program, std::vector<std::string> args) {
        args.insert(args.begin(), {program, "-P", "pgtest"});
        return RunProgram(args, {"HOME=" + home_.Path(), "USER=root", "LOGNAME=root"}, seconds(30));
    }

    // Sends files with lpr and returns the job the daemon made of them (null on failure).
    std::shared_ptr<JobEntry> Print(std::vector<std::string> args) {
        const size_t before = Queue()->JobCount();
        const ProgramResult lpr = Run(kLpr, std::move(args));
        EXPECT_EQ(lpr.exitCode, 0) << lpr.output;
        std::shared_ptr<JobEntry> job;
        WaitUntil([&] {
            auto jobs = Queue()->Jobs();
            if (jobs.size() <= before || jobs.back()->State() != JobState::Waiting) {
                return false;
            }
            job = jobs.back();
            return true;
        });
        return job;
    }

    TestDaemon daemon_;
    TempDir home_;
};

TEST_F(LprClient, JobLandsByteExactUnderTheNamesLprGave) {
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
    const std::string& controlName = controls[0];
    EXPECT_EQ(controlName.substr(0, 3), "cfA");
    const std::string control = ReadFile(Spool() + "/" + controlName);
    const std::vector<std::string> data = ControlLines(control, 'l');
    ASSERT_EQ(data.size(), 2u) << control;
    EXPECT_EQ(data[0], "dfA" + controlName.substr(3));
    EXPECT_EQ(data[1], "dfB" + controlName.substr(3));
    EXPECT_EQ(ReadFile(Spool() + "/" + data[0]), text);
    EXPECT_EQ(ReadFile(Spool() + "/" + data[1]), binary);
    EXPECT_EQ(SpoolNames(Spool(), 'd').size(), 2u);

    EXPECT_EQ(job->jobNo, std::stoi(controlName.substr(3, 3)));
    EXPECT_EQ(job->userName, "root");
    EXPECT_EQ(job->jobName, "quarterly");
    EXPECT_EQ(job->hostName, ControlLines(control, 'H').at(0));
    EXPECT_TRUE(job->unlinkFiles) << "LPRng sends U lines";
}

TEST_F(LprClient, LpqListsTheJobAsTheReportFormatsIt) {
    WriteFile(home_ / "memo.txt", "memo\n");
    auto job = Print({"-J", "memo", home_ / "memo.txt"});
    ASSERT_TRUE(job);
    char number[16];
    std::snprintf(number, sizeof number, "%03d", job->jobNo);
    const std::string line = std::string("    #") + number + " memo from root@" + job->hostName +
                             " waiting " + job->timeDate;

    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"-l"}, {"-s"}}) {
        const ProgramResult lpq = Run(kLpq, options);
        SCOPED_TRACE(options.empty() ? "lpq" : "lpq " + options[0]);
        EXPECT_EQ(lpq.exitCode, 0) << lpq.output;
        EXPECT_NE(lpq.output.find(line), std::string::npos) << lpq.output;
    }
    // The long list (lpq and lpq -l ask for it) goes on with the list value and status text.
    EXPECT_NE(Run(kLpq, {}).output.find(line + " 5 "), std::string::npos);
}

TEST_F(LprClient, LprmByNumberRemovesTheJobAndItsFiles) {
    WriteFile(home_ / "draft.txt", "draft\n");
    auto job = Print({home_ / "draft.txt"});
    ASSERT_TRUE(job);
    WriteFile(home_ / "keep.txt", "keep\n");
    auto kept = Print({home_ / "keep.txt"});
    ASSERT_TRUE(kept);
    ASSERT_EQ(SpoolNames(Spool(), 'c').size(), 2u);

    const ProgramResult lprm = Run(kLprm, {std::to_string(job->jobNo)});
    EXPECT_EQ(lprm.exitCode, 0) << lprm.output;
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 2; }));  // the plug and the other
    const std::string pattern = job->FilePattern();
    job.reset();
    // The control file's U lines: the files went with the job.
    EXPECT_TRUE(WaitUntil([&] { return SpoolNames(Spool(), 'c').size() == 1; }));
    EXPECT_EQ(SpoolNames(Spool(), 'd').size(), 1u);
    EXPECT_EQ(ReadFile(Spool() + "/" + SpoolNames(Spool(), 'd').at(0)), "keep\n");
    EXPECT_NE(pattern, kept->FilePattern());
}

// lprm -U bob bob sends "bob" as the agent and as the user: the daemon removes that user's
// jobs, and no one else's.
TEST_F(LprClient, LprmByUserRemovesThatUsersJobs) {
    WriteFile(home_ / "a.txt", "a\n");
    WriteFile(home_ / "b.txt", "b\n");
    auto bobs = Print({"-U", "bob", home_ / "a.txt"});
    ASSERT_TRUE(bobs);
    EXPECT_EQ(bobs->userName, "bob");
    auto roots = Print({home_ / "b.txt"});
    ASSERT_TRUE(roots);

    const ProgramResult lprm = Run(kLprm, {"-U", "bob", "bob"});
    EXPECT_EQ(lprm.exitCode, 0) << lprm.output;
    EXPECT_TRUE(WaitUntil([&] { return Queue()->JobCount() == 2; }));
    for (const auto& job : Queue()->Jobs()) {
        EXPECT_NE(job->userName, "bob");
    }
    bobs.reset();
    EXPECT_TRUE(WaitUntil([&] { return SpoolNames(Spool(), 'd').size() == 1; }));
}

}  // namespace
}  // namespace pg::test
