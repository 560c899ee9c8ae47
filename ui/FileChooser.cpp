#include "ui/FileChooser.h"

#include <QDir>
#include <QFileDialog>

namespace pg {

namespace {

QString WithinLimit(const QString& path) {
    return path.size() > FileChooser::kMaxPathLength ? QString() : path;
}

}  // namespace

QString FileChooser::SaveFile(QWidget* parent, const QString& title, const QString& start) {
    return WithinLimit(QFileDialog::getSaveFileName(parent, title, start, QString(), nullptr,
                                                    QFileDialog::DontConfirmOverwrite));
}

QString FileChooser::Directory(QWidget* parent, const QString& title) {
    return WithinLimit(QFileDialog::getExistingDirectory(parent, title, QDir::currentPath()));
}

}  // namespace pg
