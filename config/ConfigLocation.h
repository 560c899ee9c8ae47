#pragma once

#include <optional>
#include <string>

namespace pg {

// Where the configuration lives and what the start-up defaults are computed from. The home
// takes the place of the Windows directory: pgate.ini is always read and written there.
struct ConfigLocation {
    std::string home;              // the Pressgate home directory
    std::string currentDirectory;  // the process's current directory at start-up
    std::string searchPath;        // the PATH variable, ':'-separated

    static constexpr const char* kFileName = "pgate.ini";

    // $PRESSGATE_HOME, else $XDG_CONFIG_HOME/pressgate, else ~/.config/pressgate ($HOME, else
    // the passwd entry's home); homeOverride (from --home) wins over all of them. Empty values
    // count as unset, a relative $XDG_CONFIG_HOME is ignored, and other relative paths are
    // taken against the current directory. The current directory and PATH come from the
    // process. The home directory is created when missing.
    static ConfigLocation FromProcess(const std::optional<std::string>& homeOverride);

    // home + "/pgate.ini"
    std::string IniPath() const;

    // The start-up search: pgate.ini in the current directory, then in each directory of the
    // search path, then in the home. True when found anywhere.
    bool FindConfigurationFile() const;
};

// Joins a directory and a name with '/', unless the directory already ends in one.
std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace pg
