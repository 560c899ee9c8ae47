#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace pg::test {

// A CUPS scheduler of the test's own: cupsd (needs root: it runs filters as lp) in a temporary
// directory, listening only on DIR/cups.sock, with raw queues whose device is DIR/out/<queue>
// (truncated per job) and a pass-through filter, without which a raw queue on a file device
// writes nothing. Start() points this process's libcups at it (call it before threads use
// libcups, which reads CUPS_SERVER once per thread); one at a time per process.
class PrivateCupsd {
  public:
    struct Queue {
        std::string name;
        bool accepting = true;   // false: "Accepting No", Create-Job fails with 0x0506
        bool isDefault = false;  // the scheduler's default destination
    };

    ~PrivateCupsd();

    // Starts cupsd with these queues (ending one already running); false with the reason.
    bool Start(const std::vector<Queue>& queues, std::string* error = nullptr);
    // Ends cupsd and waits for it.
    void Stop();

    // The device file's content ("" while there is none).
    std::string Output(const std::string& queue) const;
    // Waits until the scheduler holds no pending, held or processing job. False on time-out.
    bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // The jobs of a queue (all queues for ""), unfinished ones only or all it had, in order:
    // "<title> by <requesting user>".
    std::vector<std::string> Jobs(const std::string& queue, bool activeOnly) const;
    std::string ErrorLog() const;

  private:
    std::string SocketPath() const { return directory_ + "/cups.sock"; }

    std::string directory_;
    std::unique_ptr<Process> cupsd_;
};

}  // namespace pg::test
