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
class ClientConnection {
  public:
    ClientConnection(int fd, int timeoutSeconds);

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
    PeerAddress Peer() const { return PeerAddress::Of(fd_); }
    // The socket's number as the log lines print it ("Socket(%u)").
    uint32_t SocketNumber() const { return static_cast<uint32_t>(fd_); }
    int LastError() const { return lastError_; }
    // The last Receive() returned 0 because the time-out passed.
    bool TimedOut() const { return timedOut_; }

  private:
    int fd_;
    int timeoutSeconds_;
    int lastError_ = 0;
    bool timedOut_ = false;
    std::string pending_;  // bytes put back by Unread()
    std::stop_token stopToken_;
};

}  // namespace pg
