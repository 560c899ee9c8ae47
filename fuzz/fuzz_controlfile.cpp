// Feeds arbitrary bytes to the control-file reader (with and without banner suppression), to the
// search for the data files a control file prints, and, as a control file's name, to the name
// analysis. Aborts when a word, a file name or a job number breaks its limits, or when a name is
// not split into prefix, number and suffix that make it up again.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/JobEntry.h"
#include "engine/SpoolFileName.h"
#include "fuzz/FuzzSupport.h"

namespace {

using pg::fuzz::Check;

void ReadAsControlFile(std::string_view text, bool suppressBanner) {
    pg::JobEntry job;
    job.ReadControlFile(text, suppressBanner);
    // A word holds at most 255 characters, its first one the line's letter.
    for (const std::string* field : {&job.className, &job.hostName, &job.jobName, &job.bannerUser,
                                     &job.mailUser, &job.userName, &job.title}) {
        Check(field->size() <= 254);
    }
    Check(!(suppressBanner && job.printBanner));
    Check(!job.printBanner || text.find('L') != std::string_view::npos);
}

// Each name once, none empty, none longer than a receive subcommand's name can be, none with
// white space in it (it could never match a received file's name).
void FindPrintedFiles(std::string_view text) {
    const std::vector<std::string> names = pg::JobEntry::PrintedFiles(text);
    for (size_t i = 0; i < names.size(); ++i) {
        Check(!names[i].empty() && names[i].size() <= 255);
        Check(names[i].find_first_of(" \t\n\v\f\r") == std::string::npos);
        Check(std::count(names.begin(), names.end(), names[i]) == 1);
    }
}

void AnalyseAsName(std::string_view name) {
    const pg::SpoolFileName analysis = pg::SpoolFileName::Analyse(name);
    Check(analysis.prefixLength >= 0 && analysis.prefixLength <= 10);
    Check(analysis.digits.size() <= 9);
    Check(std::string(name.substr(0, static_cast<size_t>(analysis.prefixLength))) +
              analysis.digits + analysis.suffix ==
          name);
    Check(analysis.JobNumber() >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ReadAsControlFile(text, false);
    ReadAsControlFile(text, true);
    FindPrintedFiles(text);
    AnalyseAsName(text);
    return 0;
}
