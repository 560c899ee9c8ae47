// The queue-state report texts, byte for byte, and their copy into the client's buffer.

#include "engine/JobListReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace pg::test {
namespace {

using Format = JobListReport::Format;
using Select = JobListReport::Select;
using Jobs = std::vector<std::shared_ptr<JobEntry>>;

const std::string kNoJobs = "lp: \n    No jobs queued\n";

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
    job->nameSuffix = host;
    job->SetState(state);
    job->SetStatusText(status);
    return job;
}

TEST(JobListReportText, LinesAndSelections) {
    const Jobs jobs{MakeJob(7, "report.txt", "ann", "pc1"),
                    MakeJob(1234, "", "Ann", "", JobState::Spooling),
                    MakeJob(12, "c\033", "bob", "pc2", JobState::Pause, "held"),
                    MakeJob(12, "d", "ann", "h2", JobState::Printing, "Spooling to printer")};
    jobs[1]->timeDate = "";  // empty fields stay empty
    const std::string j7 = "    #007 report.txt from ann@pc1 waiting 12:00:00 12/05/26";
    const std::string j1234 = "    #1234  from Ann@ spooling ";
    const std::string j12c = "    #012 c\\x1B from bob@pc2 pause 12:00:00 12/05/26";  // escaped
    const std::string j12d = "    #012 d from ann@h2 printing 12:00:00 12/05/26";
    // Format, selection (number or user), the lines after the header.
    const std::tuple<Format, Select, int32_t, std::string, std::string> rows[] = {
        {Format::Short, Select::All, 0, "", j7 + "\n" + j1234 + "\n" + j12c + "\n" + j12d + "\n"},
        {Format::Short, Select::User, 0, "ann", j7 + "\n" + j12d + "\n"},  // case counts
        {Format::Long, Select::Number, 9, "", ""},  // nothing selected: the header alone
        {Format::Short, Select::User, 0, "carl", ""},
    };
    for (const auto& [format, select, jobNo, user, lines] : rows) {
        SCOPED_TRACE(lines);
        EXPECT_EQ(JobListReport::Text("lp", jobs, format, select, jobNo, user), "lp: \n" + lines);
        // An empty queue says so, whatever the selection.
        EXPECT_EQ(JobListReport::Text("lp", {}, format, select, jobNo, user), kNoJobs);
    }
}

// The long list is a table: rank (the job being delivered is active, a held one hold, the
// others by place, counted over the whole queue also when a selection shows only some), owner,
// number, title and the size of all the job's files.
TEST(JobListReportText, LongListIsATableWithRankOwnerNumberFilesAndSize) {
    const Jobs jobs{MakeJob(3, "a", "bob", "pc2", JobState::Printing),
                    MakeJob(4, "b", "bob", "pc2", JobState::Pause),
                    MakeJob(7, "report.txt", "ann", "pc1", JobState::Waiting, "retry later"),
                    MakeJob(8, "gone", "bob", "pc1")};
    jobs[2]->record.control.size = 10;
    jobs[2]->record.data = {{"1.d1", "dfA007pc1", 1200}};
    const std::regex table(
        "lp: \n"
        "Rank +Owner +Job +Files +Total Size\n"
        "active +bob@pc2 +3 +a +0 bytes\n"
        "hold +bob@pc2 +4 +b +0 bytes\n"
        "3rd +ann@pc1 +7 +report.txt +1210 bytes\n"
        "4th +bob@pc1 +8 +gone +0 bytes\n");
    const std::string all = JobListReport::Text("lp", jobs, Format::Long, Select::All);
    EXPECT_TRUE(std::regex_match(all, table)) << all;
    const std::string ann = JobListReport::Text("lp", jobs, Format::Long, Select::User, 0, "ann");
    EXPECT_TRUE(std::regex_match(ann, std::regex("lp: \nRank .*\n3rd +ann@pc1 +7 .*\n"))) << ann;
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
    const std::string tail = " (waiting|pause) 12:00:00 12/05/26\n";
    const std::regex whole("lp: \n    #001 a from ann@pc1" + tail + "    #002 b from bob@pc1" +
                           tail);
    for (int i = 0; i < 200; ++i) {
        const std::string text = JobListReport::Text("lp", jobs, Format::Short, Select::All);
        EXPECT_TRUE(std::regex_match(text, whole)) << text;
    }
    done.store(true);
    changer.join();
}

// The handler's buffer holds 4096 bytes: a longer report is cut to 4095 without a mark.
TEST(JobListReportCopyOut, TextShorterThanTheBufferGoesWholeWithATerminatorElseIsCut) {
    for (size_t length : {size_t{0}, size_t{4094}, size_t{4095}, size_t{4096}, size_t{4097}}) {
        SCOPED_TRACE(length);
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        std::vector<char> buffer(4097, '#');
        const size_t copied = std::min<size_t>(length, 4095);
        EXPECT_EQ(JobListReport::CopyOut(text, buffer.data(), 4096), copied);
        EXPECT_EQ(std::string(buffer.data(), copied), text.substr(0, copied));
        EXPECT_EQ(buffer[copied], '\0');
        EXPECT_EQ(buffer[4096], '#');  // nothing written past the buffer
    }
    char byte = '#';
    EXPECT_EQ(JobListReport::CopyOut("text", &byte, 0), 0u);
    EXPECT_EQ(byte, '#');
}

}  // namespace
}  // namespace pg::test
