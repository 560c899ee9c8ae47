#include "engine/RemoteJobSender.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "engine/DeliveryControl.h"
#include "engine/HostAddress.h"
#include "engine/JobEntry.h"
#include "log/ErrorText.h"
#include "log/EscapeControls.h"
#include "log/LogFile.h"
#include "platform/ReservedPort.h"

namespace pg {

namespace {

constexpr int kConnectAttempts = 10;
constexpr int kLingerSeconds = 1;
constexpr size_t kChunkSize = 1024;
// File reads, and the sends of batched chunks, are this large.
constexpr size_t kBlockSize = 256 * 1024;
// How long one wait on the socket lasts before the thread looks whether it must end.
constexpr std::chrono::milliseconds kWaitSlice(100);

// Set when a bind() of a reserved port was refused for lack of privilege; from then on this
// process connects from unprivileged ports. Said once in the system log.
std::atomic<bool> reservedPortsRefused{false};

// bind() refuses a reserved port with EACCES only to a process that may not bind any (not
// root and no CAP_NET_BIND_SERVICE); a port in use gives EADDRINUSE.
bool NoPrivilegeForReservedPorts(int bindError) {
    return bindError == EACCES;
}

}  // namespace

RemoteJobSender::RemoteJobSender(const DeliveryRequest& request, DeliveryControl& control)
    : request_(request),
      control_(control),
      target_(request.target),
      replyTimeoutSeconds_(std::max(0, request.remoteCmdTimeout)),
      chunkDelayMs_(std::max(0, request.forwardChunkDelayMs)) {}

RemoteJobSender::~RemoteJobSender() {
    CloseSocket();
}

DeliveryOutcome RemoteJobSender::Run() {
    if (const DeliveryFile* missing = request_.MissingFile(true)) {
        systemLog.Log(1,
                      "Error - SendJob() - printer Queue (%s) fails in open() for file %s - last "
                      "error(%s)\n",
                      request_.queueName.c_str(), missing->path.c_str(), ErrorText(ENOENT).c_str());
        return DeliveryOutcome::GiveUp(
            ENOENT, "Error in finding print data file -  " + EscapeControls(missing->clientName));
    }
    const bool connected = Connect();
    if (connected) {
        SendFiles();
    }
    if (connected && !failed_ && !stopped_) {
        // Delivered: the host hears the end at once, the printing thread closes the connection.
        ::shutdown(socket_.Get(), SHUT_WR);
        control_.SetSocket(-1);
        DeliveryOutcome done = DeliveryOutcome::Done();
        done.connection = std::move(socket_);
        return done;
    }
    if (!stopped_) {
        Finish();  // also after ten failed attempts: the ending is the same in every case
    }
    if (stopped_) {
        CloseSocket();
        return DeliveryOutcome::Stopped();
    }
    if (!connected && !failed_) {
        Failed(lastAttemptError_,
               "Error in sending print job request to remote printer - " + target_.destination);
    }
    return std::move(failure_);
}

// The first failure is the one reported.
void RemoteJobSender::Failed(int error, std::string text) {
    if (!failed_) {
        failed_ = true;
        failure_ = DeliveryOutcome::Retry(error, std::move(text));
    }
}

// --- connection --------------------------------------------------------------------------------

// Up to ten attempts, one right after the other. The host's acknowledgement of the receive-job
// command makes the connection.
bool RemoteJobSender::Connect() {
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        if (Interrupted()) {
            return false;
        }
        if (Attempt()) {
            return true;
        }
        if (stopped_) {
            return false;
        }
    }
    return false;
}

bool RemoteJobSender::Attempt() {
    SocketAddress peer;
    int error = 0;
    if (!ResolveHost(target_.remoteHost, target_.remotePort, peer, error)) {
        systemLog.Log(3,
                      "Error : LPDPrinter::SendJob - failed in gethostbyname(%s)  last error %d\n",
                      target_.remoteHost.c_str(), error);
        lastAttemptError_ = EHOSTUNREACH;
        return false;
    }
    UniqueFd fd(::socket(peer.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        systemLog.Log(3, "Error : LPDPrinter::SendJob - failed in socket()  last error %d\n",
                      errno);
        return false;
    }
    const linger lingerOn{1, kLingerSeconds};
    // Without SO_REUSEADDR a reserved port stays unusable for a minute after each job (our side
    // closes first and keeps the port in TIME_WAIT), so ten jobs would use up all ten ports.
    // With it, only a connection to the same host and port from the same local port conflicts,
    // which fails that attempt in connect() and moves on to the next port.
    const int one = 1;
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &lingerOn, sizeof lingerOn) != 0 ||
        ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
        systemLog.Log(3, "Error : LPDPrinter::SendJob - failed in setsockopt()  last error %d\n",
                      errno);
        return false;
    }
    Adopt(std::move(fd));
    if (!BindLocalPort(peer.Family())) {
        CloseSocket();
        return false;
    }
    if (!ConnectTo(peer, error)) {
        if (!stopped_) {
            lastAttemptError_ = error;
            systemLog.Log(3, "Error : LPDPrinter::SendJob - failed in connect()  last error %d\n",
                          error);
        }
        CloseSocket();
        return false;
    }
    // A file's last bytes already go out together with their terminating zero; with Nagle
    // off no step waits on the host's delayed acknowledgement either.
    ::setsockopt(socket_.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    int length =
        std::snprintf(buffer_.data(), buffer_.size(), "\002%s\n", target_.destination.c_str());
    length = std::min(length, static_cast<int>(buffer_.size()) - 1);
    Dump("Send Request to Remote Host ", buffer_.data(), static_cast<size_t>(length));
    if (!SendBytes(buffer_.data(), static_cast<size_t>(length), error)) {
        if (!stopped_) {
            lastAttemptError_ = error;
            systemLog.Log(1, "Error - SendJob() : print queue %s : send() fails with error(%d)\n",
                          target_.destination.c_str(), error);
        }
        FailAttempt(true);
        return false;
    }
    int received = 0;
    if (!ReceiveReply(received)) {
        if (!stopped_) {
            lastAttemptError_ = EPROTO;
            Dump("Receive NACK from Remote Host ", buffer_.data(), static_cast<size_t>(received));
        }
        FailAttempt(true);
        return false;
    }
    remotePrintLog.Log(1, "Receive ACK from Remote Host \n");
    return true;
}

// Binds the next reserved port, 731 for the first attempt that gets this far, on any local
// address of the family (after the privilege drop the reserved-port helper does it). A process
// that may not bind reserved ports at all connects from an unprivileged port instead.
bool RemoteJobSender::BindLocalPort(int family) {
    --localPort_;
    if (reservedPortsRefused.load()) {
        return true;
    }
    sockaddr_storage local{};
    socklen_t length = 0;
    const auto port = htons(static_cast<uint16_t>(localPort_));
    if (family == AF_INET6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(local);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = port;
        in6.sin6_addr = in6addr_any;
        length = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(local);
        in.sin_family = AF_INET;
        in.sin_port = port;
        in.sin_addr.s_addr = htonl(INADDR_ANY);
        length = sizeof in;
    }
    const int error =
        BindReservedPort(socket_.Get(), reinterpret_cast<const sockaddr*>(&local), length);
    if (error == 0) {
        return true;
    }
    if (NoPrivilegeForReservedPorts(error)) {
        if (!reservedPortsRefused.exchange(true)) {
            systemLog.Log(1,
                          "SendJob() : no privilege to bind a reserved port - connecting from an "
                          "unprivileged port\n");
        }
        return true;
    }
    systemLog.Log(3, "SendJob() : bind() failed - wsock error (%d)\n", error);
    return false;
}

// Waits until the socket takes more bytes; false when the queue is stopped meanwhile or the
// remote host's time-out passes first (error ETIMEDOUT).
bool RemoteJobSender::WaitWritable(int& error) {
    switch (WaitFor(POLLOUT, ReplyDeadline())) {
        case Wait::Ready:
            return true;
        case Wait::TimedOut:
            error = ETIMEDOUT;
            return false;
        case Wait::Stopped:
            break;
    }
    return false;
}

// connect() bounded by RemoteCmdTimeout (0: the system's own bound).
bool RemoteJobSender::ConnectTo(const SocketAddress& peer, int& error) {
    if (::connect(socket_.Get(), peer.Get(), peer.length) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        error = errno;
        return false;
    }
    if (!WaitWritable(error)) {
        return false;
    }
    int soError = 0;
    socklen_t size = sizeof soError;
    if (::getsockopt(socket_.Get(), SOL_SOCKET, SO_ERROR, &soError, &size) != 0) {
        soError = errno;
    }
    if (soError != 0) {
        error = soError;
        Interrupted();
        return false;
    }
    return true;
}

// A failed attempt tells a connected host with a single zero byte, then closes.
void RemoteJobSender::FailAttempt(bool connected) {
    if (connected && !stopped_) {
        const char zero = 0;
        (void)::send(socket_.Get(), &zero, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    CloseSocket();
}

// --- files -------------------------------------------------------------------------------------

// The control file first, as LPR clients send it, then the data files in the order the control
// file names them.
void RemoteJobSender::SendFiles() {
    uint64_t total = request_.control.size;
    for (const DeliveryFile& file : request_.data) {
        total += file.size;
    }
    request_.job->progress.Start(total);
    for (size_t i = 0; i <= request_.data.size(); ++i) {
        if (!control_.Checkpoint()) {
            stopped_ = true;
            return;
        }
        if (failed_ || control_.JobRemoved()) {
            return;  // a removal request marks the job: no further file
        }
        SendFile(i == 0 ? request_.control : request_.data[i - 1], i == 0);
        if (stopped_) {
            return;
        }
    }
}

// A job file that is gone can never be sent: the job is given up rather than retried for ever.
void RemoteJobSender::SendFile(const DeliveryFile& file, bool control) {
    const std::string shown = EscapeControls(file.clientName);
    UniqueFd input(::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!input) {
        const int error = errno;
        systemLog.Log(1,
                      "Error - SendJob() - printer Queue (%s) fails in open() for file %s - last "
                      "error(%s)\n",
                      request_.queueName.c_str(), file.path.c_str(), ErrorText(error).c_str());
        Failed(error, "Error in finding print data file -  " + shown);
        if (error == ENOENT) {
            failure_.kind = DeliveryOutcome::Kind::GiveUp;
        }
        return;
    }
    struct stat status {};
    if (::fstat(input.Get(), &status) != 0) {
        const int error = errno;
        systemLog.Log(1, "Error - SendJob() : print queue %s : fstat() fails with error(%s)\n",
                      target_.destination.c_str(), ErrorText(error).c_str());
        Failed(error, "Error in sending print job file to remote printer - " + shown);
        return;
    }
    // The size travels as a 32-bit number, as the receiving side reads it; the name as the
    // client gave it (a word of at most 255 bytes without white space).
    const auto size = static_cast<uint32_t>(status.st_size);
    int length = std::snprintf(buffer_.data(), buffer_.size(), "%c%u %s\n",
                               control ? '\002' : '\003', size, file.clientName.c_str());
    length = std::min(length, static_cast<int>(buffer_.size()) - 1);
    Dump("Send filename to Remote Host ", buffer_.data(), static_cast<size_t>(length));
    int error = 0;
    if (!SendBytes(buffer_.data(), static_cast<size_t>(length), error)) {
        SendFailed(shown, error);
        return;
    }
    int received = 0;
    if (!ReceiveReply(received)) {
        if (!stopped_) {
            Dump("Receive NACK from Remote Host", buffer_.data(), static_cast<size_t>(received));
            Failed(EPROTO, "The remote host refused print job file - " + shown);
        }
        return;
    }
    remotePrintLog.Log(1, "Receive ACK from Remote Host \n");

    SendContents(input.Get(), shown);
    input.Reset();
    if (failed_ || stopped_) {
        return;
    }
    if (!ReceiveReply(received)) {
        if (!stopped_) {
            remotePrintLog.Log(1, "Receive NACK from Remote Host");
            Failed(EPROTO, "The remote host refused print job file - " + shown);
        }
        return;
    }
    remotePrintLog.Log(1, "Receive ACK from Remote Host \n");
}

// Chunks of up to 1024 bytes: a full chunk is sent whole and reading goes on; a shorter one
// (also an empty one) is the end of the file and gets the terminating zero byte appended.
//
// The file is read in blocks and, at full speed (no pause after chunks), the chunks are handed
// to the socket in batches: the bytes on the wire are the same, with far fewer system calls.
void RemoteJobSender::SendContents(int fd, const std::string& name) {
    static_assert(std::tuple_size_v<decltype(buffer_)> == kChunkSize);
    block_.resize(kBlockSize);
    blockStart_ = blockEnd_ = 0;
    fileEnded_ = false;
    batch_.clear();
    const bool batched = chunkDelayMs_ == 0;
    for (;;) {
        if (!control_.Checkpoint()) {
            stopped_ = true;
            return;
        }
        size_t length = 0;
        if (!ReadChunk(fd, length)) {
            const int error = errno;
            systemLog.Log(1,
                          "Error - SendJob() - printer Queue (%s) fails in read() for file %s - "
                          "last error(%s)\n",
                          request_.queueName.c_str(), name.c_str(), ErrorText(error).c_str());
            Failed(error, "Error in sending print job file to remote printer - " + name);
            return;  // nothing more is sent
        }
        const bool last = length < kChunkSize;
        if (last) {
            buffer_[length++] = 0;
        }
        Dump("Send file data  to Remote Host ", buffer_.data(), length);
        const char* data = buffer_.data();
        if (batched) {
            batch_.insert(batch_.end(), buffer_.data(), buffer_.data() + length);
            if (!last && batch_.size() < kBlockSize) {
                continue;
            }
            data = batch_.data();
            length = batch_.size();
        }
        int error = 0;
        if (!SendBytes(data, length, error)) {
            SendFailed(name, error);
            return;
        }
        request_.job->progress.Add(length);
        batch_.clear();
        if (!batched && !control_.Sleep(std::chrono::milliseconds(chunkDelayMs_))) {
            stopped_ = true;
            return;
        }
        if (last) {
            return;
        }
    }
}

// The next chunk of the file into the buffer: 1024 bytes unless the file ends sooner.
bool RemoteJobSender::ReadChunk(int fd, size_t& length) {
    while (blockEnd_ - blockStart_ < kChunkSize && !fileEnded_) {
        if (blockStart_ > 0) {
            std::copy(block_.begin() + static_cast<ptrdiff_t>(blockStart_),
                      block_.begin() + static_cast<ptrdiff_t>(blockEnd_), block_.begin());
            blockEnd_ -= blockStart_;
            blockStart_ = 0;
        }
        const ssize_t got = ::read(fd, block_.data() + blockEnd_, block_.size() - blockEnd_);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        fileEnded_ = got == 0;
        blockEnd_ += static_cast<size_t>(got);
    }
    length = std::min(kChunkSize, blockEnd_ - blockStart_);
    std::copy_n(block_.begin() + static_cast<ptrdiff_t>(blockStart_), length, buffer_.begin());
    blockStart_ += length;
    return true;
}

void RemoteJobSender::SendFailed(const std::string& name, int error) {
    if (stopped_) {
        return;
    }
    systemLog.Log(1, "Error - SendJob() : print queue %s : send() fails with error(%s)\n",
                  target_.destination.c_str(), ErrorText(error).c_str());
    Failed(error, "Error in sending print job file to remote printer - " + name);
}

// The job ends when the client closes: shut down the sending direction, give the host a
// second, close.
void RemoteJobSender::Finish() {
    if (socket_) {
        ::shutdown(socket_.Get(), SHUT_WR);
        if (!AwaitClose(socket_.Get(), control_)) {
            stopped_ = true;
        }
    } else if (!control_.Sleep(kEndingWait)) {
        stopped_ = true;
    }
    CloseSocket();
}

// A host that closes at once (as LPRng's lpd does once it has the job) is not kept waiting;
// the classic second is the bound for one that does not.
bool RemoteJobSender::AwaitClose(int fd, DeliveryControl& control) {
    const Clock::time_point deadline = Clock::now() + kEndingWait;
    char discard[256];
    while (!control.StopRequested()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return true;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min(left, kWaitSlice).count()));
        if (ready > 0) {
            const ssize_t got = ::recv(fd, discard, sizeof discard, MSG_DONTWAIT);
            if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
                return true;  // closed (or failed): nothing more to wait for
            }
        } else if (ready < 0 && errno != EINTR) {
            return true;
        }
    }
    return false;
}

// --- socket ------------------------------------------------------------------------------------

// Sends everything; a host that takes no byte for RemoteCmdTimeout seconds fails the send
// (ETIMEDOUT) as a missing reply would.
bool RemoteJobSender::SendBytes(const char* data, size_t length, int& error) {
    size_t sent = 0;
    while (sent < length) {
        const ssize_t put = ::send(socket_.Get(), data + sent, length - sent, MSG_NOSIGNAL);
        if (put >= 0) {
            sent += static_cast<size_t>(put);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            Interrupted();
            return false;
        }
        if (!WaitWritable(error)) {
            return false;
        }
    }
    return true;
}

// One reply, up to 1024 bytes, into the buffer. True for an acknowledgement (first byte 0);
// a closed connection, a failed receive or no reply within RemoteCmdTimeout is none.
bool RemoteJobSender::ReceiveReply(int& received) {
    received = 0;
    const Clock::time_point deadline = ReplyDeadline();
    for (;;) {
        if (WaitFor(POLLIN, deadline) != Wait::Ready) {
            return false;
        }
        const ssize_t got = ::recv(socket_.Get(), buffer_.data(), buffer_.size(), 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (got <= 0) {
            Interrupted();
            return false;
        }
        received = static_cast<int>(got);
        return buffer_[0] == 0;
    }
}

// Waits until the socket is ready for events, in slices, looking between slices whether the
// printing thread must end. Clock::time_point::max() waits without a bound.
RemoteJobSender::Wait RemoteJobSender::WaitFor(short events, Clock::time_point deadline) {
    for (;;) {
        if (Interrupted()) {
            return Wait::Stopped;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return Wait::TimedOut;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        const auto slice = std::min(left + std::chrono::milliseconds(1), kWaitSlice);
        pollfd pfd{socket_.Get(), events, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(slice.count()));
        if (ready > 0) {
            return Interrupted() ? Wait::Stopped : Wait::Ready;
        }
        if (ready < 0 && errno != EINTR) {
            return Wait::Ready;  // the next socket call reports the error
        }
    }
}

RemoteJobSender::Clock::time_point RemoteJobSender::ReplyDeadline() const {
    if (replyTimeoutSeconds_ <= 0) {
        return Clock::time_point::max();
    }
    return Clock::now() + std::chrono::seconds(replyTimeoutSeconds_);
}

bool RemoteJobSender::Interrupted() {
    if (!stopped_ && control_.StopRequested()) {
        stopped_ = true;
    }
    return stopped_;
}

// The queue knows the socket while it is open, so Stop can shut it down.
void RemoteJobSender::Adopt(UniqueFd socket) {
    CloseSocket();
    socket_ = std::move(socket);
    control_.SetSocket(socket_.Get());
}

void RemoteJobSender::CloseSocket() {
    if (!socket_) {
        return;
    }
    control_.SetSocket(-1);
    if (stopped_) {
        // Ending at once: no lingering over unsent bytes; the job is sent again from the start.
        const linger abort{1, 0};
        ::setsockopt(socket_.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    socket_.Reset();
}

// Traffic with remote hosts is dumped on the remote trace at level 1. A trace that is switched
// off would discard the dump, so it is not even formatted (the contents of large jobs would
// cost more to format than to send).
void RemoteJobSender::Dump(const char* label, const char* data, size_t length) {
    if (remotePrintLog.Writes(1)) {
        remotePrintLog.HexDump(label, data, static_cast<int32_t>(length));
    }
}

}  // namespace pg
