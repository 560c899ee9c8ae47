#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "config/AccessRules.h"
#include "engine/ClientConnection.h"
#include "engine/DaemonSettings.h"

namespace pg {

class PrintQueue;

// Serves one accepted LPR connection (the thread body RunRecvRequest): reads the command line,
// finds the queue without regard to case and answers print-waiting-jobs, receive-job,
// queue-state and remove-jobs; then shuts its side and waits for the client's close, at most
// CloseDelayMs (3 s by default). Works on a plain descriptor, so a test can hand it one end of
// a socketpair().
class ConnectionHandler {
  public:
    static constexpr size_t kRequestBufferSize = 4096;
    // Finds a queue by the name a client sent, without regard to case (null: none).
    using QueueLookup = std::function<std::shared_ptr<PrintQueue>(const char* name)>;

    // settings: those in force when the connection was taken, kept to its end.
    ConnectionHandler(std::shared_ptr<const DaemonSettings> settings, QueueLookup findQueue,
                      int fd);

    // Serves the connection; returns when the client has closed, the close delay has passed or
    // a stop was requested. The caller closes the socket afterwards. engaged, when given, is set
    // once the command line is in.
    void Run(std::stop_token stopToken, std::atomic<bool>* engaged = nullptr);

  private:
    void RunRecvRequest(std::atomic<bool>* engaged);
    void AwaitClientClose(std::chrono::milliseconds delay);
    void ServeActivate(const std::string& queueName);
    void ServeReceiveJob(const std::string& queueName);
    void ServeJobList(char command, const std::string& queueName, const std::string& operand);
    void ServeRemove(const std::string& queueName, const std::string& agent, std::string_view list);
    // Whether the [Access] rules let the client do operation on the queue it named; a refusal
    // is logged with the client's address.
    bool Permitted(AccessOperation operation, const std::string& queueName);
    // The destination test before a job is accepted; false when it fails.
    bool TestDestination(PrintQueue& queue, const std::string& requestedName);
    bool TestRemoteDestination(PrintQueue& queue);
    // Reads the command line: up to its line feed or 4096 bytes; what follows the line feed in
    // the same read is given back to the connection for reception.
    std::string ReadCommandLine();

    const std::shared_ptr<const DaemonSettings> settings_;
    const QueueLookup findQueue_;
    std::shared_ptr<const AccessRules> access_;
    ClientConnection connection_;
    uint32_t threadId_ = 0;
    std::stop_token stopToken_;
};

}  // namespace pg
