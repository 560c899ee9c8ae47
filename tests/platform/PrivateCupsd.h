#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace pg::test {

// A CUPS scheduler of the test's own: cupsd in a temporary directory (traversable by user lp),
// listening only on DIR/cups.sock, with raw queues whose device is the file DIR/out/<queue>.
// Each queue's PPD has one filter, a root-owned pass-through script, because a raw queue on a
// file device without any filter writes nothing; documents arrive in the device file byte for
// byte (the file is truncated per job).
//
// Start() points this process's libcups at it (CUPS_SERVER, and LPDEST/PRINTER cleared so the
// scheduler's default counts); the destructor stops cupsd, restores CUPS_SERVER and removes the
// directory. Call Start() before starting threads that use libcups: libcups reads CUPS_SERVER
// once per thread. One at a time per process (CUPS_SERVER is process-wide). cupsd runs filters
// as lp and needs root: without it Start() fails.
//
//     PrivateCupsd cupsd;
//     ASSERT_TRUE(cupsd.Start({{.name = "lp", .isDefault = true}}, &error)) << error;
//     ... print to "lp" through PrintSystem::Create("cups") ...
//     ASSERT_TRUE(cupsd.WaitUntilIdle());
//     EXPECT_EQ(cupsd.Output("lp"), expectedBytes);
class PrivateCupsd {
  public:
    struct Queue {
        std::string name;
        bool accepting = true;   // false: "Accepting No", Create-Job fails with 0x0506
        bool enabled = true;     // false: "State Stopped", jobs are accepted and wait
        bool isDefault = false;  // the scheduler's default destination
    };

    PrivateCupsd();
    ~PrivateCupsd();
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    // Writes the configuration with these queues, starts cupsd and waits until its socket
    // answers. False with the reason in *error (the scheduler's error log included).
    bool Start(const std::vector<Queue>& queues, std::string* error = nullptr);
    // Ends cupsd (SIGTERM, then SIGKILL) and waits for it. Start() may be called again.
    void Stop();
    bool Running() const { return pid_ > 0; }

    const std::string& Directory() const { return directory_; }
    std::string SocketPath() const { return directory_ + "/cups.sock"; }
    // The device file of a queue.
    std::string OutputPath(const std::string& queue) const;
    // The device file's content ("" while there is none).
    std::string Output(const std::string& queue) const;
    // Waits until the scheduler holds no pending, held or processing job. False on time-out.
    bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // The ids of the jobs not yet finished on a queue (all queues for "").
    std::vector<int> ActiveJobs(const std::string& queue = "") const;
    std::string ErrorLog() const;

  private:
    bool WriteConfiguration(const std::vector<Queue>& queues, std::string* error);
    bool WaitUntilAnswering(std::string* error);
    void PointLibcupsAt(const char* server);

    std::string directory_;
    pid_t pid_ = -1;
    bool environmentSet_ = false;
    std::optional<std::string> previousServer_;  // CUPS_SERVER before Start()
};

}  // namespace pg::test
