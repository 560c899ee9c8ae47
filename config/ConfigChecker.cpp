#include "config/ConfigChecker.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <set>

#include "config/AccessRules.h"
#include "config/LoggingSettings.h"
#include "config/ProfileText.h"
#include "config/SettingKey.h"

namespace pg {

namespace {

constexpr const char* kGeneral = "GENERAL CONFIGURE";
constexpr const char* kQueues = "Print Queues";
constexpr const char* kLogging = "Logging";

// What a key's value must read as.
struct ValueRule {
    enum Kind { kAny, kNumber, kYesNo, kPrintSystem } kind = kAny;
    int64_t low = 0;
    int64_t high = 0;
    bool fatal = false;  // a bad value stops the daemon (it would listen on the wrong port)
};

constexpr ValueRule kYesNoRule{ValueRule::kYesNo};

std::optional<ValueRule> GeneralRule(std::string_view key) {
    for (const SettingKey& entry : GeneralSettingKeys()) {
        if (!EqualsNoCase(entry.key, key)) {
            continue;
        }
        switch (entry.form) {
            case SettingKey::Form::kInteger:
                return ValueRule{ValueRule::kNumber, 0, 86400};
            case SettingKey::Form::kDelay:
                return ValueRule{ValueRule::kNumber, 0, 600000};
            case SettingKey::Form::kPort:
                return ValueRule{ValueRule::kNumber, 0, 65535, true};
            case SettingKey::Form::kYesNo:
                return kYesNoRule;
            case SettingKey::Form::kText:
                return EqualsNoCase(key, "PrintSystem")
                           ? ValueRule{ValueRule::kPrintSystem, 0, 0, true}
                           : ValueRule{};
            case SettingKey::Form::kPath:
                return ValueRule{};
        }
    }
    return std::nullopt;
}

// The forms come from the logging table; the ranges are what the log facility can use.
std::optional<ValueRule> LoggingRule(std::string_view key) {
    for (const LoggingKeyInfo& entry : LoggingKeys()) {
        if (!EqualsNoCase(entry.key, key)) {
            continue;
        }
        switch (entry.form) {
            case LoggingKeyForm::kYesNo:
                return kYesNoRule;
            case LoggingKeyForm::kText:
                return ValueRule{};
            case LoggingKeyForm::kNumber:
                if (EqualsNoCase(key, "LogLevel")) {
                    return ValueRule{ValueRule::kNumber, 0, 3};
                }
                if (EqualsNoCase(key, "LogFileCache")) {
                    return ValueRule{ValueRule::kNumber, 0, 32767};
                }
                return ValueRule{ValueRule::kNumber, 0, 1000000};
        }
    }
    return std::nullopt;
}

// The whole text as a decimal number with an optional sign; nothing when it is not one.
std::optional<int64_t> WholeNumber(std::string_view text) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        i = 1;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value < INT64_MAX / 100 ? value * 10 + (text[i] - '0') : value;
    }
    return negative ? -value : value;
}

bool IsYesOrNo(std::string_view text) {
    for (const char* word : {"yes", "y", "no", "n"}) {
        if (EqualsNoCase(text, word)) {
            return true;
        }
    }
    return false;
}

std::string_view StripQuotes(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Splits "a,b,c,rest" into at most four fields; the fourth keeps its commas.
std::vector<std::string_view> QueueFields(std::string_view value) {
    std::vector<std::string_view> fields;
    while (fields.size() < 3) {
        const size_t comma = value.find(',');
        if (comma == std::string_view::npos) {
            break;
        }
        fields.push_back(value.substr(0, comma));
        value.remove_prefix(comma + 1);
    }
    fields.push_back(value);
    return fields;
}

// The text's lines, without their line ends (LF or CR LF), as the profile reader splits them.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        const size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        if (lf != std::string_view::npos && line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
    }
    return lines;
}

// The queue names of [Print Queues], so that their own sections count as known.
std::set<std::string> QueueNames(const std::vector<std::string_view>& lines) {
    std::set<std::string> names;
    bool inQueues = false;
    for (const std::string_view raw : lines) {
        const std::string_view line = TrimWhiteSpace(raw);
        if (line.starts_with('[') && line.find(']') != std::string_view::npos) {
            inQueues = EqualsNoCase(TrimWhiteSpace(line.substr(1, line.rfind(']') - 1)), kQueues);
        } else if (inQueues && !line.starts_with(';') && line.find('=') != std::string_view::npos) {
            std::string name(TrimWhiteSpace(line.substr(0, line.find('='))));
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            names.insert(name);
        }
    }
    return names;
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

}  // namespace

std::string ConfigProblem::Describe() const {
    std::string out = line > 0 ? "line " + std::to_string(line) + ": " : std::string();
    out += severity == Severity::kError ? "error: " : "warning: ";
    return out + text;
}

ConfigChecker::ConfigChecker(std::string_view text) {
    const std::vector<std::string_view> lines = Lines(text);
    const std::set<std::string> queueNames = QueueNames(lines);
    std::string section;  // the current section; "" before the first one
    bool sectionKnown = true;
    std::set<std::string> seen;  // "section\nkey" already given
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const std::string_view line = TrimWhiteSpace(lines[i]);
        if (line.empty() || line.starts_with(';')) {
            continue;
        }
        if (line.starts_with('[')) {
            CheckSectionLine(number, line, section);
            if (line.find(']') != std::string_view::npos &&
                !seen.insert("[" + Lower(section)).second) {
                Add(ConfigProblem::Severity::kWarning, number,
                    "section [" + section + "] is given twice: only the first one is read");
                sectionKnown = false;
            } else if (line.find(']') != std::string_view::npos) {
                sectionKnown = EqualsNoCase(section, kGeneral) || EqualsNoCase(section, kQueues) ||
                               EqualsNoCase(section, kLogging) ||
                               EqualsNoCase(section, AccessRules::kSection) ||
                               queueNames.count(Lower(section)) > 0;
                if (!sectionKnown) {
                    Add(ConfigProblem::Severity::kWarning, number,
                        "unknown section [" + section + "]: nothing reads it");
                }
            }
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            Add(ConfigProblem::Severity::kWarning, number,
                "\"" + std::string(line) + "\" is no key=value line: nothing reads it");
            continue;
        }
        const std::string_view key = TrimWhiteSpace(line.substr(0, equals));
        const std::string_view value = StripQuotes(TrimWhiteSpace(line.substr(equals + 1)));
        if (section.empty()) {
            Add(ConfigProblem::Severity::kWarning, number,
                "\"" + std::string(line) + "\" stands before any section: nothing reads it");
            continue;
        }
        if (!sectionKnown) {
            continue;
        }
        // Only the first of two equal keys is read (every queue line makes a queue).
        if (!EqualsNoCase(section, kQueues) &&
            !seen.insert(Lower(section) + "\n" + Lower(key)).second) {
            Add(ConfigProblem::Severity::kWarning, number,
                std::string(key) + " is given twice in [" + section +
                    "]: this line is not read, the first one is");
            continue;
        }
        if (EqualsNoCase(section, kQueues)) {
            CheckQueueLine(number, key, value);
        } else if (EqualsNoCase(section, AccessRules::kSection)) {
            // The rules' own reader says what it cannot use; it leaves such a line out.
            if (std::string problem; !AccessRules::CheckEntry(key, value, &problem)) {
                Add(ConfigProblem::Severity::kError, number,
                    "[" + section + "] " + problem + ": the line is left out");
            }
        } else {
            CheckKey(number, section, key, value);
        }
    }
}

void ConfigChecker::CheckSectionLine(int line, std::string_view text, std::string& section) {
    const size_t close = text.rfind(']');
    if (close == std::string_view::npos) {
        // The readers take such a line for an ordinary one: the keys below it stay in the
        // section before it.
        Add(ConfigProblem::Severity::kError, line,
            "broken section header \"" + std::string(text) + "\": the ']' is missing");
        return;
    }
    section = std::string(TrimWhiteSpace(text.substr(1, close - 1)));
}

void ConfigChecker::CheckKey(int line, const std::string& section, std::string_view key,
                             std::string_view value) {
    std::optional<ValueRule> rule;
    if (EqualsNoCase(section, kGeneral)) {
        rule = GeneralRule(key);
    } else if (EqualsNoCase(section, kLogging)) {
        rule = LoggingRule(key);
    } else if (EqualsNoCase(key, "FormFeedAtEndOfJob")) {
        rule = kYesNoRule;
    } else if (EqualsNoCase(key, "MaxJobMB")) {
        rule = GeneralRule(key);
    }
    const std::string entry = std::string(key) + "=" + std::string(value);
    if (!rule) {
        Add(ConfigProblem::Severity::kWarning, line,
            "unknown key " + std::string(key) + " in [" + section + "]: nothing reads it");
        return;
    }
    std::string fault;
    switch (rule->kind) {
        case ValueRule::kAny:
            return;
        case ValueRule::kYesNo:
            if (!IsYesOrNo(value)) {
                fault = entry + " is neither yes nor no";
            }
            break;
        case ValueRule::kNumber: {
            const std::optional<int64_t> number = WholeNumber(value);
            if (!number) {
                fault = entry + " is not a number";
            } else if (*number < rule->low || *number > rule->high) {
                fault = entry + " is out of range (" + std::to_string(rule->low) + " to " +
                        std::to_string(rule->high) + ")";
            }
            break;
        }
        case ValueRule::kPrintSystem:
            if (value != "cups" && !(value.starts_with("devices:") && value.size() > 8)) {
                fault = entry + " names no print system (cups or devices:DIR)";
            }
            break;
    }
    if (fault.empty()) {
        return;
    }
    // The settings and logging readers read a rejected value as absent; the other readers
    // take it as their own rules make it.
    Add(ConfigProblem::Severity::kError, line, fault, section, key,
        EqualsNoCase(section, kGeneral) || EqualsNoCase(section, kLogging));
    problems_.back().fatal = rule->fatal;
}

void ConfigChecker::CheckQueueLine(int line, std::string_view name, std::string_view value) {
    const std::string entry = std::string(name) + "=" + std::string(value);
    if (name.empty()) {
        Add(ConfigProblem::Severity::kError, line, "queue line \"" + entry + "\" has no name");
        return;
    }
    const std::vector<std::string_view> fields = QueueFields(value);
    CheckedQueue queue;
    queue.line = line;
    queue.name = std::string(name);
    queue.destination = std::string(TrimWhiteSpace(fields[0]));
    if (fields.size() < 4) {
        Add(ConfigProblem::Severity::kError, line,
            "queue line \"" + entry + "\" has " + std::to_string(fields.size()) +
                " of its 4 fields (destination,remote host,remote port,comment)");
    }
    if (queue.destination.empty()) {
        Add(ConfigProblem::Severity::kError, line,
            "queue " + queue.name + " names no destination printer or queue");
    }
    const std::string_view host = fields.size() > 1 ? TrimWhiteSpace(fields[1]) : "";
    if (host.find_first_of(".:") != std::string_view::npos) {
        queue.remoteHost = std::string(host);
        const std::string_view port = fields.size() > 2 ? TrimWhiteSpace(fields[2]) : "";
        const std::optional<int64_t> number = WholeNumber(port);
        if (!number || *number < 1 || *number > 65535) {
            Add(ConfigProblem::Severity::kError, line,
                "queue " + queue.name + ": remote port \"" + std::string(port) +
                    "\" is no port (1 to 65535)");
        }
    } else if (!host.empty()) {
        Add(ConfigProblem::Severity::kWarning, line,
            "queue " + queue.name + ": remote host \"" + std::string(host) +
                "\" has no dot, so the queue is read as a local one (write the full name or "
                "the address)");
    }
    queues_.push_back(std::move(queue));
}

void ConfigChecker::Add(ConfigProblem::Severity severity, int line, std::string text,
                        const std::string& section, std::string_view key, bool valueRejected) {
    ConfigProblem problem;
    problem.severity = severity;
    problem.line = line;
    problem.section = section;
    problem.key = std::string(key);
    problem.text = std::move(text);
    problem.valueRejected = valueRejected;
    problems_.push_back(std::move(problem));
}

bool ConfigChecker::Rejected(std::string_view section, std::string_view key) const {
    for (const ConfigProblem& problem : problems_) {
        if (problem.valueRejected && EqualsNoCase(problem.section, section) &&
            EqualsNoCase(problem.key, key)) {
            return true;
        }
    }
    return false;
}

}  // namespace pg
