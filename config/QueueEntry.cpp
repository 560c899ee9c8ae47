#include "config/QueueEntry.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "config/GeneralSettings.h"
#include "config/ProfileText.h"

namespace pg {

namespace {

constexpr const char* kQueuesSection = "Print Queues";

// The value's first three comma-separated fields, and everything after the third comma as the
// fourth: the status text is free text that may itself hold commas, and reading it whole
// keeps it as the operator typed it. Missing fields are empty.
struct EntryFields {
    std::string_view field[4];
};

EntryFields SplitEntry(std::string_view value) {
    EntryFields fields;
    for (int i = 0; i < 3; ++i) {
        const size_t comma = value.find(',');
        if (comma == std::string_view::npos) {
            fields.field[i] = value;
            return fields;
        }
        fields.field[i] = value.substr(0, comma);
        value.remove_prefix(comma + 1);
    }
    fields.field[3] = value;
    return fields;
}

}  // namespace

std::vector<QueueEntry> ReadQueueEntries(const ProfileFile& file) {
    std::vector<QueueEntry> entries;
    // The whole section, however long: no queue is dropped for want of buffer room.
    for (const std::string& line :
         file.GetSection(kQueuesSection, std::numeric_limits<size_t>::max())) {
        if (line.empty()) {
            break;
        }
        if (line.front() == ';') {
            continue;
        }
        // The writers always write "name=" and four fields. A line without '=' names no queue
        // and an empty name makes none, so neither becomes a queue; a value with fewer than
        // four fields reads its missing fields as empty.
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string_view text(line);
        QueueEntry entry;
        entry.name = std::string(TrimWhiteSpace(text.substr(0, equals)));
        if (entry.name.empty()) {
            continue;
        }
        entry.formFeedAtEndOfJob =
            IsYes(file.GetString(entry.name, "FormFeedAtEndOfJob", "unknown"));
        const std::string maxJob = file.GetString(entry.name, "MaxJobMB", "");
        if (!maxJob.empty()) {
            entry.maxJobMB = std::max(0, ParseLeadingInt(maxJob));
        }
        const EntryFields fields = SplitEntry(text.substr(equals + 1));
        entry.destination = std::string(TrimWhiteSpace(fields.field[0]));
        // The host is taken as written, untrimmed; only a dot (a name or an IPv4 address) or a
        // colon (an IPv6 address) tells a remote host from a local one, so a plain host name
        // without either reads back as a local queue.
        if (fields.field[1].find_first_of(".:") != std::string_view::npos) {
            entry.isRemote = true;
            entry.remoteHost = std::string(fields.field[1]);
            entry.remotePort =
                static_cast<uint16_t>(ParseLeadingInt(TrimWhiteSpace(fields.field[2])));
        }
        entry.statusText = std::string(TrimWhiteSpace(fields.field[3]));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string AddedEntryValue(const QueueEntry& entry) {
    if (entry.remoteHost.empty()) {
        return entry.destination + ",,," + entry.statusText;
    }
    return entry.destination + "," + entry.remoteHost + "," + std::to_string(entry.remotePort) +
           "," + entry.statusText;
}

std::string UpdatedEntryValue(const QueueEntry& entry) {
    std::string value = entry.destination + "," + entry.remoteHost + ",";
    if (entry.isRemote) {
        value += std::to_string(entry.remotePort) + "," + "Print in remote LPD printer - " +
                 entry.destination + "@" + entry.remoteHost;
    } else {
        value += ",Print in local/LAN printer - " + entry.destination;
    }
    return value;
}

}  // namespace pg
