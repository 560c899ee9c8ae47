#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/AccessRules.h"
#include "config/ConfigLocation.h"
#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "engine/ConnectionSet.h"
#include "engine/DaemonSettings.h"
#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg {

class PrintQueue;
class Listener;
class PrintSystem;
class SettingsBoard;
struct QueueEntry;

enum class SpoolerState : uint8_t {
    None = 0,  // before the listener exists
    Initial = 1,
    Starting = 2,
    Running = 3,
    Pause = 4,
    Stop = 5,
    Close = 6,
};

// "Initial" ... "close", "unknown?" for any other value.
const char* SpoolerStateName(uint8_t state);

// The daemon: its general settings, its print queues and the listener that hands each LPR
// connection to a thread of its own. One per process (tests make one per test).
//
// printersMutex_ guards the queue list. The settings in force are one immutable snapshot on a
// board the queues share (SettingsBoard): connections, receptions and deliveries take the one in
// force when they start, and a change publishes a new one. Queues are shared with the
// connection threads that are serving them, so a queue removed while a connection still uses
// it is shut down at once and freed when the connection lets go.
//
// The operations that change the daemon (StartSpooling, ActivateLPD, Reload, SetSettings and the
// queue administration) are called from one thread, the window's or pressgated's main thread.
class LPDSpooler {
  public:
    // Finds or creates pgate.ini, reads [GENERAL CONFIGURE], creates the spool base directory
    // (and clears it when configured) and, with ActivateLPDOnStart, starts spooling.
    // Destruction keeps every undelivered job in the spool for the next start.
    explicit LPDSpooler(ConfigLocation location);
    // Detaches the screen sink, deletes the queues, ends the listener and every connection.
    ~LPDSpooler();
    LPDSpooler(const LPDSpooler&) = delete;
    LPDSpooler& operator=(const LPDSpooler&) = delete;

    bool StartSpooling(void* ownerWindow, bool activate);
    void ActivateLPD(bool activate);

    // Exact, case-sensitive match.
    std::shared_ptr<PrintQueue> FindQueue(const std::string& name) const;
    // Case-insensitive match, the first in list order (network lookups).
    std::shared_ptr<PrintQueue> FindQueueIgnoringCase(const char* name) const;
    std::vector<std::shared_ptr<PrintQueue>> Printers() const;

    void ClearSpoolDirectory();

    // Reads pgate.ini again and puts it in force without dropping a job or a connection:
    // changed settings apply to every connection, reception and delivery that starts from now
    // on (a changed port or ListenAddress moves the listener, SpoolBaseDirectory moves the
    // queues that hold no job); queues added to [Print Queues] start, changed ones deliver to
    // their new destination from their next job on, and a removed queue that still holds jobs
    // takes no new one and goes once it has delivered them (a warning says so). [Access] and
    // [Logging] are read again too. False, with nothing changed, when the file has a problem
    // the daemon cannot run with.
    bool Reload();
    static void SetScreenOutput(std::function<void(const char*)> sink);

    // Told, on the printing thread, when a queue is held for the operator or a job is given
    // up: the queue's name and the reason. Set from the window thread; the handler must not
    // block (post to the window and return). Setting null returns only when no call of the
    // old handler is running.
    using QueueAlertHandler =
        std::function<void(const std::string& queueName, const std::string& reason)>;
    void SetQueueAlertHandler(QueueAlertHandler handler);
    void Alert(const std::string& queueName, const std::string& reason);

    // Queue administration from the window.
    bool AddPrinter(std::shared_ptr<PrintQueue> queue);
    void UpdatePrinter();
    bool RemovePrinter(const std::string& name);
    bool StartPrinter(const std::string& name);
    bool PausePrinter(const std::string& name);
    void SaveSettings();

    SpoolerState State() const { return state_.load(); }
    // The settings in force.
    std::shared_ptr<const DaemonSettings> Snapshot() const;
    // A copy of [GENERAL CONFIGURE] in force, for the window's dialogs.
    GeneralSettings Settings() const;
    // The [Access] rules in force; a connection keeps the ones it started with.
    std::shared_ptr<const AccessRules> Access() const;
    void SetAccess(AccessRules rules);
    // Puts settings in force at once, as Reload() does for [GENERAL CONFIGURE] (the General
    // Settings dialog calls it before SaveSettings). A PrintSystem that cannot be made keeps the
    // print system in force.
    void SetSettings(const GeneralSettings& settings);
    const ConfigLocation& Location() const { return location_; }
    const ProfileFile& Profile() const { return profile_; }
    void* OwnerWindow() const { return ownerWindow_.load(); }
    // The print system local queues print to (null when PrintSystem names none), valid until
    // the settings change (the window asks for it when it uses it).
    PrintSystem* GetPrintSystem() const;
    // The port the listener is bound to (0 until it is; tests bind port 0 through the setting
    // LPDServerPort=0 and read the real port here).
    uint16_t BoundPort() const;
    // What the configuration check found that the daemon cannot run with ("" when nothing):
    // then nothing is started and StartSpooling() returns false.
    const std::string& StartupError() const { return startupError_; }
    // A socket that already listens (handed over by the service manager): the listener takes
    // it instead of binding a port of its own. Call before StartSpooling().
    void AdoptListeningSocket(UniqueFd socket);
    // Waits until the listener listens: 0, or the errno of its failed socket(), bind() or
    // listen() (EBADF when there is no listener).
    int WaitUntilListening() const;

  private:
    // pgate.ini read and checked: the settings it gives, or null with what the daemon cannot
    // run with in fatal. At start every setting's line is logged and the spool is created and
    // cleared as configured; on a reload (current given) only the settings that changed are
    // logged, and the print system in force is kept unless PrintSystem changed.
    std::shared_ptr<const DaemonSettings> ReadConfiguration(const DaemonSettings* current,
                                                            std::string& fatal);
    // Publishes next and makes the daemon follow it: the listener, the queues' spool.
    void PutInForce(std::shared_ptr<const DaemonSettings> next);
    void MoveListener(const GeneralSettings& before, const GeneralSettings& after);
    std::unique_ptr<Listener> MakeListener(const GeneralSettings& bindWith, bool running,
                                           UniqueFd inherited = UniqueFd());
    std::shared_ptr<PrintQueue> MakeQueue(const QueueEntry& entry);
    void Attach(PrintQueue& queue);
    void ReloadQueues();
    // A retired queue delivered its last job (on its printing thread).
    void Drained(const PrintQueue* queue);
    void ShowMessage(const std::string& text);

    const ConfigLocation location_;
    const ProfileFile profile_;
    const std::shared_ptr<SettingsBoard> settings_;
    std::atomic<SpoolerState> state_{SpoolerState::None};
    std::atomic<void*> ownerWindow_{nullptr};

    mutable Mutex printersMutex_;
    std::vector<std::shared_ptr<PrintQueue>> printers_ GUARDED_BY(printersMutex_);
    // Retired queues that drained, until the changing thread releases them.
    std::vector<std::shared_ptr<PrintQueue>> drained_ GUARDED_BY(printersMutex_);

    Mutex alertMutex_;
    QueueAlertHandler alertHandler_ GUARDED_BY(alertMutex_);

    std::string startupError_;            // set by the constructor only
    UniqueFd inheritedListener_;          // until the listener takes it
    ConnectionSet connections_;           // the threads serving accepted connections
    std::unique_ptr<Listener> listener_;  // started, moved and ended by the changing thread only
};

}  // namespace pg
