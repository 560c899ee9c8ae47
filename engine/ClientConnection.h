#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

#include "engine/PeerAddress.h"

namespace pg {

// One accepted LPR connection as the handler and reception use it: reads of at most n bytes
// that wait no longer than the client time-out (LocalCmdTimeout; 0 = no bound), and whole
// sends that never raise SIGPIPE. The descriptor is owned elsewhere; shutting it down from
// another thread ends a waiting read at once (it then reads as a close).
//
// A client that sends, on average, fewer than minBytesPerSecond bytes per second of the time
// spent waiting for it (measured over stretches of the time-out, 10 s without one) is cut off:
// from then on every read fails with ETIMEDOUT. 0 switches the check off.
class ClientConnection {
  public:
    ClientConnection(int fd, int timeoutSeconds, int minBytesPerSecond = 0);

    // > 0: bytes read; 0: the client closed, or stayed silent for the whole time-out (TimedOut()
    // tells which); -1: error (LastError() has errno).
    ssize_t Receive(void* buffer, size_t n);
    // Puts bytes back in front of the stream: the next reads return them first (the handler
    // gives reception what a client sent after its command line in the same packet).
    void Unread(std::string_view bytes);
    // The stop request of the thread serving the connection: pauses end early when it comes.
    void SetStopToken(std::stop_token stopToken) { stopToken_ = std::move(stopToken); }
    // Waits for the given time; false when the serving thread is asked to end first.
    bool Pause(std::chrono::milliseconds duration) const;
    // Sends all n bytes; false on error.
    bool Send(const void* data, size_t n);

    int Fd() const { return fd_; }
    // The address and port the client connected from.
    // The socket's number as the log lines print it ("Socket(%u)").
    uint32_t SocketNumber() const { return static_cast<uint32_t>(fd_); }
    int LastError() const { return lastError_; }
    // The last Receive() returned 0 because the time-out passed.
    bool TimedOut() const { return timedOut_; }
    // The client was cut off for sending too slowly.
    bool TooSlow() const { return tooSlow_; }
    // Where the connection comes from (the class's name qualified: the accessor shares it).
    const pg::PeerAddress& PeerAddress() const { return peer_; }

  private:
    // Adds a read's bytes and waiting time to the rate stretch; false when the stretch is over
    // and the client was too slow in it.
    bool FastEnough(size_t bytes, std::chrono::steady_clock::duration waited);

    int fd_;
    int timeoutSeconds_;
    int minBytesPerSecond_;
    pg::PeerAddress peer_;
    int lastError_ = 0;
    bool timedOut_ = false;
    bool tooSlow_ = false;
    std::string pending_;  // bytes put back by Unread()
    std::stop_token stopToken_;
    std::chrono::steady_clock::duration stretchWaited_{};  // waiting for the client, this stretch
    int64_t stretchBytes_ = 0;                             // bytes it sent in that time
};

}  // namespace pg
