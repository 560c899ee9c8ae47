#include "engine/PrintQueue.h"

#include <sys/socket.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <utility>

#include "engine/ClientConnection.h"
#include "engine/JobListReport.h"
#include "engine/JobReceiver.h"
#include "engine/LPDSpooler.h"
#include "engine/LocalPrintJob.h"
#include "engine/RemoteJobSender.h"
#include "engine/StateName.h"
#include "log/LogFile.h"
#include "platform/PrintSystem.h"
#include "platform/ThreadId.h"

namespace pg {

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

std::string PrintQueue::SpoolDirectory() const {
    LPDSpooler* spooler = Spooler();
    std::string base = spooler ? spooler->Settings().spoolBaseDirectory : std::string(".");
    return JoinPath(base, name);
}

// --- printing thread ---------------------------------------------------------------------------

bool PrintQueue::HasPrintingThread() const {
    MutexLock lock(controlMutex_);
    return thread_.joinable();
}

bool PrintQueue::Activate() {
    systemLog.Log(1, "Activate print queue %s\n", name.c_str());
    ::mkdir(SpoolDirectory().c_str(), 0700);  // the daemon's alone; an existing one is fine

    MutexLock control(controlMutex_);
    if (shutDown_) {
        return false;
    }
    if (!thread_.joinable()) {
        systemLog.Log(3, "Activate Print Queue  %s - creating RunLPDPrinting thread\n",
                      name.c_str());
        // The state is running before the thread exists: a thread that found the queue still
        // stopped would end at once.
        QueueState before;
        {
            MutexLock lock(mutex_);
            before = state_;
            state_ = QueueState::Running;
            suspended_ = false;
            workPending_ = true;
        }
        try {
            thread_ = std::jthread([this](std::stop_token token) { RunLPDPrinting(token); });
        } catch (const std::system_error&) {
            {
                MutexLock lock(mutex_);
                state_ = before;
            }
            systemLog.Log(1,
                          "Error -  LPDPrinter::Activate() - fail in creating RunLPDPrinting "
                          "thread for print queue %s\n",
                          name.c_str());
            return false;
        }
        SetStatusText("This print queue is ready");
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
        statusText_ = "This print queue is ready";
    }
    wakeup_.notify_all();
    return true;
}

void PrintQueue::SetDeliverySocket(int fd) {
    MutexLock lock(mutex_);
    deliverySocket_ = fd;
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

void PrintQueue::Shutdown() {
    std::list<std::shared_ptr<JobEntry>> jobs;
    {
        MutexLock control(controlMutex_);
        if (shutDown_) {
            return;
        }
        shutDown_ = true;
        StopThread();
        MutexLock lock(mutex_);
        state_ = QueueState::Close;
        jobs.swap(jobs_);
        currentJob_ = nullptr;
    }
    systemLog.Log(3, "Deleting Print Queue Object: %s\n", name.c_str());
    jobs.clear();  // destroys the entries outside every lock: they delete files
}

void PrintQueue::NotifyWork() {
    {
        MutexLock lock(mutex_);
        workPending_ = true;
    }
    wakeup_.notify_all();
}

bool PrintQueue::StopRequested() const {
    MutexLock lock(mutex_);
    return stopToken_.stop_requested();
}

bool PrintQueue::DeliveryCheckpoint() {
    MutexLock lock(mutex_);
    std::stop_token token = stopToken_;
    wakeup_.wait(lock, token, [this]() REQUIRES(mutex_) { return !suspended_; });
    return !token.stop_requested();
}

bool PrintQueue::DeliverySleep(int ms) {
    MutexLock lock(mutex_);
    std::stop_token token = stopToken_;
    wakeup_.wait_for(lock, token, std::chrono::milliseconds(ms), [] { return false; });
    return !token.stop_requested();
}

void PrintQueue::RunLPDPrinting(std::stop_token stopToken) {
    const uint32_t threadId = CurrentThreadId();
    threadId_.store(threadId);
    {
        MutexLock lock(mutex_);
        stopToken_ = stopToken;
    }
    while (!stopToken.stop_requested()) {
        std::shared_ptr<JobEntry> deliver;
        std::shared_ptr<JobEntry> finished;
        bool remote = false;
        {
            MutexLock lock(mutex_);
            // Pause(): hold still until Activate() or the end.
            wakeup_.wait(lock, stopToken, [this]() REQUIRES(mutex_) { return !suspended_; });
            if (stopToken.stop_requested() || state_ == QueueState::Stop ||
                state_ == QueueState::Close) {
                break;
            }
            workPending_ = false;
            if (state_ == QueueState::Running && !jobs_.empty()) {
                const std::shared_ptr<JobEntry>& head = jobs_.front();
                if (!head->receiving.load() &&
                    head->ChangeState(JobState::Waiting, JobState::Printing)) {
                    currentJob_ = head.get();
                    head->SetStatusText("Spooling to destination printer");
                    deliver = head;
                    remote = target_.isRemote;
                } else if (head->State() == JobState::Stop) {
                    finished = head;
                }
            }
        }

        if (deliver) {
            systemLog.Log(3,
                          "ThreadID(%u) : RunLPDPrinting() : Printing job (jobNo-%d, userName-%s, "
                          "hostName-%s) on print queue %s\n",
                          threadId, deliver->jobNo, deliver->userName.c_str(),
                          deliver->hostName.c_str(), name.c_str());
            bool delivered;
            if (remote) {
                systemLog.Log(
                    3, "ThreadID(%u) RunLPDPrinting() :  redirecting the print job to remote LPD\n",
                    threadId);
                delivered = SendJob(*deliver);
            } else {
                delivered = PrintFile(*deliver);
            }
            if (stopToken.stop_requested()) {
                break;  // Stop during delivery: the job stays printing at the head
            }
            if (delivered) {
                deliver->SetState(JobState::Stop);
            } else {
                deliver->SetStatusText("Error in printing the job.  Wait for next retry.");
                deliver->SetState(JobState::Waiting);
                if (!DeliverySleep(3000)) {
                    break;
                }
            }
            if (deliver->State() == JobState::Stop) {
                finished = deliver;
            }
        }

        if (finished) {
            systemLog.Log(3,
                          "ThreadID(%u) : RunLPDPrinting() : Removing job (jobNo-%d, userName-%s, "
                          "hostName-%s) on print queue %s\n",
                          threadId, finished->jobNo, finished->userName.c_str(),
                          finished->hostName.c_str(), name.c_str());
            RemoveJob(finished.get());
            finished.reset();
        }
        deliver.reset();

        // The one-second pass; a job becoming ready at the head ends it early.
        MutexLock lock(mutex_);
        wakeup_.wait_for(lock, stopToken, std::chrono::milliseconds(1000),
                         [this]() REQUIRES(mutex_) { return workPending_ || suspended_; });
    }
    PrinterClose();
}

// --- jobs --------------------------------------------------------------------------------------

bool PrintQueue::AddJob(std::shared_ptr<JobEntry> job) {
    systemLog.Log(2, "LPDPrinter::AddJob() - jobNo(%d) user(%s) host(%s)\n", job->jobNo,
                  job->userName.c_str(), job->hostName.c_str());
    job->queue = this;
    job->queueName = name;
    job->spoolDirectory = SpoolDirectory();
    {
        MutexLock lock(mutex_);
        jobs_.push_back(std::move(job));
        workPending_ = true;
    }
    wakeup_.notify_all();
    return true;
}

void PrintQueue::JobReceived(JobEntry& job) {
    if (job.ChangeState(JobState::Spooling, JobState::Waiting)) {
        NotifyWork();
    }
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

void PrintQueue::ApplyRemovalRule(std::list<std::shared_ptr<JobEntry>>::iterator position,
                                  std::vector<std::shared_ptr<JobEntry>>& destroyed) {
    JobEntry* job = position->get();
    if (job == currentJob_ && job->ChangeState(JobState::Printing, JobState::Stop)) {
        return;  // the printing thread ends the delivery and removes it
    }
    destroyed.push_back(std::move(*position));
    jobs_.erase(position);
}

bool PrintQueue::RemoveJob(int32_t jobNo, const std::string& userName,
                           const std::string& hostName) {
    systemLog.Log(2, "LPDPrinter::RemoveJob() - jobNo(%d) user(%s) host(%s)\n", jobNo,
                  userName.c_str(), hostName.c_str());
    std::vector<std::shared_ptr<JobEntry>> destroyed;
    {
        MutexLock lock(mutex_);
        const bool anyOwner = userName == "root";
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            const JobEntry& job = **it;
            if (job.jobNo == jobNo && (anyOwner || job.userName == userName) &&
                (hostName.empty() || job.hostName == hostName)) {
                ApplyRemovalRule(it, destroyed);
                break;
            }
        }
        workPending_ = true;
    }
    wakeup_.notify_all();
    return true;  // the entries in destroyed go here, outside the lock
}

bool PrintQueue::RemoveJob(const std::string& userName, const std::string& hostName) {
    systemLog.Log(2, "LPDPrinter::RemoveJob() - user(%s) host(%s)\n", userName.c_str(),
                  hostName.c_str());
    std::vector<std::shared_ptr<JobEntry>> destroyed;
    {
        MutexLock lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            auto next = std::next(it);
            if ((*it)->userName == userName && (hostName.empty() || (*it)->hostName == hostName)) {
                ApplyRemovalRule(it, destroyed);
            }
            it = next;
        }
        workPending_ = true;
    }
    wakeup_.notify_all();
    return true;
}

bool PrintQueue::RemoveJob(const JobEntry* job) {
    systemLog.Log(2, "LPDPrinter::RemoveJob() - remove with jobEntry pointer\n");
    std::vector<std::shared_ptr<JobEntry>> destroyed;
    {
        MutexLock lock(mutex_);
        auto it = jobs_.begin();
        while (it != jobs_.end() && it->get() != job) {
            ++it;
        }
        if (it == jobs_.end()) {
            return false;
        }
        ApplyRemovalRule(it, destroyed);
        workPending_ = true;
    }
    wakeup_.notify_all();
    return true;
}

bool PrintQueue::RemoveJob() {
    systemLog.Log(2, "LPDPrinter::RemoveJob() - remove all jobs on print queue %s\n", name.c_str());
    std::vector<std::shared_ptr<JobEntry>> destroyed;
    {
        MutexLock lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            auto next = std::next(it);
            ApplyRemovalRule(it, destroyed);
            it = next;
        }
        workPending_ = true;
    }
    wakeup_.notify_all();
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
    return JobReceiver(*this, connection).Run();
}

void PrintQueue::SendAck(ClientConnection& connection) {
    static const char ack = 0;
    if (localPrintLog.Level() >= 1) {
        localPrintLog.HexDump("Send ACK to LPR client ", &ack, 1);
    }
    connection.Send(&ack, 1);
}

void PrintQueue::SendNack(ClientConnection& connection) {
    static const char nack = 1;
    if (localPrintLog.Level() >= 1) {
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

// --- delivery ----------------------------------------------------------------------------------

bool PrintQueue::PrinterInitialisation() {
    const std::string destination = Destination();
    LPDSpooler* spooler = Spooler();
    PrintSystem* printSystem = spooler ? spooler->GetPrintSystem() : nullptr;
    int error = ENODEV;
    printerHandle_ = printSystem ? printSystem->Open(destination, error) : nullptr;
    if (printerHandle_) {
        MutexLock lock(mutex_);
        activePrinter_ = printerHandle_.get();
        return true;
    }
    SetStatusText("Failed to open printer" + destination);
    systemLog.Log(1,
                  "Error - LPDPrinter::PrinterInitialisation() - fail in OpenPrinter %s - last "
                  "error(%ld)\n",
                  destination.c_str(), static_cast<long>(error));
    return false;
}

void PrintQueue::PrinterClose() {
    {
        MutexLock lock(mutex_);
        activePrinter_ = nullptr;
    }
    printerHandle_.reset();
    systemLog.Log(3, "LPDPrinter::PrinterClose() - close printer %s\n", Destination().c_str());
}

bool PrintQueue::PrintFile(JobEntry& job) {
    return LocalPrintJob(*this, job).Run();
}

bool PrintQueue::SendJob(JobEntry& job) {
    return RemoteJobSender(*this, job).Run();
}

}  // namespace pg
