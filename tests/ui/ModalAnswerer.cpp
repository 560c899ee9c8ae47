#include "tests/ui/ModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMenu>
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
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        Seen seen;
        seen.className = "QMenu";
        QStringList items;
        for (QAction* action : menu->actions()) {
            items << (action->isSeparator() ? QString("-") : action->text());
        }
        seen.text = items.join('|');
        seen_.push_back(seen);
        menu->close();
        return;
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        return;
    }
    Seen seen;
    seen.className = modal->metaObject()->className();
    seen.title = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.text = box->text();
        seen.icon = box->icon();
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons << button->text();
        }
        seen_.push_back(seen);
        Inspect(seen);
        if (QAbstractButton* button = box->button(answer_)) {
            button->click();
        } else {
            box->reject();
        }
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        seen_.push_back(seen);
        Inspect(seen);
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (files != nullptr && fileHandler_) {
            std::exchange(fileHandler_, nullptr)(*files);
        }
        if (dialog->isVisible()) {
            dialog->reject();
        }
    }
}

void ModalAnswerer::Inspect(const Seen& seen) {
    if (inspector_) {
        busy_ = true;
        inspector_(seen);
        busy_ = false;
    }
}

bool WaitFor(const std::function<bool()>& predicate, int timeoutMs) {
    return QTest::qWaitFor(predicate, timeoutMs);
}

}  // namespace pg::test
