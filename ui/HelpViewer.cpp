#include "ui/HelpViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "ui/HelpWindow.h"

namespace pg {

QString HelpFilePath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath("pgate.hlp");
}

void ShowHelp(QWidget* parent, int context) {
    // One help window at a time. It is a child window of the asking window's top level: a
    // window of its own that a running modal dialog does not block.
    static QPointer<HelpWindow> window;
    QWidget* owner = parent ? parent->window() : nullptr;
    if (window && window->parentWidget() != owner) {
        window->setParent(owner, Qt::Window);
    }
    if (!window) {
        window = new HelpWindow(owner);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (!window->ShowTopic(HelpFilePath(), context)) {
        QMessageBox::warning(parent, "Pressgate",
                             QString("Cannot open the help file %1.").arg(HelpFilePath()));
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace pg
