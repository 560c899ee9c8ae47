// Feeds the input as pgate.ini to every reader of the configuration and to a round of writes,
// checking that a value written is the value read back.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigLocation.h"
#include "config/GeneralSettings.h"
#include "config/ProfileFile.h"
#include "config/ProfileText.h"
#include "config/QueueEntry.h"

namespace {

// One private directory for the whole run, on a memory file system when there is one: every
// write ends with fsync. It goes when the fuzzer exits.
std::string MakeWorkDirectory() {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/pgfuzz-ini-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        std::abort();
    }
    return std::string(buffer.data());
}

void RemoveWorkDirectory();

const std::string& WorkDirectory() {
    static const std::string directory = MakeWorkDirectory();
    // Registered after the string is made, so the string outlives the handler.
    static const bool removal = std::atexit(RemoveWorkDirectory) == 0;
    (void)removal;
    return directory;
}

void RemoveWorkDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(WorkDirectory(), ignored);
}

void WriteInput(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::abort();
    }
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0) {
            std::abort();
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    ::close(fd);
}

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& directory = WorkDirectory();
    pg::ConfigLocation location;
    location.home = directory;
    location.currentDirectory = directory + "/cwd";  // never created: defaults only name it
    location.searchPath = "";
    const std::string path = location.IniPath();
    WriteInput(path, data, size);
    const pg::ProfileFile file(path);

    (void)file.GetString("GENERAL CONFIGURE", "HostFile", "unknown");
    (void)file.GetString("Logging", "SystemTrace", "", 16);
    (void)file.GetInt("GENERAL CONFIGURE", "LPDServerPort", 515);
    (void)file.GetSection("Logging", 64);
    const std::vector<std::string> lines = file.GetSection("Print Queues");
    const std::vector<pg::QueueEntry> queues = pg::ReadQueueEntries(file);
    Check(queues.size() <= lines.size());
    const pg::GeneralSettings settings = pg::ReadGeneralSettings(
        file, location,
        pg::SettingsReadHooks{[](const std::string&) {}, [](const std::string&) {}, [] {}});

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
