#include "engine/JobReceiver.h"

#include "engine/ClientConnection.h"
#include "engine/LPDPrinter.h"

namespace pg {

JobReceiver::JobReceiver(LPDPrinter& queue, ClientConnection& connection)
    : queue_(queue), connection_(connection) {}

// Placeholder until reception lands: acknowledges the command and reads until the client
// closes, keeping nothing.
bool JobReceiver::Run() {
    LPDPrinter::SendAck(connection_);
    char buffer[4096];
    while (connection_.Receive(buffer, sizeof buffer) > 0) {
    }
    (void)queue_;
    return true;
}

}  // namespace pg
