#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/UniqueFd.h"

namespace pg::test {

// A remote LPD host for forwarding tests, played by the test's thread while the sender runs on
// another: it listens on a free port of 127.0.0.1 (or ::1), accepts a connection, and reads,
// records and answers its steps of the receive-job exchange as the test says. Steps: the
// receive-job command line, then for each file its subcommand line and its contents (the
// announced size and the terminating zero).
class FakeLpdHost {
  public:
    using Clock = std::chrono::steady_clock;

    enum class Reply {
        Ack,          // the byte 0
        Nack,         // the byte 1, then only records what comes until the client closes
        Silence,      // no reply: records what comes until the client gives up and closes
        AckAndReset,  // the byte 0, then a reset of the connection
        Hold,         // no reply yet: Serve() returns and the test answers later
    };

    struct Connection {
        UniqueFd fd;
        uint16_t sourcePort = 0;
        Clock::time_point acceptedAt;
        std::string bytes;               // everything received, in order
        std::vector<std::string> steps;  // the bytes of each complete step
        Clock::time_point closedAt;      // the client shut down its sending side
        size_t contentsSize = 0;         // announced by the last subcommand line
        std::string pending;             // received, not yet part of a step
    };

    explicit FakeLpdHost(bool ipv6 = false);

    uint16_t Port() const { return port_; }

    // The next connection, waited for up to timeout. False on time-out.
    bool Accept(Connection& connection,
                std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Answers the next steps with replies, then acknowledges every further step until the
    // client closes. Returns early after a Hold.
    void Serve(Connection& connection, const std::vector<Reply>& replies = {});
    static void Send(Connection& connection, char byte);

  private:
    // Reads the next step. False when the client closed (or sent no subcommand) first.
    bool ReadStep(Connection& connection);
    // Reads until pending holds n bytes (or a line feed when n is 0). False on close.
    bool Fill(Connection& connection, size_t n);

    UniqueFd listening_;
    uint16_t port_ = 0;
};

}  // namespace pg::test
