#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/JobEntry.h"

namespace pg {

// What a spool file's name says about its job: "cfA123host" is prefix "cfA" (3 characters),
// digits "123" and suffix "host".
struct SpoolFileName {
    int32_t prefixLength = 0;
    std::string digits;
    std::string suffix;

    // The file-name analysis reception makes of every control and data file name.
    static SpoolFileName Analyse(std::string_view name);

    bool Empty() const { return suffix.empty() && digits.empty() && prefixLength == 0; }
    // The job number the digits give (jobNo); 0 when there are none. At most nine digits are
    // kept, so the value always fits.
    int32_t JobNumber() const;
    // The pattern of every file of this job: prefixLength '?', the digits, the suffix
    // ("???123host").
    std::string Pattern() const;
};

// True when name matches pattern, '?' standing for exactly one character.
bool MatchesSpoolPattern(std::string_view name, std::string_view pattern);

// The files of directory whose names match pattern, in directory order, with their sizes.
std::vector<SpoolFile> ListSpoolFiles(const std::string& directory, const std::string& pattern);

// Deletes every file of directory matching pattern; failures are ignored.
void DeleteSpoolFiles(const std::string& directory, const std::string& pattern);

}  // namespace pg
