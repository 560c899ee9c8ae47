// Job entries: reading control files (their fields and the data files they print) and their
// names, the Pause/Resume transitions and the entry's log lines.

#include "engine/JobEntry.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/PrintQueue.h"
#include "engine/SpoolFileName.h"
#include "tests/support/TestDaemon.h"

namespace pg::test {
namespace {

// The fields a control file sets, the empty ones left out: "H=host P=user B" (B for
// printBanner).
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
    return fields + (job.printBanner ? "B " : "");
}

TEST(ControlFile, TokenRules) {
    const std::string a254(254, 'a');
    // Control file, suppressBanner, the fields it sets.
    const std::tuple<std::string, bool, std::string> rows[] = {
        {"Hhost\nPuser\nJjob\nldfA123host\nUdfA123host\nNfile\n", false, "H=host J=job P=user "},
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
        // A word holds at most 255 characters; the character after a cut is lost and the rest
        // is a word of its own.
        {"J" + a254 + "\n", false, "J=" + a254 + " "},
        {"J" + a254 + "P\n", false, "J=" + a254 + " "},
        {"J" + a254 + "XPu\n", false, "J=" + a254 + " P=u "},
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

// The data files a job prints: the first word of every print line, in order, each once, in the
// whole control file (not only its first 4096 bytes).
TEST(ControlFile, PrintedFilesAreThoseOfThePrintLines) {
    const std::string far = std::string(5000, '\n');
    const std::pair<std::string, std::string> rows[] = {
        {"Hh\nldfA1\nUdfA1\nfdfB1\nldfA1\nNdfC1\n", "dfA1 dfB1 "},
        // "d d" names no file: its first word is empty.
        {"cc\nd d\nff\ngg\nkk\nll\nnn\noo\npp\nrr\ntt\nvv\nzz\n", "c f g k l n o p r t v z "},
        {"ldfA1 extra words\r\nl\nL\nbdfB1\n", "dfA1 "},
        {far + "odfA1\n", "dfA1 "},
        {"ldfA" + std::string(300, 'x') + "\n", "dfA" + std::string(252, 'x') + " "},
    };
    for (const auto& [text, names] : rows) {
        std::string got;
        for (const std::string& name : JobEntry::PrintedFiles(text)) {
            got += name + " ";
        }
        EXPECT_EQ(got, names) << testing::PrintToString(text.substr(0, 40));
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
    TestDaemon daemon;  // its screen sink catches the system log at level 3
    for (const auto& [from, name, pauseResult, afterPause, resumeResult, afterResume] : rows) {
        SCOPED_TRACE(name);
        JobEntry job;
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
                                    "JobEntry::~JobEntry : Deleting " + entry + "error"}) {
        EXPECT_TRUE(daemon.ScreenHas(line)) << line;
    }
}

// The name a client gives its control file gives the job number the reports show.
TEST(SpoolFileNameAnalysis, SplitsTheNameIntoPrefixNumberAndSuffix) {
    const struct {
        std::string name;
        int32_t prefixLength;
        std::string digits, suffix;
        int32_t jobNo;
    } rows[] = {
        {"cfA123host", 3, "123", "host", 123},
        {"cfA007host", 3, "007", "host", 7},
        // More than three digits: all of them, as far as the ten-character window reaches.
        {"cfA1234567890host", 3, "1234567", "890host", 1234567},
        // Only the first ten characters are scanned for digits.
        {"abcdefghij12x", 10, "", "12x", 0},
        // Nine digits at most, so the number fits.
        {"1234567890host", 0, "123456789", "0host", 123456789},
        {"", 0, "", "", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SpoolFileName analysis = SpoolFileName::Analyse(row.name);
        EXPECT_EQ(analysis.prefixLength, row.prefixLength);
        EXPECT_EQ(analysis.digits, row.digits);
        EXPECT_EQ(analysis.suffix, row.suffix);
        EXPECT_EQ(analysis.JobNumber(), row.jobNo);
    }
}

}  // namespace
}  // namespace pg::test
