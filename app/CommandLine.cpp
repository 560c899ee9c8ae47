#include "app/CommandLine.h"

namespace pg {

CommandLine CommandLine::Parse(const std::vector<std::string>& args) {
    CommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--home") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                line.error = "--home needs a directory";
                return line;
            }
            line.home = args[++i];
        } else if (arg.rfind("--home=", 0) == 0) {
            if (arg.size() == 7) {
                line.error = "--home needs a directory";
                return line;
            }
            line.home = arg.substr(7);
        } else if (arg == "--paused") {
            line.paused = true;
        } else if (arg == "-h" || arg == "--help") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else {
            line.error = "unknown argument '" + arg + "'";
            return line;
        }
    }
    return line;
}

CommandLine CommandLine::Parse(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    return Parse(args);
}

std::string CommandLine::Usage(const std::string& program) {
    return "Usage: " + program +
           " [--home DIR] [--paused]\n"
           "  --home DIR  Pressgate home holding pgate.ini (default: $PRESSGATE_HOME, else\n"
           "              $XDG_CONFIG_HOME/pressgate, else ~/.config/pressgate)\n"
           "  --paused    start with the daemon paused (no connection is taken)\n";
}

}  // namespace pg
