#include "engine/ConfigurationCheck.h"

#include <netdb.h>

#include <cerrno>

#include "engine/HostAddress.h"
#include "platform/PrintSystem.h"

namespace pg {

namespace {

ConfigProblem Problem(int line, std::string text, bool fatal = false) {
    ConfigProblem problem;
    problem.line = line;
    problem.text = std::move(text);
    problem.fatal = fatal;
    return problem;
}

}  // namespace

ConfigurationCheck::ConfigurationCheck(const std::string& iniText)
    : text_(iniText), problems_(text_.Problems()) {}

void ConfigurationCheck::CheckSurroundings(PrintSystem* printSystem,
                                           const std::string& createError) {
    bool localQueues = false;
    for (const CheckedQueue& queue : text_.Queues()) {
        localQueues = localQueues || queue.remoteHost.empty();
    }
    std::string reason = createError;
    const bool usable = printSystem != nullptr && printSystem->Usable(reason);
    if (!usable && localQueues) {
        problems_.push_back(Problem(0, "the print system cannot be used: " + reason, true));
    }
    for (const CheckedQueue& queue : text_.Queues()) {
        if (queue.remoteHost.empty()) {
            int error = 0;
            if (usable && !queue.destination.empty() &&
                !printSystem->Open(queue.destination, error)) {
                problems_.push_back(Problem(queue.line, "queue " + queue.name +
                                                            ": the print system has no printer \"" +
                                                            queue.destination + "\""));
            }
            continue;
        }
        in_addr address{};
        int error = 0;
        if (!ResolveIPv4(queue.remoteHost, address, error)) {
            problems_.push_back(Problem(
                queue.line, "queue " + queue.name + ": remote host \"" + queue.remoteHost +
                                "\" does not resolve (" +
                                (error == EINVAL ? "no valid address" : ::gai_strerror(error)) +
                                ")"));
        }
    }
}

bool ConfigurationCheck::HasErrors() const {
    for (const ConfigProblem& problem : problems_) {
        if (problem.severity == ConfigProblem::Severity::kError) {
            return true;
        }
    }
    return false;
}

std::string ConfigurationCheck::Fatal() const {
    for (const ConfigProblem& problem : problems_) {
        if (problem.fatal) {
            return problem.Describe();
        }
    }
    return std::string();
}

}  // namespace pg
