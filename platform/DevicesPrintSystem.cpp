#include "platform/DevicesPrintSystem.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "platform/DevicePrinterHandle.h"

namespace pg {

namespace {

std::string Absolute(const std::string& directory) {
    if (!directory.empty() && directory.front() == '/') {
        return directory;
    }
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) {
        return directory;
    }
    return directory.empty() ? cwd : std::string(cwd) + "/" + directory;
}

bool IsPrinterName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos;
}

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

DevicesPrintSystem::DevicesPrintSystem(const std::string& directory)
    : directory_(Absolute(directory)) {}

std::unique_ptr<PrinterHandle> DevicesPrintSystem::Open(const std::string& printerName,
                                                        int& error) {
    if (!IsPrinterName(printerName)) {
        error = ENOENT;
        return nullptr;
    }
    const std::string path = directory_ + "/" + printerName;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::make_unique<DevicePrinterHandle>(path, S_ISDIR(st.st_mode));
}

const char* DevicesPrintSystem::OpenCall([[maybe_unused]] int error) const {
    return "stat()";
}

bool DevicesPrintSystem::Usable(std::string& reason) {
    struct stat st {};
    const bool exists = ::stat(directory_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        return true;
    }
    reason = "the printer folder " + directory_ + (exists ? " is no folder" : " does not exist") +
             ": create it (one entry per printer), or set PrintSystem=cups";
    return false;
}

std::vector<std::string> DevicesPrintSystem::Printers() {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory_.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string DevicesPrintSystem::DefaultPrinter() {
    const std::vector<std::string> printers = Printers();
    if (printers.empty()) {
        return {};
    }
    std::ifstream file(directory_ + "/" + kDefaultFile);
    std::string line;
    if (file && std::getline(file, line)) {
        line = Trim(line);
        if (std::binary_search(printers.begin(), printers.end(), line)) {
            return line;
        }
    }
    return printers.front();
}

}  // namespace pg
