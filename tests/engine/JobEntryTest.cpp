// Job entries: reading control files, the Pause/Resume transitions, the job's spool files
// (total size, deletion with the entry) and the entry's log lines.

#include "engine/JobEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/PrintQueue.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

// The fields a control file sets, the empty ones left out: "H=host P=user U B" (U for
// unlinkFiles, B for printBanner).
std::string Fields(const std::string& text, bool suppressBanner = false) {
    JobEntry job;
    job.ReadControlFile(text, suppressBanner);
    const std::string* values[] = {&job.className, &job.hostName, &job.jobName, &job.bannerUser,
                                   &job.mailUser,  &job.userName, &job.title};
    std::string fields;
    for (size_t i = 0; i < std::size(values); ++i) {
        if (!values[i]->empty()) {
            fields += std::string(1, "CHJLMPT"[i]) + "=" + *values[i] + " ";
        }
    }
    return fields + (job.unlinkFiles ? "U " : "") + (job.printBanner ? "B " : "");
}

TEST(ControlFile, TokenRules) {
    const std::string a254(254, 'a');
    // Control file, suppressBanner, the fields it sets.
    const std::tuple<std::string, bool, std::string> rows[] = {
        {"Hhost\nPuser\nJjob\nldfA123host\nUdfA123host\nNfile\n", false, "H=host J=job P=user U "},
        {"Cclass\nMmail\nTtitle\nS1 2\nI8\nW132\nfdfA1h\n1font\n", false,
         "C=class M=mail T=title "},
        {"hhost\npuser\njjob\nuname\n", false, ""},  // case counts
        {"Hfirst\nH host\n", false, ""},             // "H" has an empty operand, "host" is ignored
        {"JMy Test\n", false, "J=My T=est "},        // words, not lines
        {"Hhost\r\nPuser\r\n\t\v\f  Jjob\r\n", false, "H=host J=job P=user "},
        {"Jfirst\nJsecond\nPann\nPbob\n", false, "J=second P=bob "},
        {"Lann\n", false, "L=ann B "},
        {"Lann\n", true, "L=ann "},
        // The last word is read only when something follows it.
        {"Hhost\nJjob\nPuser", false, "H=host J=job "},
        {"U", false, ""},
        {"U\n", false, "U "},
        // A word holds at most 255 characters; the character after a cut is lost and the rest
        // is a word of its own.
        {"J" + a254 + "\n", false, "J=" + a254 + " "},
        {"J" + a254 + "U\n", false, "J=" + a254 + " "},
        {"J" + a254 + "XU\n", false, "J=" + a254 + " U "},
        // Only the first 4096 bytes are read: a line whose line feed is byte 4096 is read, one
        // whose line feed is byte 4097 is the last word and is not.
        {std::string(4090, '\n') + "Puser\nHafter\n", false, "P=user "},
        {std::string(4091, '\n') + "Puser\nHafter\n", false, ""},
    };
    for (const auto& [text, suppressBanner, fields] : rows) {
        SCOPED_TRACE(testing::PrintToString(text.substr(0, 80)));
        EXPECT_EQ(Fields(text, suppressBanner), fields);
    }
}

// Pause, Resume and the entry's deletion are logged at level 3, refused or not.
TEST(JobStates, PauseAndResumeInEveryStateAndTheirNamesAndLogLines) {
    // State, its name, Pause() and the state after it, Resume() and the state after it.
    using S = JobState;
    const std::tuple<S, const char*, bool, S, bool, S> rows[] = {
        {S::Spooling, "spooling", false, S::Spooling, false, S::Spooling},
        {S::Waiting, "waiting", true, S::Pause, true, S::Waiting},
        {S::Printing, "printing", false, S::Printing, false, S::Printing},
        {S::Pause, "pause", false, S::Pause, true, S::Waiting},
        {S::Stop, "stop", true, S::Stop, true, S::Waiting},
        {S::Close, "close", false, S::Close, false, S::Close},
        {S::Error, "error", false, S::Error, true, S::Waiting},
    };
    TestDaemon daemon;      // its screen sink catches the system log at level 3
    PrintQueue queue("x");  // Resume wakes the owning queue, after releasing the job's lock
    for (const auto& [from, name, pauseResult, afterPause, resumeResult, afterResume] : rows) {
        SCOPED_TRACE(name);
        JobEntry job;
        job.queue = &queue;
        job.jobNo = 7;
        job.nameSuffix = "pc1";
        job.hostName = "pc1.example";
        job.queueName = name;
        job.SetState(from);
        std::string stateName = "previous";
        job.StateName(stateName);
        EXPECT_EQ(stateName, name);
        EXPECT_EQ(job.Pause(), pauseResult);
        EXPECT_EQ(job.State(), afterPause);
        job.SetState(from);
        EXPECT_EQ(job.Resume(), resumeResult);
        EXPECT_EQ(job.State(), afterResume);
    }
    EXPECT_EQ(JobEntry().State(), JobState::Spooling);
    EXPECT_STREQ(JobStateName(0), "unknown?");
    EXPECT_STREQ(JobStateName(8), "unknown?");
    const std::string entry = "Job entry (jobName-7pc1 from host-pc1.example) in printer queue ";
    for (const std::string& line : {"JobEntry::Pause() : Pause " + entry + "printing",
                                    "JobEntry::Resume() : Resume " + entry + "close",
                                    "JobEntry::~JobEntry : Deleting " + entry + "spooling"}) {
        EXPECT_TRUE(daemon.ScreenHas(line)) << line;
    }
}

// Every file that matches the job's pattern counts for its size (low 32 bits each, the sum in
// 32 bits) and goes with the entry when its control file had a U line, and only then.
TEST(JobSpoolFiles, SizeAndDeletionCoverEveryFileOfTheJobAndNoOther) {
    TempDir dir;
    WriteFile(dir / "cfA123host", "Hhost\nPann\nUdfA123host\n");  // 23 bytes
    WriteFile(dir / "dfA123host", std::string(1000, 'x'));
    WriteFile(dir / "dfB123host", std::string(10, 'y'));
    WriteFile(dir / "cfA124host", "other job");
    WriteFile(dir / "dfA123other", "other host");
    WriteFile(dir / "cfA123empty", "");
    WriteFile(dir / "cfA123big", "");
    WriteFile(dir / "dfA123big", "abc");
    ASSERT_EQ(truncate((dir / "cfA123big").c_str(), (off_t{1} << 32) + 5), 0);
    // Only regular files are the job's: not a directory, not a link to one of its files.
    ASSERT_EQ(mkdir((dir / "xfA123host").c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir / "dfA123host").c_str(), (dir / "lfA123host").c_str()), 0);
    auto makeJob = [&](const std::string& suffix, const std::string& control) {
        auto job = std::make_unique<JobEntry>();
        job->jobNo = 123;
        job->prefixLength = 3;
        job->digitCount = 3;
        job->nameSuffix = suffix;
        job->spoolDirectory = dir.Path();
        job->ReadControlFile(control, false);
        return job;
    };
    auto job = makeJob("host", "Hhost\n");
    EXPECT_EQ(job->TotalSize(), 23u + 1000u + 10u);
    EXPECT_EQ(job->SpoolFiles(true).size(), 2u);  // the data files
    EXPECT_EQ(makeJob("big", "Hhost\n")->TotalSize(), 8u);
    EXPECT_EQ(job->StatusText(), "");

    for (bool unlink : {false, true}) {
        makeJob("host", unlink ? "UdfA123host\n" : "ldfA123host\n").reset();
        for (const char* name : {"cfA123host", "dfA123host", "dfB123host"}) {
            EXPECT_EQ(FileExists(dir / name), !unlink) << name;
        }
    }
    EXPECT_TRUE(FileExists(dir / "cfA124host") && FileExists(dir / "dfA123other"));
    // Found, though empty, is not missing; gone is.
    auto empty = makeJob("empty", "Hhost\n");
    EXPECT_EQ(empty->TotalSize(), 0u);
    EXPECT_EQ(empty->StatusText(), "");
    EXPECT_EQ(job->TotalSize(), 0u);
    EXPECT_EQ(job->StatusText(),
              "Error in finding print data file -  " + dir.Path() + "/???123host");
}

}  // namespace
}  // namespace pg::test
