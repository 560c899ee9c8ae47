#include "engine/PrintQueue.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <ctime>
#include <utility>

#include "engine/ClientConnection.h"
#include "engine/DeliveryControl.h"
#include "engine/DeliveryRequest.h"
#include "engine/JobListReport.h"
#include "engine/JobReceiver.h"
#include "engine/JobStore.h"
#include "engine/LocalPrintJob.h"
#include "engine/RemoteJobSender.h"
#include "engine/RemovalRequest.h"
#include "engine/SettingsBoard.h"
#include "engine/StateName.h"
#include "log/ErrorText.h"
#include "log/EscapeControls.h"
#include "log/LogFile.h"
#include "platform/PrintSystem.h"
#include "platform/ThreadId.h"

namespace pg {

namespace {

constexpr const char* kReady = "This print queue is ready";
// Only this much of a control file is read for the job's fields.
constexpr size_t kControlFileLimit = 4096;

// "HH:MM:SS", local time.
std::string ClockText(std::chrono::system_clock::time_point when) {
    const std::time_t time = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&time, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

std::string ReadHead(const std::string& path) {
    std::string text(kControlFileLimit, '\0');
    size_t have = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return {};
    }
    while (have < text.size()) {
        const ssize_t got = ::read(fd, text.data() + have, text.size() - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        have += static_cast<size_t>(got);
    }
    ::close(fd);
    text.resize(have);
    return text;
}

// The pause before the next try of a job that failed `failures` times: doubling from the first
// pause up to the longest (RetryMaxSeconds; one shorter than the first pause keeps the first).
std::chrono::milliseconds RetryPause(uint32_t failures, const GeneralSettings& settings) {
    const int64_t first = std::max<int64_t>(1, settings.retryDelayMs);
    const int64_t longest = std::max<int64_t>(first, int64_t{settings.retryMaxSeconds} * 1000);
    int64_t pause = first;
    for (uint32_t i = 1; i < failures && pause < longest; ++i) {
        pause *= 2;
    }
    return std::chrono::milliseconds(std::min(pause, longest));
}

}  // namespace

// What a delivery may ask of the printing thread that runs it (see DeliveryControl).
class PrintQueue::Control final : public DeliveryControl {
  public:
    Control(PrintQueue& queue, const JobEntry& job) : queue_(queue), job_(job) {}
    ~Control() override {
        SetSocket(-1);
        SetPrinter(nullptr);
    }

    bool Checkpoint() override {
        MutexLock lock(queue_.mutex_);
        std::stop_token token = queue_.stopToken_;
        queue_.wakeup_.wait(lock, token,
                            [this]() REQUIRES(queue_.mutex_) { return !queue_.suspended_; });
        return !token.stop_requested();
    }
    bool StopRequested() const override {
        MutexLock lock(queue_.mutex_);
        return queue_.stopToken_.stop_requested();
    }
    bool JobRemoved() const override { return job_.State() == JobState::Stop; }
    bool Sleep(std::chrono::milliseconds duration) override {
        MutexLock lock(queue_.mutex_);
        std::stop_token token = queue_.stopToken_;
        queue_.wakeup_.wait_for(lock, token, duration, [] { return false; });
        return !token.stop_requested();
    }
    void SetSocket(int fd) override {
        MutexLock lock(queue_.mutex_);
        queue_.deliverySocket_ = fd;
    }
    void SetPrinter(PrinterHandle* printer) override {
        MutexLock lock(queue_.mutex_);
        queue_.activePrinter_ = printer;
    }

  private:
    PrintQueue& queue_;
    const JobEntry& job_;
};

const char* QueueStateName(uint8_t state) {
    static constexpr std::array<const char*, 7> kNames{"Initial", "starting", "running", "pause",
                                                       "stop",    "close",    "error"};
    return StateNameFrom(kNames, state);
}

PrintQueue::PrintQueue(std::string queueName) : name(std::move(queueName)) {}

PrintQueue::~PrintQueue() {
    Shutdown();
}

// --- state and settings ------------------------------------------------------------------------

QueueTarget PrintQueue::Target() const {
    MutexLock lock(mutex_);
    return target_;
}

void PrintQueue::SetTarget(const QueueTarget& target) {
    MutexLock lock(mutex_);
    target_ = target;
}

std::string PrintQueue::Destination() const {
    MutexLock lock(mutex_);
    return target_.destination;
}

bool PrintQueue::IsRemote() const {
    MutexLock lock(mutex_);
    return target_.isRemote;
}

QueueState PrintQueue::State() const {
    MutexLock lock(mutex_);
    return state_;
}

void PrintQueue::SetState(QueueState state) {
    MutexLock lock(mutex_);
    state_ = state;
}

std::string PrintQueue::StatusText() const {
    MutexLock lock(mutex_);
    return statusText_;
}

void PrintQueue::SetStatusText(std::string text) {
    MutexLock lock(mutex_);
    statusText_ = std::move(text);
}

void PrintQueue::GetStatus(std::string& stateName, uint32_t& jobCount,
                           std::string& statusText) const {
    MutexLock lock(mutex_);
    stateName = QueueStateName(static_cast<uint8_t>(state_));
    jobCount = static_cast<uint32_t>(jobs_.size());
    statusText = statusText_;
}

void PrintQueue::Attach(std::shared_ptr<const SettingsBoard> settings, AlertHandler alert) {
    MutexLock lock(mutex_);
    board_ = std::move(settings);
    alert_ = std::move(alert);
}

std::shared_ptr<const DaemonSettings> PrintQueue::Settings() const {
    std::shared_ptr<const SettingsBoard> board;
    {
        MutexLock lock(mutex_);
        board = board_;
    }
    if (board) {
        return board->Current();
    }
    static const auto defaults = std::make_shared<const DaemonSettings>();
    return defaults;
}

std::string PrintQueue::SpoolDirectory() const {
    const std::string& base = Settings()->general.spoolBaseDirectory;
    return JoinPath(base.empty() ? std::string(".") : base, name);
}

bool PrintQueue::FollowSpoolSettings() {
    const std::shared_ptr<const DaemonSettings> settings = Settings();
    const std::string directory = SpoolDirectory();
    {
        MutexLock lock(openMutex_);
        if (!store_) {
            return true;  // opened where the settings say when it is first used
        }
        store_->SetSync(settings->general.syncSpool);
        if (store_->Directory() == directory) {
            return true;
        }
        // Only this queue holds the store: nothing is received into it or delivered from it,
        // and nobody can take it while the lock is held.
        if (store_.use_count() > 1 || JobCount() > 0) {
            return false;
        }
        store_.reset();
    }
    OpenStore(directory, settings->general.syncSpool);
    return true;
}

void PrintQueue::Retire(std::function<void()> drained) {
    {
        MutexLock lock(mutex_);
        retiring_ = true;
        drained_ = std::move(drained);
        workPending_ = true;
    }
    wakeup_.notify_all();
}

void PrintQueue::Unretire() {
    MutexLock lock(mutex_);
    retiring_ = false;
    drained_ = nullptr;
}

bool PrintQueue::Retiring() const {
    MutexLock lock(mutex_);
    return retiring_;
}

// --- job store ---------------------------------------------------------------------------------

std::shared_ptr<JobStore> PrintQueue::OpenedStore() const {
    MutexLock lock(openMutex_);
    return store_;
}

std::shared_ptr<JobStore> PrintQueue::Store() {
    if (std::shared_ptr<JobStore> store = OpenedStore()) {
        return store;
    }
    OpenStore(SpoolDirectory(), Settings()->general.syncSpool);
    return OpenedStore();
}

void PrintQueue::OpenStore(const std::string& directory, bool sync) {
    MutexLock lock(openMutex_);
    if (store_) {
        return;
    }
    store_ = std::make_shared<JobStore>(name, directory, sync);
    const bool suppressBanner = Settings()->general.suppressBanner;
    for (JobRecord& record : store_->Recover()) {
        const std::string control = ReadHead(store_->PathOf(record.control.storeName));
        auto job = JobEntry::Make(record, control, suppressBanner);
        job->SetState(record.held ? JobState::Pause : JobState::Waiting);
        job->SetStatusText(record.held ? "held" : "waiting");
        systemLog.Log(2, "Print queue %s : job %" PRIu64 " (%s) taken back from the spool\n",
                      name.c_str(), record.id, EscapeControls(record.control.clientName).c_str());
        AddJob(std::move(job));
    }
}

// --- printing thread ---------------------------------------------------------------------------

bool PrintQueue::HasPrintingThread() const {
    MutexLock lock(controlMutex_);
    return thread_.joinable();
}

bool PrintQueue::Activate() {
    systemLog.Log(1, "Activate print queue %s\n", name.c_str());
    Store();  // also makes the spool directory

    MutexLock control(controlMutex_);
    if (shutDown_) {
        return false;
    }
    {
        MutexLock lock(mutex_);
        if (closed_) {
            return false;  // drained after it was retired
        }
    }
    if (!thread_.joinable()) {
        systemLog.Log(3, "Activate Print Queue  %s - creating RunLPDPrinting thread\n",
                      name.c_str());
        // The state is running (and says so) before the thread exists: a thread that found the
        // queue still stopped would end at once, and what the thread reports must not be
        // overwritten afterwards.
        QueueState before;
        std::string beforeText;
        {
            MutexLock lock(mutex_);
            before = state_;
            beforeText = statusText_;
            state_ = QueueState::Running;
            statusText_ = kReady;
            failureShown_ = false;
            suspended_ = false;
            workPending_ = true;
        }
        try {
            thread_ = std::jthread([this](std::stop_token token) { RunLPDPrinting(token); });
        } catch (const std::system_error&) {
            {
                MutexLock lock(mutex_);
                state_ = before;
                statusText_ = beforeText;
            }
            systemLog.Log(1,
                          "Error -  LPDPrinter::Activate() - fail in creating RunLPDPrinting "
                          "thread for print queue %s\n",
                          name.c_str());
            return false;
        }
        systemLog.Log(3, "Activate Print Queue %s - RunLPDPrinting thread created.\n",
                      name.c_str());
        wakeup_.notify_all();
        return true;
    }
    {
        MutexLock lock(mutex_);
        if (state_ == QueueState::Running && !suspended_) {
            return false;
        }
        suspended_ = false;
        workPending_ = true;
        state_ = QueueState::Running;
        statusText_ = kReady;
        failureShown_ = false;
    }
    wakeup_.notify_all();
    return true;
}

void PrintQueue::StopThread() {
    if (thread_.joinable()) {
        thread_.request_stop();
        {
            MutexLock lock(mutex_);
            if (deliverySocket_ >= 0) {
                ::shutdown(deliverySocket_, SHUT_RDWR);
            }
            if (activePrinter_ != nullptr) {
                activePrinter_->Cancel();  // a write stuck on the printer ends now
            }
        }
        wakeup_.notify_all();
        thread_.join();
        thread_ = std::jthread();
    }
}

bool PrintQueue::Stop() {
    systemLog.Log(1, "Stop print queue %s\n", name.c_str());
    MutexLock control(controlMutex_);
    StopThread();
    MutexLock lock(mutex_);
    if (state_ != QueueState::Close) {
        state_ = QueueState::Stop;
    }
    statusText_ = "This print queue is stopped";
    suspended_ = false;
    return true;
}

bool PrintQueue::Pause() {
    systemLog.Log(1, "Pause print queue %s\n", name.c_str());
    MutexLock control(controlMutex_);
    if (thread_.joinable()) {
        MutexLock lock(mutex_);
        if (state_ == QueueState::Running) {
            state_ = QueueState::Pause;
            suspended_ = true;
        }
    }
    return true;
}

// Jobs still being received are their receptions' to finish: a complete one is in the store and
// comes back at the next start.
void PrintQueue::Shutdown(JobsAtShutdown keep) {
    JobEntries jobs;
    {
        MutexLock control(controlMutex_);
        if (shutDown_) {
            return;
        }
        shutDown_ = true;
        StopThread();
        MutexLock lock(mutex_);
        state_ = QueueState::Close;
        closed_ = true;
        jobs.swap(jobs_);
        currentJob_ = nullptr;
    }
    systemLog.Log(3, "Deleting Print Queue Object: %s\n", name.c_str());
    std::vector<std::shared_ptr<JobEntry>> removed;
    for (const auto& job : jobs) {
        const JobState state = job->State();
        if (state == JobState::Stop ||
            (keep == JobsAtShutdown::Discard && state != JobState::Spooling)) {
            removed.push_back(job);
        }
    }
    ForgetJobs(removed);
}

void PrintQueue::NotifyWork() {
    {
        MutexLock lock(mutex_);
        workPending_ = true;
    }
    wakeup_.notify_all();
}

// Among the waiting jobs whose next try is due, the one that arrived first. Jobs still being
// received, held, or waiting for a later try are passed over, so none of them holds up another.
std::shared_ptr<JobEntry> PrintQueue::TakeNextJob(JobEntry::Clock::time_point& next) {
    const auto now = JobEntry::Clock::now();
    next = JobEntry::Clock::time_point::max();
    std::shared_ptr<JobEntry> oldest;
    for (const auto& job : jobs_) {
        if (job->State() != JobState::Waiting) {
            continue;
        }
        const auto at = job->RetryAt();
        if (at > now) {
            next = std::min(next, at);
        } else if (!oldest || job->record.sequence < oldest->record.sequence) {
            oldest = job;
        }
    }
    if (oldest && oldest->ChangeState(JobState::Waiting, JobState::Printing)) {
        currentJob_ = oldest.get();
        return oldest;
    }
    return nullptr;
}

void PrintQueue::RunLPDPrinting(std::stop_token stopToken) {
    const uint32_t threadId = CurrentThreadId();
    threadId_.store(threadId);
    {
        MutexLock lock(mutex_);
        stopToken_ = stopToken;
    }
    std::function<void()> drained;
    while (!stopToken.stop_requested() && !drained) {
        std::shared_ptr<JobEntry> job;
        std::vector<std::shared_ptr<JobEntry>> finished;
        auto next = JobEntry::Clock::time_point::max();
        {
            MutexLock lock(mutex_);
            // Pause(): hold still until Activate() or the end.
            wakeup_.wait(lock, stopToken, [this]() REQUIRES(mutex_) { return !suspended_; });
            if (stopToken.stop_requested() || state_ == QueueState::Stop ||
                state_ == QueueState::Close) {
                break;
            }
            workPending_ = false;
            // Jobs removed while a delivery that a Stop cut short still had them.
            for (auto it = jobs_.begin(); it != jobs_.end();) {
                auto following = std::next(it);
                if ((*it)->State() == JobState::Stop && it->get() != currentJob_) {
                    finished.push_back(std::move(*it));
                    jobs_.erase(it);
                }
                it = following;
            }
            if (retiring_ && jobs_.empty()) {
                // Retired and drained: nothing more comes in, the thread ends.
                state_ = QueueState::Close;
                closed_ = true;
                drained = std::move(drained_);
                drained_ = nullptr;
                if (!drained) {
                    drained = [] {};
                }
            } else if (state_ == QueueState::Running) {
                job = TakeNextJob(next);
            }
        }
        ForgetJobs(finished);
        if (drained) {
            break;
        }
        if (job) {
            Deliver(job, threadId);
            continue;
        }
        MutexLock lock(mutex_);
        const auto until = next == JobEntry::Clock::time_point::max()
                               ? JobEntry::Clock::now() + std::chrono::hours(24)
                               : next;
        wakeup_.wait_until(lock, stopToken, until,
                           [this]() REQUIRES(mutex_) { return workPending_ || suspended_; });
    }
    if (drained) {
        drained();
    }
}

void PrintQueue::Deliver(const std::shared_ptr<JobEntry>& job, uint32_t threadId) {
    const std::shared_ptr<const DaemonSettings> snapshot = Settings();
    const GeneralSettings& settings = snapshot->general;
    std::shared_ptr<JobStore> store = Store();

    DeliveryRequest request;
    request.job = job;
    request.queueName = name;
    request.target = Target();
    request.printSystem = snapshot->printSystem;
    request.remoteCmdTimeout = settings.remoteCmdTimeout;
    request.forwardChunkDelayMs = settings.forwardChunkDelayMs;
    request.control = {store->PathOf(job->record.control.storeName), job->record.control.clientName,
                       job->record.control.size};
    for (const StoredFile& file : job->record.data) {
        request.data.push_back({store->PathOf(file.storeName), file.clientName, file.size});
    }
    const QueueTarget& target = request.target;
    job->SetStatusText(target.isRemote
                           ? "sending to " + target.remoteHost + ":" + target.destination
                           : "printing on " + target.destination);
    systemLog.Log(3,
                  "ThreadID(%u) : RunLPDPrinting() : Printing job (jobNo-%d, userName-%s, "
                  "hostName-%s) on print queue %s\n",
                  threadId, job->jobNo, EscapeControls(job->userName).c_str(),
                  EscapeControls(job->hostName).c_str(), name.c_str());

    DeliveryOutcome outcome;
    {
        Control control(*this, *job);
        if (target.isRemote) {
            systemLog.Log(
                3, "ThreadID(%u) RunLPDPrinting() :  redirecting the print job to remote LPD\n",
                threadId);
            outcome = RemoteJobSender(request, control).Run();
        } else {
            outcome = LocalPrintJob(request, control).Run();
        }
    }
    ApplyOutcome(job, outcome, settings, threadId);
    if (outcome.connection) {
        // The end of a forwarded job's connection, now that the job is recorded as delivered.
        Control control(*this, *job);
        control.SetSocket(outcome.connection.Get());
        RemoteJobSender::AwaitClose(outcome.connection.Get(), control);
    }
}

// The printing thread alone turns what a delivery reported into state: a delivered job goes
// with its files; a failed one waits for its next try, with a pause that doubles up to
// RetryMaxSeconds (and is given up once older than JobMaxAgeHours); a queue that cannot deliver
// anything is held for the operator.
void PrintQueue::ApplyOutcome(const std::shared_ptr<JobEntry>& job, const DeliveryOutcome& outcome,
                              const GeneralSettings& settings, uint32_t threadId) {
    using Kind = DeliveryOutcome::Kind;
    {
        MutexLock lock(mutex_);
        currentJob_ = nullptr;
    }
    const std::string jobText = "job (jobNo-" + std::to_string(job->jobNo) + ", userName-" +
                                EscapeControls(job->userName) + ", hostName-" +
                                EscapeControls(job->hostName) + ")";
    Kind kind = outcome.kind;
    std::string reason = outcome.text;
    if (outcome.error != 0) {
        reason += " (" + PrintErrorText(outcome.error) + ")";
    }
    const int64_t age = static_cast<int64_t>(std::time(nullptr)) - job->record.arrivalTime;
    if (kind == Kind::RetryLater && settings.jobMaxAgeHours > 0 &&
        age >= static_cast<int64_t>(settings.jobMaxAgeHours) * 3600) {
        kind = Kind::GiveUp;
        reason += " - undelivered for " + std::to_string(settings.jobMaxAgeHours) + " hours";
    }

    if (job->State() == JobState::Stop || kind == Kind::Done) {
        systemLog.Log(3,
                      "ThreadID(%u) : RunLPDPrinting() : Removing job (jobNo-%d, userName-%s, "
                      "hostName-%s) on print queue %s\n",
                      threadId, job->jobNo, EscapeControls(job->userName).c_str(),
                      EscapeControls(job->hostName).c_str(), name.c_str());
        if (kind == Kind::Done) {
            MutexLock lock(mutex_);
            if (failureShown_) {
                statusText_ = kReady;
                failureShown_ = false;
            }
        }
        Finished(job);
        return;
    }
    switch (kind) {
        case Kind::Done:
            break;
        case Kind::Stopped:
            job->ChangeState(JobState::Printing, JobState::Waiting);
            job->SetStatusText("waiting");
            break;
        case Kind::RetryLater: {
            // The texts first: whoever sees the failure counted sees what it was.
            const uint32_t failures = job->Failures() + 1;
            const auto pause = RetryPause(failures, settings);
            const auto now = std::chrono::system_clock::now();
            const std::string at = ClockText(now + pause);
            job->SetStatusText("retry at " + at + " - " + reason + " (failed at " + ClockText(now) +
                               ")");
            {
                MutexLock lock(mutex_);
                statusText_ = outcome.text;
                failureShown_ = true;
            }
            job->ScheduleRetry(JobEntry::Clock::now() + pause);
            job->ChangeState(JobState::Printing, JobState::Waiting);
            systemLog.Log(1,
                          "Print queue %s : delivery of %s failed (%u times): %s; next try at %s\n",
                          name.c_str(), jobText.c_str(), failures, reason.c_str(), at.c_str());
            break;
        }
        case Kind::HoldQueue:
            job->ChangeState(JobState::Printing, JobState::Waiting);
            job->SetStatusText("waiting - " + reason);
            {
                MutexLock lock(mutex_);
                if (state_ == QueueState::Running) {
                    state_ = QueueState::Pause;
                }
                statusText_ = outcome.text;
                failureShown_ = true;
            }
            systemLog.Log(1, "Print queue %s : held - %s\n", name.c_str(), reason.c_str());
            Alert(reason);
            break;
        case Kind::GiveUp:
            systemLog.Log(1, "Print queue %s : %s given up - %s\n", name.c_str(), jobText.c_str(),
                          reason.c_str());
            Finished(job);
            Alert(jobText + " given up - " + reason);
            break;
    }
    NotifyWork();
}

void PrintQueue::Finished(const std::shared_ptr<JobEntry>& job) {
    {
        MutexLock lock(mutex_);
        jobs_.remove(job);
    }
    ForgetJobs({job});
}

void PrintQueue::Alert(const std::string& reason) {
    AlertHandler alert;
    {
        MutexLock lock(mutex_);
        alert = alert_;
    }
    if (alert) {
        alert(name, reason);
    }
}

// --- jobs --------------------------------------------------------------------------------------

bool PrintQueue::AddJob(std::shared_ptr<JobEntry> job) {
    systemLog.Log(2, "LPDPrinter::AddJob() - jobNo(%d) user(%s) host(%s)\n", job->jobNo,
                  EscapeControls(job->userName).c_str(), EscapeControls(job->hostName).c_str());
    job->queueName = name;
    {
        MutexLock lock(mutex_);
        if (closed_) {
            return false;
        }
        jobs_.push_back(std::move(job));
        workPending_ = true;
    }
    wakeup_.notify_all();
    return true;
}

PrintQueue::Placement PrintQueue::ReplaceJob(const JobEntry* current,
                                             std::shared_ptr<JobEntry> replacement) {
    replacement->queueName = name;
    {
        MutexLock lock(mutex_);
        if (closed_) {
            return Placement::Closed;
        }
        auto it = std::find_if(jobs_.begin(), jobs_.end(),
                               [current](const auto& job) { return job.get() == current; });
        if (it == jobs_.end()) {
            return Placement::Removed;
        }
        *it = std::move(replacement);
        workPending_ = true;
    }
    wakeup_.notify_all();
    return Placement::Done;
}

PrintQueue::Placement PrintQueue::Locate(const JobEntry* job) const {
    MutexLock lock(mutex_);
    if (closed_) {
        return Placement::Closed;
    }
    const bool listed = std::any_of(jobs_.begin(), jobs_.end(),
                                    [job](const auto& entry) { return entry.get() == job; });
    return listed ? Placement::Done : Placement::Removed;
}

void PrintQueue::DropJob(const JobEntry* job) {
    MutexLock lock(mutex_);
    jobs_.remove_if([job](const auto& entry) { return entry.get() == job; });
}

std::shared_ptr<JobEntry> PrintQueue::FindJob(int32_t jobNo, const std::string& userName,
                                              const std::string& hostName) const {
    MutexLock lock(mutex_);
    for (const auto& job : jobs_) {
        if (job->jobNo == jobNo && job->userName == userName &&
            (hostName.empty() || job->hostName == hostName)) {
            return job;
        }
    }
    return nullptr;
}

// The job being delivered is only marked: the printing thread removes it once its delivery has
// ended. Every other job leaves the list at once; its files follow outside the lock.
void PrintQueue::ApplyRemovalRule(JobEntries::iterator position,
                                  std::vector<std::shared_ptr<JobEntry>>& removed) {
    JobEntry* job = position->get();
    if (job == currentJob_ && job->ChangeState(JobState::Printing, JobState::Stop)) {
        return;
    }
    removed.push_back(std::move(*position));
    jobs_.erase(position);
}

// A job still being received has no files of the queue's yet: its reception notices that the
// job is gone and removes what it wrote. Manifests are removed under storeMutex_, so a hold
// being written at the same moment cannot bring a removed job back.
void PrintQueue::ForgetJobs(const std::vector<std::shared_ptr<JobEntry>>& removed) {
    std::shared_ptr<JobStore> store = OpenedStore();
    if (!store) {
        return;
    }
    MutexLock lock(storeMutex_);
    for (const auto& job : removed) {
        if (job->State() != JobState::Spooling && job->record.id != 0) {
            store->Remove(job->record.id, JobStore::FileNames(job->record));
        }
    }
}

bool PrintQueue::HoldJob(JobEntry& job) {
    bool changed = false;
    if (!job.Pause(&changed)) {
        return false;
    }
    if (changed) {
        HoldChanged(job);
    }
    return true;
}

bool PrintQueue::ReleaseJob(JobEntry& job) {
    bool changed = false;
    if (!job.Resume(&changed)) {
        return false;
    }
    if (changed) {
        HoldChanged(job);
    }
    NotifyWork();
    return true;
}

void PrintQueue::HoldChanged(JobEntry& job) {
    std::shared_ptr<JobStore> store = OpenedStore();
    if (!store) {
        return;
    }
    MutexLock lock(storeMutex_);
    if (Locate(&job) != Placement::Done || job.record.id == 0) {
        return;
    }
    JobRecord record = job.record;
    record.held = job.State() == JobState::Pause;
    int error = 0;
    if (!store->Save(record, error)) {
        systemLog.Log(1, "Print queue %s : the hold of job %" PRIu64 " cannot be stored - %s\n",
                      name.c_str(), record.id, ErrorText(error).c_str());
    }
}

bool PrintQueue::RemoveJob(int32_t jobNo, const std::string& userName,
                           const std::string& hostName) {
    systemLog.Log(2, "LPDPrinter::RemoveJob() - jobNo(%d) user(%s) host(%s)\n", jobNo,
                  EscapeControls(userName).c_str(), EscapeControls(hostName).c_str());
    std::vector<std::shared_ptr<JobEntry>> removed;
    {
        MutexLock lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            const JobEntry& job = **it;
            if (job.jobNo == jobNo && job.userName == userName &&
                (hostName.empty() || job.hostName == hostName)) {
                ApplyRemovalRule(it, removed);
                break;
            }
        }
        workPending_ = true;
    }
    wakeup_.notify_all();
    ForgetJobs(removed);
    return true;
}

std::vector<std::shared_ptr<JobEntry>> PrintQueue::RemoveJobs(const RemovalRequest& request) {
    std::vector<std::shared_ptr<JobEntry>> removed;
    std::vector<std::shared_ptr<JobEntry>> refused;
    std::vector<std::shared_ptr<JobEntry>> taken;  // removed, or marked while delivered
    {
        MutexLock lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            const auto next = std::next(it);
            if (request.NamesAny() && !request.Names(**it)) {
                it = next;
                continue;
            }
            if (!request.Permits(**it)) {
                if (request.NamesAny()) {
                    refused.push_back(*it);
                }
                it = next;
                continue;
            }
            taken.push_back(*it);
            ApplyRemovalRule(it, removed);
            if (!request.NamesAny()) {
                break;  // a list naming nothing: the first job the agent may remove
            }
            it = next;
        }
        workPending_ = true;
    }
    wakeup_.notify_all();
    if (systemLog.Writes(2)) {
        for (const auto& job : taken) {
            systemLog.Log(2, "LPDPrinter::RemoveJob() - jobNo(%d) user(%s) host(%s)\n", job->jobNo,
                          EscapeControls(job->userName).c_str(),
                          EscapeControls(job->hostName).c_str());
        }
    }
    ForgetJobs(removed);
    return refused;
}

bool PrintQueue::RemoveJob(const JobEntry* job) {
    systemLog.Log(2, "LPDPrinter::RemoveJob() - remove with jobEntry pointer\n");
    std::vector<std::shared_ptr<JobEntry>> removed;
    {
        MutexLock lock(mutex_);
        auto it = jobs_.begin();
        while (it != jobs_.end() && it->get() != job) {
            ++it;
        }
        if (it == jobs_.end()) {
            return false;
        }
        ApplyRemovalRule(it, removed);
        workPending_ = true;
    }
    wakeup_.notify_all();
    ForgetJobs(removed);
    return true;
}

bool PrintQueue::RemoveJob() {
    systemLog.Log(2, "LPDPrinter::RemoveJob() - remove all jobs on print queue %s\n", name.c_str());
    std::vector<std::shared_ptr<JobEntry>> removed;
    {
        MutexLock lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            auto next = std::next(it);
            ApplyRemovalRule(it, removed);
            it = next;
        }
        workPending_ = true;
    }
    wakeup_.notify_all();
    ForgetJobs(removed);
    return true;
}

std::vector<std::shared_ptr<JobEntry>> PrintQueue::Jobs() const {
    MutexLock lock(mutex_);
    return {jobs_.begin(), jobs_.end()};
}

size_t PrintQueue::JobCount() const {
    MutexLock lock(mutex_);
    return jobs_.size();
}

// --- protocol ----------------------------------------------------------------------------------

bool PrintQueue::RecvJob(ClientConnection& connection) {
    if (Retiring()) {
        systemLog.Log(1, "Print queue %s is no longer in the configuration: job refused\n",
                      name.c_str());
        SendNack(connection);
        return true;
    }
    return JobReceiver(*this, connection).Run();
}

void PrintQueue::SendAck(ClientConnection& connection) {
    static const char ack = 0;
    if (localPrintLog.Writes(1)) {
        localPrintLog.HexDump("Send ACK to LPR client ", &ack, 1);
    }
    connection.Send(&ack, 1);
}

void PrintQueue::SendNack(ClientConnection& connection) {
    static const char nack = 1;
    if (localPrintLog.Writes(1)) {
        localPrintLog.HexDump("Send NACK to LPR client ", &nack, 1);
    }
    connection.Send(&nack, 1);
}

uint32_t PrintQueue::JobList(JobListReport::Format format, JobListReport::Select select,
                             int32_t jobNo, const char* userName, char* buffer,
                             uint32_t size) const {
    const std::string text =
        JobListReport::Text(name, Jobs(), format, select, jobNo, userName ? userName : "");
    return JobListReport::CopyOut(text, buffer, size);
}

using Format = JobListReport::Format;
using Select = JobListReport::Select;

uint32_t PrintQueue::ShortJobList(int32_t jobNo, char* buffer, uint32_t size) {
    return JobList(Format::Short, Select::Number, jobNo, nullptr, buffer, size);
}

uint32_t PrintQueue::ShortJobList(const char* userName, char* buffer, uint32_t size) {
    return JobList(Format::Short, Select::User, 0, userName, buffer, size);
}

uint32_t PrintQueue::ShortJobList(char* buffer, uint32_t size) {
    return JobList(Format::Short, Select::All, 0, nullptr, buffer, size);
}

uint32_t PrintQueue::LongJobList(int32_t jobNo, char* buffer, uint32_t size) {
    return JobList(Format::Long, Select::Number, jobNo, nullptr, buffer, size);
}

uint32_t PrintQueue::LongJobList(const char* userName, char* buffer, uint32_t size) {
    return JobList(Format::Long, Select::User, 0, userName, buffer, size);
}

uint32_t PrintQueue::LongJobList(char* buffer, uint32_t size) {
    return JobList(Format::Long, Select::All, 0, nullptr, buffer, size);
}

}  // namespace pg
