#include "ui/WindowSettings.h"

#include <QString>

#include "config/ConfigLocation.h"
#include "engine/LPDSpooler.h"

namespace pg {

std::unique_ptr<QSettings> OpenWindowSettings(const LPDSpooler& spooler) {
    const QString path = QString::fromStdString(JoinPath(spooler.Location().home, "window.ini"));
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

}  // namespace pg
