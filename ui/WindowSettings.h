#pragma once

#include <QSettings>
#include <memory>

namespace pg {

class LPDSpooler;

// What the windows remember between runs (sizes, the splitter, column widths, the view style,
// the notification switch): window.ini in the Pressgate home, beside pgate.ini. It is the
// window's own file, which the daemon never reads, so no queue section can meet its keys.
std::unique_ptr<QSettings> OpenWindowSettings(const LPDSpooler& spooler);

}  // namespace pg
