#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace pg {

// What a delivery back-end reports about one job. The back-end changes no state of its own
// accord: the printing thread alone turns the outcome into the job's and the queue's state,
// status texts, log lines and retries.
struct DeliveryOutcome {
    enum class Kind {
        Done,        // delivered (or removed while delivered, and ended tidily): the job goes
        RetryLater,  // failed this time; worth another try after a pause
        HoldQueue,   // nothing of this queue can be delivered until the operator acts
        GiveUp,      // this job can never be delivered (its files are gone): it goes
        Stopped,     // the queue was stopped or shut down in the middle: the job waits again
    };

    Kind kind = Kind::Done;
    int error = 0;     // errno (or the print system's code) of the failure
    std::string text;  // what failed, as the queue's status text shows it
    // A forwarded job's connection, its sending side shut down, for the printing thread to end
    // (a second later) only once the job is recorded as delivered: a stop or a crash in that
    // second must not send the job again.
    UniqueFd connection;

    static DeliveryOutcome Done() { return {}; }
    static DeliveryOutcome Stopped() { return Make(Kind::Stopped, 0, {}); }
    static DeliveryOutcome Retry(int error, std::string text) {
        return Make(Kind::RetryLater, error, std::move(text));
    }
    static DeliveryOutcome Hold(int error, std::string text) {
        return Make(Kind::HoldQueue, error, std::move(text));
    }
    static DeliveryOutcome GiveUp(int error, std::string text) {
        return Make(Kind::GiveUp, error, std::move(text));
    }

  private:
    static DeliveryOutcome Make(Kind kind, int error, std::string text) {
        DeliveryOutcome outcome;
        outcome.kind = kind;
        outcome.error = error;
        outcome.text = std::move(text);
        return outcome;
    }
};

}  // namespace pg
