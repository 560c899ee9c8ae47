#include "engine/LPDSpooler.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

#include "config/QueueEntry.h"
#include "engine/ConfigurationCheck.h"
#include "engine/Listener.h"
#include "engine/PrintQueue.h"
#include "engine/StateName.h"
#include "log/LogFile.h"
#include "platform/OperatorMessage.h"
#include "platform/PrintSystem.h"
#include "platform/UniqueFd.h"

namespace pg {

namespace {

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
    : location_(std::move(location)), profile_(location_.IniPath()) {
    systemLog.Log(1, "A LPDSpooler instance is created.\n");
    if (!location_.FindConfigurationFile()) {
        systemLog.Log(1, "PGATE.INI not found.  Automatically create one in system directory.\n");
        CreateDefaultConfiguration(location_);
    }

    // Every value the check rejects is read as absent, so its default applies; the check's
    // findings go to the system log as warnings, and what the daemon cannot run with is kept
    // for StartupError().
    std::string iniText;
    (void)profile_.ReadText(iniText);
    ConfigurationCheck check(iniText);

    std::string spoolBase;
    SettingsReadHooks hooks;
    hooks.logLine = LogSettingLine;
    hooks.spoolBaseKnown = [&spoolBase](const std::string& directory) {
        spoolBase = directory;
        ::mkdir(directory.c_str(), 0755);  // failure (it exists) is fine
    };
    hooks.clearSpool = [&spoolBase] { ClearSpoolArea(spoolBase); };
    hooks.rejected = [&check](const char* key) {
        return check.Text().Rejected("GENERAL CONFIGURE", key);
    };
    GeneralSettings settings = ReadGeneralSettings(profile_, location_, hooks);
    {
        MutexLock lock(settingsMutex_);
        settings_ = settings;
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
    SetAccess(std::move(access));

    std::string reason;
    printSystem_ = PrintSystem::Create(settings.printSystem, &reason);
    if (!printSystem_) {
        systemLog.Log(1, "Error - PrintSystem %s cannot be used: %s\n",
                      settings.printSystem.c_str(), reason.c_str());
    }
    check.CheckSurroundings(printSystem_.get(), reason);
    for (const ConfigProblem& problem : check.Problems()) {
        const std::string where =
            problem.line > 0 ? " line " + std::to_string(problem.line) : std::string();
        systemLog.Log(1, "Warning - %s%s: %s%s\n", profile_.Path().c_str(), where.c_str(),
                      problem.text.c_str(), problem.valueRejected ? " - its default is used" : "");
    }
    startupError_ = check.Fatal();
    if (!startupError_.empty()) {
        systemLog.Log(1, "Error - the daemon cannot run with %s: %s\n", profile_.Path().c_str(),
                      startupError_.c_str());
        return;
    }

    if (settings.activateLPDOnStart) {
        StartSpooling(nullptr, true);
    }
}

LPDSpooler::~LPDSpooler() {
    SetScreenOutput(nullptr);
    systemLog.Log(1, "Exiting LPDSpooler\n");
    std::vector<std::shared_ptr<PrintQueue>> queues;
    {
        MutexLock lock(printersMutex_);
        queues.swap(printers_);
    }
    if (!queues.empty()) {
        for (auto& queue : queues) {
            queue->Shutdown();
        }
        systemLog.Log(1, "Removing all print queues from list.\n");
        queues.clear();
    }
    listener_.reset();
    connections_.StopAll();
    state_.store(SpoolerState::Close);
}

GeneralSettings LPDSpooler::Settings() const {
    MutexLock lock(settingsMutex_);
    return settings_;
}

void LPDSpooler::SetSettings(const GeneralSettings& settings) {
    MutexLock lock(settingsMutex_);
    settings_ = settings;
}

std::shared_ptr<const AccessRules> LPDSpooler::Access() const {
    MutexLock lock(settingsMutex_);
    return access_;
}

void LPDSpooler::SetAccess(AccessRules rules) {
    auto shared = std::make_shared<const AccessRules>(std::move(rules));
    MutexLock lock(settingsMutex_);
    access_ = std::move(shared);
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

void LPDSpooler::LoadQueues() {
    for (const QueueEntry& entry : ReadQueueEntries(profile_)) {
        auto queue = std::make_shared<PrintQueue>(entry.name);
        QueueTarget target;
        target.destination = entry.destination;
        target.remoteHost = entry.remoteHost;
        target.remotePort = entry.remotePort;
        target.isRemote = entry.isRemote;
        target.formFeedAtEndOfJob = entry.formFeedAtEndOfJob;
        queue->SetTarget(target);
        queue->SetStatusText(entry.statusText);
        printers_.push_back(std::move(queue));
    }
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
            LoadQueues();
        }
        queues = printers_;
    }
    // Every queue takes back the complete jobs of its spool directory before any queue
    // delivers and before the listener takes a connection.
    for (auto& queue : queues) {
        queue->SetSpooler(this);
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
    try {
        listener_ =
            std::make_unique<Listener>(*this, ownerWindow, activate, std::move(inheritedListener_));
    } catch (const std::system_error&) {
        state_.store(before);
        systemLog.Log(1, "Error: fail to create the spoolingThread\n");
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
        queue->SetSpooler(this);
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
    queue->SetSpooler(this);
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
