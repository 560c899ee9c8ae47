#include "engine/SpoolFileName.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace pg {

namespace {

// Only the first ten characters of a name are looked at for the job number.
constexpr size_t kScanWindow = 10;
// The most digits a job number keeps: nine decimal digits always fit the signed 32-bit job
// number, so the job's pattern, rebuilt from that number, gives back the same digits.
constexpr size_t kMaxDigits = 9;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

}  // namespace

// The name is read as prefix, job number and suffix:
// - the prefix is every character in front of the first digit among the first ten characters;
// - the digits run from that first digit up to the first non-digit or the end of the ten-
//   character window, whichever comes first. Runs longer than the three digits of RFC 1179
//   names keep all their digits inside the window (cfA1234host gives 1234, pattern
//   ???1234host), so a job can always be found again by its own name. The one exception is a
//   name that starts with ten digits: its tenth digit goes to the suffix, because ten digits
//   would not fit the job number from which the job's file pattern is rebuilt;
// - the suffix is the rest of the whole name, however long.
// A name without a digit among its first ten characters has no job number: every scanned
// character counts as prefix (so a prefix may be up to ten characters long, each one a '?' in
// the pattern) and the suffix is what follows the window.
SpoolFileName SpoolFileName::Analyse(std::string_view name) {
    SpoolFileName result;
    const size_t window = name.size() < kScanWindow ? name.size() : kScanWindow;
    size_t position = 0;
    while (position < window && !IsDigit(name[position])) {
        ++position;
    }
    result.prefixLength = static_cast<int32_t>(position);
    while (position < window && IsDigit(name[position]) && result.digits.size() < kMaxDigits) {
        result.digits.push_back(name[position]);
        ++position;
    }
    result.suffix.assign(name.substr(position));
    return result;
}

int32_t SpoolFileName::JobNumber() const {
    // Unsigned arithmetic: digits filled in by hand beyond nine cannot overflow into undefined
    // behaviour, they only wrap.
    uint32_t value = 0;
    for (char c : digits) {
        value = value * 10u + static_cast<uint32_t>(c - '0');
    }
    return static_cast<int32_t>(value);
}

std::string SpoolFileName::Pattern() const {
    std::string pattern(static_cast<size_t>(prefixLength), '?');
    pattern += digits;
    pattern += suffix;
    return pattern;
}

bool MatchesSpoolPattern(std::string_view name, std::string_view pattern) {
    if (name.size() != pattern.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        if (pattern[i] != '?' && pattern[i] != name[i]) {
            return false;
        }
    }
    return true;
}

// Symbolic links and other non-regular entries are left out: a job's files are the ones
// reception wrote, never something a link points to.
std::vector<SpoolFile> ListSpoolFiles(const std::string& directory, const std::string& pattern) {
    std::vector<SpoolFile> files;
    if (pattern.empty()) {
        return files;
    }
    UniqueDir dir(opendir(directory.c_str()));
    if (!dir) {
        return files;
    }
    const int dirFd = dirfd(dir.get());
    while (const dirent* entry = readdir(dir.get())) {
        if (!MatchesSpoolPattern(entry->d_name, pattern)) {
            continue;
        }
        struct stat info {};
        if (fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        files.push_back(SpoolFile{entry->d_name, static_cast<uint64_t>(info.st_size)});
    }
    return files;
}

void DeleteSpoolFiles(const std::string& directory, const std::string& pattern) {
    for (const SpoolFile& file : ListSpoolFiles(directory, pattern)) {
        unlink((directory + "/" + file.name).c_str());
    }
}

}  // namespace pg
