#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pg {

// What the name a client gives its control file says about the job: "cfA123host" is prefix
// "cfA" (3 characters), digits "123" (the job number the reports show) and suffix "host". The
// name is data only: the job store names the files.
struct SpoolFileName {
    int32_t prefixLength = 0;
    std::string digits;
    std::string suffix;

    static SpoolFileName Analyse(std::string_view name);

    // The job number the digits give (jobNo); 0 when there are none. At most nine digits are
    // kept, so the value always fits.
    int32_t JobNumber() const;
};

}  // namespace pg
