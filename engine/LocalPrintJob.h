#pragma once

#include <string>
#include <string_view>

#include "engine/TextTreatment.h"

namespace pg {

class PrintQueue;
class JobEntry;
class PrinterHandle;

// Delivers one job of a local queue to its printer (the queue's PrintFile): an optional banner
// page, then each data file of the job as one page with the text treatment, in one raw document
// named after the job's first data file. True when no error occurred.
//
// Failures end up where the operator looks: the queue's status text and state (pause when the
// document or the banner page cannot be started, error when job data cannot be written) and the
// system log; the printing thread turns a false result into a retry of the whole job.
//
// Runs on the printing thread only. Between data files and between blocks it stops at the
// queue's checkpoint (held there while the queue is paused) and looks at the job's state: a
// removal (state stop) ends the delivery after the current block, a Stop or the queue's end
// ends it at once.
class LocalPrintJob {
  public:
    LocalPrintJob(PrintQueue& queue, JobEntry& job);
    LocalPrintJob(const LocalPrintJob&) = delete;
    LocalPrintJob& operator=(const LocalPrintJob&) = delete;

    bool Run();

    // Data files are read and written in blocks of this size.
    static constexpr size_t kBlockSize = 4096;

  private:
    enum class FileOutcome { Done, Interrupted };

    void PrintBanner(PrinterHandle& printer, const std::string& firstFile);
    FileOutcome PrintDataFile(PrinterHandle& printer, const std::string& fileName);
    bool WriteBlock(PrinterHandle& printer, std::string_view block);
    void FailWrite(PrinterHandle& printer, const std::string& fileName);
    bool Finish();
    bool Interrupted();

    PrintQueue& queue_;
    JobEntry& job_;
    std::string destination_;  // the printer's name, for the status texts and log lines
    bool formFeedAtEndOfJob_ = true;
    bool error_ = false;       // the error indicator: the job was not delivered
    TextTreatment treatment_;  // sticky for the whole job
    std::string block_;        // the read buffer, kBlockSize bytes
    std::string rendered_;     // one block as the printer gets it
};

}  // namespace pg
