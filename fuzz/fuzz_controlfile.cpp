// Feeds arbitrary bytes to the control-file reader (with and without banner suppression) and,
// as a spool file name, to the file-name analysis. Aborts when a job could not find its own
// files again: a name's pattern, and the pattern of the job built from it, must match the name.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/JobEntry.h"
#include "engine/SpoolFileName.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

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
    job.unlinkFiles = false;  // no spool directory here, but never let the fuzzer delete files
}

void AnalyseAsName(std::string_view name) {
    const pg::SpoolFileName analysis = pg::SpoolFileName::Analyse(name);
    Check(analysis.prefixLength >= 0 && analysis.prefixLength <= 10);
    Check(static_cast<size_t>(analysis.prefixLength) + analysis.digits.size() +
              analysis.suffix.size() ==
          name.size());
    Check(analysis.digits.size() <= 9);
    const std::string pattern = analysis.Pattern();
    Check(pg::MatchesSpoolPattern(name, pattern));

    // The job as reception builds it from its control file's name.
    pg::JobEntry job;
    job.prefixLength = analysis.prefixLength;
    job.digitCount = static_cast<int32_t>(analysis.digits.size());
    job.jobNo = analysis.JobNumber();
    job.nameSuffix = analysis.suffix;
    Check(job.FilePattern() == pattern);
    Check(pg::MatchesSpoolPattern(name, job.FilePattern()));
    if (analysis.prefixLength > 0) {
        Check(pg::MatchesSpoolPattern(name, job.FilePattern(true)) == (name[0] == 'd'));
    } else {
        Check(job.FilePattern(true).empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ReadAsControlFile(text, false);
    ReadAsControlFile(text, true);
    AnalyseAsName(text);
    return 0;
}
