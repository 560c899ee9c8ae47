#include "platform/ReservedPort.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "log/ErrorText.h"
#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg {

namespace {

// This process's end of the helper's socket pair, -1 without a helper.
constinit Mutex helperMutex;
int helperFd GUARDED_BY(helperMutex) = -1;

struct Request {
    sockaddr_storage address;
    socklen_t length;
};

bool IsReservedAddress(const sockaddr* address, socklen_t length) {
    int port = -1;
    if (address->sa_family == AF_INET && length == sizeof(sockaddr_in)) {
        port = ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
    } else if (address->sa_family == AF_INET6 && length == sizeof(sockaddr_in6)) {
        port = ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
    }
    return port >= kFirstReservedPort && port <= kLastReservedPort;
}

// Sends the request with fd attached; receives the helper's answer.
int AskHelper(int channel, int fd, const sockaddr* address, socklen_t length) {
    Request request{};
    std::memcpy(&request.address, address, length);
    request.length = length;
    iovec data{&request, sizeof request};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    ssize_t sent;
    do {
        sent = ::sendmsg(channel, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(sizeof request)) {
        return EACCES;  // the helper is gone: nobody may bind the port any more
    }
    int answer = EACCES;
    ssize_t got;
    do {
        got = ::recv(channel, &answer, sizeof answer, 0);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof answer) ? answer : EACCES;
}

// The helper's life: keep CAP_NET_BIND_SERVICE as account, then bind what is asked, one
// request at a time, until the daemon's end of the pair closes.
[[noreturn]] void ServeAsHelper(int channel, const ServiceAccount& account) {
    sigset_t all;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Nothing of the daemon's stays open here: not its log files, not its terminal.
    if (::dup2(channel, 3) != 3) {
        ::_exit(1);
    }
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd < 3 && null >= 0; ++fd) {
        ::dup2(null, fd);
    }
    ::syscall(SYS_close_range, 4U, ~0U, 0U);
    channel = 3;

    __user_cap_header_struct capHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    caps[0].effective = caps[0].permitted = 1U << CAP_NET_BIND_SERVICE;
    int ready = 0;
    if (::prctl(PR_SET_KEEPCAPS, 1) != 0 || ::setgroups(1, &account.gid) != 0 ||
        ::setresgid(account.gid, account.gid, account.gid) != 0 ||
        ::setresuid(account.uid, account.uid, account.uid) != 0 ||
        ::syscall(SYS_capset, &capHeader, caps) != 0 || ::prctl(PR_SET_KEEPCAPS, 0) != 0 ||
        ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        ready = errno != 0 ? errno : EPERM;
    }
    // The daemon waits for this before it goes on.
    if (::send(channel, &ready, sizeof ready, MSG_NOSIGNAL) != sizeof ready || ready != 0) {
        ::_exit(1);
    }

    for (;;) {
        Request request{};
        iovec data{&request, sizeof request};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(channel, &message, MSG_CMSG_CLOEXEC);
        if (got == 0 || (got < 0 && errno != EINTR)) {
            ::_exit(0);
        }
        if (got < 0) {
            continue;
        }
        int fd = -1;
        const cmsghdr* header = CMSG_FIRSTHDR(&message);
        if (header != nullptr && header->cmsg_level == SOL_SOCKET &&
            header->cmsg_type == SCM_RIGHTS && header->cmsg_len == CMSG_LEN(sizeof(int))) {
            std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
        }
        int answer = EINVAL;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (fd >= 0 && got == static_cast<ssize_t>(sizeof request) &&
            request.length <= sizeof request.address &&
            IsReservedAddress(reinterpret_cast<const sockaddr*>(&request.address),
                              request.length) &&
            ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_STREAM) {
            answer =
                ::bind(fd, reinterpret_cast<const sockaddr*>(&request.address), request.length) == 0
                    ? 0
                    : errno;
        }
        if (fd >= 0) {
            ::close(fd);
        }
        if (::send(channel, &answer, sizeof answer, MSG_NOSIGNAL) != sizeof answer) {
            ::_exit(0);
        }
    }
}

}  // namespace

int BindReservedPort(int fd, const sockaddr* address, socklen_t length) {
    if (!IsReservedAddress(address, length)) {
        return EINVAL;
    }
    {
        MutexLock lock(helperMutex);
        if (helperFd >= 0) {
            return AskHelper(helperFd, fd, address, length);
        }
    }
    return ::bind(fd, address, length) == 0 ? 0 : errno;
}

bool StartReservedPortHelper(const ServiceAccount& account, std::string& failure) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
        failure = "socketpair() failed: " + ErrorText(errno);
        return false;
    }
    UniqueFd mine(pair[0]);
    UniqueFd theirs(pair[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        failure = "fork() failed: " + ErrorText(errno);
        return false;
    }
    if (child == 0) {
        ServeAsHelper(theirs.Release(), account);
    }
    theirs.Reset();
    int ready = EPIPE;
    ssize_t got;
    do {
        got = ::recv(mine.Get(), &ready, sizeof ready, 0);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof ready) || ready != 0) {
        failure = std::string("the helper could not become ") + account.name + ": " +
                  ErrorText(got == static_cast<ssize_t>(sizeof ready) ? ready : EPIPE);
        return false;
    }
    MutexLock lock(helperMutex);
    if (helperFd >= 0) {
        ::close(helperFd);
    }
    helperFd = mine.Release();
    return true;
}

}  // namespace pg
