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
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPixmap>
#include <QStandardItemModel>
#include <QTest>

#include <cstdio>
#include <memory>
#include <string>

#include "engine/LPDPrinter.h"
#include "platform/UniqueFd.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"
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

using pg::test::LoopbackClient;

// One whole job over RFC 1179: receive-job, control file, data file.
bool SendJob(uint16_t port, const std::string& queue, int jobNo, const std::string& user,
             const std::string& host, const std::string& title, size_t size) {
    const std::string ack(1, '\0');
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03d", jobNo);
    const std::string name = std::string(digits) + host;
    const std::string control = "H" + host + "\nP" + user + "\nJ" + title + "\nldfA" + name +
                                "\nUdfA" + name + "\nN" + title + "\n";
    const std::string data(size, 'x');
    LoopbackClient client(port);
    client.Send("\002" + queue + "\n");
    bool ok = client.Receive(1) == ack;
    client.Send("\002" + std::to_string(control.size()) + " cfA" + name + "\n");
    ok = ok && client.Receive(1) == ack;
    client.Send(control + std::string(1, '\0'));
    ok = ok && client.Receive(1) == ack;
    client.Send("\003" + std::to_string(data.size()) + " dfA" + name + "\n");
    ok = ok && client.Receive(1) == ack;
    client.Send(data + std::string(1, '\0'));
    ok = ok && client.Receive(1) == ack;
    return ok;
}

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

class Shooter {
  public:
    explicit Shooter(const QString& directory) : directory_(directory) {}

    void Shoot(QWidget& widget, const QString& name) {
        widget.show();
        widget.raise();
        if (!QTest::qWaitForWindowExposed(&widget, 5000)) {
            std::fprintf(stderr, "pg_screenshots: %s was not shown\n", qPrintable(name));
        }
        QTest::qWait(300);  // layouts and the first paint settle
        const QString path = QDir(directory_).filePath(name + ".png");
        if (widget.grab().save(path)) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "pg_screenshots: cannot write %s\n", qPrintable(path));
            ok_ = false;
        }
    }
    bool Ok() const { return ok_; }

  private:
    QString directory_;
    bool ok_ = true;
};

void Select(pg::TPressgate& window, const QString& caption) {
    QStandardItemModel* model = window.QueueModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().toString() == caption) {
            window.QueueSelection()->setCurrentIndex(
                model->index(row, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
    }
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
    pg::TPrnWiz1 wizard1(spooler, &window);
    pg::TPrnWiz2 wizard2(spooler, &window);
    pg::TGeneralSettings general(spooler);
    pg::TLoggingOptions logging(spooler);
    pg::TViewPrintQ viewer(spooler, &window);
    pg::TLPrnProp localProperties(spooler, &window);
    pg::TRPrnProp remoteProperties(spooler, &window);
    wizard1.SetPage2(&wizard2);
    wizard2.SetPage1(&wizard1);
    pg::TPressgate::Dialogs dialogs;
    dialogs.wizard1 = &wizard1;
    dialogs.wizard2 = &wizard2;
    dialogs.general = &general;
    dialogs.logging = &logging;
    dialogs.viewer = &viewer;
    dialogs.localProperties = &localProperties;
    dialogs.remoteProperties = &remoteProperties;
    window.SetDialogs(dialogs);

    Shooter shooter(directory);
    window.show();
    window.ToggleDaemon();  // as the operator would: Options "Activate LPD"
    spooler.PausePrinter("labels");

    // Jobs for the accounts server, which takes the first and then keeps everybody waiting.
    SendJob(daemon.Port(), "accounts", 17, "maria", "design-pc", "invoices-may.pdf", 1536000);
    SendJob(daemon.Port(), "accounts", 18, "tom", "office-2", "ledger.txt", 734208);
    SendJob(daemon.Port(), "accounts", 19, "maria", "design-pc", "payroll.ps", 48211);
    SendJob(daemon.Port(), "laser", 240, "ellen", "office-7", "minutes.txt", 2100);
    SendJob(daemon.Port(), "plotter", 9, "tom", "cad02", "elevation-north.plt", 90112);
    pg::test::WaitUntil([&] {
        return spooler.FindPrinter(std::string("accounts"))->JobCount() == 3 &&
               spooler.FindPrinter(std::string("laser"))->JobCount() == 0 &&
               spooler.FindPrinter(std::string("plotter"))->JobCount() == 0;
    });
    QTest::qWait(500);  // the message window catches up

    window.UpdateListView();
    Select(window, "accounts");
    shooter.Shoot(window, "main-window");
    splash.setModal(false);
    shooter.Shoot(splash, "splash");
    splash.hide();

    shooter.Shoot(viewer, "queue-viewer");  // the jobs of "accounts"
    viewer.hide();

    Select(window, "laser");
    shooter.Shoot(localProperties, "local-properties");
    localProperties.hide();
    Select(window, "accounts");
    shooter.Shoot(remoteProperties, "remote-properties");
    remoteProperties.hide();

    wizard1.ShowWizard();
    shooter.Shoot(wizard1, "wizard-page1");
    wizard1.hide();
    shooter.Shoot(wizard2, "wizard-page2");
    wizard2.hide();

    shooter.Shoot(general, "general-settings");
    general.hide();
    shooter.Shoot(logging, "logging-options");
    logging.hide();
    return shooter.Ok() ? 0 : 1;
}
