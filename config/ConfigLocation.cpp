#include "config/ConfigLocation.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace pg {

namespace {

// Read while the program starts, before it changes its environment or runs other threads.
std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    return value == nullptr ? std::string() : std::string(value);
}

std::string CurrentDirectory() {
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            return std::string(buffer.data());
        }
        if (errno != ERANGE) {
            // The directory has been removed under us: "." still names it for the calls
            // that follow, so relative names keep working as they would have.
            return ".";
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string PasswdHome() {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return std::string(found->pw_dir);
    }
    return std::string();
}

std::string MakeAbsolute(const std::string& path, const std::string& currentDirectory) {
    if (!path.empty() && path.front() == '/') {
        return path;
    }
    return JoinPath(currentDirectory, path);
}

// The home, in the order: --home, $PRESSGATE_HOME, $XDG_CONFIG_HOME/pressgate,
// $HOME/.config/pressgate, the passwd entry's home + /.config/pressgate. Empty variables count
// as unset. A relative $XDG_CONFIG_HOME is ignored, as the XDG base directory rules ask; any
// other relative choice is taken against the current directory. With no home at all the
// current directory is the home.
std::string ResolveHome(const std::optional<std::string>& homeOverride,
                        const std::string& currentDirectory) {
    if (homeOverride.has_value() && !homeOverride->empty()) {
        return MakeAbsolute(*homeOverride, currentDirectory);
    }
    if (const std::string pressgateHome = EnvironmentValue("PRESSGATE_HOME");
        !pressgateHome.empty()) {
        return MakeAbsolute(pressgateHome, currentDirectory);
    }
    if (const std::string xdg = EnvironmentValue("XDG_CONFIG_HOME");
        !xdg.empty() && xdg.front() == '/') {
        return JoinPath(xdg, "pressgate");
    }
    std::string userHome = EnvironmentValue("HOME");
    if (userHome.empty()) {
        userHome = PasswdHome();
    }
    if (userHome.empty()) {
        return currentDirectory;
    }
    return JoinPath(JoinPath(MakeAbsolute(userHome, currentDirectory), ".config"), "pressgate");
}

// A regular file (or a link to one) of that name; a directory called pgate.ini is no file.
bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

ConfigLocation ConfigLocation::FromProcess(const std::optional<std::string>& homeOverride,
                                           bool systemLayout) {
    ConfigLocation location;
    location.currentDirectory = CurrentDirectory();
    location.searchPath = EnvironmentValue("PATH");
    if (systemLayout) {
        location.system = true;
        location.home = kSystemHome;
        location.spoolDirectory = kSystemSpool;
        location.traceDirectory = kSystemLogs;
        location.runtimeDirectory = kSystemRuntime;
        MakeDirectories(location.home);
        return location;
    }
    location.home = ResolveHome(homeOverride, location.currentDirectory);
    MakeDirectories(location.home);
    const bool chosen = (homeOverride.has_value() && !homeOverride->empty()) ||
                        !EnvironmentValue("PRESSGATE_HOME").empty();
    std::string state = location.home;
    if (!chosen) {
        const std::string xdgState = EnvironmentValue("XDG_STATE_HOME");
        std::string userHome = EnvironmentValue("HOME");
        if (userHome.empty()) {
            userHome = PasswdHome();
        }
        if (!xdgState.empty() && xdgState.front() == '/') {
            state = JoinPath(xdgState, "pressgate");
        } else if (!userHome.empty()) {
            state = JoinPath(MakeAbsolute(userHome, location.currentDirectory),
                             ".local/state/pressgate");
        }
    }
    location.spoolDirectory = JoinPath(state, "spool");
    location.traceDirectory = JoinPath(state, "trace");
    return location;
}

std::string ConfigLocation::IniPath() const {
    return JoinPath(home, kFileName);
}

bool ConfigLocation::FindConfigurationFile() const {
    if (system) {
        return IsFile(IniPath());
    }
    if (IsFile(JoinPath(currentDirectory, kFileName))) {
        return true;
    }
    // Each ':'-separated entry of the search path; an empty entry is the current directory,
    // as for the shell's command search, and relative entries are taken against it.
    const std::string_view path = searchPath;
    size_t start = 0;
    for (;;) {
        const size_t colon = path.find(':', start);
        const std::string entry(path.substr(
            start, colon == std::string_view::npos ? std::string_view::npos : colon - start));
        const std::string directory =
            entry.empty() ? currentDirectory : MakeAbsolute(entry, currentDirectory);
        if (IsFile(JoinPath(directory, kFileName))) {
            return true;
        }
        if (colon == std::string_view::npos) {
            break;
        }
        start = colon + 1;
    }
    return IsFile(IniPath());
}

void MakeDirectories(const std::string& path, mode_t mode) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty()) {
            ::mkdir(prefix.c_str(), mode);
        }
        if (slash == std::string::npos) {
            return;
        }
    }
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (!directory.empty() && directory.back() == '/') {
        return directory + name;
    }
    return directory + "/" + name;
}

}  // namespace pg
