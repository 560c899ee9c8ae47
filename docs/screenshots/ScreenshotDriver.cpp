// pg_screenshots DIR: pictures of Pressgate's windows for the documentation, as PNG files in
// DIR. The windows run over an in-process daemon with a small made-up installation: queues,
// jobs sent by a real LPR client (one of them still arriving while the pictures are taken),
// and the message pane's lines, errors among them. The jobs of the remote queue stay in it:
// its host takes the connection and never answers. scripts/screenshots.sh runs it on a
// virtual X server.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "engine/PrintQueue.h"
#include "platform/UniqueFd.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestDaemon.h"
#include "ui/AddQueueWizard.h"
#include "ui/GeneralSettingsDialog.h"
#include "ui/LocalQueueDialog.h"
#include "ui/LoggingDialog.h"
#include "ui/MainWindow.h"
#include "ui/MessagePane.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/QueueJobsDialog.h"
#include "ui/RemoteQueueDialog.h"
#include "ui/SplashScreen.h"

namespace {

// One whole job over RFC 1179 as an LPR client sends it; true when every step was acknowledged.
bool SendJob(uint16_t port, const std::string& queue, int jobNo, const std::string& user,
             const std::string& host, const std::string& title, const std::string& data) {
    const std::string name = std::string(jobNo < 10    ? "00"
                                         : jobNo < 100 ? "0"
                                                       : "") +
                             std::to_string(jobNo) + host;
    const std::string control = "H" + host + "\nP" + user + "\nJ" + title + "\nldfA" + name +
                                "\nUdfA" + name + "\nN" + title + "\n";
    pg::test::LoopbackClient client(port);
    for (const std::string& bytes :
         {"\002" + queue + "\n", "\002" + std::to_string(control.size()) + " cfA" + name + "\n",
          control + '\0', "\003" + std::to_string(data.size()) + " dfA" + name + "\n",
          data + '\0'}) {
        client.Send(bytes);
        if (client.Receive(1) != std::string(1, '\0')) {
            return false;
        }
    }
    return true;
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
        .AddQueue("proofs", "proof-printer,,,Colour proofs")
        .AddQueue("accounts", "acctq,127.0.0.1," + std::to_string(silentPort) +
                                  ",Forwarded to the accounts server")
        .AddLocalQueue("labels");
    pg::test::TestDaemon daemon(config, /*activate=*/false);
    pg::LPDSpooler& spooler = daemon.Spooler();

    pg::OperatorMessageBoxes boxes;
    pg::MainWindow window(spooler);

    bool ok = true;
    auto shoot = [&](QWidget& widget, const QString& name) {
        widget.show();
        widget.raise();
        if (!QTest::qWaitForWindowExposed(&widget, 5000)) {
            std::fprintf(stderr, "pg_screenshots: %s was not shown\n", qPrintable(name));
        }
        QTest::qWait(600);  // layouts, the first paint and a sample of the jobs settle
        const QString path = QDir(directory).filePath(name + ".png");
        if (widget.grab().save(path)) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "pg_screenshots: cannot write %s\n", qPrintable(path));
            ok = false;
        }
    };
    window.resize(820, 520);
    window.show();
    window.Actions().daemon->trigger();  // as the operator would: Options "Activate LPD"
    spooler.PausePrinter("labels");

    // Jobs for the accounts server, which takes the first and then keeps everybody waiting; a
    // job for a printer that is not there, which fails and waits for its retry.
    SendJob(daemon.Port(), "accounts", 17, "maria", "design-pc", "invoices-may.pdf",
            std::string(1536000, 'x'));
    SendJob(daemon.Port(), "accounts", 18, "tom", "office-2", "ledger.txt",
            std::string(734208, 'x'));
    SendJob(daemon.Port(), "laser", 240, "ellen", "office-7", "minutes.txt",
            std::string(2100, 'x'));
    SendJob(daemon.Port(), "proofs", 31, "ines", "studio-3", "Quarterly report.pdf",
            std::string(90112, 'x'));
    // A large job still arriving while the pictures are taken, at about 5 MB a second: its
    // control file, then its data a piece at a time.
    const std::string control = "Hcad02\nPtom\nJelevation-north.plt\nldfA009cad02\n";
    pg::test::LoopbackClient arriving(daemon.Port());
    for (const std::string& bytes :
         {std::string("\002laser\n"), "\002" + std::to_string(control.size()) + " cfA009cad02\n",
          control + '\0', "\003" + std::to_string(96 * 1024000) + " dfA009cad02\n"}) {
        arriving.Send(bytes);
        arriving.Receive(1);
    }
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        const std::string piece(512 * 1024, 'x');
        for (int sent = 0; !stop && sent < 180; ++sent) {
            arriving.Send(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    pg::test::WaitUntil([&] {
        return spooler.FindQueue(std::string("accounts"))->JobCount() == 2 &&
               spooler.FindQueue(std::string("proofs"))->StatusText() != "Colour proofs";
    });
    QTest::qWait(500);  // the message pane catches up

    window.Refresh();
    window.SelectRow("laser");
    shoot(window, "main-window");
    pg::SplashScreen splash;
    shoot(splash, "splash");
    splash.hide();

    pg::QueueJobsDialog jobs(spooler, spooler.FindQueue(std::string("laser")), &window);
    shoot(jobs, "queue-viewer");
    jobs.hide();
    pg::LocalQueueDialog local(spooler, spooler.FindQueue(std::string("laser")), &window);
    shoot(local, "local-properties");
    local.hide();
    pg::RemoteQueueDialog remote(spooler, spooler.FindQueue(std::string("accounts")), &window);
    shoot(remote, "remote-properties");
    remote.hide();
    window.Actions().addQueue->trigger();
    pg::AddQueueWizard& wizard = *window.Wizard();
    shoot(wizard, "wizard-page1");
    wizard.setField("queueName", "archive");
    wizard.setField("remote", true);
    wizard.next();
    shoot(wizard, "wizard-page2");
    wizard.hide();
    pg::GeneralSettingsDialog general(spooler, &window);
    shoot(general, "general-settings");
    general.hide();
    pg::LoggingDialog logging(spooler, &window);
    shoot(logging, "logging-options");
    logging.hide();
    stop = true;
    sender.join();
    return ok ? 0 : 1;
}
