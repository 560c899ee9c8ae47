#pragma once

#include <netinet/in.h>

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "engine/DeliveryOutcome.h"
#include "engine/DeliveryRequest.h"
#include "engine/HostAddress.h"
#include "platform/UniqueFd.h"

namespace pg {

class DeliveryControl;

// Forwards one job of a remote queue to its LPD host, acting as an LPR client: up to ten
// connection attempts from the reserved ports 731 down to 722, the receive-job command, then the
// job's control file and its data files in the order the control file names them, each as a
// subcommand (under the name its client gave it) and its contents in 1024-byte chunks, each step
// acknowledged by the host. Done when the whole job was accepted (or it was removed while being
// sent and nothing failed); a failure is worth a retry, a job file that is gone gives the job up.
//
// The host may be an IPv4 or IPv6 address or a name. A process that may not bind reserved ports
// at all (not root, no CAP_NET_BIND_SERVICE, no reserved-port helper) says so once in the
// system log and connects from unprivileged ports instead.
//
// Runs on the queue's printing thread only. Every wait on the socket is made in short slices
// so that Stop and the queue's destruction, which also shut the socket down, end it at once;
// it then closes the socket and reports that it was stopped.
class RemoteJobSender {
  public:
    RemoteJobSender(const DeliveryRequest& request, DeliveryControl& control);
    ~RemoteJobSender();
    RemoteJobSender(const RemoteJobSender&) = delete;
    RemoteJobSender& operator=(const RemoteJobSender&) = delete;

    DeliveryOutcome Run();

    // How long a connection stays open after its sending side was shut down, at most.
    static constexpr std::chrono::milliseconds kEndingWait{1000};
    // The end of a connection whose sending side is shut down: waits for the host to close its
    // side (what it still sends is dropped), for kEndingWait at most; false when the delivery
    // must end at once (a stop came first).
    static bool AwaitClose(int fd, DeliveryControl& control);

  private:
    using Clock = std::chrono::steady_clock;
    enum class Wait { Ready, TimedOut, Stopped };

    bool Connect();
    bool Attempt();
    bool BindLocalPort(int family);
    bool ConnectTo(const SocketAddress& peer, int& error);
    void FailAttempt(bool connected);
    void SendFiles();
    void SendFile(const DeliveryFile& file, bool control);
    void SendContents(int fd, const std::string& name);
    bool ReadChunk(int fd, size_t& length);
    void SendFailed(const std::string& name, int error);
    void Failed(int error, std::string text);
    void Finish();

    bool SendBytes(const char* data, size_t length, int& error);
    bool ReceiveReply(int& received);
    Wait WaitFor(short events, Clock::time_point deadline);
    bool WaitWritable(int& error);
    Clock::time_point ReplyDeadline() const;
    bool Interrupted();
    void Adopt(UniqueFd socket);
    void CloseSocket();
    static void Dump(const char* label, const char* data, size_t length);

    const DeliveryRequest& request_;
    DeliveryControl& control_;
    const QueueTarget& target_;
    const int replyTimeoutSeconds_;    // 0: replies are awaited without a bound
    const int chunkDelayMs_;           // pause after each chunk of file contents
    UniqueFd socket_;                  // registered with the control while open
    std::array<char, 1024> buffer_{};  // every command, reply and chunk
    std::vector<char> block_;          // the file being sent, read ahead
    size_t blockStart_ = 0;            // the unsent part of block_
    size_t blockEnd_ = 0;
    bool fileEnded_ = false;
    std::vector<char> batch_;  // chunks gathered for one send at full speed
    bool failed_ = false;
    DeliveryOutcome failure_;   // the first failure, when failed_
    bool stopped_ = false;      // the printing thread is asked to end
    int localPort_ = 732;       // the next attempt binds one below
    int lastAttemptError_ = 0;  // why the last connection attempt failed
};

}  // namespace pg
