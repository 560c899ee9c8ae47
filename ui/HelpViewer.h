#pragma once

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

// Opens the help file (pgate.hlp, shipped beside the program) at a topic.
void ShowHelp(QWidget* parent, int context);

}  // namespace pg
