#pragma once

namespace pg {

class LPDPrinter;
class JobEntry;
class ClientConnection;

// Delivers one job of a local queue to its printer (the queue's PrintFile): banner page, each data
// file as a page with the text treatment. True when no error occurred.
class LocalPrintJob {
  public:
    LocalPrintJob(LPDPrinter& queue, JobEntry& job);
    bool Run();

  private:
    LPDPrinter& queue_;
    JobEntry& job_;
};

}  // namespace pg
