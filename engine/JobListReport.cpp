#include "engine/JobListReport.h"

#include <cstdio>
#include <cstring>

namespace pg {

namespace {

bool Selected(const JobEntry& job, JobListReport::Select select, int32_t jobNo,
              const std::string& userName) {
    switch (select) {
        case JobListReport::Select::All:
            return true;
        case JobListReport::Select::Number:
            return job.jobNo == jobNo;
        case JobListReport::Select::User:
            return job.userName == userName;
    }
    return false;
}

// "    #007 report.txt from ann@pc1 waiting 12:00:00 12/05/26" and, for the long formats,
// " 5 <status text>" and "\<size>"; the line feed last. Fields are neither padded nor cut,
// except the job number, which has at least three digits.
void AppendLine(std::string& report, JobEntry& job, JobListReport::Format format) {
    char number[16];
    std::snprintf(number, sizeof(number), "%03d", job.jobNo);
    std::string state;
    job.StateName(state);  // the state in force now, as the line is built

    report += "    #";
    report += number;
    report += ' ';
    report += job.jobName;
    report += " from ";
    report += job.userName;
    report += '@';
    report += job.hostName;
    report += ' ';
    report += state;
    report += ' ';
    report += job.timeDate;
    if (format != JobListReport::Format::Short) {
        report += ' ';
        report += std::to_string(job.listValue);
        report += ' ';
        report += job.StatusText();
    }
    if (format == JobListReport::Format::LongWithSize) {
        // No blank on either side: the status text runs straight into the backslash.
        report += '\\';
        report += std::to_string(job.TotalSize());
    }
    report += '\n';
}

}  // namespace

// The "No jobs queued" line is for an empty queue only; a queue with jobs of which none is
// selected answers with its header line alone.
std::string JobListReport::Text(const std::string& queueName,
                                const std::vector<std::shared_ptr<JobEntry>>& jobs, Format format,
                                Select select, int32_t jobNo, const std::string& userName) {
    std::string report = queueName + ": \n";
    if (jobs.empty()) {
        report += "    No jobs queued\n";
        return report;
    }
    for (const std::shared_ptr<JobEntry>& job : jobs) {
        if (job && Selected(*job, select, jobNo, userName)) {
            AppendLine(report, *job, format);
        }
    }
    return report;
}

// A text that does not fit is cut to size - 1 bytes without a mark; the buffer is
// zero-terminated in both cases (the terminator is not counted).
uint32_t JobListReport::CopyOut(const std::string& text, char* buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    const size_t count = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<uint32_t>(count);
}

}  // namespace pg
