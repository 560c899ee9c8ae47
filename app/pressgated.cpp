// pressgated: the Pressgate daemon without a window. It starts the way the window does (logs,
// spooler, screen sink, spooling with the daemon paused) and then activates the daemon unless
// --paused is given. Started as root it serves as RunAsUser. SIGUSR1 activates, SIGUSR2
// de-activates, SIGINT and SIGTERM end it.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/CommandLine.h"
#include "config/ConfigLocation.h"
#include "engine/HostAddress.h"
#include "engine/LPDSpooler.h"
#include "engine/MessageStamp.h"
#include "engine/PrivilegeDrop.h"
#include "log/LogFile.h"
#include "platform/InstanceLock.h"
#include "platform/Mutex.h"
#include "platform/OperatorMessage.h"

namespace {

pg::Mutex stdoutMutex;

void PrintLine(const std::string& line) {
    pg::MutexLock lock(stdoutMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The lines the window writes when it is shown: the host's name and first address.
void PrintHostLines() {
    std::string name, address, failure;
    if (!pg::LocalHostIdentity(name, address, failure)) {
        pg::OperatorMessage::Show(nullptr, "Error", failure);
        return;
    }
    PrintLine(pg::MessageStamp() + "  Local Hostname: " + name);
    PrintLine(pg::MessageStamp() + "  Local IP Address: " + address);
}

}  // namespace

int main(int argc, char** argv) {
    const pg::CommandLine options = pg::CommandLine::Parse(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "pressgated: %s\n%s", options.error.c_str(),
                     pg::CommandLine::Usage("pressgated").c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(pg::CommandLine::Usage("pressgated").c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("pressgated " PRESSGATE_VERSION);
        return 0;
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

    const pg::ConfigLocation location = pg::ConfigLocation::FromProcess(options.home);
    pg::InstanceLock instance;
    if (!instance.Acquired()) {
        std::fprintf(stderr, "Pressgate.: Sorry, only 1 Instance of Pressgate can run\n");
        return 1;
    }

    // Started as root: root is given up once the port is bound (before any thread exists,
    // this forks the helper that keeps the right to bind the ports forwarding sends from).
    pg::ArmPrivilegeDrop(location);

    pg::LogSession logs(location.IniPath());
    int exitCode = 0;
    {
        // The sink goes in before the spooler is made, so the start-up settings and a created
        // default configuration show on the terminal too.
        pg::LogFile::SetScreenOutput(
            [](const char* text) { PrintLine(pg::MessageStamp() + " " + text); });
        pg::LPDSpooler spooler(location);
        spooler.StartSpooling(nullptr, false);
        pg::AwaitPrivilegeDrop();
        PrintHostLines();
        spooler.ActivateLPD(!options.paused);

        for (;;) {
            int received = 0;
            if (sigwait(&signals, &received) != 0) {
                exitCode = 1;
                break;
            }
            if (received == SIGUSR1) {
                spooler.ActivateLPD(true);
            } else if (received == SIGUSR2) {
                spooler.ActivateLPD(false);
            } else if (received == SIGINT || received == SIGTERM) {
                break;
            }
        }
    }
    return exitCode;
}
