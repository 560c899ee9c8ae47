// Job entries: the fields a control file sets, the data files it prints, the number a control
// file's name gives, and Pause/Resume in each state.

#include "engine/JobEntry.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>

#include "engine/PrintQueue.h"
#include "engine/SpoolFileName.h"

namespace pg::test {
namespace {

// The fields a control file sets, the empty ones left out: "H=host P=user B" (B: a banner).
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

TEST(ControlFile, FieldsAndPrintedFiles) {
    const std::tuple<std::string, bool, std::string> rows[] = {
        {"Hhost\r\nPuser\r\n\t Jjob\nCclass\nMmail\nTtitle\nldfA1\n", false,
         "C=class H=host J=job M=mail P=user T=title "},
        {"hhost\npuser\n", false, ""},         // case counts
        {"JMy Test\n", false, "J=My T=est "},  // words, not lines
        {"Jfirst\nJsecond\n", false, "J=second "},
        {"Lann\n", false, "L=ann B "},
        {"Lann\n", true, "L=ann "},
        {"Hhost\nPuser", false, "H=host "},  // the last word only when something follows
    };
    for (const auto& [text, suppressBanner, fields] : rows) {
        EXPECT_EQ(Fields(text, suppressBanner), fields) << testing::PrintToString(text);
    }
    // The first word of every print line, in order, each once, beyond the first 4096 bytes too.
    std::string printed;
    for (const std::string& name :
         JobEntry::PrintedFiles("ldfA1\nUdfA1\nfdfB1\nldfA1\nNdfC1\nd d\n" +
                                std::string(5000, '\n') + "odfD1 x\r\n")) {
        printed += name + " ";
    }
    EXPECT_EQ(printed, "dfA1 dfB1 dfD1 ");
}

TEST(JobStates, PauseAndResumeInEveryState) {
    using S = JobState;
    // State, Pause() and the state after it, Resume() and the state after it.
    const std::tuple<S, bool, S, bool, S> rows[] = {
        {S::Spooling, false, S::Spooling, false, S::Spooling},
        {S::Waiting, true, S::Pause, true, S::Waiting},
        {S::Printing, false, S::Printing, false, S::Printing},
        {S::Pause, false, S::Pause, true, S::Waiting},
        {S::Stop, true, S::Stop, true, S::Waiting},
        {S::Error, false, S::Error, true, S::Waiting},
    };
    for (const auto& [from, pauseResult, afterPause, resumeResult, afterResume] : rows) {
        JobEntry job;
        job.SetState(from);
        EXPECT_EQ(job.Pause(), pauseResult);
        EXPECT_EQ(job.State(), afterPause);
        job.SetState(from);
        EXPECT_EQ(job.Resume(), resumeResult);
        EXPECT_EQ(job.State(), afterResume);
    }
}

TEST(SpoolFileNameAnalysis, TheJobNumberOfAControlFilesName) {
    const std::pair<std::string, int32_t> rows[] = {{"cfA123host", 123},
                                                    {"cfA007host", 7},
                                                    {"cfA1234567890host", 1234567},
                                                    {"abcdefghij12x", 0},
                                                    {"1234567890host", 123456789},
                                                    {"", 0}};
    for (const auto& [name, jobNo] : rows) {
        EXPECT_EQ(SpoolFileName::Analyse(name).JobNumber(), jobNo) << name;
    }
}

}  // namespace
}  // namespace pg::test
