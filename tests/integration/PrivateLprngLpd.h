#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace pg::test {

// LPRng's lpd of the test's own, as a remote LPD host: Debian's LPRng reads only
// /etc/lprng/lpd.conf, so the daemon runs in a private mount namespace in which DIR/etc is
// bind-mounted over /etc/lprng (the machine's own files are never touched). DIR is traversable
// by user daemon, as which lpd runs. Queues of its printcap:
//
//   store   every job's data bytes appended unchanged to DIR/out/store.out
//   hold    every job kept in DIR/spool/hold (held), with its parsed job file hfA<number>
//
// Started in a session of its own on a free port, ended through its process group.
//
//     PrivateLprngLpd lpd;
//     ASSERT_TRUE(lpd.Start(&error)) << error;
//     ... send a job to 127.0.0.1:lpd.Port(), queue "store" ...
//     ASSERT_TRUE(lpd.WaitForStoreOutput(expected.size()));
class PrivateLprngLpd {
  public:
    static constexpr const char* kProgram = "/usr/sbin/lpd";

    PrivateLprngLpd();
    ~PrivateLprngLpd();
    PrivateLprngLpd(const PrivateLprngLpd&) = delete;
    PrivateLprngLpd& operator=(const PrivateLprngLpd&) = delete;

    // Writes the configuration, starts lpd and waits until it accepts connections. False with
    // the reason (and lpd's output) in *error.
    bool Start(std::string* error = nullptr);
    // Ends lpd's process group (SIGTERM, then SIGKILL) and waits for it.
    void Stop();

    uint16_t Port() const { return port_; }
    const std::string& Directory() const { return dir_.Path(); }

    std::string StoreOutput() const;
    // Until store.out holds at least size bytes.
    bool WaitForStoreOutput(size_t size,
                            std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

    // A job held in queue hold: its parsed job file's fields ("H" -> "localhost",
    // "remoteport" -> "0x2db", ...) and its data files' contents by name.
    struct HeldJob {
        std::string jobFile;  // hfA<number>
        std::map<std::string, std::string> fields;
        std::map<std::string, std::string> dataFiles;
    };
    std::vector<HeldJob> HeldJobs() const;
    bool WaitForHeldJobs(size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

    // What lpd wrote to its standard output and error.
    std::string Output() const;

  private:
    bool WriteConfiguration(std::string* error);

    TempDir dir_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;  // also the id of its process group
};

}  // namespace pg::test
