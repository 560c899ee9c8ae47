#include "tests/integration/ExternalProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/UniqueFd.h"

namespace pg::test {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool IsExecutable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, std::vector<std::string> env,
                         std::chrono::milliseconds timeout, const std::string& stdinPath) {
    ProgramResult result;
    if (argv.empty()) {
        return result;
    }
    if (std::none_of(env.begin(), env.end(),
                     [](const std::string& e) { return e.rfind("PATH=", 0) == 0; })) {
        env.push_back("PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin");
    }
    std::vector<std::string> args = argv;
    std::vector<char*> argPointers = Pointers(args);
    std::vector<char*> envPointers = Pointers(env);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return result;
    }
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    UniqueFd input(::open(stdinPath.c_str(), O_RDONLY | O_CLOEXEC));

    const pid_t pid = ::fork();
    if (pid < 0) {
        return result;
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::setpgid(0, 0);
        if (input.Valid()) {
            ::dup2(input.Get(), 0);
        }
        ::dup2(writeEnd.Get(), 1);
        ::dup2(writeEnd.Get(), 2);
        ::execve(argPointers[0], argPointers.data(), envPointers.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    writeEnd.Reset();
    input.Reset();

    // Output is collected until the program has ended (a descendant that keeps the pipe open
    // does not hold the caller up) or the time-out has passed.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    int status = 0;
    bool ended = false;
    bool open = true;
    while (!ended) {
        if (std::chrono::steady_clock::now() >= deadline) {
            result.timedOut = true;
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return result;
        }
        if (open) {
            pollfd pfd{readEnd.Get(), POLLIN, 0};
            if (::poll(&pfd, 1, 20) > 0) {
                const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
                if (got > 0) {
                    result.output.append(buffer, static_cast<size_t>(got));
                } else if (got == 0) {
                    open = false;
                }
            }
        } else {
            ::poll(nullptr, 0, 20);
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        ended = done == pid || (done < 0 && errno != EINTR);
    }
    // What the program wrote last is still in the pipe.
    while (open) {
        pollfd pfd{readEnd.Get(), POLLIN, 0};
        if (::poll(&pfd, 1, 0) <= 0) {
            break;
        }
        const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        result.output.append(buffer, static_cast<size_t>(got));
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace pg::test
