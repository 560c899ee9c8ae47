#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace pg {

// The account a daemon started as root serves as, and the steps that hand it the process and
// its files.
struct ServiceAccount {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;

    // The account named, or "lp" when name is empty and lp exists, else "daemon". std::nullopt
    // with the reason in failure when there is no such account.
    static std::optional<ServiceAccount> Find(const std::string& name, std::string& failure);

    // True when every directory on the way to path (path included) lets the account pass.
    bool CanReach(const std::string& path) const;
    // Makes the account own directory (mode directoryMode), the directories directly in it
    // (the same mode) and the files in it and in those (fileMode). Symbolic links are left alone.
    void TakeOver(const std::string& directory, mode_t directoryMode, mode_t fileMode) const;
    // Every thread of the process becomes the account: its group alone as groups, then its
    // gid and uid. Every capability goes with root. False with the reason in failure when a
    // step fails or root could be taken back.
    bool Become(std::string& failure) const;
};

}  // namespace pg
