#pragma once

#include <chrono>

namespace pg {

class PrinterHandle;

// What a delivery back-end may ask of the printing thread that runs it: where to hold still
// while the queue is paused, whether to end at once (Stop, shutdown) or tidily (the job was
// removed), pauses that end early on a stop, and what a Stop from another thread must
// interrupt (the socket being used, the printer being written).
class DeliveryControl {
  public:
    virtual ~DeliveryControl() = default;

    // Between files and blocks: waits while the queue is paused; false when the delivery must
    // end now.
    virtual bool Checkpoint() = 0;
    // True when the delivery must end now.
    virtual bool StopRequested() const = 0;
    // The job was removed while it was delivered: end after the current block, as usual.
    virtual bool JobRemoved() const = 0;
    // Waits; false when the delivery must end now.
    virtual bool Sleep(std::chrono::milliseconds duration) = 0;
    // The socket in use (-1: none) is shut down, and the printer in use (null: none) cancelled,
    // when the queue is stopped. Clear them before closing them.
    virtual void SetSocket(int fd) = 0;
    virtual void SetPrinter(PrinterHandle* printer) = 0;
};

}  // namespace pg
