#include "ui/HelpViewer.h"

namespace pg {

// Placeholder until the help viewer lands.
void ShowHelp(QWidget*, int) {}

}  // namespace pg
