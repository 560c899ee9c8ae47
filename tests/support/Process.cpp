#include "tests/support/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tests/support/Loopback.h"

extern char** environ;

namespace pg::test {

Process::Process(const Options& options) {
    int outPipe[2], errPipe[2], inPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 ||
        ::pipe2(inPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    // Everything the child needs is prepared before fork: only async-signal-safe calls after.
    std::vector<std::string> envStrings = options.env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('=')) + "=";
        const auto named = [&](const std::string& item) { return (item + "=").rfind(key, 0) == 0; };
        if (std::none_of(options.unsetEnv.begin(), options.unsetEnv.end(), named) &&
            std::none_of(options.env.begin(), options.env.end(), named)) {
            envStrings.push_back(entry);
        }
    }
    std::vector<std::string> args = options.argv;
    std::vector<char*> envp, argv;
    for (auto& e : envStrings) {
        envp.push_back(e.data());
    }
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    envp.push_back(nullptr);
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
    // Each reader appends what its pipe brings to its text, until the end of the pipe.
    auto reader = [this](int fd, std::string* text) {
        return std::thread([this, fd, text] {
            char buffer[4096];
            for (ssize_t got;
                 (got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR);) {
                MutexLock lock(mutex_);
                text->append(buffer, static_cast<size_t>(std::max<ssize_t>(got, 0)));
            }
            ::close(fd);
        });
    };
    outReader_ = reader(outPipe[0], &out_);
    errReader_ = reader(errPipe[0], &err_);
}

Process::~Process() {
    CollectOutput();
    Wait(std::chrono::seconds(10));
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
    WaitUntil(
        [this] {
            int status = 0;
            if (!status_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            return status_.has_value();
        },
        timeout);
    return status_;
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

std::optional<int> RunCommand(const Process::Options& options, std::chrono::milliseconds timeout,
                              std::string* out, std::string* err) {
    Process process(options);
    const std::optional<int> code = process.Wait(timeout);
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
