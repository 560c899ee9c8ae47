#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mutex.h"

namespace pg::test {

// A child process for tests: its own process group (so everything it starts is ended with it),
// stdout and stderr captured by reader threads, killed at the end of the scope if still alive.
class Process {
  public:
    struct Options {
        std::vector<std::string> argv;
        std::vector<std::string> env;  // "KEY=value" added to (or replacing in) the environment
        std::vector<std::string> unsetEnv;
        std::string cwd;
        std::string stdinText;  // written to the child's stdin, which is then closed
    };

    explicit Process(const Options& options);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal);
    // The exit code (128 + signal for a killed child), or nothing when it is still running
    // after timeout.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    // Ends what is left of the process group and waits for the readers: afterwards Stdout()
    // and Stderr() hold everything the child wrote.
    void CollectOutput();
    std::string Stdout() const;
    std::string Stderr() const;
    bool WaitForStdout(const std::string& text,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    mutable Mutex mutex_;
    std::string out_ GUARDED_BY(mutex_);
    std::string err_ GUARDED_BY(mutex_);
    std::thread outReader_;
    std::thread errReader_;
};

// Runs a command to its end (killed after timeout). Returns the exit code, or nothing on a
// time-out.
std::optional<int> RunCommand(const Process::Options& options, std::chrono::milliseconds timeout,
                              std::string* out = nullptr, std::string* err = nullptr);

}  // namespace pg::test
