#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/DeliveryOutcome.h"
#include "engine/TextTreatment.h"

namespace pg {

class DeliveryControl;
class PrinterHandle;
struct DeliveryFile;
struct DeliveryRequest;

// Delivers one job of a local queue to its printer: an optional banner page, then each data
// file of the job, in the order its control file names them, as one page with the text
// treatment, in one raw document named after the first data file.
//
// The printer belongs to the delivery: opened at its start, closed at its end. A delivery that
// fails drops its document unfinished (a CUPS job is cancelled), so the retry prints the job
// once, whole. Runs on the printing thread; between data files and between blocks it stops at
// the control's checkpoint (held there while the queue is paused). A removal of the job ends
// the delivery after the current block, tidily; a Stop ends it at once.
class LocalPrintJob {
  public:
    LocalPrintJob(const DeliveryRequest& request, DeliveryControl& control);
    ~LocalPrintJob();
    LocalPrintJob(const LocalPrintJob&) = delete;
    LocalPrintJob& operator=(const LocalPrintJob&) = delete;

    DeliveryOutcome Run();

    // Data files are read and written in blocks of this size.
    static constexpr size_t kBlockSize = 4096;

  private:
    bool PrintBanner(const std::string& firstFile);
    // Done, or the outcome that ends the delivery.
    DeliveryOutcome PrintDataFile(const DeliveryFile& file);
    bool WriteBlock(std::string_view block);
    // Ends the document and closes the printer (done), or drops both (anything else).
    DeliveryOutcome Finish(DeliveryOutcome outcome);

    const DeliveryRequest& request_;
    DeliveryControl& control_;
    std::string destination_;  // the printer's name, for the status texts and log lines
    std::unique_ptr<PrinterHandle> printer_;
    TextTreatment treatment_;  // sticky for the whole job
    std::string block_;        // the read buffer, kBlockSize bytes
    std::string rendered_;     // one block as the printer gets it
};

}  // namespace pg
