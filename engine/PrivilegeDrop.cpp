#include "engine/PrivilegeDrop.h"

#include <unistd.h>

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
constinit Mutex dropMutex;
std::string dropFailure GUARDED_BY(dropMutex);

// Hands the spool area to account and becomes it; false with the reason in why.
// logs: the layout's log directory the account takes over too (empty: none), so that the
// logs can still be rotated and opened again after a reload.
bool DropTo(const std::optional<ServiceAccount>& account, const std::string& failure,
            const GeneralSettings& settings, const std::string& logs, std::string& why) {
    if (!account) {
        why = failure;
        return false;
    }
    const std::string& spool = settings.spoolBaseDirectory;
    if (!account->CanReach(spool)) {
        why = "user " + account->name + " cannot reach the spool directory " + spool +
              ": open the directories above it to the user, or set RunAsUser=root";
        return false;
    }
    account->TakeOver(spool, 0700, 0600);
    if (!logs.empty()) {
        account->TakeOver(logs, 0750, 0640);
    }
    std::string reason;
    if (!account->Become(reason)) {
        why = "cannot become user " + account->name + ": " + reason;
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
    const std::string logs = location.system ? ConfigLocation::kSystemLogs : "";
    Listener::SetBoundStep([account, failure, logs](const GeneralSettings& settings) {
        std::string why;
        const bool dropped = DropTo(account, failure, settings, logs, why);
        if (!dropped) {
            systemLog.Log(1, "Error - RunAsUser : %s.  No print request will be accepted.\n",
                          why.c_str());
        }
        MutexLock lock(dropMutex);
        dropFailure = why;
        return dropped;
    });
}

std::string PrivilegeDropFailure() {
    MutexLock lock(dropMutex);
    return dropFailure;
}

}  // namespace pg
