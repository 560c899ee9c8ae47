#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pg {

// The options both programs take.
struct CommandLine {
    std::optional<std::string> home;  // --home DIR / --home=DIR
    bool paused = false;              // --paused: do not activate the daemon at start
    bool help = false;                // -h, --help
    bool version = false;             // --version
    std::string error;                // set when the arguments cannot be used

    // args without the program name.
    static CommandLine Parse(const std::vector<std::string>& args);
    static CommandLine Parse(int argc, char** argv);
    static std::string Usage(const std::string& program);
};

}  // namespace pg
