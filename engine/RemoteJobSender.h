#pragma once

namespace pg {

class LPDPrinter;
class JobEntry;
class ClientConnection;

// Forwards one job of a remote queue to its LPD host (the queue's SendJob). True when the whole job
// was accepted.
class RemoteJobSender {
  public:
    RemoteJobSender(LPDPrinter& queue, JobEntry& job);
    bool Run();

  private:
    LPDPrinter& queue_;
    JobEntry& job_;
};

}  // namespace pg
