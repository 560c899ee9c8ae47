#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace pg {

// Where the configuration lives and what the start-up defaults are computed from. The home
// takes the place of the Windows directory: pgate.ini is always read and written there.
struct ConfigLocation {
    std::string home;              // the Pressgate home directory
    std::string currentDirectory;  // the process's current directory at start-up
    std::string searchPath;        // the PATH variable, ':'-separated
    // Where the default file puts the spool area and the log files; empty: "spool" and
    // "trace" under the current directory.
    std::string spoolDirectory;
    std::string traceDirectory;
    // Where the instance lock lives; empty: the user's runtime directory.
    std::string runtimeDirectory;
    // The system-wide layout: pgate.ini is looked for in the home only.
    bool system = false;

    static constexpr const char* kFileName = "pgate.ini";
    static constexpr const char* kSystemHome = "/etc/pressgate";
    static constexpr const char* kSystemSpool = "/var/spool/pressgate";
    static constexpr const char* kSystemLogs = "/var/log/pressgate";
    static constexpr const char* kSystemRuntime = "/run/pressgate";

    // $PRESSGATE_HOME, else $XDG_CONFIG_HOME/pressgate, else ~/.config/pressgate ($HOME, else
    // the passwd entry's home); homeOverride (from --home) wins over all of them. Empty values
    // count as unset, a relative $XDG_CONFIG_HOME is ignored, and other relative paths are
    // taken against the current directory. The current directory and PATH come from the
    // process. The home directory is created when missing.
    //
    // A home that was chosen (--home, $PRESSGATE_HOME) keeps its spool area and logs in
    // "spool" and "trace" inside it; the usual home keeps them under $XDG_STATE_HOME/pressgate
    // (~/.local/state/pressgate). The system layout (--system) is /etc/pressgate,
    // /var/spool/pressgate, /var/log/pressgate and /run/pressgate.
    static ConfigLocation FromProcess(const std::optional<std::string>& homeOverride,
                                      bool systemLayout = false);

    // home + "/pgate.ini"
    std::string IniPath() const;

    // The start-up search: pgate.ini in the current directory, then in each directory of the
    // search path, then in the home (the system layout: the home only). True when found.
    bool FindConfigurationFile() const;
};

// mkdir -p. Directories it creates get mode (the home 0700, as XDG asks of the configuration
// directory); existing ones are left as they are. Failures are ignored: a directory that
// cannot be made shows up when it is used.
void MakeDirectories(const std::string& path, mode_t mode = 0700);

// Joins a directory and a name with '/', unless the directory already ends in one.
std::string JoinPath(const std::string& directory, const std::string& name);

}  // namespace pg
