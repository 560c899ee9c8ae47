#include "engine/JobEntry.h"

#include <algorithm>
#include <array>
#include <utility>

#include "engine/CopyToken.h"
#include "engine/SpoolFileName.h"
#include "engine/StateName.h"
#include "log/EscapeControls.h"
#include "log/LogFile.h"

namespace pg {

namespace {

// Only this much of a control file is read for its fields.
constexpr size_t kControlFileLimit = 4096;
// A control-file token holds at most 255 characters (CopyToken's max counts the terminator).
constexpr size_t kTokenMax = 256;
// The lines of RFC 1179 that print a data file: c (CIF), d (DVI), f (formatted), g (plot),
// k (reserved), l (with control characters), n (ditroff), o (PostScript), p (pr), r (FORTRAN),
// t (troff), v (raster), z (reserved).
constexpr std::string_view kPrintLines = "cdfgklnoprtvz";

}  // namespace

const char* JobStateName(uint8_t state) {
    static constexpr std::array<const char*, 7> kNames{"spooling", "waiting", "printing", "pause",
                                                       "stop",     "close",   "error"};
    return StateNameFrom(kNames, state);
}

JobEntry::JobEntry() = default;

// The entry is only a description: its files belong to the queue's job store and go when the
// queue removes the job, never when an entry is destroyed (a shutdown keeps them). The entries a
// reception shows while the job arrives are replaced as it learns more; only a job's last entry
// says goodbye.
JobEntry::~JobEntry() {
    if (State() == JobState::Spooling || !systemLog.Writes(3)) {
        return;
    }
    systemLog.Log(3,
                  "JobEntry::~JobEntry : Deleting Job entry (jobName-%d%s from host-%s) in printer "
                  "queue %s\n",
                  jobNo, EscapeControls(nameSuffix).c_str(), EscapeControls(hostName).c_str(),
                  queueName.c_str());
}

std::shared_ptr<JobEntry> JobEntry::Make(const JobRecord& record, std::string_view controlText,
                                         bool suppressBanner) {
    auto job = std::make_shared<JobEntry>();
    const SpoolFileName analysis = SpoolFileName::Analyse(record.control.clientName);
    job->jobNo = analysis.JobNumber();
    job->nameSuffix = analysis.suffix;
    job->listValue = 5;
    job->timeDate = record.timeDate;
    job->record = record;
    job->ReadControlFile(controlText, suppressBanner);
    return job;
}

// The control file is read as a run of words, not of lines: a word ends at white space, at the
// end of the text or after 255 characters, and the next word starts one character later, so a
// word cut at 255 characters loses the character after the cut and the rest becomes a word of
// its own. Empty words (white space in a row) are skipped, and so is a last word that runs to
// the end of the text: only a word with at least one character behind it is taken, which a
// control file ending in a line feed always satisfies. An operand with blanks therefore keeps
// its first word only, and the following words are read as lines of their own ("JMy Test" is
// job name "My" and then title "est").
void JobEntry::ReadControlFile(std::string_view text, bool suppressBanner) {
    if (text.size() > kControlFileLimit) {
        text = text.substr(0, kControlFileLimit);
    }
    std::string token;
    size_t position = 0;
    while (position < text.size()) {
        const size_t length = CopyToken(text.substr(position), token, kTokenMax);
        const bool followed = position + length < text.size();
        position += length + 1;
        if (token.empty() || !followed) {
            continue;
        }
        std::string operand = token.substr(1);
        switch (token[0]) {
            case 'C':
                className = std::move(operand);
                break;
            case 'H':
                hostName = std::move(operand);
                break;
            case 'J':
                jobName = std::move(operand);
                break;
            case 'L':
                bannerUser = std::move(operand);
                if (!suppressBanner) {
                    printBanner = true;
                }
                break;
            case 'M':
                mailUser = std::move(operand);
                break;
            case 'P':
                userName = std::move(operand);
                break;
            case 'T':
                title = std::move(operand);
                break;
            default:
                break;
        }
    }
    // The names a document is given keep their blanks: "JBudget 2027" is "Budget 2027".
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        std::string* name = line.starts_with('J')   ? &wholeJobName
                            : line.starts_with('N') ? &sourceFileName
                                                    : nullptr;
        if (name != nullptr && name->empty()) {
            *name = std::string(line.substr(1, kTokenMax - 1));
        }
    }
}

// Unlike the fields, the files are found line by line in the whole control file: a job must
// not lose a data file because its line lies beyond the first 4096 bytes. The name is read as
// the receive subcommand reads a file name (one word of at most 255 bytes), so that it can
// match the name the file arrived under. A file named twice (copies) is printed once.
std::vector<std::string> JobEntry::PrintedFiles(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.size() < 2 || kPrintLines.find(line[0]) == std::string_view::npos) {
            continue;
        }
        std::string name;
        CopyToken(line.substr(1), name, kTokenMax);
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

bool JobEntry::Pause(bool* changed) {
    if (changed != nullptr) {
        *changed = false;
    }
    if (systemLog.Writes(3)) {
        systemLog.Log(
            3,
            "JobEntry::Pause() : Pause Job entry (jobName-%d%s from host-%s) in printer queue %s\n",
            jobNo, EscapeControls(nameSuffix).c_str(), EscapeControls(hostName).c_str(),
            queueName.c_str());
    }
    {
        MutexLock lock(mutex_);
        switch (state_) {
            case JobState::Stop:
                return true;
            case JobState::Waiting:
                state_ = JobState::Pause;
                break;
            default:
                return false;
        }
    }
    if (changed != nullptr) {
        *changed = true;
    }
    return true;
}

// A waiting job that waits for its next try is tried at once.
bool JobEntry::Resume(bool* changed) {
    if (systemLog.Writes(3)) {
        systemLog.Log(3,
                      "JobEntry::Resume() : Resume Job entry (jobName-%d%s from host-%s) in "
                      "printer queue %s\n",
                      jobNo, EscapeControls(nameSuffix).c_str(), EscapeControls(hostName).c_str(),
                      queueName.c_str());
    }
    bool wasHeld = false;
    {
        MutexLock lock(mutex_);
        switch (state_) {
            case JobState::Waiting:
                retryAt_ = Clock::time_point();
                break;
            case JobState::Pause:
            case JobState::Error:
            case JobState::Stop:
                wasHeld = state_ == JobState::Pause;
                state_ = JobState::Waiting;
                break;
            default:
                return false;
        }
    }
    if (changed != nullptr) {
        *changed = wasHeld;
    }
    return true;
}

void JobEntry::StateName(std::string& name) const {
    name = JobStateName(static_cast<uint8_t>(State()));
}

// A job still arriving counts what has arrived so far.
uint32_t JobEntry::TotalSize() const {
    if (State() == JobState::Spooling) {
        return static_cast<uint32_t>(progress.bytesDone.load(std::memory_order_relaxed));
    }
    uint32_t total = static_cast<uint32_t>(record.control.size);
    for (const StoredFile& file : record.data) {
        total += static_cast<uint32_t>(file.size);
    }
    return total;
}

JobState JobEntry::State() const {
    MutexLock lock(mutex_);
    return state_;
}

void JobEntry::SetState(JobState state) {
    MutexLock lock(mutex_);
    state_ = state;
}

bool JobEntry::ChangeState(JobState from, JobState to) {
    MutexLock lock(mutex_);
    if (state_ != from) {
        return false;
    }
    state_ = to;
    return true;
}

std::string JobEntry::StatusText() const {
    MutexLock lock(mutex_);
    return statusText_;
}

void JobEntry::SetStatusText(std::string text) {
    MutexLock lock(mutex_);
    statusText_ = std::move(text);
}

JobEntry::Clock::time_point JobEntry::RetryAt() const {
    MutexLock lock(mutex_);
    return retryAt_;
}

uint32_t JobEntry::Failures() const {
    MutexLock lock(mutex_);
    return failures_;
}

uint32_t JobEntry::ScheduleRetry(Clock::time_point at) {
    MutexLock lock(mutex_);
    retryAt_ = at;
    return ++failures_;
}

}  // namespace pg
