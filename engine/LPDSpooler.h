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
#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg {

class PrintQueue;
class Listener;
class PrintSystem;

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
// printersMutex_ guards the queue list; settingsMutex_ the settings. Queues are shared with the
// connection threads that are serving them, so a queue removed while a connection still uses
// it is shut down at once and freed when the connection lets go.
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
    GeneralSettings Settings() const;
    // The [Access] rules read at start (or last set); a connection keeps the ones it started
    // with.
    std::shared_ptr<const AccessRules> Access() const;
    void SetAccess(AccessRules rules);
    // The General Settings dialog writes the fields before it calls SaveSettings.
    void SetSettings(const GeneralSettings& settings);
    const ConfigLocation& Location() const { return location_; }
    const ProfileFile& Profile() const { return profile_; }
    void* OwnerWindow() const { return ownerWindow_.load(); }
    // The print system local queues print to (null when PrintSystem names none).
    PrintSystem* GetPrintSystem() const { return printSystem_.get(); }
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
    friend class Listener;
    void LoadQueues() REQUIRES(printersMutex_);
    void ShowMessage(const std::string& text);

    const ConfigLocation location_;
    const ProfileFile profile_;
    std::atomic<SpoolerState> state_{SpoolerState::None};
    std::atomic<void*> ownerWindow_{nullptr};

    mutable Mutex settingsMutex_;
    GeneralSettings settings_ GUARDED_BY(settingsMutex_);
    std::shared_ptr<const AccessRules> access_ GUARDED_BY(settingsMutex_);

    mutable Mutex printersMutex_;
    std::vector<std::shared_ptr<PrintQueue>> printers_ GUARDED_BY(printersMutex_);

    Mutex alertMutex_;
    QueueAlertHandler alertHandler_ GUARDED_BY(alertMutex_);

    std::string startupError_;    // set by the constructor only
    UniqueFd inheritedListener_;  // until the listener takes it
    std::unique_ptr<PrintSystem> printSystem_;
    ConnectionSet connections_;           // the threads serving accepted connections
    std::unique_ptr<Listener> listener_;  // started and ended by the window thread only
};

}  // namespace pg
