#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "tests/support/Loopback.h"

extern char** environ;

namespace pg::test {

namespace {

// Hands each piece read from fd to take, until the end of the pipe.
void ReadAll(int fd, const std::function<void(const char* data, size_t size)>& take) {
    char buffer[4096];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        take(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
}

}  // namespace

Process::Process(const Options& options) {
    int outPipe[2], errPipe[2], inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 ||
        ::pipe2(inPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    // Everything the child needs is prepared before fork: only async-signal-safe calls after.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string key = entry.substr(0, entry.find('='));
        bool drop = false;
        for (const auto& u : options.unsetEnv) {
            drop = drop || u == key;
        }
        for (const auto& add : options.env) {
            drop = drop || add.substr(0, add.find('=')) == key;
        }
        if (!drop) {
            envStrings.push_back(entry);
        }
    }
    for (const auto& add : options.env) {
        envStrings.push_back(add);
    }
    std::vector<char*> envp;
    for (auto& e : envStrings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args = options.argv;
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        ::setpgid(0, 0);
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) {
            ::_exit(126);
        }
        ::execvpe(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::setpgid(pid_, pid_);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(inPipe[0]);
    if (!options.stdinText.empty()) {
        [[maybe_unused]] ssize_t ignored =
            ::write(inPipe[1], options.stdinText.data(), options.stdinText.size());
    }
    ::close(inPipe[1]);
    int outFd = outPipe[0], errFd = errPipe[0];
    outReader_ = std::thread([this, outFd] {
        ReadAll(outFd, [this](const char* data, size_t size) {
            MutexLock lock(mutex_);
            out_.append(data, size);
        });
    });
    errReader_ = std::thread([this, errFd] {
        ReadAll(errFd, [this](const char* data, size_t size) {
            MutexLock lock(mutex_);
            err_.append(data, size);
        });
    });
}

Process::~Process() {
    if (!status_) {
        ::kill(-pid_, SIGKILL);
        Wait(std::chrono::seconds(10));
    }
    CollectOutput();
}

void Process::CollectOutput() {
    // Whatever the child started may still hold the pipes: end the whole group.
    ::kill(-pid_, SIGKILL);
    if (outReader_.joinable()) {
        outReader_.join();
    }
    if (errReader_.joinable()) {
        errReader_.join();
    }
}

void Process::Signal(int signal) {
    if (!status_) {
        ::kill(pid_, signal);
    }
}

std::optional<int> Process::Wait(std::chrono::milliseconds timeout) {
    if (status_) {
        return status_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string Process::Stdout() const {
    MutexLock lock(mutex_);
    return out_;
}

std::string Process::Stderr() const {
    MutexLock lock(mutex_);
    return err_;
}

bool Process::WaitForStdout(const std::string& text, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Stdout().find(text) != std::string::npos; }, timeout);
}

bool Process::WaitForStderr(const std::string& text, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Stderr().find(text) != std::string::npos; }, timeout);
}

std::optional<int> RunCommand(const Process::Options& options, std::chrono::milliseconds timeout,
                              std::string* out, std::string* err) {
    Process process(options);
    std::optional<int> code = process.Wait(timeout);
    if (!code) {
        process.Signal(SIGKILL);
        process.Wait(std::chrono::seconds(5));
    }
    process.CollectOutput();
    if (out) {
        *out = process.Stdout();
    }
    if (err) {
        *err = process.Stderr();
    }
    return code;
}

}  // namespace pg::test
