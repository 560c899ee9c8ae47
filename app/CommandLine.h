#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pg {

// The options of both programs; the daemon's own (--system, --check-config, --journal) are
// taken only when daemon is true.
struct CommandLine {
    std::optional<std::string> home;  // --home DIR / --home=DIR
    bool system = false;              // --system: the system-wide layout (the service)
    bool paused = false;              // --paused: do not activate the daemon at start
    bool checkConfig = false;         // --check-config: check pgate.ini and end
    bool journal = false;             // --journal: log lines for the journal, also on a terminal
    bool help = false;                // -h, --help
    bool version = false;             // -V, --version
    std::string error;                // set when the arguments cannot be used

    // args without the program name.
    static CommandLine Parse(const std::vector<std::string>& args, bool daemon = false);
    static CommandLine Parse(int argc, char** argv, bool daemon = false);
    static std::string Usage(const std::string& program, bool daemon = false);
};

}  // namespace pg
