#include "engine/JobEntry.h"

#include <array>
#include <cstdio>
#include <utility>

#include "engine/CopyToken.h"
#include "engine/PrintQueue.h"
#include "engine/SpoolFileName.h"
#include "engine/StateName.h"
#include "log/LogFile.h"

namespace pg {

namespace {

// Only this much of a control file is read.
constexpr size_t kControlFileLimit = 4096;
// A control-file token holds at most 255 characters (CopyToken's max counts the terminator).
constexpr size_t kTokenMax = 256;

}  // namespace

const char* JobStateName(uint8_t state) {
    static constexpr std::array<const char*, 7> kNames{"spooling", "waiting", "printing", "pause",
                                                       "stop",     "close",   "error"};
    return StateNameFrom(kNames, state);
}

JobEntry::JobEntry() = default;

JobEntry::~JobEntry() {
    systemLog.Log(3,
                  "JobEntry::~JobEntry : Deleting Job entry (jobName-%d%s from host-%s) in printer "
                  "queue %s\n",
                  jobNo, nameSuffix.c_str(), hostName.c_str(), queueName.c_str());
    if (unlinkFiles) {
        DeleteSpoolFiles(spoolDirectory, FilePattern());
    }
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
            case 'U':
                unlinkFiles = true;
                break;
            default:
                break;
        }
    }
}

bool JobEntry::Pause() {
    systemLog.Log(
        3, "JobEntry::Pause() : Pause Job entry (jobName-%d%s from host-%s) in printer queue %s\n",
        jobNo, nameSuffix.c_str(), hostName.c_str(), queueName.c_str());
    MutexLock lock(mutex_);
    switch (state_) {
        case JobState::Stop:
            return true;
        case JobState::Waiting:
            state_ = JobState::Pause;
            return true;
        default:
            return false;
    }
}

bool JobEntry::Resume() {
    systemLog.Log(
        3,
        "JobEntry::Resume() : Resume Job entry (jobName-%d%s from host-%s) in printer queue %s\n",
        jobNo, nameSuffix.c_str(), hostName.c_str(), queueName.c_str());
    {
        MutexLock lock(mutex_);
        switch (state_) {
            case JobState::Waiting:
                return true;
            case JobState::Pause:
            case JobState::Error:
            case JobState::Stop:
                state_ = JobState::Waiting;
                break;
            default:
                return false;
        }
    }
    // The job's lock is released first: the queue's lock comes before a job's.
    if (queue != nullptr) {
        queue->NotifyWork();
    }
    return true;
}

void JobEntry::StateName(std::string& name) const {
    name = JobStateName(static_cast<uint8_t>(State()));
}

// When no file is found the status text names what was searched for: the spool directory and
// the job's pattern ("Error in finding print data file -  /spool/lp/???123host").
uint32_t JobEntry::TotalSize() {
    const std::vector<SpoolFile> files = SpoolFiles();
    if (files.empty()) {
        SetStatusText("Error in finding print data file -  " + spoolDirectory + "/" +
                      FilePattern());
        return 0;
    }
    uint32_t total = 0;
    for (const SpoolFile& file : files) {
        total += static_cast<uint32_t>(file.size);
    }
    return total;
}

// '?' for each character in front of the job number, the job number with as many digits as
// the name had (leading zeros restored: 7 of cfA007host gives 007), then the suffix. Without
// digits in the name the number is left out altogether.
//
// The data-only pattern puts 'd' in place of the first '?'. A job whose name starts with its
// digits (prefixLength 0) has no such character: its first character is part of the job
// number, so its names cannot tell a data file from a control file, and writing 'd' there
// would name another job. Its data-only pattern is empty and selects no file.
std::string JobEntry::FilePattern(bool dataOnly) const {
    if (dataOnly && prefixLength <= 0) {
        return {};
    }
    std::string pattern(prefixLength > 0 ? static_cast<size_t>(prefixLength) : 0, '?');
    if (digitCount > 0) {
        const int length = std::snprintf(nullptr, 0, "%0*d", digitCount, jobNo);
        if (length > 0) {
            std::string number(static_cast<size_t>(length), '\0');
            std::snprintf(number.data(), number.size() + 1, "%0*d", digitCount, jobNo);
            pattern += number;
        }
    }
    pattern += nameSuffix;
    if (dataOnly) {
        pattern[0] = 'd';
    }
    return pattern;
}

std::vector<SpoolFile> JobEntry::SpoolFiles(bool dataOnly) const {
    return ListSpoolFiles(spoolDirectory, FilePattern(dataOnly));
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

}  // namespace pg
