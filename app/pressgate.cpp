// pressgate: the Pressgate daemon with its administration window.
//
// Start-up: one instance only (the lock both programs take), the logs, the spooler (which
// starts spooling at once when ActivateLPDOnStart is set), the application, then every window
// once, hidden but the main window: main window (which installs the message-window sink and
// starts spooling with the daemon paused), splash, wizard pages 1 and 2, General Settings,
// Logging Options, queue viewer, local and remote queue properties. The splash shows for about
// two seconds, then the main window. At exit the windows go, then the spooler, then the logs.
//
// A second copy says "Sorry, only 1 Instance of Pressgate can run" in a box titled
// "Pressgate." (and on stderr) and ends with exit code 1.
//
// --paused keeps the daemon paused even when ActivateLPDOnStart is set; the operator activates
// it from the window. SIGINT and SIGTERM end the program as Exit does.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <memory>

#include "app/CommandLine.h"
#include "config/ConfigLocation.h"
#include "engine/LPDSpooler.h"
#include "log/LogFile.h"
#include "platform/InstanceLock.h"
#include "platform/UniqueFd.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/TGeneralSettings.h"
#include "ui/TLPrnProp.h"
#include "ui/TLoggingOptions.h"
#include "ui/TPressgate.h"
#include "ui/TPrnWiz1.h"
#include "ui/TPrnWiz2.h"
#include "ui/TRPrnProp.h"
#include "ui/TSplash.h"
#include "ui/TViewPrintQ.h"

namespace {

// The signal handler's end of the self-pipe, open for the life of the process; the window
// thread reads the other end.
int signalPipeWrite = -1;
volatile sig_atomic_t quitSignalled = 0;

void OnQuitSignal(int) {
    quitSignalled = 1;
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(signalPipeWrite, &byte, 1);
}

// SIGINT and SIGTERM quit the application from its own thread: the handler only writes a
// byte, which a socket notifier turns into QApplication::quit(). Returns the reading end.
pg::UniqueFd InstallQuitSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return pg::UniqueFd();
    }
    signalPipeWrite = fds[1];
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return pg::UniqueFd(fds[0]);
}

}  // namespace

int main(int argc, char** argv) {
    const pg::CommandLine options = pg::CommandLine::Parse(argc, argv);
    if (!options.error.empty()) {
        std::fprintf(stderr, "pressgate: %s\n%s", options.error.c_str(),
                     pg::CommandLine::Usage("pressgate").c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(pg::CommandLine::Usage("pressgate").c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("pressgate " PRESSGATE_VERSION);
        return 0;
    }
    ::signal(SIGPIPE, SIG_IGN);

    const pg::ConfigLocation location = pg::ConfigLocation::FromProcess(options.home);
    pg::InstanceLock instance;
    if (!instance.Acquired()) {
        std::fprintf(stderr, "Pressgate.: Sorry, only 1 Instance of Pressgate can run\n");
        QApplication app(argc, argv);
        // Without a screen (the offscreen and minimal platforms) nobody could close the box:
        // the line on stderr is the message then.
        const QString platform = QGuiApplication::platformName();
        if (platform != "offscreen" && platform != "minimal") {
            QMessageBox::warning(nullptr, "Pressgate.",
                                 "Sorry, only 1 Instance of Pressgate can run");
        }
        return 1;
    }

    const pg::UniqueFd signalPipe = InstallQuitSignals();

    pg::LogSession logs(location.IniPath());
    pg::LPDSpooler spooler(location);
    if (options.paused) {
        spooler.ActivateLPD(false);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Pressgate");
    int exitCode = 0;
    {
        pg::OperatorMessageBoxes boxes;

        auto window = std::make_unique<pg::TPressgate>(spooler);
        boxes.SetOwner(window.get());
        auto splash = std::make_unique<pg::TSplash>();
        auto wizard1 = std::make_unique<pg::TPrnWiz1>(spooler, window.get());
        auto wizard2 = std::make_unique<pg::TPrnWiz2>(spooler, window.get());
        auto general = std::make_unique<pg::TGeneralSettings>(spooler);
        auto logging = std::make_unique<pg::TLoggingOptions>(spooler);
        auto viewer = std::make_unique<pg::TViewPrintQ>(spooler, window.get());
        auto localProperties = std::make_unique<pg::TLPrnProp>(spooler, window.get());
        auto remoteProperties = std::make_unique<pg::TRPrnProp>(spooler, window.get());
        wizard1->SetPage2(wizard2.get());
        wizard2->SetPage1(wizard1.get());

        pg::TPressgate::Dialogs dialogs;
        dialogs.wizard1 = wizard1.get();
        dialogs.wizard2 = wizard2.get();
        dialogs.general = general.get();
        dialogs.logging = logging.get();
        dialogs.viewer = viewer.get();
        dialogs.localProperties = localProperties.get();
        dialogs.remoteProperties = remoteProperties.get();
        window->SetDialogs(dialogs);
        window->SetSplash(splash.get());

        // A quit signal during the splash closes it too: the application's own loop has not
        // started yet, so QApplication::quit() alone would not end the splash.
        std::unique_ptr<QSocketNotifier> signalNotifier;
        if (signalPipe) {
            signalNotifier =
                std::make_unique<QSocketNotifier>(signalPipe.Get(), QSocketNotifier::Read);
            QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &app, [&] {
                char bytes[16];
                while (::read(signalPipe.Get(), bytes, sizeof bytes) > 0) {
                }
                splash->close();
                QApplication::quit();
            });
        }

        // The splash is modal; its loop ends when it is closed by the clock or by a signal,
        // even one handled while the splash was still being shown.
        splash->setModal(true);
        splash->show();
        while (splash->isVisible() && !quitSignalled) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        splash->hide();
        if (!quitSignalled) {
            window->show();
            exitCode = QApplication::exec();
        }

        // The windows go in the reverse order of their making; the main window last.
        signalNotifier.reset();
        remoteProperties.reset();
        localProperties.reset();
        viewer.reset();
        logging.reset();
        general.reset();
        wizard2.reset();
        wizard1.reset();
        splash.reset();
        window.reset();
    }
    // The spooler and then the logs go at the end of main's scope.
    return exitCode;
}
