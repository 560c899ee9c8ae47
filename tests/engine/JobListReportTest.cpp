// The queue-state report texts, byte for byte, and their copy into the client's buffer.

#include "engine/JobListReport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace pg::test {
namespace {

using Format = JobListReport::Format;
using Select = JobListReport::Select;
using Jobs = std::vector<std::shared_ptr<JobEntry>>;

std::shared_ptr<JobEntry> MakeJob(int32_t jobNo, const std::string& jobName,
                                  const std::string& user, const std::string& host,
                                  JobState state = JobState::Waiting,
                                  const std::string& status = "") {
    auto job = std::make_shared<JobEntry>();
    job->jobNo = jobNo;
    job->listValue = 5;
    job->jobName = jobName;
    job->userName = user;
    job->hostName = host;
    job->timeDate = "12:00:00 12/05/26";
    job->prefixLength = 3;
    job->digitCount = 3;
    job->nameSuffix = host;
    job->SetState(state);
    job->SetStatusText(status);
    return job;
}

TEST(JobListReportText, AnEmptyQueueSaysNoJobsQueued) {
    for (Format format : {Format::Short, Format::Long, Format::LongWithSize}) {
        for (Select select : {Select::All, Select::Number, Select::User}) {
            EXPECT_EQ(JobListReport::Text("lp", {}, format, select, 7, "ann"),
                      "lp: \n    No jobs queued\n");
        }
    }
}

TEST(JobListReportText, ShortLine) {
    const Jobs jobs{MakeJob(7, "report.txt", "ann", "pc1")};
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Short, Select::All),
              "lp: \n    #007 report.txt from ann@pc1 waiting 12:00:00 12/05/26\n");
}

TEST(JobListReportText, JobNumbersHaveAtLeastThreeDigits) {
    const Jobs jobs{MakeJob(0, "a", "u", "h"), MakeJob(999, "b", "u", "h"),
                    MakeJob(1000, "c", "u", "h"), MakeJob(1234, "d", "u", "h")};
    EXPECT_EQ(JobListReport::Text("q", jobs, Format::Short, Select::All),
              "q: \n"
              "    #000 a from u@h waiting 12:00:00 12/05/26\n"
              "    #999 b from u@h waiting 12:00:00 12/05/26\n"
              "    #1000 c from u@h waiting 12:00:00 12/05/26\n"
              "    #1234 d from u@h waiting 12:00:00 12/05/26\n");
}

TEST(JobListReportText, EmptyFieldsStayEmpty) {
    const Jobs jobs{MakeJob(7, "", "", "", JobState::Spooling)};
    auto& job = *jobs[0];
    job.timeDate = "";
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Short, Select::All),
              "lp: \n    #007  from @ spooling \n");
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Long, Select::Number, 7),
              "lp: \n    #007  from @ spooling  5 \n");
}

TEST(JobListReportText, LongLineEndsWithTheStatusText) {
    const Jobs jobs{MakeJob(7, "report.txt", "ann", "pc1", JobState::Printing,
                            "Spooling to destination printer")};
    const std::string line =
        "    #007 report.txt from ann@pc1 printing 12:00:00 12/05/26 5 Spooling to destination "
        "printer\n";
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Long, Select::Number, 7), "lp: \n" + line);
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Long, Select::User, 0, "ann"),
              "lp: \n" + line);
}

// The long list of all jobs adds the total spool size behind a backslash, with no blank on
// either side.
TEST(JobListReportText, LongListOfAllJobsEndsWithTheSize) {
    TempDir dir;
    WriteFile(dir / "cfA007pc1", "Hpc1\nPann\n");          // 10 bytes
    WriteFile(dir / "dfA007pc1", std::string(1200, 'x'));  // 1200 bytes
    const Jobs jobs{MakeJob(7, "report.txt", "ann", "pc1", JobState::Waiting, "retry later")};
    jobs[0]->spoolDirectory = dir.Path();
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::LongWithSize, Select::All),
              "lp: \n    #007 report.txt from ann@pc1 waiting 12:00:00 12/05/26 5 retry "
              "later\\1210\n");

    jobs[0]->SetStatusText("");
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::LongWithSize, Select::All),
              "lp: \n    #007 report.txt from ann@pc1 waiting 12:00:00 12/05/26 5 \\1210\n");
}

// A job whose files are gone shows size 0; the search failure becomes its status text, seen
// from the next report on.
TEST(JobListReportText, LongListOfAJobWithoutFiles) {
    TempDir dir;
    const Jobs jobs{MakeJob(7, "report.txt", "ann", "pc1")};
    jobs[0]->spoolDirectory = dir.Path();
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::LongWithSize, Select::All),
              "lp: \n    #007 report.txt from ann@pc1 waiting 12:00:00 12/05/26 5 \\0\n");
    EXPECT_EQ(jobs[0]->StatusText(),
              "Error in finding print data file -  " + dir.Path() + "/???007pc1");
}

TEST(JobListReportText, NothingSelectedGivesTheHeaderAlone) {
    const Jobs jobs{MakeJob(7, "a", "ann", "pc1"), MakeJob(8, "b", "bob", "pc2")};
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Short, Select::User, 0, "carl"), "lp: \n");
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Long, Select::Number, 9), "lp: \n");
}

TEST(JobListReportText, UserNamesMatchExactly) {
    const Jobs jobs{MakeJob(1, "a", "ann", "h"), MakeJob(2, "b", "Ann", "h"),
                    MakeJob(3, "c", "anne", "h"), MakeJob(4, "d", "ann", "h2")};
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Short, Select::User, 0, "ann"),
              "lp: \n"
              "    #001 a from ann@h waiting 12:00:00 12/05/26\n"
              "    #004 d from ann@h2 waiting 12:00:00 12/05/26\n");
}

TEST(JobListReportText, SelectionByNumberListsEveryJobWithThatNumber) {
    const Jobs jobs{MakeJob(12, "a", "ann", "pc1"), MakeJob(13, "b", "ann", "pc1"),
                    MakeJob(12, "c", "bob", "pc2", JobState::Pause, "held")};
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Long, Select::Number, 12),
              "lp: \n"
              "    #012 a from ann@pc1 waiting 12:00:00 12/05/26 5 \n"
              "    #012 c from bob@pc2 pause 12:00:00 12/05/26 5 held\n");
}

TEST(JobListReportText, TheStateIsTheOneInForceWhenTheReportIsMade) {
    const Jobs jobs{MakeJob(7, "a", "ann", "pc1")};
    const std::string before = JobListReport::Text("lp", jobs, Format::Short, Select::All);
    jobs[0]->SetState(static_cast<JobState>(9));
    EXPECT_EQ(before, "lp: \n    #007 a from ann@pc1 waiting 12:00:00 12/05/26\n");
    EXPECT_EQ(JobListReport::Text("lp", jobs, Format::Short, Select::All),
              "lp: \n    #007 a from ann@pc1 unknown? 12:00:00 12/05/26\n");
}

// Reports are built while another thread pauses and resumes the jobs and sets their status:
// every line shows one whole state and one whole status text (run under ThreadSanitizer too).
TEST(JobListReportText, ReportsWhileJobsChange) {
    const Jobs jobs{MakeJob(1, "a", "ann", "pc1"), MakeJob(2, "b", "bob", "pc1")};
    std::atomic<bool> done{false};
    std::thread changer([&] {
        while (!done.load()) {
            for (const auto& job : jobs) {
                job->Pause();
                job->SetStatusText("held by the operator");
                job->Resume();
                job->SetStatusText("");
            }
        }
    });
    for (int i = 0; i < 200; ++i) {
        const std::string text = JobListReport::Text("lp", jobs, Format::Long, Select::All);
        for (const char* line : {"    #001 a from ann@pc1 ", "    #002 b from bob@pc1 "}) {
            const size_t start = text.find(line);
            ASSERT_NE(start, std::string::npos) << text;
            const std::string rest = text.substr(start, text.find('\n', start) - start);
            EXPECT_TRUE(rest.find(" waiting 12:00:00 12/05/26 5 ") != std::string::npos ||
                        rest.find(" pause 12:00:00 12/05/26 5 ") != std::string::npos)
                << rest;
            EXPECT_TRUE(rest.ends_with(" 5 ") || rest.ends_with(" 5 held by the operator")) << rest;
        }
    }
    done.store(true);
    changer.join();
}

// --- copy into the client's buffer ---------------------------------------------------------------

TEST(JobListReportCopyOut, ShorterThanTheBufferIsCopiedWithATerminator) {
    for (size_t length : {size_t{0}, size_t{4094}, size_t{4095}}) {
        const std::string text(length, 'r');
        std::vector<char> buffer(4096, '#');
        EXPECT_EQ(JobListReport::CopyOut(text, buffer.data(), 4096), length);
        EXPECT_EQ(std::string(buffer.data(), length), text);
        EXPECT_EQ(buffer[length], '\0');
    }
}

TEST(JobListReportCopyOut, AtOrBeyondTheBufferSizeIsCutToSizeMinusOne) {
    for (size_t length : {size_t{4096}, size_t{4097}, size_t{10000}}) {
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        std::vector<char> buffer(4097, '#');
        EXPECT_EQ(JobListReport::CopyOut(text, buffer.data(), 4096), 4095u);
        EXPECT_EQ(std::string(buffer.data(), 4095), text.substr(0, 4095));
        EXPECT_EQ(buffer[4096], '#');  // nothing written past the buffer
    }
}

TEST(JobListReportCopyOut, AZeroSizeBufferGetsNothing) {
    char byte = '#';
    EXPECT_EQ(JobListReport::CopyOut("text", &byte, 0), 0u);
    EXPECT_EQ(byte, '#');
}

TEST(JobListReportCopyOut, AReportOfManyJobsIsCutAt4095Bytes) {
    Jobs jobs;
    for (int32_t i = 1; i <= 100; ++i) {
        jobs.push_back(MakeJob(i, "document-" + std::to_string(i), "ann", "pc1"));
    }
    const std::string text = JobListReport::Text("lp", jobs, Format::Short, Select::All);
    ASSERT_GT(text.size(), 4096u);
    std::vector<char> buffer(4096);
    ASSERT_EQ(JobListReport::CopyOut(text, buffer.data(), 4096), 4095u);
    EXPECT_EQ(std::string(buffer.data(), 4095), text.substr(0, 4095));
}

}  // namespace
}  // namespace pg::test
