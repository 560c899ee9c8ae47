#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pg {

// One thing wrong in pgate.ini, with the line it is on.
struct ConfigProblem {
    enum class Severity { kWarning, kError };

    Severity severity = Severity::kError;
    int line = 0;         // 1-based; 0 when it concerns no single line
    std::string section;  // where the key is ("" when no key is concerned)
    std::string key;
    std::string text;            // "LPDServerPort=70000 is out of range (0 to 65535)"
    bool valueRejected = false;  // a [GENERAL CONFIGURE] or [Logging] value: its default applies
    bool fatal = false;          // the daemon cannot run with it

    // "line 12: error: ..." (no line part for line 0).
    std::string Describe() const;
};

// A [Print Queues] line as the checker saw it, for the checks that need the world outside
// the file (does the printer exist, does the host resolve).
struct CheckedQueue {
    int line = 0;
    std::string name;
    std::string destination;
    std::string remoteHost;  // empty for a local queue
};

// Checks the text of pgate.ini by the rules its readers use: every section and key must be
// one a reader asks for, every value must read as what its key takes (numbers in range, yes or
// no), every queue line must have its fields. Problems come in line order.
class ConfigChecker {
  public:
    explicit ConfigChecker(std::string_view text);

    const std::vector<ConfigProblem>& Problems() const { return problems_; }
    const std::vector<CheckedQueue>& Queues() const { return queues_; }
    // True when the value of a [GENERAL CONFIGURE] or [Logging] key was rejected: its readers
    // take it as absent.
    bool Rejected(std::string_view section, std::string_view key) const;

  private:
    void CheckSectionLine(int line, std::string_view text, std::string& section);
    void CheckKey(int line, const std::string& section, std::string_view key,
                  std::string_view value);
    void CheckQueueLine(int line, std::string_view name, std::string_view value);
    void Add(ConfigProblem::Severity severity, int line, std::string text,
             const std::string& section = "", std::string_view key = "",
             bool valueRejected = false);

    std::vector<ConfigProblem> problems_;
    std::vector<CheckedQueue> queues_;
};

}  // namespace pg
