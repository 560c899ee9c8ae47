#include "tests/ui/WindowFixture.h"

#include "config/ProfileFile.h"

namespace pg::test {

void WindowFixture::Start(const TestConfig& config, bool activate) {
    window_.reset();
    boxes_.reset();
    daemon_.reset();
    daemon_ = std::make_unique<TestDaemon>(config, activate);
    boxes_ = std::make_unique<OperatorMessageBoxes>();
    Reopen();
}

void WindowFixture::Reopen() {
    window_.reset();
    window_ = std::make_unique<MainWindow>(daemon_->Spooler());
    boxes_->SetOwner(window_.get());
    window_->findChild<QTimer*>("Timer1")->stop();
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

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
}

void ModalAnswerer::Poll() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (busy_ || dialog == nullptr || !dialog->isVisible()) {
        return;  // busy_: the inspector processes events itself
    }
    titles_ << dialog->windowTitle();
    auto* box = qobject_cast<QMessageBox*>(dialog);
    if (box != nullptr) {
        texts_ << box->text();
    }
    if (inspector_) {
        busy_ = true;
        inspector_();
        busy_ = false;
    }
    if (box != nullptr && box->button(answer_) != nullptr) {
        box->button(answer_)->click();
    }
    if (dialog->isVisible()) {
        dialog->reject();
    }
}

}  // namespace pg::test
