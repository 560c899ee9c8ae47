#include "engine/LPDSpooler.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

#include "config/QueueEntry.h"
#include "engine/ConfigurationCheck.h"
#include "engine/ConnectionHandler.h"
#include "engine/Listener.h"
#include "engine/PrintQueue.h"
#include "engine/SettingsBoard.h"
#include "engine/StateName.h"
#include "log/LogFile.h"
#include "platform/OperatorMessage.h"
#include "platform/PrintSystem.h"
#include "platform/UniqueFd.h"

namespace pg {

namespace {

// Where a [Print Queues] entry (and its own section) says the queue delivers.
QueueTarget TargetOf(const QueueEntry& entry) {
    QueueTarget target;
    target.destination = entry.destination;
    target.remoteHost = entry.remoteHost;
    target.remotePort = entry.remotePort;
    target.isRemote = entry.isRemote;
    target.formFeedAtEndOfJob = entry.formFeedAtEndOfJob;
    target.maxJobMB = entry.maxJobMB;
    return target;
}

// The settings reader hands over whole lines ending in a line feed; logging them through
// "%s\n" keeps the line-start bookkeeping right and a '%' in a path harmless.
void LogSettingLine(const std::string& line) {
    if (!systemLog.Writes(1)) {
        return;
    }
    std::string text = line;
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        systemLog.Log(1, "%s\n", text.c_str());
    } else {
        systemLog.Log(1, "%s", text.c_str());
    }
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Every file (not directory) inside directory is deleted, then the directory itself if that
// left it empty.
void ClearQueueDirectory(const std::string& directory) {
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string path = JoinPath(directory, entry->d_name);
            if (!IsDirectory(path)) {
                ::unlink(path.c_str());
            }
        }
        ::closedir(dir);
    }
    ::rmdir(directory.c_str());
}

// Each first-level directory of the spool base is a queue's: its files go, then the directory
// if it is empty then. Files lying in the base itself and deeper directories stay.
void ClearSpoolArea(const std::string& base) {
    systemLog.Log(1, "Clearing Spool Directory\n");
    DIR* dir = ::opendir(base.c_str());
    if (dir == nullptr) {
        return;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            ClearQueueDirectory(JoinPath(base, name));
        }
    }
    ::closedir(dir);
}

}  // namespace

const char* SpoolerStateName(uint8_t state) {
    static constexpr std::array<const char*, 6> kNames{"Initial", "starting", "running",
                                                       "pause",   "stop",     "close"};
    return StateNameFrom(kNames, state);
}

LPDSpooler::LPDSpooler(ConfigLocation location)
    : location_(std::move(location)),
      profile_(location_.IniPath()),
      settings_(std::make_shared<SettingsBoard>()) {
    systemLog.Log(1, "A LPDSpooler instance is created.\n");
    if (!location_.FindConfigurationFile()) {
        systemLog.Log(1, "PGATE.INI not found.  Automatically create one in system directory.\n");
        CreateDefaultConfiguration(location_);
    }
    std::shared_ptr<const DaemonSettings> settings = ReadConfiguration(nullptr, startupError_);
    if (!startupError_.empty()) {
        systemLog.Log(1, "Error - the daemon cannot run with %s: %s\n", profile_.Path().c_str(),
                      startupError_.c_str());
        return;
    }
    settings_->Publish(settings);
    if (settings->general.activateLPDOnStart) {
        StartSpooling(nullptr, true);
    }
}

LPDSpooler::~LPDSpooler() {
    SetScreenOutput(nullptr);
    systemLog.Log(1, "Exiting LPDSpooler\n");
    std::vector<std::shared_ptr<PrintQueue>> queues;
    std::vector<std::shared_ptr<PrintQueue>> drained;
    {
        MutexLock lock(printersMutex_);
        queues.swap(printers_);
        drained.swap(drained_);
    }
    if (!queues.empty()) {
        for (auto& queue : queues) {
            queue->Shutdown();
        }
        systemLog.Log(1, "Removing all print queues from list.\n");
        queues.clear();
    }
    for (auto& queue : drained) {
        queue->Shutdown();
    }
    listener_.reset();
    connections_.StopAll();
    state_.store(SpoolerState::Close);
}

// Every value the check rejects is read as absent, so its default applies; the check's findings
// go to the system log as warnings.
std::shared_ptr<const DaemonSettings> LPDSpooler::ReadConfiguration(const DaemonSettings* current,
                                                                    std::string& fatal) {
    std::string iniText;
    (void)profile_.ReadText(iniText);
    ConfigurationCheck check(iniText);

    auto next = std::make_shared<DaemonSettings>();
    std::string spoolBase;
    SettingsReadHooks hooks;
    hooks.spoolBaseKnown = [&spoolBase](const std::string& directory) {
        spoolBase = directory;
        ::mkdir(directory.c_str(), 0755);  // failure (it exists) is fine
    };
    if (current == nullptr) {
        hooks.logLine = LogSettingLine;
        hooks.clearSpool = [&spoolBase] { ClearSpoolArea(spoolBase); };
    }
    hooks.rejected = [&check](const char* key) {
        return check.Text().Rejected("GENERAL CONFIGURE", key);
    };
    next->general = ReadGeneralSettings(profile_, location_, hooks);
    if (current != nullptr) {
        for (const std::string& change : ChangedSettings(current->general, next->general)) {
            systemLog.Log(1, "Reload : %s\n", change.c_str());
        }
    }

    AccessRules access = AccessRules::Read(profile_);
    for (const AccessRules::Problem& problem : access.Problems()) {
        systemLog.Log(1, "Error - pgate.ini line %d: [Access] %s - line ignored\n", problem.line,
                      problem.text.c_str());
    }
    if (access.Present()) {
        systemLog.Log(1, "[Access] holds %zu rules\n", access.Rules().size());
    } else {
        systemLog.Log(1, "No [Access] section: every host may print, see and remove\n");
    }
    next->access = std::make_shared<const AccessRules>(std::move(access));

    std::string reason;
    if (current != nullptr && current->general.printSystem == next->general.printSystem) {
        next->printSystem = current->printSystem;
    } else {
        next->printSystem = PrintSystem::Create(next->general.printSystem, &reason);
        if (!next->printSystem) {
            systemLog.Log(1, "Error - PrintSystem %s cannot be used: %s\n",
                          next->general.printSystem.c_str(), reason.c_str());
        }
    }
    check.CheckSurroundings(next->printSystem.get(), reason);
    for (const ConfigProblem& problem : check.Problems()) {
        const std::string where =
            problem.line > 0 ? " line " + std::to_string(problem.line) : std::string();
        systemLog.Log(1, "Warning - %s%s: %s%s\n", profile_.Path().c_str(), where.c_str(),
                      problem.text.c_str(), problem.valueRejected ? " - its default is used" : "");
    }
    fatal = check.Fatal();
    return fatal.empty() ? next : nullptr;
}

std::shared_ptr<const DaemonSettings> LPDSpooler::Snapshot() const {
    return settings_->Current();
}

GeneralSettings LPDSpooler::Settings() const {
    return Snapshot()->general;
}

PrintSystem* LPDSpooler::GetPrintSystem() const {
    return Snapshot()->printSystem.get();
}

void LPDSpooler::SetSettings(const GeneralSettings& settings) {
    const std::shared_ptr<const DaemonSettings> current = Snapshot();
    auto next = std::make_shared<DaemonSettings>(*current);
    next->general = settings;
    if (settings.printSystem != current->general.printSystem) {
        std::string reason;
        if (auto made = PrintSystem::Create(settings.printSystem, &reason)) {
            next->printSystem = std::move(made);
        } else {
            systemLog.Log(1, "Error - PrintSystem %s cannot be used: %s - %s stays in force\n",
                          settings.printSystem.c_str(), reason.c_str(),
                          current->general.printSystem.c_str());
            next->general.printSystem = current->general.printSystem;
        }
    }
    PutInForce(std::move(next));
}

std::shared_ptr<const AccessRules> LPDSpooler::Access() const {
    return Snapshot()->access;
}

void LPDSpooler::SetAccess(AccessRules rules) {
    auto next = std::make_shared<DaemonSettings>(*Snapshot());
    next->access = std::make_shared<const AccessRules>(std::move(rules));
    PutInForce(std::move(next));
}

void LPDSpooler::PutInForce(std::shared_ptr<const DaemonSettings> next) {
    const std::shared_ptr<const DaemonSettings> before = settings_->Publish(next);
    const GeneralSettings& was = before->general;
    const GeneralSettings& now = next->general;
    MoveListener(was, now);
    if (now.spoolBaseDirectory != was.spoolBaseDirectory || now.syncSpool != was.syncSpool) {
        for (const auto& queue : Printers()) {
            if (!queue->FollowSpoolSettings()) {
                systemLog.Log(1,
                              "Warning - print queue %s holds jobs: it keeps its spool in the "
                              "old SpoolBaseDirectory until the daemon is started again\n",
                              queue->name.c_str());
            }
        }
    }
    if (now.runAsUser != was.runAsUser && state_.load() != SpoolerState::None) {
        systemLog.Log(1,
                      "Warning - RunAsUser changed: the daemon keeps serving as the user it "
                      "became at start until it is started again\n");
    }
}

namespace {

// Whether this process may bind port now: a port below 1024 needs the privilege, which a daemon
// that gave up root no longer has. The kernel checks the privilege before it looks at the port's
// use, so a probe on a port in use tells the two apart.
bool MayBindPort(uint16_t port) {
    if (port >= 1024 || ::geteuid() == 0) {
        return true;
    }
    UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return probe &&
           (::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
            errno != EACCES);
}

}  // namespace

std::unique_ptr<Listener> LPDSpooler::MakeListener(const GeneralSettings& bindWith, bool running,
                                                   UniqueFd inherited) {
    Listener::Hooks hooks;
    hooks.settings = [board = settings_] { return board->Current(); };
    hooks.running = [this] { return state_.load() == SpoolerState::Running; };
    hooks.serve = [this](int fd, std::stop_token token, std::atomic<bool>& engaged) {
        ConnectionHandler handler(
            Snapshot(), [this](const char* name) { return FindQueueIgnoringCase(name); }, fd);
        handler.Run(std::move(token), &engaged);
    };
    try {
        return std::make_unique<Listener>(bindWith, std::move(hooks), connections_,
                                          ownerWindow_.load(), running, std::move(inherited));
    } catch (const std::system_error&) {
        systemLog.Log(1, "Error: fail to create the spoolingThread\n");
        return nullptr;
    }
}

// A new port is bound before the old one is let go, so that a failure leaves the daemon
// listening where it did; the same port on other addresses can only be bound once the old
// sockets are closed. Either way the connections waiting on the old sockets are still served.
void LPDSpooler::MoveListener(const GeneralSettings& before, const GeneralSettings& after) {
    if (!listener_ || (before.lpdServerPort == after.lpdServerPort &&
                       before.listenAddress == after.listenAddress)) {
        return;  // a listener not made yet binds what is in force when it is
    }
    const uint16_t was = listener_->BoundPort();
    if (listener_->Inherited()) {
        systemLog.Log(1,
                      "Warning - the listening socket comes from the service manager: it stays "
                      "on port %u (LPDServerPort and ListenAddress are the socket unit's)\n",
                      was);
        return;
    }
    const bool running = state_.load() == SpoolerState::Running;
    if (after.ListenPort() == 0 || after.ListenPort() != was) {
        std::unique_ptr<Listener> fresh = MakeListener(after, running);
        if (fresh && fresh->WaitUntilListening() == 0) {
            listener_->HandOver();
            listener_ = std::move(fresh);
            systemLog.Log(1, "LPD Daemon listens on port %u now\n", listener_->BoundPort());
        } else {
            systemLog.Log(1, "Error - the listener stays on port %u\n", was);
        }
        return;
    }
    if (!MayBindPort(after.ListenPort())) {
        systemLog.Log(1,
                      "Error - ListenAddress changed, but the daemon may not bind port %u any "
                      "more: the listener stays where it is until the daemon is started again\n",
                      was);
        return;
    }
    listener_->HandOver();
    listener_.reset();
    listener_ = MakeListener(after, running);
    if (listener_ && listener_->WaitUntilListening() == 0) {
        systemLog.Log(1, "LPD Daemon listens on port %u now\n", listener_->BoundPort());
        return;
    }
    systemLog.Log(1, "Error - the listener goes back to what it listened on before\n");
    listener_ = MakeListener(before, running);
    if (listener_) {
        listener_->WaitUntilListening();
    }
}

bool LPDSpooler::Reload() {
    systemLog.Log(1, "Reloading %s\n", profile_.Path().c_str());
    std::string fatal;
    std::shared_ptr<const DaemonSettings> next = ReadConfiguration(Snapshot().get(), fatal);
    if (!next) {
        systemLog.Log(1, "Error - %s is not reloaded: %s - the settings in force stay\n",
                      profile_.Path().c_str(), fatal.c_str());
        return false;
    }
    PutInForce(std::move(next));
    ReloadQueues();
    ReloadLogSettings(profile_.Path());
    systemLog.Log(1, "%s reloaded: %zu print queues\n", profile_.Path().c_str(), Printers().size());
    return true;
}

// The queues of [Print Queues] in file order: kept ones keep their jobs and take their new
// destination, new ones start as the daemon runs, and a queue no longer there goes at once when
// it holds no job, or is retired until it has delivered them.
void LPDSpooler::ReloadQueues() {
    std::vector<std::shared_ptr<PrintQueue>> drained;
    {
        MutexLock lock(printersMutex_);
        drained.swap(drained_);
    }
    for (auto& queue : drained) {
        queue->Shutdown();
    }

    std::vector<std::shared_ptr<PrintQueue>> old = Printers();
    std::vector<std::shared_ptr<PrintQueue>> listed;
    std::vector<std::shared_ptr<PrintQueue>> added;
    for (const QueueEntry& entry : ReadQueueEntries(profile_)) {
        auto kept = std::find_if(old.begin(), old.end(), [&entry](const auto& queue) {
            return queue && queue->name == entry.name && queue->State() != QueueState::Close;
        });
        if (kept == old.end()) {
            added.push_back(MakeQueue(entry));
            listed.push_back(added.back());
            systemLog.Log(1, "Add Print Queue : %s\n", entry.name.c_str());
            continue;
        }
        std::shared_ptr<PrintQueue> queue = std::move(*kept);
        if (const QueueTarget target = TargetOf(entry); target != queue->Target()) {
            queue->SetTarget(target);
            systemLog.Log(1, "Print queue %s now prints to %s\n", entry.name.c_str(),
                          AddedEntryValue(entry).c_str());
        }
        if (queue->Retiring()) {
            queue->Unretire();
            systemLog.Log(1, "Print queue %s is in the configuration again\n", entry.name.c_str());
        }
        listed.push_back(std::move(queue));
    }
    std::vector<std::shared_ptr<PrintQueue>> removed;
    for (auto& queue : old) {
        if (!queue) {
            continue;  // kept
        }
        const size_t jobs = queue->JobCount();
        if (jobs == 0) {
            removed.push_back(std::move(queue));
            continue;
        }
        if (!queue->Retiring()) {
            systemLog.Log(1,
                          "Warning - print queue %s is no longer in %s but holds %zu jobs: it "
                          "takes no new job and is kept until they are delivered\n",
                          queue->name.c_str(), profile_.Path().c_str(), jobs);
            const PrintQueue* retiring = queue.get();
            queue->Retire([this, retiring] { Drained(retiring); });
        }
        listed.push_back(std::move(queue));
    }
    {
        MutexLock lock(printersMutex_);
        // A retired queue may have drained meanwhile: it stays out.
        std::erase_if(listed, [this](const auto& queue) REQUIRES(printersMutex_) {
            return std::find(drained_.begin(), drained_.end(), queue) != drained_.end();
        });
        printers_ = std::move(listed);
    }
    for (auto& queue : removed) {
        queue->Shutdown();
        systemLog.Log(1, "Remove Print Queue : %s\n", queue->name.c_str());
    }
    for (auto& queue : added) {
        queue->Store();
    }
    if (state_.load() == SpoolerState::Running) {
        for (auto& queue : added) {
            queue->Activate();
        }
    }
}

void LPDSpooler::Drained(const PrintQueue* queue) {
    std::string name;
    {
        MutexLock lock(printersMutex_);
        auto it = std::find_if(printers_.begin(), printers_.end(),
                               [queue](const auto& listed) { return listed.get() == queue; });
        if (it == printers_.end()) {
            return;
        }
        name = (*it)->name;
        drained_.push_back(std::move(*it));  // released by the changing thread, not this one
        printers_.erase(it);
    }
    systemLog.Log(1, "Remove Print Queue : %s\n", name.c_str());
}

uint16_t LPDSpooler::BoundPort() const {
    return listener_ ? listener_->BoundPort() : 0;
}

void LPDSpooler::AdoptListeningSocket(UniqueFd socket) {
    inheritedListener_ = std::move(socket);
}

int LPDSpooler::WaitUntilListening() const {
    return listener_ ? listener_->WaitUntilListening() : EBADF;
}

void LPDSpooler::SetScreenOutput(std::function<void(const char*)> sink) {
    LogFile::SetScreenOutput(std::move(sink));
}

void LPDSpooler::SetQueueAlertHandler(QueueAlertHandler handler) {
    MutexLock lock(alertMutex_);
    alertHandler_ = std::move(handler);
}

// The handler is called under the lock, so that a window taking it away knows it is not
// running any more; it must not block.
void LPDSpooler::Alert(const std::string& queueName, const std::string& reason) {
    MutexLock lock(alertMutex_);
    if (alertHandler_) {
        alertHandler_(queueName, reason);
    }
}

void LPDSpooler::ShowMessage(const std::string& text) {
    OperatorMessage::Show(ownerWindow_.load(), "Error", text);
}

void LPDSpooler::Attach(PrintQueue& queue) {
    queue.Attach(settings_, [this](const std::string& name, const std::string& reason) {
        Alert(name, reason);
    });
}

std::shared_ptr<PrintQueue> LPDSpooler::MakeQueue(const QueueEntry& entry) {
    auto queue = std::make_shared<PrintQueue>(entry.name);
    queue->SetTarget(TargetOf(entry));
    queue->SetStatusText(entry.statusText);
    Attach(*queue);
    return queue;
}

bool LPDSpooler::StartSpooling(void* ownerWindow, bool activate) {
    if (!startupError_.empty()) {
        systemLog.Log(1, "Error: fail to create the spoolingThread\n");
        return false;
    }
    std::vector<std::shared_ptr<PrintQueue>> queues;
    {
        MutexLock lock(printersMutex_);
        if (printers_.empty()) {
            for (const QueueEntry& entry : ReadQueueEntries(profile_)) {
                printers_.push_back(MakeQueue(entry));
            }
        }
        queues = printers_;
    }
    // Every queue takes back the complete jobs of its spool directory before any queue
    // delivers and before the listener takes a connection.
    for (auto& queue : queues) {
        queue->Store();
    }
    for (auto& queue : queues) {
        if (activate) {
            queue->Activate();
        }
    }

    ownerWindow_.store(ownerWindow);
    if (listener_ && listener_->Alive()) {
        listener_->SetOwnerWindow(ownerWindow);
        return true;
    }

    // The state is set before the listener exists, so that the first connection it takes
    // already finds the daemon running.
    const SpoolerState before = state_.load();
    state_.store(activate ? SpoolerState::Running : SpoolerState::Pause);
    listener_.reset();
    listener_ = MakeListener(Snapshot()->general, activate, std::move(inheritedListener_));
    if (!listener_) {
        state_.store(before);
        return false;
    }
    systemLog.Log(1, "LPDSpooler state changed to runningState\n");
    return true;
}

void LPDSpooler::ActivateLPD(bool activate) {
    if (!activate && state_.load() == SpoolerState::Running) {
        state_.store(SpoolerState::Pause);
        if (listener_) {
            listener_->Suspend();
        }
        systemLog.Log(1, "LPD Daemon is paused.  No more print request will be accepted.\n");
    } else if (activate && state_.load() != SpoolerState::Running) {
        state_.store(SpoolerState::Running);
        if (listener_) {
            listener_->Resume();
        }
        systemLog.Log(1, "LPD Daemon is ready to accept print request.\n");
    }
    for (auto& queue : Printers()) {
        if (activate) {
            queue->Activate();
        } else {
            queue->Stop();
        }
    }
}

std::shared_ptr<PrintQueue> LPDSpooler::FindQueue(const std::string& name) const {
    MutexLock lock(printersMutex_);
    for (const auto& queue : printers_) {
        if (queue->name == name) {
            return queue;
        }
    }
    return nullptr;
}

std::shared_ptr<PrintQueue> LPDSpooler::FindQueueIgnoringCase(const char* name) const {
    MutexLock lock(printersMutex_);
    for (const auto& queue : printers_) {
        if (::strcasecmp(queue->name.c_str(), name) == 0) {
            return queue;
        }
    }
    return nullptr;
}

std::vector<std::shared_ptr<PrintQueue>> LPDSpooler::Printers() const {
    MutexLock lock(printersMutex_);
    return printers_;
}

void LPDSpooler::ClearSpoolDirectory() {
    ClearSpoolArea(Settings().spoolBaseDirectory);
}

// --- queue administration (window thread) ------------------------------------------------------

namespace {

QueueEntry EntryOf(const PrintQueue& queue) {
    const QueueTarget target = queue.Target();
    QueueEntry entry;
    entry.name = queue.name;
    entry.destination = target.destination;
    entry.remoteHost = target.remoteHost;
    entry.remotePort = target.remotePort;
    entry.isRemote = target.isRemote;
    entry.statusText = queue.StatusText();
    entry.formFeedAtEndOfJob = target.formFeedAtEndOfJob;
    entry.maxJobMB = target.maxJobMB;
    return entry;
}

// A queue's name is also a section of pgate.ini and a directory under the spool base: names
// that would share a fixed section, or leave the spool directory, are refused.
bool IsUsableQueueName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find_first_of("[]=,;\r\n") != std::string::npos) {
        return false;
    }
    for (const char* reserved : {"GENERAL CONFIGURE", "Print Queues", "Logging"}) {
        if (::strcasecmp(name.c_str(), reserved) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool LPDSpooler::AddPrinter(std::shared_ptr<PrintQueue> queue) {
    if (!queue) {
        return false;
    }
    if (FindQueue(queue->name)) {
        ShowMessage("Printer already exist!");
        return false;
    }
    if (!IsUsableQueueName(queue->name)) {
        ShowMessage("A print queue cannot be named '" + queue->name +
                    "': the name is empty, reserved or holds a character the configuration "
                    "file or the spool directory cannot take.");
        return false;
    }
    Attach(*queue);
    const QueueEntry entry = EntryOf(*queue);
    {
        MutexLock lock(printersMutex_);
        printers_.push_back(queue);
    }
    profile_.WriteString("Print Queues", entry.name, AddedEntryValue(entry));
    return true;
}

void LPDSpooler::UpdatePrinter() {
    for (const auto& queue : Printers()) {
        const QueueEntry entry = EntryOf(*queue);
        const std::string value = UpdatedEntryValue(entry);
        profile_.WriteString("Print Queues", entry.name, value);
        profile_.WriteString(entry.name, "FormFeedAtEndOfJob",
                             entry.formFeedAtEndOfJob ? "yes" : "no");
        if (entry.maxJobMB >= 0) {
            profile_.WriteString(entry.name, "MaxJobMB", std::to_string(entry.maxJobMB));
        }
        systemLog.Log(3, "LPDSpooler::UpdatePrinter() %s=%s\n", entry.name.c_str(), value.c_str());
    }
}

bool LPDSpooler::RemovePrinter(const std::string& name) {
    std::shared_ptr<PrintQueue> queue = FindQueue(name);
    if (!queue) {
        systemLog.Log(1, "RemovePriner() fail.  Print queue (%s) not exist.\n", name.c_str());
        ShowMessage("Print queue not exist!");
        return false;
    }
    if (queue->State() == QueueState::Running) {
        ShowMessage("Please stop the print queue before delete it.");
        return false;
    }
    queue->Shutdown(PrintQueue::JobsAtShutdown::Discard);  // a deleted queue's jobs go with it
    {
        MutexLock lock(printersMutex_);
        for (auto it = printers_.begin(); it != printers_.end(); ++it) {
            if (*it == queue) {
                printers_.erase(it);
                break;
            }
        }
    }
    profile_.WriteString("Print Queues", name, std::nullopt);
    profile_.DeleteSection(name);
    systemLog.Log(1, "Remove Print Queue : %s\n", name.c_str());
    return true;
}

bool LPDSpooler::StartPrinter(const std::string& name) {
    if (state_.load() != SpoolerState::Running) {
        ShowMessage("Please activate the LPD daemon first.");
        return false;
    }
    std::shared_ptr<PrintQueue> queue = FindQueue(name);
    if (!queue) {
        ShowMessage("Printer not exist!");
        return false;
    }
    if (queue->State() == QueueState::Running) {
        return true;
    }
    if (queue->Activate()) {
        return true;
    }
    ShowMessage("Failed to start the print queue.");
    return false;
}

bool LPDSpooler::PausePrinter(const std::string& name) {
    std::shared_ptr<PrintQueue> queue = FindQueue(name);
    if (!queue) {
        ShowMessage("Printer not exist!");
        return false;
    }
    if (queue->Pause()) {
        return true;
    }
    ShowMessage("Failed to pause the print queue.");
    return false;
}

void LPDSpooler::SaveSettings() {
    SaveGeneralSettings(profile_, Settings());
}

}  // namespace pg
