// The long job list: ranks over the whole queue (also when a selection shows only some), owner,
// number, title and the size of all the job's files.

#include "engine/JobListReport.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace pg::test {
namespace {

using Format = JobListReport::Format;
using Select = JobListReport::Select;

std::shared_ptr<JobEntry> MakeJob(int32_t jobNo, const std::string& jobName,
                                  const std::string& user, JobState state) {
    auto job = std::make_shared<JobEntry>();
    job->jobNo = jobNo;
    job->jobName = jobName;
    job->userName = user;
    job->hostName = "pc1";
    job->SetState(state);
    return job;
}

TEST(JobListReportText, LongListRanksJobsOverTheWholeQueue) {
    const std::vector<std::shared_ptr<JobEntry>> jobs{
        MakeJob(3, "a", "bob", JobState::Printing), MakeJob(4, "b", "bob", JobState::Pause),
        MakeJob(7, "report.txt", "ann", JobState::Waiting),
        MakeJob(8, "gone", "bob", JobState::Waiting)};
    jobs[2]->record.control.size = 10;
    jobs[2]->record.data = {{"1.d1", "dfA007pc1", 1200}};
    const std::string all = JobListReport::Text("lp", jobs, Format::Long, Select::All);
    EXPECT_TRUE(std::regex_match(all, std::regex("lp: \nRank +Owner +Job +Files +Total Size\n"
                                                 "active +bob@pc1 +3 +a +0 bytes\n"
                                                 "hold +bob@pc1 +4 +b +0 bytes\n"
                                                 "3rd +ann@pc1 +7 +report.txt +1210 bytes\n"
                                                 "4th +bob@pc1 +8 +gone +0 bytes\n")))
        << all;
    const std::string ann = JobListReport::Text("lp", jobs, Format::Long, Select::User, 0, "ann");
    EXPECT_TRUE(std::regex_match(ann, std::regex("lp: \nRank .*\n3rd +ann@pc1 +7 .*\n"))) << ann;
}

}  // namespace
}  // namespace pg::test
