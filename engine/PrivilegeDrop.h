#pragma once

#include <string>

#include "config/ConfigLocation.h"

namespace pg {

// pressgated started as root gives root up: the account of RunAsUser (by default lp, else
// daemon) is looked up and the reserved-port helper forked at once, before any thread exists;
// once the listener has bound its port, and before it accepts anything, the spool area is
// handed to the account (directories 0700, files 0600) and every thread becomes the account.
// RunAsUser=root keeps root. When the account is missing, or cannot reach the spool area, the
// listener ends without accepting and the reason is logged. Not started as root: nothing.
void ArmPrivilegeDrop(const ConfigLocation& location);

// Why the armed drop failed ("" when it has not failed); the listener reports the failure as
// EPERM from WaitUntilListening().
std::string PrivilegeDropFailure();

}  // namespace pg
