#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/Loopback.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace pg::test {

// A home for a real pressgated process: pgate.ini for queue lp on the devices printer
// printers/paper, a lock directory and a working directory of its own, all open to a daemon
// that has given root up.
class DaemonHome {
  public:
    DaemonHome() {
        ::chmod(dir_.Path().c_str(), 0777);  // an unprivileged daemon makes its spool here
        for (const char* sub : {"home", "run", "printers", "printers/paper", "work"}) {
            ::mkdir((dir_ / sub).c_str(), 0777);
            ::chmod((dir_ / sub).c_str(), 0777);
        }
        Write("");
    }
    // pgate.ini with general keys first (from line 2 on, so they are the ones read), then the
    // home's own (5 lines), the queues (after [Print Queues]), [Logging] and more text last.
    void Write(const std::string& general,
               const std::string& queues = "lp=paper,,,Print in local/LAN printer - paper\r\n",
               const std::string& more = "") const {
        WriteFile(dir_ / "home/pgate.ini",
                  "[GENERAL CONFIGURE]\r\n" + general + "SpoolBaseDirectory=" + dir_ / "spool" +
                      "\r\nLPDServerPort=" + std::to_string(port) +
                      "\r\nClearSpoolDirectory=N\r\nCloseDelayMs=50\r\nPrintSystem=devices:" +
                      dir_ / "printers" + "\r\n[Print Queues]\r\n" + queues +
                      "[Logging]\r\nLogToScreen=Y\r\n" + more);
    }
    Process::Options Daemon(const std::vector<std::string>& args = {}) const {
        Process::Options options;
        options.argv = {PG_BINARY_DIR "/bin/pressgated", "--home", dir_ / "home"};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.env = {"XDG_RUNTIME_DIR=" + dir_ / "run", "CUPS_SERVER=" + dir_ / "no-cupsd"};
        options.cwd = dir_ / "work";
        return options;
    }
    std::string operator/(const std::string& name) const { return dir_ / name; }

    const uint16_t port = FreePort();

  private:
    TempDir dir_;
};

}  // namespace pg::test
