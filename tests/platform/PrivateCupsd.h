#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace pg::test {

// A CUPS scheduler of the test's own: cupsd in a temporary directory (traversable by user lp),
// listening only on DIR/cups.sock, with raw queues whose device is the file DIR/out/<queue>.
// Each queue's PPD has one filter, a root-owned pass-through script, because a raw queue on a
// file device without any filter writes nothing; documents arrive in the device file byte for
// byte (the file is truncated per job).
//
// Start() points this process's libcups at it (CUPS_SERVER, and LPDEST/PRINTER cleared so the
// scheduler's default counts); the destructor stops cupsd and restores CUPS_SERVER. Call
// Start() before starting threads that use libcups: libcups reads CUPS_SERVER once per thread.
// One at a time per process. cupsd runs filters as lp and needs root: without it Start() fails.
class PrivateCupsd {
  public:
    struct Queue {
        std::string name;
        bool accepting = true;   // false: "Accepting No", Create-Job fails with 0x0506
        bool isDefault = false;  // the scheduler's default destination
    };

    PrivateCupsd() = default;
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // Writes the configuration with these queues, starts cupsd (ending one already running)
    // and waits until its socket answers. False with the reason in *error.
    bool Start(const std::vector<Queue>& queues, std::string* error = nullptr);
    // Ends cupsd and waits for it.
    void Stop();

    // The device file's content ("" while there is none).
    std::string Output(const std::string& queue) const;
    // Waits until the scheduler holds no pending, held or processing job. False on time-out.
    bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // The ids of the jobs not yet finished on a queue (all queues for "").
    std::vector<int> ActiveJobs(const std::string& queue = "") const;
    // Every job a queue had, finished ones too, in order: "<title> by <requesting user>".
    std::vector<std::string> JobNames(const std::string& queue) const;
    std::string ErrorLog() const;

  private:
    // Calls with the jobs of a queue ("" for all), active ones or all of them.
    template <typename Each>
    void ForJobs(const std::string& queue, bool activeOnly, Each each) const;
    std::string SocketPath() const { return directory_ + "/cups.sock"; }

    std::string directory_;
    std::unique_ptr<Process> cupsd_;
    bool environmentSet_ = false;
    std::optional<std::string> previousServer_;  // CUPS_SERVER before Start()
};

}  // namespace pg::test
