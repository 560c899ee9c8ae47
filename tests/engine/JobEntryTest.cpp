// Job entries: reading control files, the Pause/Resume transitions, the job's spool files
// (total size, deletion with the entry) and the entry's log lines.

#include "engine/JobEntry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/LPDPrinter.h"
#include "log/cLogFile.h"
#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

// JobEntry is not copyable: fill one in place.
std::unique_ptr<JobEntry> Parse(const std::string& text, bool suppressBanner = false) {
    auto job = std::make_unique<JobEntry>();
    job->ReadControlFile(text, suppressBanner);
    return job;
}

// --- control files -------------------------------------------------------------------------

TEST(ControlFile, ReadsTheLinesItKnowsAndIgnoresTheRest) {
    auto job = Parse("Hhost\nPuser\nJjob\nldfA123host\nUdfA123host\nNfile\n");
    EXPECT_EQ(job->hostName, "host");
    EXPECT_EQ(job->userName, "user");
    EXPECT_EQ(job->jobName, "job");
    EXPECT_TRUE(job->unlinkFiles);
    EXPECT_EQ(job->className, "");
    EXPECT_EQ(job->bannerUser, "");
    EXPECT_EQ(job->mailUser, "");
    EXPECT_EQ(job->title, "");
    EXPECT_FALSE(job->printBanner);
}

TEST(ControlFile, EveryOperandGoesToItsField) {
    auto job = Parse("Cclass\nMmail\nTtitle\nLbanner\nS1 2\nI8\nW132\nfdfA1h\n1font\n");
    EXPECT_EQ(job->className, "class");
    EXPECT_EQ(job->mailUser, "mail");
    EXPECT_EQ(job->title, "title");
    EXPECT_EQ(job->bannerUser, "banner");
    EXPECT_FALSE(job->unlinkFiles);
    EXPECT_EQ(job->hostName, "");
    EXPECT_EQ(job->userName, "");
}

TEST(ControlFile, LowerCaseLettersAreOtherLines) {
    auto job = Parse("hhost\npuser\njjob\nuname\n");
    EXPECT_EQ(job->hostName, "");
    EXPECT_EQ(job->userName, "");
    EXPECT_EQ(job->jobName, "");
    EXPECT_FALSE(job->unlinkFiles);
}

// "H host": the token "H" has an empty operand; "host" is a token of its own and ignored.
TEST(ControlFile, ABlankAfterTheLetterGivesAnEmptyOperand) {
    auto job = Parse("Hfirst\nH host\n");
    EXPECT_EQ(job->hostName, "");
}

// Words, not lines: "JMy Test" is job name "My" and, through "Test", title "est".
TEST(ControlFile, EveryWordIsReadAsALine) {
    auto job = Parse("JMy Test\n");
    EXPECT_EQ(job->jobName, "My");
    EXPECT_EQ(job->title, "est");
}

TEST(ControlFile, TheLastWordIsOnlyReadWhenSomethingFollowsIt) {
    auto job = Parse("Hhost\nJjob\nPuser");
    EXPECT_EQ(job->hostName, "host");
    EXPECT_EQ(job->jobName, "job");
    EXPECT_EQ(job->userName, "");

    EXPECT_EQ(Parse("Hhost\nJjob\nPuser ")->userName, "user");
    EXPECT_TRUE(Parse("")->hostName.empty());
    EXPECT_EQ(Parse("U")->unlinkFiles, false);
    EXPECT_EQ(Parse("U\n")->unlinkFiles, true);
}

TEST(ControlFile, TheLaterOfTwoLinesWins) {
    auto job = Parse("Jfirst\nJsecond\nPann\nPbob\n");
    EXPECT_EQ(job->jobName, "second");
    EXPECT_EQ(job->userName, "bob");
}

TEST(ControlFile, ABannerLineAsksForABannerUnlessSuppressed) {
    auto shown = Parse("Lann\n", false);
    EXPECT_EQ(shown->bannerUser, "ann");
    EXPECT_TRUE(shown->printBanner);

    auto suppressed = Parse("Lann\n", true);
    EXPECT_EQ(suppressed->bannerUser, "ann");
    EXPECT_FALSE(suppressed->printBanner);

    EXPECT_FALSE(Parse("Pann\n", false)->printBanner);
}

TEST(ControlFile, CarriageReturnsAndRunsOfWhiteSpaceSeparateWords) {
    auto job = Parse("Hhost\r\nPuser\r\n\t\v\f  Jjob\r\n");
    EXPECT_EQ(job->hostName, "host");
    EXPECT_EQ(job->userName, "user");
    EXPECT_EQ(job->jobName, "job");
}

// A word holds at most 255 characters; the character after a cut is lost and the rest is a
// word of its own.
TEST(ControlFile, WordsAreCutAt255CharactersAndLoseOneCharacter) {
    const std::string operand254(254, 'a');

    auto fits = Parse("J" + operand254 + "\n");  // 255 characters
    EXPECT_EQ(fits->jobName, operand254);

    auto cutBeforeU = Parse("J" + operand254 + "U\n");  // 256: the U is the lost character
    EXPECT_EQ(cutBeforeU->jobName, operand254);
    EXPECT_FALSE(cutBeforeU->unlinkFiles);

    auto cutBeforeXU = Parse("J" + operand254 + "XU\n");  // 257: the U starts a new word
    EXPECT_EQ(cutBeforeXU->jobName, operand254);
    EXPECT_TRUE(cutBeforeXU->unlinkFiles);

    // A 300-character word: the first 255, one lost, the other 44 read as "T" + 43.
    const std::string rest = "T" + std::string(43, 'b');
    auto long300 = Parse("J" + operand254 + "X" + rest + "\nPuser\n");
    EXPECT_EQ(long300->jobName, operand254);
    EXPECT_EQ(long300->title, std::string(43, 'b'));
    EXPECT_EQ(long300->userName, "user");
}

// Only the first 4096 bytes count: a line whose line feed is byte 4096 is read, one whose line
// feed is byte 4097 reaches the end of what is read and is not.
TEST(ControlFile, OnlyTheFirst4096BytesAreRead) {
    const std::string line = "Puser\n";
    auto textWithLineEndingAt = [&](size_t end) {
        std::string text(end - line.size(), '\n');
        return text + line + "Hafter\n";
    };
    auto inside = Parse(textWithLineEndingAt(4095));
    EXPECT_EQ(inside->userName, "user");
    EXPECT_EQ(inside->hostName, "");

    auto atLimit = Parse(textWithLineEndingAt(4096));
    EXPECT_EQ(atLimit->userName, "user");
    EXPECT_EQ(atLimit->hostName, "");

    auto beyond = Parse(textWithLineEndingAt(4097));
    EXPECT_EQ(beyond->userName, "");
    EXPECT_EQ(beyond->hostName, "");
}

// --- states ------------------------------------------------------------------------------------

struct TransitionRow {
    JobState from;
    bool pauseResult;
    JobState afterPause;
    bool resumeResult;
    JobState afterResume;
};

TEST(JobStateTransitions, PauseAndResumeInEveryState) {
    const std::vector<TransitionRow> table{
        {JobState::Spooling, false, JobState::Spooling, false, JobState::Spooling},
        {JobState::Waiting, true, JobState::Pause, true, JobState::Waiting},
        {JobState::Printing, false, JobState::Printing, false, JobState::Printing},
        {JobState::Pause, false, JobState::Pause, true, JobState::Waiting},
        {JobState::Stop, true, JobState::Stop, true, JobState::Waiting},
        {JobState::Close, false, JobState::Close, false, JobState::Close},
        {JobState::Error, false, JobState::Error, true, JobState::Waiting},
    };
    for (const TransitionRow& row : table) {
        const std::string from = JobStateName(static_cast<uint8_t>(row.from));
        JobEntry paused;
        paused.SetState(row.from);
        EXPECT_EQ(paused.Pause(), row.pauseResult) << from;
        EXPECT_EQ(paused.State(), row.afterPause) << from;

        JobEntry resumed;
        resumed.SetState(row.from);
        EXPECT_EQ(resumed.Resume(), row.resumeResult) << from;
        EXPECT_EQ(resumed.State(), row.afterResume) << from;
    }
}

// Resume wakes the owning queue; the queue's lock is taken after the job's is released.
TEST(JobStateTransitions, ResumeWithAQueue) {
    LPDPrinter queue("lp");
    JobEntry job;
    job.queue = &queue;
    job.SetState(JobState::Pause);
    EXPECT_TRUE(job.Resume());
    EXPECT_EQ(job.State(), JobState::Waiting);
}

TEST(JobStateTransitions, ANewEntryIsSpooling) {
    JobEntry job;
    EXPECT_EQ(job.State(), JobState::Spooling);
    EXPECT_EQ(job.StatusText(), "");
    EXPECT_FALSE(job.unlinkFiles);
    EXPECT_FALSE(job.printBanner);
}

TEST(JobStateTransitions, ChangeStateOnlyFromTheGivenState) {
    JobEntry job;
    EXPECT_FALSE(job.ChangeState(JobState::Waiting, JobState::Printing));
    EXPECT_EQ(job.State(), JobState::Spooling);
    EXPECT_TRUE(job.ChangeState(JobState::Spooling, JobState::Waiting));
    EXPECT_EQ(job.State(), JobState::Waiting);
}

TEST(JobStateNames, EveryStateAndUnknownValues) {
    const std::vector<std::string> names{"spooling", "waiting", "printing", "pause",
                                         "stop",     "close",   "error"};
    for (uint8_t value = 1; value <= 7; ++value) {
        EXPECT_EQ(JobStateName(value), names[value - 1]);
        JobEntry job;
        job.SetState(static_cast<JobState>(value));
        std::string name = "previous";
        job.StateName(name);
        EXPECT_EQ(name, names[value - 1]);
    }
    EXPECT_STREQ(JobStateName(0), "unknown?");
    EXPECT_STREQ(JobStateName(8), "unknown?");
    EXPECT_STREQ(JobStateName(255), "unknown?");
}

// --- spool files -------------------------------------------------------------------------------

class JobSpoolFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(dir / "cfA123host", "Hhost\nPann\nUdfA123host\n");  // 23 bytes
        WriteFile(dir / "dfA123host", std::string(1000, 'x'));
        WriteFile(dir / "dfB123host", std::string(10, 'y'));
        WriteFile(dir / "cfA124host", "other job");
        WriteFile(dir / "dfA123other", "other host");
    }

    std::unique_ptr<JobEntry> MakeJob(const std::string& controlFile) {
        auto job = std::make_unique<JobEntry>();
        job->jobNo = 123;
        job->prefixLength = 3;
        job->digitCount = 3;
        job->nameSuffix = "host";
        job->queueName = "lp";
        job->spoolDirectory = dir.Path();
        job->ReadControlFile(controlFile, false);
        return job;
    }

    bool OtherJobsUntouched() {
        return FileExists(dir / "cfA124host") && FileExists(dir / "dfA123other");
    }

    TempDir dir;
};

TEST_F(JobSpoolFiles, TheEntryTakesItsFilesWithItWhenAULineWasRead) {
    auto job = MakeJob("Hhost\nPann\nUdfA123host\n");
    ASSERT_TRUE(job->unlinkFiles);
    job.reset();
    EXPECT_FALSE(FileExists(dir / "cfA123host"));
    EXPECT_FALSE(FileExists(dir / "dfA123host"));
    EXPECT_FALSE(FileExists(dir / "dfB123host"));
    EXPECT_TRUE(OtherJobsUntouched());
}

TEST_F(JobSpoolFiles, WithoutAULineTheFilesStay) {
    auto job = MakeJob("Hhost\nPann\nldfA123host\n");
    ASSERT_FALSE(job->unlinkFiles);
    job.reset();
    EXPECT_TRUE(FileExists(dir / "cfA123host"));
    EXPECT_TRUE(FileExists(dir / "dfA123host"));
    EXPECT_TRUE(FileExists(dir / "dfB123host"));
    EXPECT_TRUE(OtherJobsUntouched());
}

TEST_F(JobSpoolFiles, TotalSizeCountsTheControlFileAndEveryDataFile) {
    auto job = MakeJob("Hhost\n");
    EXPECT_EQ(job->TotalSize(), 23u + 1000u + 10u);
    EXPECT_EQ(job->StatusText(), "");
    EXPECT_EQ(job->SpoolFiles().size(), 3u);
    const std::vector<SpoolFile> data = job->SpoolFiles(true);
    ASSERT_EQ(data.size(), 2u);
    for (const SpoolFile& file : data) {
        EXPECT_EQ(file.name[0], 'd');
    }
}

TEST_F(JobSpoolFiles, TotalSizeOfAJobWhoseFilesAreGone) {
    auto job = MakeJob("Hhost\n");
    job->SetStatusText("Spooling to destination printer");
    for (const char* name : {"cfA123host", "dfA123host", "dfB123host"}) {
        ASSERT_EQ(unlink((dir / name).c_str()), 0);
    }
    EXPECT_EQ(job->TotalSize(), 0u);
    EXPECT_EQ(job->StatusText(),
              "Error in finding print data file -  " + dir.Path() + "/???123host");
}

// Empty files are found: a total of 0 is not a missing job.
TEST_F(JobSpoolFiles, EmptyFilesAreNotMissingFiles) {
    auto job = MakeJob("Hhost\n");
    job->nameSuffix = "empty";
    WriteFile(dir / "cfA123empty", "");
    EXPECT_EQ(job->TotalSize(), 0u);
    EXPECT_EQ(job->StatusText(), "");
}

// Each size counts with its low 32 bits, and the sum wraps in 32 bits.
TEST_F(JobSpoolFiles, TotalSizeAddsLow32BitsInUnsigned32BitArithmetic) {
    auto job = MakeJob("Hhost\n");
    job->nameSuffix = "big";
    WriteFile(dir / "cfA123big", "");
    WriteFile(dir / "dfA123big", "");
    WriteFile(dir / "dfB123big", "abc");
    ASSERT_EQ(truncate((dir / "cfA123big").c_str(), (off_t{1} << 32) + 5), 0);
    EXPECT_EQ(job->TotalSize(), 8u);

    ASSERT_EQ(truncate((dir / "cfA123big").c_str(), 0xFFFFFFFF), 0);
    ASSERT_EQ(truncate((dir / "dfA123big").c_str(), 0xFFFFFFFF), 0);
    EXPECT_EQ(job->TotalSize(), 0xFFFFFFFEu + 3u);
}

// --- log lines ---------------------------------------------------------------------------------

// Opens systemLog at level 3 with its messages going to a capturing screen sink.
class JobLogLines : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(dir / "pgate.ini", "[Logging]\nLogLevel=3\nLogToScreen=Y\n");
        cLogFile::SetScreenOutput([this](const char* text) {
            std::lock_guard<std::mutex> lock(mutex);
            lines.emplace_back(text);
        });
        systemLog.Open(dir / "pgate.ini");
    }
    void TearDown() override {
        systemLog.Close();
        cLogFile::SetScreenOutput(nullptr);
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex);
        return lines;
    }

    TempDir dir;
    std::mutex mutex;
    std::vector<std::string> lines;
};

TEST_F(JobLogLines, PauseResumeAndDeletionAreLoggedAtLevel3) {
    {
        JobEntry job;
        job.jobNo = 7;
        job.nameSuffix = "pc1";
        job.hostName = "pc1.example";
        job.queueName = "lp";
        job.SetState(JobState::Waiting);
        job.Pause();
        job.Resume();
        job.SetState(JobState::Printing);
        job.Pause();  // refused, but logged all the same
    }
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{
                  "JobEntry::Pause() : Pause Job entry (jobName-7pc1 from host-pc1.example) in "
                  "printer queue lp",
                  "JobEntry::Resume() : Resume Job entry (jobName-7pc1 from host-pc1.example) in "
                  "printer queue lp",
                  "JobEntry::Pause() : Pause Job entry (jobName-7pc1 from host-pc1.example) in "
                  "printer queue lp",
                  "JobEntry::~JobEntry : Deleting Job entry (jobName-7pc1 from host-pc1.example) "
                  "in printer queue lp",
              }));
}

}  // namespace
}  // namespace pg::test
