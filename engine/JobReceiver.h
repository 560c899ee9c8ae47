#pragma once

namespace pg {

class LPDPrinter;
class JobEntry;
class ClientConnection;

// Serves one receive-job command (the queue's RecvJob): acknowledges it, receives the control and
// data files into the queue's spool directory and enters the job. False when it removed a failed
// job.
class JobReceiver {
  public:
    JobReceiver(LPDPrinter& queue, ClientConnection& connection);
    bool Run();

  private:
    LPDPrinter& queue_;
    ClientConnection& connection_;
};

}  // namespace pg
