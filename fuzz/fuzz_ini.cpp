// Feeds the input as pgate.ini to every reader of the configuration and to a round of writes,
// checking that a value written is the value read back.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "config/ConfigLocation.h"
#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "config/ProfileText.h"
#include "config/QueueEntry.h"
#include "fuzz/FuzzSupport.h"

using pg::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& directory = pg::fuzz::WorkDirectory();
    pg::ConfigLocation location;
    location.home = directory;
    location.currentDirectory = directory + "/cwd";  // never created: defaults only name it
    location.searchPath = "";
    const std::string path = location.IniPath();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const pg::ProfileFile file(path);

    (void)file.GetString("GENERAL CONFIGURE", "HostFile", "unknown");
    (void)file.GetString("Logging", "SystemTrace", "", 16);
    (void)file.GetInt("GENERAL CONFIGURE", "LPDServerPort", 515);
    (void)file.GetSection("Logging", 64);
    const std::vector<std::string> lines = file.GetSection("Print Queues");
    const std::vector<pg::QueueEntry> queues = pg::ReadQueueEntries(file);
    Check(queues.size() <= lines.size());
    const pg::GeneralSettings settings = pg::ReadGeneralSettings(file, location, {});

    // A key written is the key read, whatever the file held before.
    Check(file.WriteString("Print Queues", "fuzzq", "P,1.2.3.4,515,x"));
    Check(file.GetString("print queues", "FUZZQ", "") == "P,1.2.3.4,515,x");
    if (!queues.empty()) {
        // A name or destination holding a lone CR cannot be written back (false), but whatever
        // is written must read back.
        const std::string& name = queues.front().name;
        if (file.WriteString(name, "FormFeedAtEndOfJob", "yes")) {
            Check(file.GetString(name, "FormFeedAtEndOfJob", "") == "yes");
        }
        const std::string value = pg::UpdatedEntryValue(queues.front());
        const bool readsAsWritten = value.size() < pg::ProfileFile::kValueBufferSize &&
                                    pg::TrimWhiteSpace(value) == value &&
                                    !(value.front() == '"' && value.back() == '"');
        if (file.WriteString("Print Queues", name, value) && readsAsWritten) {
            Check(file.GetString("Print Queues", name, "") == value);
        }
        Check(file.DeleteSection(name));
    }
    pg::SaveGeneralSettings(file, settings);
    Check(file.GetInt("GENERAL CONFIGURE", "LPDServerPort", 1) == settings.lpdServerPort);
    Check(file.WriteString("Print Queues", "fuzzq", std::nullopt));
    Check(file.DeleteSection("Print Queues"));
    (void)pg::ReadQueueEntries(file);
    return 0;
}
