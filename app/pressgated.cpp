// pressgated: the Pressgate daemon without a window. It starts the way the window does (logs,
// spooler, screen sink, spooling with the daemon paused) and then activates the daemon unless
// --paused is given. Started as root it serves as RunAsUser. SIGHUP reads pgate.ini again and
// puts it in force without dropping jobs or connections; SIGUSR1 activates, SIGUSR2
// de-activates, SIGINT and SIGTERM end it.
//
// Under systemd (stdout is no terminal, or --journal) the system-log lines go to stdout with
// the journal's "<N>" priority prefixes and no time stamp; the service manager may hand over
// the listening socket (pressgated.socket) and is told when the daemon is ready and when it
// stops. What keeps the daemon from running (a configuration it cannot use, a port it cannot
// bind, another instance) ends it with status 1 and a message that says what to do.

#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "app/CommandLine.h"
#include "config/ConfigLocation.h"
#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "engine/ConfigurationCheck.h"
#include "engine/HostAddress.h"
#include "engine/LPDSpooler.h"
#include "engine/MessageStamp.h"
#include "engine/PrivilegeDrop.h"
#include "log/ErrorText.h"
#include "log/LogFile.h"
#include "platform/InstanceLock.h"
#include "platform/Mutex.h"
#include "platform/OperatorMessage.h"
#include "platform/PrintSystem.h"
#include "platform/UniqueFd.h"

namespace {

pg::Mutex stdoutMutex;
bool journalForm = false;  // set once before any thread starts

// The journal's priorities for a line: warnings, errors, everything else.
const char* Priority(const std::string& text) {
    if (text.rfind("Warning", 0) == 0) {
        return "<4>";
    }
    if (text.find("Error") != std::string::npos || text.find("error") != std::string::npos) {
        return "<3>";
    }
    return "<6>";
}

// One line on stdout: with the message window's stamp on a terminal, with its priority for the
// journal.
void PrintLine(const std::string& text) {
    const std::string line = journalForm ? Priority(text) + text : pg::MessageStamp() + " " + text;
    pg::MutexLock lock(stdoutMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// What ends the daemon before it runs: on stderr, as an error for the journal.
int Fail(const std::string& text) {
    std::fprintf(stderr, "%spressgated: %s\n", journalForm ? "<3>" : "", text.c_str());
    return 1;
}

std::string ErrorText(int error) {
    return "last error(" + pg::ErrorText(error) + ")";
}

std::string ProgramPath() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("pressgated");
}

// Why the listening socket could not be made, and what the operator can do about it.
std::string ListenFailure(int error, uint16_t port, const std::string& iniPath) {
    const std::string portText = std::to_string(port);
    std::string text = "cannot listen on port " + portText + " - " + ErrorText(error) + ". ";
    if (error == EADDRINUSE) {
        text += "Another program listens there (ss -ltnp 'sport = :" + portText +
                "' shows it): stop it, or choose another LPDServerPort in " + iniPath + ".";
    } else if (error == EACCES) {
        text +=
            "Ports below 1024 need privilege: run as root, let the program bind them with "
            "'setcap cap_net_bind_service=+ep " +
            ProgramPath() +
            "', start it through pressgated.socket, or choose LPDServerPort=1024 "
            "or above in " +
            iniPath + ".";
    } else {
        text += "Check LPDServerPort in " + iniPath + ".";
    }
    return text;
}

// The lines the window writes when it is shown: the host's name and first address.
void PrintHostLines() {
    std::string name, address, failure;
    if (!pg::LocalHostIdentity(name, address, failure)) {
        pg::OperatorMessage::Show(nullptr, "Error", failure);
        return;
    }
    PrintLine(" Local Hostname: " + name);
    PrintLine(" Local IP Address: " + address);
}

// --check-config: every problem with its line; status 1 when any is an error.
int CheckConfiguration(const pg::ConfigLocation& location) {
    const std::string path = location.IniPath();
    const pg::ProfileFile file(path);
    if (!file.Exists()) {
        std::printf("%s: no such file; the daemon writes a default one at its first start\n",
                    path.c_str());
        return 0;
    }
    std::string text;
    if (FILE* stream = std::fopen(path.c_str(), "rb")) {
        char buffer[8192];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) {
            text.append(buffer, n);
        }
        std::fclose(stream);
    } else {
        std::printf("%s: error: cannot be read - %s\n", path.c_str(), ErrorText(errno).c_str());
        return 1;
    }
    pg::ConfigurationCheck check(text);
    pg::SettingsReadHooks hooks;
    hooks.rejected = [&check](const char* key) {
        return check.Text().Rejected("GENERAL CONFIGURE", key);
    };
    const pg::GeneralSettings settings = pg::ReadGeneralSettings(file, location, hooks);
    std::string reason;
    const auto printSystem = pg::PrintSystem::Create(settings.printSystem, &reason);
    check.CheckSurroundings(printSystem.get(), reason);
    for (const pg::ConfigProblem& problem : check.Problems()) {
        std::printf("%s: %s\n", path.c_str(), problem.Describe().c_str());
    }
    if (check.Problems().empty()) {
        std::printf("%s: no problems\n", path.c_str());
    }
    return check.HasErrors() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const pg::CommandLine options = pg::CommandLine::Parse(argc, argv, true);
    if (!options.error.empty()) {
        std::fprintf(stderr, "pressgated: %s\n%s", options.error.c_str(),
                     pg::CommandLine::Usage("pressgated", true).c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(pg::CommandLine::Usage("pressgated", true).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("pressgated " PRESSGATE_VERSION);
        return 0;
    }
    journalForm = options.journal || ::isatty(STDOUT_FILENO) == 0;
    const pg::ConfigLocation location =
        pg::ConfigLocation::FromProcess(options.home, options.system);
    if (options.checkConfig) {
        return CheckConfiguration(location);
    }

    // Signals are taken by sigwait() below; every thread started from here on inherits the
    // mask. A peer that resets never kills the process.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2, SIGHUP}) {
        sigaddset(&signals, s);
    }
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    pg::InstanceLock instance(location.runtimeDirectory);
    if (!instance.Acquired()) {
        std::fprintf(stderr, "%sPressgate.: %s\n", journalForm ? "<3>" : "",
                     instance.Message().c_str());
        return 1;
    }

    // A socket from the service manager (pressgated.socket) is taken as it is; the others, if
    // any, are not ours to serve.
    pg::UniqueFd inherited;
    const int handed = sd_listen_fds(1);
    for (int i = 0; i < handed; ++i) {
        if (i == 0 && sd_is_socket(SD_LISTEN_FDS_START, AF_UNSPEC, SOCK_STREAM, 1) > 0) {
            inherited.Reset(SD_LISTEN_FDS_START);
        } else {
            ::close(SD_LISTEN_FDS_START + i);
        }
    }

    // Started as root: root is given up once the port is bound (before any thread exists,
    // this forks the helper that keeps the right to bind the ports forwarding sends from).
    pg::ArmPrivilegeDrop(location);

    pg::LogSession logs(location.IniPath());
    int exitCode = 0;
    {
        // The sink goes in before the spooler is made, so the start-up settings and a created
        // default configuration show on the terminal too.
        pg::LogFile::SetScreenOutput([](const char* text) { PrintLine(text); });
        pg::LPDSpooler spooler(location);
        if (!spooler.StartupError().empty()) {
            return Fail("cannot run with " + location.IniPath() + ": " + spooler.StartupError() +
                        " (pressgated --check-config lists every problem)");
        }
        const bool adopted = inherited.Valid();
        spooler.AdoptListeningSocket(std::move(inherited));
        spooler.StartSpooling(nullptr, false);
        if (const int error = spooler.WaitUntilListening(); error != 0) {
            const std::string account = pg::PrivilegeDropFailure();
            return Fail(!account.empty() ? "cannot serve as RunAsUser: " + account
                                         : ListenFailure(error, spooler.Settings().ListenPort(),
                                                         location.IniPath()));
        }
        PrintHostLines();
        spooler.ActivateLPD(!options.paused);
        const auto status = [&spooler, adopted] {
            return std::string(spooler.State() == pg::SpoolerState::Running ? "Accepting print jobs"
                                                                            : "Paused") +
                   " on port " + std::to_string(spooler.BoundPort()) +
                   (adopted ? " (socket activation)" : "") + ", " +
                   std::to_string(spooler.Printers().size()) + " print queues";
        };
        sd_notifyf(0, "READY=1\nSTATUS=%s\nMAINPID=%lu", status().c_str(),
                   static_cast<unsigned long>(::getpid()));

        for (;;) {
            int received = 0;
            if (sigwait(&signals, &received) != 0) {
                exitCode = 1;
                break;
            }
            if (received == SIGHUP) {
                sd_notify(0, "RELOADING=1\nSTATUS=Reloading the configuration");
                const bool reloaded = spooler.Reload();
                sd_notifyf(0, "READY=1\nSTATUS=%s%s", status().c_str(),
                           reloaded ? "" : " (the last reload failed: see the log)");
            } else if (received == SIGUSR1) {
                spooler.ActivateLPD(true);
                sd_notify(0, "STATUS=Accepting print jobs");
            } else if (received == SIGUSR2) {
                spooler.ActivateLPD(false);
                sd_notify(0, "STATUS=Paused: no print job is accepted");
            } else if (received == SIGINT || received == SIGTERM) {
                sd_notify(0, "STOPPING=1\nSTATUS=Stopping");
                break;
            }
        }
    }
    return exitCode;
}
