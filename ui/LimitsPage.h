#pragma once

#include <QWidget>
#include <vector>

#include "config/ConfigLocation.h"
#include "config/GeneralSettings.h"

class QLineEdit;

namespace pg {

// The "Limits" tab of General Settings: how much the daemon takes on (connections, job size,
// free space, slowest client, log size) and where and as whom it serves, each field with the
// value the daemon uses when the key is absent beside it.
class LimitsPage : public QWidget {
    Q_OBJECT

  public:
    explicit LimitsPage(const ConfigLocation& location, QWidget* parent = nullptr);

    void Load(const GeneralSettings& settings, int logMaxMB);
    // Checks the fields as the configuration check checks pgate.ini and stores them; false with
    // the first problem in problem (nothing stored) when a value would be rejected.
    bool Store(GeneralSettings& settings, int& logMaxMB, QString* problem) const;

  private:
    struct Field {
        const char* key;  // in [GENERAL CONFIGURE], or LogMaxMB in [Logging]
        QLineEdit* edit;
    };

    std::vector<Field> fields_;
};

}  // namespace pg
