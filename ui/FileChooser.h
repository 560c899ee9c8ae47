#pragma once

#include <QString>

class QWidget;

namespace pg {

// The settings dialogs' file and directory choosers. Both give an empty text when the operator
// cancels, and also for a path longer than the 999 characters a path field takes.
class FileChooser {
  public:
    static constexpr int kMaxPathLength = 999;

    // A file to write to (it need not exist; an existing one is taken without asking about
    // overwriting, since nothing is written to it here), starting at start.
    static QString SaveFile(QWidget* parent, const QString& title, const QString& start);
    // A directory, starting at the process's current directory; the chooser can make a new one.
    static QString Directory(QWidget* parent, const QString& title);
};

}  // namespace pg
