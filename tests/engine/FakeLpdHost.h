#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/Mutex.h"
#include "platform/UniqueFd.h"

namespace pg::test {

// A remote LPD host for forwarding tests: listens on a free port of 127.0.0.1, serves one
// connection at a time on its own thread, records every byte and each connection's source port,
// and answers each step of the receive-job exchange as the test scripted it.
//
// Steps of a connection: 0 the receive-job command line, then for each file 2k-1 its
// subcommand line ("\002size name\n" or "\003size name\n") and 2k its contents (size bytes and
// the terminating zero). Once a step is not acknowledged, the host only records what still
// comes until the client closes.
class FakeLpdHost {
  public:
    enum class Reply {
        Ack,          // the byte 0
        Nack,         // the byte 1
        Silence,      // no reply at all; the host waits for the client to give up
        Close,        // closes the connection instead of replying
        AckAndReset,  // the byte 0, then a reset of the connection
        Hold,         // waits until Release(), then the byte 0
    };

    struct Connection {
        uint16_t sourcePort = 0;
        std::chrono::steady_clock::time_point acceptedAt;
        std::string bytes;               // everything received, in order
        std::vector<std::string> steps;  // the bytes of each complete step
        std::vector<std::chrono::steady_clock::time_point> stepTimes;  // each step complete
        bool closed = false;                                           // the connection has ended
        std::chrono::steady_clock::time_point closedAt;
    };

    FakeLpdHost();
    ~FakeLpdHost();
    FakeLpdHost(const FakeLpdHost&) = delete;
    FakeLpdHost& operator=(const FakeLpdHost&) = delete;

    uint16_t Port() const { return port_; }

    // The replies of steps 0, 1, 2, ... of every connection; otherwise for the later steps.
    void SetReplies(std::vector<Reply> steps, Reply otherwise = Reply::Ack);
    // Lets every held reply go, now and later.
    void Release();

    std::vector<Connection> Connections() const;
    size_t ConnectionCount() const;
    bool WaitForConnections(size_t count,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Until the connection-th connection (from 0) has ended.
    bool WaitForClosed(size_t connection,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Until a reply is being held.
    bool WaitForHold(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  private:
    void Serve();
    void ServeConnection(int fd);
    Reply ReplyFor(size_t step) const;
    // Reads into pending_ until it holds n bytes (or a line feed when n is 0); false on close.
    bool Fill(int fd, size_t n, std::string& pending);
    void Record(const std::string& bytes);
    void StepDone(std::string step);
    void Drain(int fd);

    UniqueFd listening_;
    uint16_t port_ = 0;
    std::thread thread_;

    mutable Mutex mutex_;
    mutable std::condition_variable_any changed_;
    bool ending_ GUARDED_BY(mutex_) = false;
    int current_ GUARDED_BY(mutex_) = -1;  // the connection being served, for the shutdown
    std::vector<Reply> replies_ GUARDED_BY(mutex_);
    Reply otherwise_ GUARDED_BY(mutex_) = Reply::Ack;
    bool released_ GUARDED_BY(mutex_) = false;
    bool holding_ GUARDED_BY(mutex_) = false;
    std::vector<Connection> connections_ GUARDED_BY(mutex_);
};

}  // namespace pg::test
