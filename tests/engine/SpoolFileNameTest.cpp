// File-name analysis of control and data files and the job file pattern built from it.

#include "engine/SpoolFileName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/JobEntry.h"

namespace pg::test {
namespace {

// Every job must be found again by its own pattern: the pattern rebuilt from the entry matches
// the control file's name and the job's data files, and no file of another job.
TEST(SpoolFileNameAnalysis, SplitsTheNameAndFindsTheJobAgain) {
    const struct {
        std::string name;
        int32_t prefixLength;
        std::string digits, suffix;
        int32_t jobNo;
        std::string pattern, dataPattern;
        std::string dataFile;  // a data file of the same job (empty: none can be told apart)
        std::string otherJob;  // a file of another job that the pattern must not find
    } rows[] = {
        {"cfA123host", 3, "123", "host", 123, "???123host", "d??123host", "dfB123host",
         "cfA124host"},
        {"cfA007host", 3, "007", "host", 7, "???007host", "d??007host", "dfB007host", "cfA070host"},
        {"cfA12host", 3, "12", "host", 12, "???12host", "d??12host", "dfA12host", "cfA123host"},
        // More than three digits: all of them, as far as the ten-character window reaches.
        {"cfA1234host", 3, "1234", "host", 1234, "???1234host", "d??1234host", "dfA1234host",
         "cfA1235host"},
        {"cfA1234567890host", 3, "1234567", "890host", 1234567, "???1234567890host",
         "d??1234567890host", "dfA1234567890host", "cfA1234567891host"},
        // Only the first ten characters are scanned for digits.
        {"abcdefghi12x", 9, "1", "2x", 1, "?????????12x", "d????????12x", "dbcdefghi12x",
         "abcdefghi13x"},
        // No digit among the first ten characters: all ten are prefix, the rest is suffix.
        {"abcdefghij12x", 10, "", "12x", 0, "??????????12x", "d?????????12x", "dbcdefghij12x",
         "abcdefghij13x"},
        {"nodigits", 8, "", "", 0, "????????", "d???????", "dnodigit", "nodigitsx"},
        // Prefixes longer than six characters.
        {"cfAlonger9host", 9, "9", "host", 9, "?????????9host", "d????????9host", "dfAlonger9host",
         "cfAlonger8host"},
        // Starting with digits: nothing tells a data file apart, so the data-only pattern is
        // empty; ten digits at the start give the tenth to the suffix, so the number fits.
        {"123host", 0, "123", "host", 123, "123host", "", "", "124host"},
        {"1234567890host", 0, "123456789", "0host", 123456789, "1234567890host", "", "",
         "1234567891host"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const SpoolFileName analysis = SpoolFileName::Analyse(row.name);
        EXPECT_EQ(analysis.prefixLength, row.prefixLength);
        EXPECT_EQ(analysis.digits, row.digits);
        EXPECT_EQ(analysis.suffix, row.suffix);
        EXPECT_EQ(analysis.JobNumber(), row.jobNo);
        EXPECT_EQ(analysis.Pattern(), row.pattern);

        JobEntry job;  // as reception fills it from the control file's name
        job.prefixLength = analysis.prefixLength;
        job.digitCount = static_cast<int32_t>(analysis.digits.size());
        job.jobNo = analysis.JobNumber();
        job.nameSuffix = analysis.suffix;
        EXPECT_EQ(job.FilePattern(), row.pattern);
        EXPECT_EQ(job.FilePattern(true), row.dataPattern);
        EXPECT_TRUE(MatchesSpoolPattern(row.name, job.FilePattern()));
        EXPECT_FALSE(MatchesSpoolPattern(row.otherJob, job.FilePattern()));
        EXPECT_FALSE(MatchesSpoolPattern(row.name, job.FilePattern(true)));
        if (!row.dataFile.empty()) {
            EXPECT_TRUE(MatchesSpoolPattern(row.dataFile, job.FilePattern(true)));
        }
    }
    EXPECT_TRUE(SpoolFileName::Analyse("").Empty());
}

}  // namespace
}  // namespace pg::test
