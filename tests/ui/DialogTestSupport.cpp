#include "tests/ui/DialogTestSupport.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "config/ProfileFile.h"
#include "engine/JobEntry.h"
#include "engine/LPDPrinter.h"
#include "engine/LPDSpooler.h"
#include "ui/OperatorMessageBoxes.h"
#include "ui/TGeneralSettings.h"
#include "ui/TLPrnProp.h"
#include "ui/TLoggingOptions.h"
#include "ui/TPrnWiz1.h"
#include "ui/TPrnWiz2.h"
#include "ui/TRPrnProp.h"
#include "ui/TViewPrintQ.h"

namespace pg::test {

// --- DialogsFixture ----------------------------------------------------------------------------

void DialogsFixture::StartDialogs(const TestConfig& config, bool activate) {
    Start(config, activate);
    messages_ = std::make_unique<OperatorMessageBoxes>();
    LPDSpooler& spooler = Spooler();
    TPressgate* window = &Window();
    wizard1_ = new TPrnWiz1(spooler, window, window);
    wizard2_ = new TPrnWiz2(spooler, window, window);
    wizard1_->SetPage2(wizard2_);
    wizard2_->SetPage1(wizard1_);
    general_ = new TGeneralSettings(spooler, window);
    logging_ = new TLoggingOptions(spooler, window);
    viewer_ = new TViewPrintQ(spooler, window, window);
    localProperties_ = new TLPrnProp(spooler, window, window);
    remoteProperties_ = new TRPrnProp(spooler, window, window);
    TPressgate::Dialogs dialogs;
    dialogs.wizard1 = wizard1_;
    dialogs.wizard2 = wizard2_;
    dialogs.general = general_;
    dialogs.logging = logging_;
    dialogs.viewer = viewer_;
    dialogs.localProperties = localProperties_;
    dialogs.remoteProperties = remoteProperties_;
    Window().SetDialogs(dialogs);
    Window().UpdateListView();
}

void DialogsFixture::TearDown() {
    messages_.reset();
    MainWindowFixture::TearDown();
}

std::string DialogsFixture::QueueEntry(const std::string& name) const {
    return ProfileFile(daemon_->IniPath()).GetString("Print Queues", name, "<none>");
}

std::string DialogsFixture::IniText() const {
    return ReadFile(daemon_->IniPath());
}

void DialogsFixture::AddPrinter(const std::string& name) {
    std::filesystem::create_directories(daemon_->PrinterPath(name));
}

int DialogsFixture::RowOf(const QString& caption) const {
    return static_cast<int>(Captions().indexOf(caption));
}

// --- FileDialogAnswerer ------------------------------------------------------------------------

FileDialogAnswerer::FileDialogAnswerer() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
}

void FileDialogAnswerer::Poll() {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) {
        return;
    }
    ++seen_;
    if (handler_) {
        auto handler = std::move(handler_);
        handler_ = nullptr;
        handler(*dialog);
    }
    if (dialog->isVisible()) {
        dialog->reject();
    }
}

// --- helpers -----------------------------------------------------------------------------------

void Click(QAbstractButton* button) {
    // A check box or radio button takes clicks on its indicator and caption only, and its
    // centre may lie beyond them when a layout stretches it.
    const bool pushButton = qobject_cast<QPushButton*>(button) != nullptr;
    const QPoint where = pushButton ? button->rect().center() : QPoint(6, button->height() / 2);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
}

std::shared_ptr<JobEntry> AddSizedJob(LPDPrinter& queue, int jobNo, const std::string& user,
                                      const std::string& host, uint64_t totalBytes,
                                      const std::string& jobName) {
    const QString number = QString::asprintf("%03d", jobNo);
    const std::string digits = number.toStdString();
    const std::string directory = queue.SpoolDirectory();
    std::filesystem::create_directories(directory);
    const std::string dataName = std::string("dfA") + digits + host;
    std::string control =
        "H" + host + "\nP" + user + "\nJ" + jobName + "\nl" + dataName + "\nU" + dataName + "\n";
    auto job = std::make_shared<JobEntry>();
    job->ReadControlFile(control, false);
    if (control.size() > totalBytes) {
        control.resize(totalBytes);
    }
    WriteFile(directory + "/cfA" + digits + host, control);
    const std::string dataPath = directory + "/" + dataName;
    WriteFile(dataPath, "");
    if (::truncate(dataPath.c_str(), static_cast<off_t>(totalBytes - control.size())) != 0) {
        return nullptr;
    }
    job->jobNo = jobNo;
    job->prefixLength = 3;
    job->digitCount = 3;
    job->nameSuffix = host;
    job->listValue = 5;
    job->timeDate = "12:00:00 12/05/26";
    job->SetState(JobState::Waiting);
    queue.AddJob(job);
    return job;
}

}  // namespace pg::test
