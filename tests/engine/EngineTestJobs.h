#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "engine/JobEntry.h"
#include "engine/PrintQueue.h"
#include "tests/support/TempDir.h"

namespace pg::test {

// A job as reception would enter it, with its control and data files written into the queue's
// spool directory ("cfA<nnn><host>", "dfA<nnn><host>"), so removal and listing find them.
inline std::shared_ptr<JobEntry> MakeJob(PrintQueue& queue, int jobNo, const std::string& user,
                                         const std::string& host = "pc1",
                                         JobState state = JobState::Waiting,
                                         const std::string& jobName = "report.txt",
                                         bool unlink = true) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", jobNo);
    const std::string directory = queue.SpoolDirectory();
    const std::string control = "H" + host + "\nP" + user + "\nJ" + jobName + "\nldfA" + digits +
                                host + "\n" +
                                (unlink ? "UdfA" + std::string(digits) + host + "\n" : "");
    WriteFile(directory + "/cfA" + digits + host, control);
    WriteFile(directory + "/dfA" + digits + host, "data of job " + std::to_string(jobNo) + "\n");
    auto job = std::make_shared<JobEntry>();
    job->ReadControlFile(control, false);
    job->jobNo = jobNo;
    job->prefixLength = 3;
    job->digitCount = static_cast<int32_t>(std::string(digits).size());
    job->nameSuffix = host;
    job->listValue = 5;
    job->timeDate = "12:00:00 12/05/26";
    job->SetState(state);
    return job;
}

}  // namespace pg::test
