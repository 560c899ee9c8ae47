#include "platform/ServiceAccount.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "log/ErrorText.h"
#include "platform/UniqueFd.h"

namespace pg {

namespace {

std::optional<ServiceAccount> Look(const std::string& name) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return std::nullopt;
    }
    return ServiceAccount{name, found->pw_uid, found->pw_gid};
}

// May the account pass through (search) a directory with this status?
bool Searchable(const struct stat& st, const ServiceAccount& account) {
    if (account.uid == 0) {
        return true;
    }
    if (st.st_uid == account.uid) {
        return (st.st_mode & S_IXUSR) != 0;
    }
    if (st.st_gid == account.gid) {
        return (st.st_mode & S_IXGRP) != 0;
    }
    return (st.st_mode & S_IXOTH) != 0;
}

// chown and chmod of the entry name in directory, unless it is a symbolic link or of another
// kind than wanted (a directory or a regular file).
void Own(int directory, const char* name, bool wantDirectory, const ServiceAccount& account,
         mode_t mode) {
    struct stat st {};
    if (::fstatat(directory, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        (wantDirectory ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))) {
        return;
    }
    (void)::fchownat(directory, name, account.uid, account.gid, AT_SYMLINK_NOFOLLOW);
    (void)::fchmodat(directory, name, mode, 0);
}

// Calls visit(name) for every entry of the directory open as fd but "." and "..".
template <typename Visit>
void ForEachEntry(int fd, Visit visit) {
    const int copy = ::dup(fd);
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (dir == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return;
    }
    while (dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            visit(entry->d_name);
        }
    }
    ::closedir(dir);
}

}  // namespace

std::optional<ServiceAccount> ServiceAccount::Find(const std::string& name, std::string& failure) {
    if (!name.empty()) {
        if (auto account = Look(name)) {
            return account;
        }
        failure = "there is no user " + name;
        return std::nullopt;
    }
    for (const char* fallback : {"lp", "daemon"}) {
        if (auto account = Look(fallback)) {
            return account;
        }
    }
    failure = "there is neither a user lp nor a user daemon";
    return std::nullopt;
}

bool ServiceAccount::CanReach(const std::string& path) const {
    if (path.empty() || path.front() != '/') {
        return false;
    }
    std::string prefix;
    size_t at = 0;
    while (at != std::string::npos) {
        const size_t next = path.find('/', at + 1);
        prefix = next == std::string::npos ? path : path.substr(0, next);
        at = next;
        if (prefix.empty()) {
            prefix = "/";
        }
        struct stat st {};
        if (::stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !Searchable(st, *this)) {
            return false;
        }
    }
    return true;
}

void ServiceAccount::TakeOver(const std::string& directory, mode_t directoryMode,
                              mode_t fileMode) const {
    UniqueFd top(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!top) {
        return;
    }
    (void)::fchown(top.Get(), uid, gid);
    (void)::fchmod(top.Get(), directoryMode);
    ForEachEntry(top.Get(), [&](const char* entry) {
        Own(top.Get(), entry, true, *this, directoryMode);
        Own(top.Get(), entry, false, *this, fileMode);
        UniqueFd sub(::openat(top.Get(), entry, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (sub) {
            ForEachEntry(sub.Get(),
                         [&](const char* file) { Own(sub.Get(), file, false, *this, fileMode); });
        }
    });
}

bool ServiceAccount::Become(std::string& failure) const {
    // glibc applies each of these to every thread of the process.
    if (::setgroups(1, &gid) != 0) {
        failure = "setgroups() failed: " + ErrorText(errno);
        return false;
    }
    if (::setresgid(gid, gid, gid) != 0) {
        failure = "setresgid() failed: " + ErrorText(errno);
        return false;
    }
    if (::setresuid(uid, uid, uid) != 0) {
        failure = "setresuid() failed: " + ErrorText(errno);
        return false;
    }
    if (uid != 0 && (::setuid(0) == 0 || ::geteuid() != uid || ::getegid() != gid)) {
        failure = "root could still be taken back";
        return false;
    }
    return true;
}

}  // namespace pg
