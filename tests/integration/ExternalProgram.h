#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace pg::test {

// What a finished external program left behind.
struct ProgramResult {
    int exitCode = -1;      // the exit status; -1 when it was killed or could not be started
    bool timedOut = false;  // it was still running at the time-out and was killed
    std::string output;     // standard output and standard error, interleaved
};

// Runs argv (argv[0] an absolute path) in its own process group with exactly the environment
// env (NAME=value strings; PATH is added when env has none) and standard input from stdinPath.
// A program still running after timeout is killed with its whole process group.
ProgramResult RunProgram(const std::vector<std::string>& argv, std::vector<std::string> env,
                         std::chrono::milliseconds timeout,
                         const std::string& stdinPath = "/dev/null");

// True when path names a file this process may execute.
bool IsExecutable(const std::string& path);

}  // namespace pg::test
