#include "engine/JobListReport.h"

#include <cstdio>
#include <cstring>

#include "log/EscapeControls.h"

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

// "    #007 report.txt from ann@pc1 waiting 12:00:00 12/05/26\n". Fields are neither padded
// nor cut, except the job number, which has at least three digits; what a client sent is shown
// with its control characters escaped.
void AppendShortLine(std::string& report, JobEntry& job) {
    char number[16];
    std::snprintf(number, sizeof(number), "%03d", job.jobNo);
    std::string state;
    job.StateName(state);  // the state in force now, as the line is built

    report += "    #";
    report += number;
    report += ' ';
    report += EscapeControls(job.jobName);
    report += " from ";
    report += EscapeControls(job.userName);
    report += '@';
    report += EscapeControls(job.hostName);
    report += ' ';
    report += state;
    report += ' ';
    report += job.timeDate;
    report += '\n';
}

// text, then blanks up to width; always at least one blank, so long fields stay apart.
void AppendColumn(std::string& line, const std::string& text, size_t width) {
    line += text;
    line.append(text.size() < width ? width - text.size() : 1, ' ');
}

// "1st", "2nd", "3rd", "4th", ..., "11th", "12th", "13th", "21st".
std::string Ordinal(size_t n) {
    const size_t lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        switch (n % 10) {
            case 1:
                suffix = "st";
                break;
            case 2:
                suffix = "nd";
                break;
            case 3:
                suffix = "rd";
                break;
            default:
                break;
        }
    }
    return std::to_string(n) + suffix;
}

constexpr size_t kRankWidth = 7;
constexpr size_t kOwnerWidth = 23;
constexpr size_t kJobWidth = 6;
constexpr size_t kFilesWidth = 30;

// One row of the long table: the job being delivered ranks "active", a held one "hold", the
// others by their place in the queue.
void AppendLongLine(std::string& report, JobEntry& job, size_t place) {
    const JobState state = job.State();
    const std::string rank = state == JobState::Printing ? "active"
                             : state == JobState::Pause  ? "hold"
                                                         : Ordinal(place);
    std::string line;
    AppendColumn(line, rank, kRankWidth);
    AppendColumn(line, EscapeControls(job.userName + "@" + job.hostName), kOwnerWidth);
    AppendColumn(line, std::to_string(job.jobNo), kJobWidth);
    AppendColumn(line, EscapeControls(job.jobName), kFilesWidth);
    line += std::to_string(job.TotalSize()) + " bytes\n";
    report += line;
}

std::string LongHeading() {
    std::string line;
    AppendColumn(line, "Rank", kRankWidth);
    AppendColumn(line, "Owner", kOwnerWidth);
    AppendColumn(line, "Job", kJobWidth);
    AppendColumn(line, "Files", kFilesWidth);
    return line + "Total Size\n";
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
    bool headed = false;
    size_t place = 0;
    for (const std::shared_ptr<JobEntry>& job : jobs) {
        if (!job) {
            continue;
        }
        ++place;
        if (!Selected(*job, select, jobNo, userName)) {
            continue;
        }
        if (format == Format::Short) {
            AppendShortLine(report, *job);
            continue;
        }
        if (!headed) {
            report += LongHeading();
            headed = true;
        }
        AppendLongLine(report, *job, place);
    }
    return report;
}

std::string JobListReport::UnknownQueue(const std::string& queueName) {
    return EscapeControls(queueName) + ": no such print queue\n";
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
