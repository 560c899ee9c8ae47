// pressgate: the Pressgate daemon with its administration window.
//
// Start-up: a display first (without one the program says so and ends before it touches any
// file), the application, one instance only (the lock both programs take), the logs, the
// spooler (which starts spooling at once when ActivateLPDOnStart is set), then the main window
// (which makes the message pane take the system log's lines and starts spooling with the
// daemon paused). The splash shows for about two seconds, then the main window. The dialogs
// are made when the operator opens them. At exit the window goes, then the spooler, then the
// logs.
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
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "app/CommandLine.h"
#include "config/ConfigLocation.h"
#include "engine/LPDSpooler.h"
#include "log/LogFile.h"
#include "platform/InstanceLock.h"
#include "platform/UniqueFd.h"
#include "ui/MainWindow.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/SplashScreen.h"

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

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Whether Qt will find a screen: the platforms of QT_QPA_PLATFORM (tried in their order) or
// the desktop's own. X11 needs DISPLAY, Wayland WAYLAND_DISPLAY; the others (offscreen, vnc,
// eglfs, ...) bring their own. Without one, Qt would abort the program.
bool DisplayAvailable() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen == nullptr || *chosen == '\0') {
        return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
    }
    std::istringstream platforms(chosen);
    for (std::string entry; std::getline(platforms, entry, ';');) {
        const std::string name = entry.substr(0, entry.find(':'));  // "vnc:size=800x600"
        if (name == "xcb"                   ? IsSet("DISPLAY")
            : name.rfind("wayland", 0) == 0 ? IsSet("WAYLAND_DISPLAY")
                                            : !name.empty()) {
            return true;
        }
    }
    return false;
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
    if (!DisplayAvailable()) {
        std::fputs(
            "pressgate: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not "
            "set); run pressgated for the daemon without a window\n",
            stderr);
        return 1;
    }
    ::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pressgate");

    const pg::ConfigLocation location = pg::ConfigLocation::FromProcess(options.home);
    pg::InstanceLock instance;
    if (!instance.Acquired()) {
        std::fprintf(stderr, "Pressgate.: Sorry, only 1 Instance of Pressgate can run\n");
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

    int exitCode = 0;
    {
        pg::OperatorMessageBoxes boxes;
        pg::MainWindow window(spooler);
        boxes.SetOwner(&window);
        pg::SplashScreen splash;

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
                splash.close();
                QApplication::quit();
            });
        }

        // The splash is modal; its loop ends when its time is up or a signal closed it, even
        // one handled while the splash was still being shown.
        splash.setModal(true);
        splash.show();
        QTimer::singleShot(pg::SplashScreen::kShownMs, &splash, &QWidget::close);
        while (splash.isVisible() && !quitSignalled) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        splash.hide();
        if (!quitSignalled) {
            window.show();
            exitCode = QApplication::exec();
        }
    }
    // The spooler and then the logs go at the end of main's scope.
    return exitCode;
}
