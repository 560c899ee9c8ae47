#pragma once

#include <string>

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

    static DeliveryOutcome Done() { return {}; }
    static DeliveryOutcome Stopped() { return {Kind::Stopped, 0, {}}; }
    static DeliveryOutcome Retry(int error, std::string text) {
        return {Kind::RetryLater, error, std::move(text)};
    }
    static DeliveryOutcome Hold(int error, std::string text) {
        return {Kind::HoldQueue, error, std::move(text)};
    }
    static DeliveryOutcome GiveUp(int error, std::string text) {
        return {Kind::GiveUp, error, std::move(text)};
    }
};

}  // namespace pg
