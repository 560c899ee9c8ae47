#include "tests/ui/WindowFixture.h"

#include "config/ProfileFile.h"

namespace pg::test {

void WindowFixture::Start(const TestConfig& config, bool activate, bool sampling) {
    TearDown();
    daemon_ = std::make_unique<TestDaemon>(config, activate);
    boxes_ = std::make_unique<OperatorMessageBoxes>();
    Reopen();
    if (sampling) {
        Window().findChild<QTimer*>("Timer1")->start();
    }
}

void WindowFixture::Reopen() {
    window_.reset();
    window_ = std::make_unique<MainWindow>(daemon_->Spooler());
    boxes_->SetOwner(window_.get());
    window_->findChild<QTimer*>("Timer1")->stop();
}

void WindowFixture::TearDown() {
    window_.reset();
    boxes_.reset();
    daemon_.reset();
}

QStringList WindowFixture::Captions() const {
    QStringList captions;
    for (int row = 0; row < window_->QueueModel()->rowCount(); ++row) {
        captions << Cell(row, QueueListModel::kName);
    }
    return captions;
}

std::string WindowFixture::Key(const std::string& section, const std::string& key) const {
    return ProfileFile(daemon_->IniPath()).GetString(section, key, "<none>");
}

void Click(QAbstractButton* button) {
    // A check box or radio button takes clicks on its indicator and caption only, and its
    // centre may lie beyond them when a layout stretches it.
    const bool pushButton = qobject_cast<QPushButton*>(button) != nullptr;
    const QPoint where = pushButton ? button->rect().center() : QPoint(6, button->height() / 2);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, where);
}

QString Shown(QWidget* field) {
    if (auto* box = qobject_cast<QCheckBox*>(field)) {
        return box->isChecked() ? "Y" : "N";
    }
    if (auto* box = qobject_cast<QComboBox*>(field)) {
        return box->currentText();
    }
    return field->property("text").toString();
}

void Enter(QWidget* field, const QString& value) {
    if (auto* box = qobject_cast<QCheckBox*>(field)) {
        if (Shown(box) != value) {
            Click(box);
        }
        return;
    }
    QMetaObject::invokeMethod(field, "selectAll");
    if (value.isEmpty()) {
        QTest::keyClick(field, Qt::Key_Delete);
    }
    QTest::keyClicks(field, value);
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
