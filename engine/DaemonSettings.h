#pragma once

#include <memory>

#include "config/AccessRules.h"
#include "config/GeneralSettings.h"

namespace pg {

class PrintSystem;

// The daemon's settings as one value that never changes once made: [GENERAL CONFIGURE], the
// [Access] rules and the print system that PrintSystem names. A change (a reload of pgate.ini,
// the settings dialog) makes a new one; a connection, a reception and a delivery each keep the
// one that was in force when they started.
struct DaemonSettings {
    GeneralSettings general;
    std::shared_ptr<const AccessRules> access;  // null: every host may do everything
    std::shared_ptr<PrintSystem> printSystem;   // null: PrintSystem names none that can be used
};

}  // namespace pg
