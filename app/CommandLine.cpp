#include "app/CommandLine.h"

namespace pg {

CommandLine CommandLine::Parse(const std::vector<std::string>& args, bool daemon) {
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
        } else if (daemon && arg == "--system") {
            line.system = true;
        } else if (daemon && arg == "--check-config") {
            line.checkConfig = true;
        } else if (daemon && arg == "--journal") {
            line.journal = true;
        } else if (arg == "-h" || arg == "--help") {
            line.help = true;
        } else if (arg == "-V" || arg == "--version") {
            line.version = true;
        } else {
            line.error = "unknown argument '" + arg + "'";
            return line;
        }
    }
    if (line.system && line.home.has_value()) {
        line.error = "--system and --home exclude each other";
    }
    return line;
}

CommandLine CommandLine::Parse(int argc, char** argv, bool daemon) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    return Parse(args, daemon);
}

std::string CommandLine::Usage(const std::string& program, bool daemon) {
    std::string text =
        "Usage: " + program +
        (daemon ? " [--home DIR | --system] [--paused] [--check-config] [--journal]\n"
                : " [--home DIR] [--paused]\n");
    text +=
        "  --home DIR      Pressgate home holding pgate.ini (default: $PRESSGATE_HOME, else\n"
        "                  $XDG_CONFIG_HOME/pressgate, else ~/.config/pressgate)\n";
    if (daemon) {
        text +=
            "  --system        the system service's layout: /etc/pressgate/pgate.ini, spool\n"
            "                  /var/spool/pressgate, logs /var/log/pressgate\n";
    }
    text += "  --paused        start with the daemon paused (no connection is taken)\n";
    if (daemon) {
        text +=
            "  --check-config  check pgate.ini, print each problem with its line, and exit\n"
            "                  (status 1 when any is an error)\n"
            "  --journal       log lines with <N> priority prefixes and no time stamp, as the\n"
            "                  journal takes them (the default when stdout is no terminal)\n";
    }
    text +=
        "  -h, --help      show this help and exit\n"
        "  -V, --version   show the version and exit\n";
    return text;
}

}  // namespace pg
