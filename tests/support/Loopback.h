#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/UniqueFd.h"

namespace pg::test {

// A port on 127.0.0.1 that was free a moment ago.
uint16_t FreePort();

// A plain TCP client on 127.0.0.1 for exact-bytes protocol tests.
class LoopbackClient {
  public:
    // Connects (retrying while the port refuses, up to the timeout). Throws on failure.
    explicit LoopbackClient(uint16_t port,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // From a given loopback source: "127.0.0.2" connects to 127.0.0.1, "::1" to ::1; a
    // sourcePort of 0 takes any.
    LoopbackClient(uint16_t port, const std::string& from, uint16_t sourcePort = 0);

    void Send(const std::string& bytes);
    // Up to n bytes, waiting at most timeout for the first; "" on close or time-out.
    std::string Receive(size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Exactly n bytes unless the peer closes or the time-out passes first.
    std::string ReceiveExactly(size_t n,
                               std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Everything until the peer closes (or the time-out passes: then closed is false).
    std::string ReceiveUntilClose(std::chrono::milliseconds timeout, bool* closed = nullptr);
    // True when the peer closed within the time-out without sending anything more.
    bool WaitForClose(std::chrono::milliseconds timeout);
    void ShutdownWrite();

  private:
    // Up to n bytes until the deadline (or the first piece when once). closed: the peer closed.
    std::string Read(size_t n, std::chrono::steady_clock::time_point deadline, bool* closed,
                     bool once);

    UniqueFd fd_;
};

// Polls predicate every few milliseconds until it holds or the time-out passes.
bool WaitUntil(const std::function<bool()>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace pg::test
