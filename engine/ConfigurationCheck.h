#pragma once

#include <string>
#include <vector>

#include "config/ConfigChecker.h"

namespace pg {

class PrintSystem;

// The check of pgate.ini that --check-config prints and the daemon runs at start: the text
// rules (ConfigChecker), then what only the world outside the file shows: a print system that
// cannot be used, a local queue's printer that the print system does not have, a remote
// queue's host that does not resolve.
class ConfigurationCheck {
  public:
    explicit ConfigurationCheck(const std::string& iniText);

    // printSystem: the one the settings name, null when none could be made (createError says
    // why). An unusable print system is fatal when a local queue needs it.
    void CheckSurroundings(PrintSystem* printSystem, const std::string& createError);

    const ConfigChecker& Text() const { return text_; }
    // The text's problems, then those of the surroundings.
    const std::vector<ConfigProblem>& Problems() const { return problems_; }
    bool HasErrors() const;
    // The first problem the daemon cannot run with, "" when there is none.
    std::string Fatal() const;

  private:
    ConfigChecker text_;
    std::vector<ConfigProblem> problems_;
};

}  // namespace pg
