#include "engine/ConnectionHandler.h"

#include <arpa/inet.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/CopyToken.h"
#include "engine/HostAddress.h"
#include "engine/JobListReport.h"
#include "engine/PrintQueue.h"
#include "engine/RemovalRequest.h"
#include "log/ErrorText.h"
#include "log/EscapeControls.h"
#include "log/LogFile.h"
#include "platform/Mutex.h"
#include "platform/OperatorMessage.h"
#include "platform/PrintSystem.h"
#include "platform/ThreadId.h"
#include "platform/UniqueFd.h"

namespace pg {

namespace {

constexpr size_t kQueueNameBuffer = 256;
constexpr size_t kOperandBuffer = 256;
constexpr size_t kAgentBuffer = 64;

}  // namespace

// The only message boxes of a connection (the remote destination test) belong to no window.
ConnectionHandler::ConnectionHandler(std::shared_ptr<const DaemonSettings> settings,
                                     QueueLookup findQueue, int fd)
    : settings_(std::move(settings)),
      findQueue_(std::move(findQueue)),
      access_(settings_->access),
      connection_(fd, settings_->general.localCmdTimeout, settings_->general.minBytesPerSecond) {}

void ConnectionHandler::Run(std::stop_token stopToken, std::atomic<bool>* engaged) {
    threadId_ = CurrentThreadId();
    stopToken_ = stopToken;
    connection_.SetStopToken(stopToken);
    systemLog.Log(3, "ThreadID(%u) Enter RunRecvRequest Thread +++++++\n", threadId_);

    RunRecvRequest(engaged);
    AwaitClientClose(std::chrono::milliseconds(settings_->general.closeDelayMs));
    systemLog.Log(3, "ThreadID(%u) RunRecvRequest() :  Exit this thread +++++++\n", threadId_);
}

// The reply is complete: our side is shut at once, so a client reading until the end (lpq)
// sees it now. The connection then ends as soon as the client closes too, or when the delay
// has passed for a client that never does; what it still sends is read and dropped.
void ConnectionHandler::AwaitClientClose(std::chrono::milliseconds delay) {
    ::shutdown(connection_.Fd(), SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + delay;
    char drain[512];
    while (!stopToken_.stop_requested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        pollfd pfd{connection_.Fd(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (ready <= 0) {
            continue;
        }
        const ssize_t got = ::recv(connection_.Fd(), drain, sizeof drain, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            return;  // the client closed or reset the connection
        }
    }
}

std::string ConnectionHandler::ReadCommandLine() {
    std::string line;
    std::vector<char> buffer(kRequestBufferSize);
    // The whole line, not only each read, must come within the client time-out: a client
    // sending a byte now and then holds no thread for long.
    const int timeout = settings_->general.localCmdTimeout;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
    while (line.size() < kRequestBufferSize) {
        ssize_t got = connection_.Receive(buffer.data(), kRequestBufferSize - line.size());
        if (got <= 0) {
            break;
        }
        if (timeout > 0 && std::chrono::steady_clock::now() > deadline &&
            std::memchr(buffer.data(), '\n', static_cast<size_t>(got)) == nullptr) {
            return std::string();
        }
        line.append(buffer.data(), static_cast<size_t>(got));
        if (line.find('\n') != std::string::npos) {
            break;
        }
    }
    size_t end = line.find('\n');
    if (end != std::string::npos && end + 1 < line.size()) {
        connection_.Unread(std::string_view(line).substr(end + 1));
        line.resize(end + 1);
    }
    return line;
}

void ConnectionHandler::RunRecvRequest(std::atomic<bool>* engaged) {
    const std::string request = ReadCommandLine();
    if (request.empty()) {
        return;  // the client closed (or said nothing) before sending a command
    }
    if (engaged != nullptr) {
        engaged->store(true);
    }
    if (localPrintLog.Writes(1)) {
        localPrintLog.HexDump("Receive Request from LPR client ", request.data(),
                              static_cast<int32_t>(request.size()));
    }

    const char command = request[0];
    if (command < 1 || command > 5) {
        return;
    }
    const bool statusServed = settings_->general.enablePrintStatusControl;
    if (command != 2 && !statusServed) {
        return;
    }

    // The words after the code byte, up to the line feed that ends the line.
    std::string_view words = std::string_view(request).substr(1);
    if (size_t end = words.find('\n'); end != std::string_view::npos) {
        words = words.substr(0, end);
    }
    TokenReader reader(words);
    const std::string queueName = reader.Next(kQueueNameBuffer);

    switch (command) {
        case 1:
            ServeActivate(queueName);
            break;
        case 2:
            ServeReceiveJob(queueName);
            break;
        case 3:
        case 4:
            ServeJobList(command, queueName, reader.Next(kOperandBuffer));
            break;
        case 5: {
            std::string agent = reader.Next(kAgentBuffer);
            ServeRemove(queueName, agent, reader.Rest());
            break;
        }
    }
}

bool ConnectionHandler::Permitted(AccessOperation operation, const std::string& queueName) {
    const PeerAddress& peer = connection_.PeerAddress();
    if (!access_ || access_->Allows(operation, peer.Storage(), queueName)) {
        return true;
    }
    systemLog.Log(1,
                  "ThreadID(%u) RunRecvRequest() :  %s on print queue %s refused to %s by the "
                  "access rules\n",
                  threadId_, AccessOperationName(operation), EscapeControls(queueName).c_str(),
                  peer.Text().c_str());
    return false;
}

void ConnectionHandler::ServeActivate(const std::string& queueName) {
    if (systemLog.Writes(3)) {
        systemLog.Log(3, "ThreadID(%u) RunRecvRequest() :  Activate print queue %s\n", threadId_,
                      EscapeControls(queueName).c_str());
    }
    if (!Permitted(AccessOperation::kPrintWaiting, queueName)) {
        PrintQueue::SendNack(connection_);
        return;
    }
    if (auto queue = findQueue_(queueName.c_str())) {
        queue->Activate();
    }
    PrintQueue::SendAck(connection_);
}

void ConnectionHandler::ServeReceiveJob(const std::string& queueName) {
    if (systemLog.Writes(3)) {
        systemLog.Log(3,
                      "ThreadID(%u) RunRecvRequest() :  receiving print job for print queue %s\n",
                      threadId_, EscapeControls(queueName).c_str());
    }
    if (!Permitted(AccessOperation::kSubmit, queueName)) {
        PrintQueue::SendNack(connection_);
        return;
    }
    auto queue = findQueue_(queueName.c_str());
    if (!queue) {
        return;
    }
    bool passed = true;
    if (settings_->general.testPrintManager) {
        passed = TestDestination(*queue, queueName);
        if (!passed) {
            queue->SetStatusText("Destination printer not ready");
        }
    }
    if (passed && queue->State() == QueueState::Running) {
        queue->RecvJob(connection_);
        return;
    }
    PrintQueue::SendNack(connection_);
}

bool ConnectionHandler::TestDestination(PrintQueue& queue, const std::string& requestedName) {
    if (queue.IsRemote()) {
        return TestRemoteDestination(queue);
    }
    int error = 0;
    PrintSystem* printSystem = settings_->printSystem.get();
    std::unique_ptr<PrinterHandle> printer =
        printSystem ? printSystem->Open(queue.Destination(), error) : nullptr;
    if (printer) {
        return true;
    }
    systemLog.Log(1,
                  "ThreadID(%u) RunRecvRequest() :  error return in testing print manager for "
                  "print queue %s\n",
                  threadId_, EscapeControls(requestedName).c_str());
    return false;
}

bool ConnectionHandler::TestRemoteDestination(PrintQueue& queue) {
    const QueueTarget target = queue.Target();
    SocketAddress address;
    int error = 0;
    if (!ResolveHost(target.remoteHost, target.remotePort, address, error)) {
        const std::string errorText = ResolverErrorText(error);
        OperatorMessage::Show(nullptr, "getaddrinfo() failed.",
                              errorText + " is the error. Make sure '" + target.remoteHost +
                                  "' is listed in the hosts file.");
        systemLog.Log(1, "Error : Test remote queue - failed in getaddrinfo(%s)  last error %s\n",
                      target.remoteHost.c_str(), errorText.c_str());
        return false;
    }
    UniqueFd socket(::socket(address.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket) {
        systemLog.Log(1, "Error : test remote queue - failed in socket()  last error %s\n",
                      ErrorText(errno).c_str());
        OperatorMessage::Show(nullptr, "Error", "socket() failed");
        return false;
    }
    if (!ConnectSocket(socket.Get(), address, settings_->general.remoteCmdTimeout, error)) {
        systemLog.Log(1, "Error : Test remote print queue. - failed in connect()  last error %s\n",
                      ErrorText(error).c_str());
        return false;
    }
    return true;  // closed again without sending anything
}

void ConnectionHandler::ServeJobList(char command, const std::string& queueName,
                                     const std::string& operand) {
    const bool isShort = command == 3;
    if (systemLog.Writes(3)) {
        systemLog.Log(3,
                      isShort ? "ThreadID(%u) RunRecvRequest() :  Short Job list request for print "
                                "queue %s\n"
                              : "ThreadID(%u) RunRecvRequest() :  Long Job list request for print "
                                "queue %s\n",
                      threadId_, EscapeControls(queueName).c_str());
    }
    if (!Permitted(AccessOperation::kStatus, queueName)) {
        const std::string refusal =
            "Host " + connection_.PeerAddress().Text() + " is not allowed to see this queue\n";
        connection_.Send(refusal.data(), refusal.size());
        return;
    }
    auto queue = findQueue_(queueName.c_str());
    if (!queue) {
        const std::string line = JobListReport::UnknownQueue(queueName);
        connection_.Send(line.data(), line.size());
        return;
    }
    std::vector<char> list(kRequestBufferSize);
    const uint32_t size = static_cast<uint32_t>(list.size());
    uint32_t length;
    if (operand.empty()) {
        length = isShort ? queue->ShortJobList(list.data(), size)
                         : queue->LongJobList(list.data(), size);
    } else if (StartsWithDigit(operand)) {
        int32_t jobNo = LeadingNumber(operand);
        length = isShort ? queue->ShortJobList(jobNo, list.data(), size)
                         : queue->LongJobList(jobNo, list.data(), size);
    } else {
        length = isShort ? queue->ShortJobList(operand.c_str(), list.data(), size)
                         : queue->LongJobList(operand.c_str(), list.data(), size);
    }
    if (localPrintLog.Writes(1)) {
        localPrintLog.HexDump(isShort ? "Send job list (short format) to LPR client "
                                      : "Send job list (long format) to LPR client ",
                              list.data(), static_cast<int32_t>(length));
    }
    connection_.Send(list.data(), length);
    systemLog.Log(3, "ThreadID(%u) RunRecvRequest() :  Send Job list back to lpr client\n",
                  threadId_);
    if (isShort && systemLog.Writes(3)) {
        systemLog.HexDump("Job list", list.data(), static_cast<int32_t>(length));
    }
}

void ConnectionHandler::ServeRemove(const std::string& queueName, const std::string& agent,
                                    std::string_view list) {
    if (systemLog.Writes(3)) {
        systemLog.Log(3, "ThreadID(%u) RunRecvRequest() :  Remove Job request for print queue %s\n",
                      threadId_, EscapeControls(queueName).c_str());
    }
    if (!Permitted(AccessOperation::kRemove, queueName)) {
        return;
    }
    const PeerAddress& peer = connection_.PeerAddress();
    if (access_ && access_->RemoveNeedsPrivilegedPort() && !peer.FromPrivilegedPort()) {
        systemLog.Log(1,
                      "ThreadID(%u) RunRecvRequest() :  remove on print queue %s refused to %s: "
                      "source port %u is not privileged\n",
                      threadId_, EscapeControls(queueName).c_str(), peer.Text().c_str(),
                      peer.Port());
        return;
    }
    auto queue = findQueue_(queueName.c_str());
    if (!queue) {
        return;
    }
    const bool operatorHost = access_ && access_->IsOperator(peer.Storage(), queueName);
    const RemovalRequest request(agent, list, peer, operatorHost);
    for (const auto& job : queue->RemoveJobs(request)) {
        systemLog.Log(1,
                      "ThreadID(%u) RunRecvRequest() :  removal of job %d of %s from %s on print "
                      "queue %s refused to %s at %s\n",
                      threadId_, job->jobNo, EscapeControls(job->userName).c_str(),
                      job->record.origin.Text().c_str(), queue->name.c_str(),
                      EscapeControls(agent).c_str(), peer.Text().c_str());
    }
}

}  // namespace pg
