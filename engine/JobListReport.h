#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/JobEntry.h"

namespace pg {

// The texts LPD clients get for the queue-state commands (short and long job lists).
class JobListReport {
  public:
    enum class Format {
        Short,  // "    #007 job from user@host waiting 12:00:00 12/05/26\n"
        Long,   // a table of rank, owner, job number, files and total size, as lpd's long form
    };
    enum class Select { All, Number, User };

    // The whole report for the jobs (head first) of the queue named queueName.
    static std::string Text(const std::string& queueName,
                            const std::vector<std::shared_ptr<JobEntry>>& jobs, Format format,
                            Select select, int32_t jobNo = 0, const std::string& userName = "");

    // The one line a client gets for a queue this daemon does not have; the name as the client
    // sent it, control characters escaped.
    static std::string UnknownQueue(const std::string& queueName);

    // Copies text into buffer: all of it with a terminating zero when it is shorter than
    // size, else its first size - 1 bytes. Returns the number of text bytes copied.
    static uint32_t CopyOut(const std::string& text, char* buffer, uint32_t size);
};

}  // namespace pg
