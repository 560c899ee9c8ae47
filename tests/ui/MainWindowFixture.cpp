#include "tests/ui/MainWindowFixture.h"

#include <unistd.h>

#include <filesystem>

#include "config/ProfileFile.h"

namespace pg::test {

void MainWindowFixture::Start(const TestConfig& config, bool activate) {
    TearDown();
    daemon_ = std::make_unique<TestDaemon>(config, activate);
    boxes_ = std::make_unique<OperatorMessageBoxes>();
    window_ = std::make_unique<TPressgate>(daemon_->Spooler());
    boxes_->SetOwner(window_.get());
    window_->findChild<QTimer*>("Timer1")->stop();
}

void MainWindowFixture::StartDialogs(const TestConfig& config, bool activate) {
    Start(config, activate);
    const TPressgate::Dialogs dialogs = MakeDialogs(Spooler(), Window());
    wizard1_ = dialogs.wizard1;
    wizard2_ = dialogs.wizard2;
    general_ = dialogs.general;
    logging_ = dialogs.logging;
    viewer_ = dialogs.viewer;
    localProperties_ = dialogs.localProperties;
    remoteProperties_ = dialogs.remoteProperties;
    window_->UpdateListView();
}

void MainWindowFixture::TearDown() {
    window_.reset();
    boxes_.reset();
    daemon_.reset();
}

QStringList MainWindowFixture::Row(int row) const {
    QStringList texts;
    for (int column = 0; column < 4; ++column) {
        texts << Cell(row, column);
    }
    return texts;
}

QStringList MainWindowFixture::Captions() const {
    QStringList captions;
    for (int row = 0; row < Rows(); ++row) {
        captions << Cell(row, TPressgate::kNameColumn);
    }
    return captions;
}

QList<QAction*> MainWindowFixture::MenuActions(const QString& menu) const {
    for (QAction* action : window_->menuBar()->actions()) {
        if (action->menu() && action->text().remove('&') == menu) {
            return action->menu()->actions();
        }
    }
    return {};
}

QAction* MainWindowFixture::MenuItem(const QString& menu, const QString& item) const {
    for (QAction* action : MenuActions(menu)) {
        if (action->text() == item) {
            return action;
        }
    }
    return nullptr;
}

QToolButton* MainWindowFixture::ToolButton(const QString& toolTip) const {
    auto* toolBar = window_->findChild<QToolBar*>("ToolBar1");
    for (QAction* action : toolBar->actions()) {
        if (!action->isSeparator() && action->toolTip() == toolTip) {
            return qobject_cast<QToolButton*>(toolBar->widgetForAction(action));
        }
    }
    return nullptr;
}

std::string MainWindowFixture::Key(const std::string& section, const std::string& key) const {
    return ProfileFile(daemon_->IniPath()).GetString(section, key, "<none>");
}

std::string MainWindowFixture::IniText() const {
    return ReadFile(daemon_->IniPath());
}

TPressgate::Dialogs MakeDialogs(LPDSpooler& spooler, TPressgate& window) {
    TPressgate::Dialogs dialogs;
    dialogs.wizard1 = new TPrnWiz1(spooler, &window, &window);
    dialogs.wizard2 = new TPrnWiz2(spooler, &window, &window);
    dialogs.wizard1->SetPage2(dialogs.wizard2);
    dialogs.wizard2->SetPage1(dialogs.wizard1);
    dialogs.general = new TGeneralSettings(spooler, &window);
    dialogs.logging = new TLoggingOptions(spooler, &window);
    dialogs.viewer = new TViewPrintQ(spooler, &window, &window);
    dialogs.localProperties = new TLPrnProp(spooler, &window, &window);
    dialogs.remoteProperties = new TRPrnProp(spooler, &window, &window);
    window.SetDialogs(dialogs);
    return dialogs;
}

bool SelectRow(TPressgate& window, const QString& caption) {
    const QModelIndexList found = window.QueueModel()->match(
        window.QueueModel()->index(0, 0), Qt::DisplayRole, caption, 1, Qt::MatchExactly);
    if (!found.isEmpty()) {
        window.QueueSelection()->setCurrentIndex(
            found.first(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    return !found.isEmpty();
}

bool SendJob(uint16_t port, const std::string& queue, int jobNo, const std::string& user,
             const std::string& host, const std::string& title, const std::string& data) {
    const std::string name = QString::asprintf("%03d", jobNo).toStdString() + host;
    const std::string control = "H" + host + "\nP" + user + "\nJ" + title + "\nldfA" + name +
                                "\nUdfA" + name + "\nN" + title + "\n";
    LoopbackClient client(port);
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

std::shared_ptr<JobEntry> AddSizedJob(PrintQueue& queue, int jobNo, const std::string& user,
                                      const std::string& host, uint64_t totalBytes) {
    const std::string digits = QString::asprintf("%03d", jobNo).toStdString();
    // The control file StoreJob writes for one data file.
    const size_t control =
        ("H" + host + "\nP" + user + "\nJreport.txt\nldfA" + digits + host + "\n").size();
    const size_t data = totalBytes > control ? totalBytes - control : 0;
    return StoreJob(queue, jobNo, user, host, {std::string(data, 'x')});
}

}  // namespace pg::test
