// pg_screenshots DIR: pictures of Pressgate's windows for the documentation, as PNG files in
// DIR. The windows run over an in-process daemon with a small made-up installation: four
// queues, jobs sent by a real LPR client, and the message window's lines. The jobs of the
// remote queue stay in it: its host takes the connection and never answers. scripts/
// screenshots.sh runs it on a virtual X server.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include <cstdio>
#include <memory>
#include <string>

#include "engine/PrintQueue.h"
#include "platform/UniqueFd.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/TSplash.h"

namespace {

using pg::test::MakeDialogs;
using pg::test::SelectRow;
using pg::test::SendJob;

// A remote LPD host that never answers: the kernel completes connections into the listen
// queue and nobody reads them, so a forwarded job waits for its first reply.
pg::UniqueFd SilentHost(uint16_t& port) {
    pg::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!fd || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), 16) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return pg::UniqueFd();
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pg_screenshots DIR\n");
        return 2;
    }
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(directory);

    uint16_t silentPort = 0;
    const pg::UniqueFd silentHost = SilentHost(silentPort);
    pg::test::TestConfig config;
    config.Set("GENERAL CONFIGURE", "TestPrintManager", "N")
        .Set("GENERAL CONFIGURE", "RemoteCmdTimeout", "0")
        .Set("Logging", "LogLevel", "1")
        .AddLocalQueue("laser")
        .AddLocalQueue("plotter")
        .AddQueue("accounts", "acctq,127.0.0.1," + std::to_string(silentPort) +
                                  ",Forwarded to the accounts server")
        .AddLocalQueue("labels");
    pg::test::TestDaemon daemon(config, /*activate=*/false);
    pg::LPDSpooler& spooler = daemon.Spooler();

    pg::OperatorMessageBoxes boxes;
    pg::TPressgate window(spooler);
    pg::TSplash splash;
    const pg::TPressgate::Dialogs dialogs = MakeDialogs(spooler, window);

    bool ok = true;
    auto shoot = [&](QWidget& widget, const QString& name) {
        widget.show();
        widget.raise();
        if (!QTest::qWaitForWindowExposed(&widget, 5000)) {
            std::fprintf(stderr, "pg_screenshots: %s was not shown\n", qPrintable(name));
        }
        QTest::qWait(300);  // layouts and the first paint settle
        const QString path = QDir(directory).filePath(name + ".png");
        if (widget.grab().save(path)) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "pg_screenshots: cannot write %s\n", qPrintable(path));
            ok = false;
        }
    };
    window.show();
    window.ToggleDaemon();  // as the operator would: Options "Activate LPD"
    spooler.PausePrinter("labels");

    // Jobs for the accounts server, which takes the first and then keeps everybody waiting.
    SendJob(daemon.Port(), "accounts", 17, "maria", "design-pc", "invoices-may.pdf",
            std::string(1536000, 'x'));
    SendJob(daemon.Port(), "accounts", 18, "tom", "office-2", "ledger.txt",
            std::string(734208, 'x'));
    SendJob(daemon.Port(), "accounts", 19, "maria", "design-pc", "payroll.ps",
            std::string(48211, 'x'));
    SendJob(daemon.Port(), "laser", 240, "ellen", "office-7", "minutes.txt",
            std::string(2100, 'x'));
    SendJob(daemon.Port(), "plotter", 9, "tom", "cad02", "elevation-north.plt",
            std::string(90112, 'x'));
    pg::test::WaitUntil([&] {
        return spooler.FindQueue(std::string("accounts"))->JobCount() == 3 &&
               spooler.FindQueue(std::string("laser"))->JobCount() == 0 &&
               spooler.FindQueue(std::string("plotter"))->JobCount() == 0;
    });
    QTest::qWait(500);  // the message window catches up

    window.UpdateListView();
    SelectRow(window, "accounts");
    shoot(window, "main-window");
    splash.setModal(false);
    shoot(splash, "splash");
    splash.hide();

    shoot(*dialogs.viewer, "queue-viewer");  // the jobs of "accounts"
    SelectRow(window, "laser");
    shoot(*dialogs.localProperties, "local-properties");
    SelectRow(window, "accounts");
    shoot(*dialogs.remoteProperties, "remote-properties");
    dialogs.wizard1->ShowWizard();
    shoot(*dialogs.wizard1, "wizard-page1");
    shoot(*dialogs.wizard2, "wizard-page2");
    shoot(*dialogs.general, "general-settings");
    shoot(*dialogs.logging, "logging-options");
    return ok ? 0 : 1;
}
