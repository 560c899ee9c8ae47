#pragma once

#include <QString>

class QWidget;

namespace pg {

// The help contexts of the windows and dialogs.
enum HelpContext : int {
    kHelpContents = 1,
    kHelpLocalProperties = 100,
    kHelpRemoteProperties = 200,
    kHelpQueueViewer = 310,
    kHelpGeneralSettings = 400,
    kHelpLogging = 500,
    kHelpWizardPage1 = 600,
    kHelpWizardPage2 = 700,
};

// Opens the help file (pgate.hlp, shipped beside the program) at a topic. The help window
// belongs to parent's window, so it can be used while a modal dialog that asked for it is open.
void ShowHelp(QWidget* parent, int context);

// pgate.hlp in the program's own directory.
QString HelpFilePath();

}  // namespace pg
