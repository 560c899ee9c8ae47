#include "engine/PrivilegeDrop.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <optional>
#include <string>

#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "engine/Listener.h"
#include "log/LogFile.h"
#include "platform/Mutex.h"
#include "platform/ReservedPort.h"
#include "platform/ServiceAccount.h"

namespace pg {

namespace {

constexpr const char* kKeepRoot = "root";
// The listener runs the step right after its bind; this only guards against a listener that
// never started.
constexpr std::chrono::seconds kAwaitLimit{10};

constinit Mutex dropMutex;
std::condition_variable_any dropRan;
bool dropArmed GUARDED_BY(dropMutex) = false;
bool dropDone GUARDED_BY(dropMutex) = false;

bool DropTo(const std::optional<ServiceAccount>& account, const std::string& failure,
            const GeneralSettings& settings) {
    if (!account) {
        systemLog.Log(1, "Error - RunAsUser : %s.  No print request will be accepted.\n",
                      failure.c_str());
        return false;
    }
    const std::string& spool = settings.spoolBaseDirectory;
    if (!account->CanReach(spool)) {
        systemLog.Log(1,
                      "Error - RunAsUser : user %s cannot reach the spool directory %s.  No print "
                      "request will be accepted: open the directories above it to the user, or "
                      "set RunAsUser=root.\n",
                      account->name.c_str(), spool.c_str());
        return false;
    }
    account->TakeOver(spool, 0700, 0600);
    std::string why;
    if (!account->Become(why)) {
        systemLog.Log(1, "Error - RunAsUser : cannot become user %s: %s\n", account->name.c_str(),
                      why.c_str());
        return false;
    }
    systemLog.Log(1, "Running as user %s (uid %u, gid %u)\n", account->name.c_str(),
                  static_cast<unsigned>(account->uid), static_cast<unsigned>(account->gid));
    return true;
}

}  // namespace

void ArmPrivilegeDrop(const ConfigLocation& location) {
    if (::geteuid() != 0) {
        return;
    }
    const std::string name =
        ReadGeneralSettings(ProfileFile(location.IniPath()), location, SettingsReadHooks{})
            .runAsUser;
    if (name == kKeepRoot) {
        return;
    }
    std::string failure;
    std::optional<ServiceAccount> account = ServiceAccount::Find(name, failure);
    if (account && !StartReservedPortHelper(*account, failure)) {
        account.reset();
        failure = "no reserved-port helper: " + failure;
    }
    {
        MutexLock lock(dropMutex);
        dropArmed = true;
    }
    Listener::SetBoundStep([account, failure](const GeneralSettings& settings) {
        const bool dropped = DropTo(account, failure, settings);
        {
            MutexLock lock(dropMutex);
            dropDone = true;
        }
        dropRan.notify_all();
        return dropped;
    });
}

void AwaitPrivilegeDrop() {
    MutexLock lock(dropMutex);
    dropRan.wait_for(lock, kAwaitLimit,
                     []() REQUIRES(dropMutex) { return !dropArmed || dropDone; });
}

}  // namespace pg
