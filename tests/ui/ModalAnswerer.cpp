#include "tests/ui/ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <utility>

namespace pg::test {

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton answer) : answer_(answer) {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::Poll);
    timer_.start();
}

QStringList ModalAnswerer::Texts() const {
    QStringList texts;
    for (const Seen& seen : seen_) {
        if (seen.className == "QMessageBox") {
            texts << seen.text;
        }
    }
    return texts;
}

void ModalAnswerer::Poll() {
    if (busy_) {
        return;  // the inspector processes events itself
    }
    Seen seen;
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) {
        return;
    }
    seen.className = dialog->metaObject()->className();
    seen.title = dialog->windowTitle();
    auto* box = qobject_cast<QMessageBox*>(dialog);
    if (box != nullptr) {
        seen.text = box->text();
    }
    seen_.push_back(seen);
    if (inspector_) {
        busy_ = true;
        inspector_(seen);
        busy_ = false;
    }
    if (box != nullptr && box->button(answer_) != nullptr) {
        box->button(answer_)->click();
    }
    if (dialog->isVisible()) {
        dialog->reject();
    }
}

bool WaitFor(const std::function<bool()>& predicate, int timeoutMs) {
    return QTest::qWaitFor(predicate, timeoutMs);
}

}  // namespace pg::test
