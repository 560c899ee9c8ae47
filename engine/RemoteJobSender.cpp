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

#include "config/GeneralSettings.h"
#include "engine/HostAddress.h"
#include "engine/JobEntry.h"
#include "engine/LPDSpooler.h"
#include "log/LogFile.h"

namespace pg {

namespace {

constexpr int kConnectAttempts = 10;
constexpr int kLingerSeconds = 1;
constexpr int kEndingWaitMs = 1000;
constexpr size_t kChunkSize = 1024;
// File reads, and the sends of batched chunks, are this large.
constexpr size_t kBlockSize = 256 * 1024;
// How long one wait on the socket lasts before the thread looks whether it must end.
constexpr std::chrono::milliseconds kWaitSlice(100);

// Set when a bind() of a reserved port was refused for lack of privilege; from then on this
// process connects from unprivileged ports. Said once in the system log.
std::atomic<bool> reservedPortsRefused{false};

GeneralSettings SettingsOf(const PrintQueue& queue) {
    LPDSpooler* spooler = queue.Spooler();
    return spooler ? spooler->Settings() : GeneralSettings();
}

// bind() refuses a reserved port with EACCES only to a process that may not bind any (not
// root and no CAP_NET_BIND_SERVICE); a port in use gives EADDRINUSE.
bool NoPrivilegeForReservedPorts(int bindError) {
    return bindError == EACCES;
}

bool IsControlFile(const std::string& name) {
    return !name.empty() && (name[0] == 'c' || name[0] == 'C');
}

}  // namespace

RemoteJobSender::RemoteJobSender(PrintQueue& queue, JobEntry& job)
    : queue_(queue),
      job_(job),
      target_(queue.Target()),
      replyTimeoutSeconds_(std::max(0, SettingsOf(queue).remoteCmdTimeout)),
      chunkDelayMs_(std::max(0, SettingsOf(queue).forwardChunkDelayMs)) {}

RemoteJobSender::~RemoteJobSender() {
    CloseSocket();
}

bool RemoteJobSender::Run() {
    const bool connected = Connect();
    if (connected) {
        SendFiles();
    }
    if (stopped_) {
        CloseSocket();
        return false;
    }
    Finish();  // also after ten failed attempts: the ending is the same in every case
    return connected && !failed_ && !stopped_;
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
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        systemLog.Log(3, "Error : LPDPrinter::SendJob - failed in socket()  last error %d\n",
                      errno);
        return false;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(target_.remotePort);
    int error = 0;
    if (!ResolveIPv4(target_.remoteHost, peer.sin_addr, error)) {
        systemLog.Log(3,
                      "Error : LPDPrinter::SendJob - failed in gethostbyname(%s)  last error %d\n",
                      target_.remoteHost.c_str(), error);
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
    if (!BindReservedPort()) {
        CloseSocket();
        return false;
    }
    if (!ConnectTo(peer, error)) {
        if (!stopped_) {
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
            queue_.SetStatusText("Error in sending print job request to remote printer - " +
                                 target_.destination);
            systemLog.Log(1, "Error - SendJob() : print queue %s : send() fails with error(%d)\n",
                          target_.destination.c_str(), error);
        }
        FailAttempt(true);
        return false;
    }
    int received = 0;
    if (!ReceiveReply(received)) {
        if (!stopped_) {
            Dump("Receive NACK from Remote Host ", buffer_.data(), static_cast<size_t>(received));
        }
        FailAttempt(true);
        return false;
    }
    remotePrintLog.Log(1, "Receive ACK from Remote Host \n");
    return true;
}

// Binds the next reserved port, 731 for the first attempt that gets this far. A process that
// may not bind reserved ports at all connects from an unprivileged port instead.
bool RemoteJobSender::BindReservedPort() {
    --localPort_;
    if (reservedPortsRefused.load()) {
        return true;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(localPort_));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket_.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
        return true;
    }
    const int error = errno;
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
bool RemoteJobSender::ConnectTo(const sockaddr_in& peer, int& error) {
    if (::connect(socket_.Get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) {
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

// Every file of the job, control files first, then the data files by name: the order of the
// directory listing means nothing, and LPR clients send the control file first.
void RemoteJobSender::SendFiles() {
    std::vector<SpoolFile> files = job_.SpoolFiles();
    if (files.empty()) {
        const std::string searchPath = job_.spoolDirectory + "/" + job_.FilePattern();
        queue_.SetStatusText("Error in finding print data file -  " + searchPath);
        systemLog.Log(1,
                      "Error - LPDPrinter::PrintFile() - printer(%s) fails in finding print data "
                      "file %s - last error(%ld)\n",
                      target_.destination.c_str(), searchPath.c_str(), static_cast<long>(ENOENT));
        job_.SetState(JobState::Error);
        failed_ = true;
        return;
    }
    std::stable_sort(files.begin(), files.end(), [](const SpoolFile& a, const SpoolFile& b) {
        const bool aControl = IsControlFile(a.name);
        const bool bControl = IsControlFile(b.name);
        return aControl != bControl ? aControl : a.name < b.name;
    });
    // The job is printing already (the printing thread set it); it is not set again, so that a
    // removal request made while connecting still counts.
    for (const SpoolFile& file : files) {
        if (!queue_.DeliveryCheckpoint()) {
            stopped_ = true;
            return;
        }
        if (failed_ || job_.State() != JobState::Printing) {
            return;  // a removal request marks the job stop: no further file
        }
        SendFile(file.name);
        if (stopped_) {
            return;
        }
    }
}

void RemoteJobSender::SendFile(const std::string& name) {
    const std::string path = job_.spoolDirectory + "/" + name;
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        systemLog.Log(1,
                      "Error - SendJob() - printer Queue (%s) fails in opening file %s - last "
                      "error(%ld)\n",
                      queue_.name.c_str(), name.c_str(), static_cast<long>(errno));
        return;  // skipped; the job goes on
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        const int error = errno;
        queue_.SetStatusText("Error in sending print job file to remote printer - " + name);
        systemLog.Log(1,
                      "Error - SendJob() : print queue %s : GetFileSize() fails with error(%ld)\n",
                      target_.destination.c_str(), static_cast<long>(error));
        failed_ = true;
        return;
    }
    // The size travels as a 32-bit number, as the receiving side reads it.
    const auto size = static_cast<uint32_t>(status.st_size);
    int length = std::snprintf(buffer_.data(), buffer_.size(), "%c%u %s\n",
                               IsControlFile(name) ? '\002' : '\003', size, name.c_str());
    length = std::min(length, static_cast<int>(buffer_.size()) - 1);
    Dump("Send filename to Remote Host ", buffer_.data(), static_cast<size_t>(length));
    int error = 0;
    if (!SendBytes(buffer_.data(), static_cast<size_t>(length), error)) {
        SendFailed(name, error);
        return;
    }
    int received = 0;
    if (!ReceiveReply(received)) {
        if (!stopped_) {
            Dump("Receive NACK from Remote Host", buffer_.data(), static_cast<size_t>(received));
            failed_ = true;
        }
        return;
    }
    remotePrintLog.Log(1, "Receive ACK from Remote Host \n");

    SendContents(file.Get(), name);
    file.Reset();
    if (failed_ || stopped_) {
        return;
    }
    if (!ReceiveReply(received)) {
        if (!stopped_) {
            remotePrintLog.Log(1, "Receive NACK from Remote Host");
            failed_ = true;
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
        if (!queue_.DeliveryCheckpoint()) {
            stopped_ = true;
            return;
        }
        size_t length = 0;
        if (!ReadChunk(fd, length)) {
            systemLog.Log(1,
                          "Error - SendJob() - printer Queue (%s) fails in reading file %s - last "
                          "error(%ld)\n",
                          queue_.name.c_str(), name.c_str(), static_cast<long>(errno));
            failed_ = true;  // nothing more is sent
            return;
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
        batch_.clear();
        if (!batched && !queue_.DeliverySleep(chunkDelayMs_)) {
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
    queue_.SetStatusText("Error in sending print job file to remote printer - " + name);
    systemLog.Log(1, "Error - SendJob() : print queue %s : send() fails with error(%d)\n",
                  target_.destination.c_str(), error);
    queue_.SetState(QueueState::Error);
    failed_ = true;
}

// The job ends when the client closes: shut down the sending direction, give the host a
// second, close.
void RemoteJobSender::Finish() {
    if (socket_) {
        ::shutdown(socket_.Get(), SHUT_WR);
    }
    if (!queue_.DeliverySleep(kEndingWaitMs)) {
        stopped_ = true;
    }
    CloseSocket();
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
    if (!stopped_ && queue_.StopRequested()) {
        stopped_ = true;
    }
    return stopped_;
}

// The queue knows the socket while it is open, so Stop can shut it down.
void RemoteJobSender::Adopt(UniqueFd socket) {
    CloseSocket();
    socket_ = std::move(socket);
    queue_.SetDeliverySocket(socket_.Get());
}

void RemoteJobSender::CloseSocket() {
    if (!socket_) {
        return;
    }
    queue_.SetDeliverySocket(-1);
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
    if (remotePrintLog.Level() >= 1 && remotePrintLog.Enabled()) {
        remotePrintLog.HexDump(label, data, static_cast<int32_t>(length));
    }
}

}  // namespace pg
